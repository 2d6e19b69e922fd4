#ifndef DAEMON_JAVA_PATH_H
#define DAEMON_JAVA_PATH_H

#include <string>

// The first line of java_file.dat in the install directory, at most 259
// characters, without CR and LF; empty when the file cannot be opened.
std::string GetJavaPath();

#endif
