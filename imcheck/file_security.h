// Who besides the trusted accounts may change a file or folder that decides
// what the daemon runs.
#ifndef IMCHECK_FILE_SECURITY_H
#define IMCHECK_FILE_SECURITY_H

#include <windows.h>

#include <string>

// What an object is to the daemon, and so which rights over it let an
// account change what runs.
enum ObjectRole {
    OBJECT_FILE,        // java_file.dat, the launcher: write or append, delete, permissions, owner
    OBJECT_INSTALL_DIR, // add files or folders, delete or rename entries, delete, permissions, owner
    OBJECT_FOLDER_ABOVE // delete or rename entries, delete, permissions, owner; adding entries is harmless
};

DWORD RightsThatMatter(ObjectRole role);

// The accounts, other than SYSTEM, Administrators, TrustedInstaller and the
// account running this program, that hold any of rights in descriptor's
// access control list, read as an access check would (entries in order, a
// right denied to the account or to Everyone before it is allowed stays
// denied), or that own it ("<name> (owner)"). Their names, comma separated;
// empty when none.
std::string UntrustedHolders(PSECURITY_DESCRIPTOR descriptor, DWORD rights);

// The same for the file or folder at path. False, with the system's error
// in error, when its owner and permissions cannot be read.
bool UntrustedHoldersOfPath(const std::string &path, DWORD rights, std::string &accounts, unsigned long &error);

#endif
