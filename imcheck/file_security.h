// Who besides administrators and SYSTEM may change a file or folder.
#ifndef IMCHECK_FILE_SECURITY_H
#define IMCHECK_FILE_SECURITY_H

#include <string>

// Which of Everyone, Users and Authenticated Users may change path: write
// or append to it (add entries, for a folder), delete its entries, or
// change its permissions or owner. Their names, comma separated, in groups;
// empty when none. False, with the system's error in error, when the
// permissions cannot be read.
bool GroupsThatCanWrite(const std::string &path, std::string &groups, unsigned long &error);

#endif
