// The install directory as the daemon holds it, and the small text routines
// that every part of the daemon shares. Portable: no Windows calls here.
#ifndef DAEMON_INSTALL_PATH_H
#define DAEMON_INSTALL_PATH_H

#include <string>

enum {
    INSTALL_PATH_SIZE = 260, // 259 characters and the terminating zero
    // The longest install directory whose java_file.dat path (13 more
    // characters) the daemon builds uncut.
    MAX_INSTALL_DIR = INSTALL_PATH_SIZE - 1 - (sizeof "java_file.dat" - 1)
};

extern char szInstallDir[INSTALL_PATH_SIZE];
extern std::string sInstallPath;

// Writes szInstallDir followed by name into out (INSTALL_PATH_SIZE bytes),
// cut after 259 characters.
void MakeInstallFilePath(char *out, const char *name);

// Replaces every occurrence of what in s by with, searching again from the
// start after each replacement. An empty what changes nothing. A with that
// could form what anew together with its neighbours would never end, so
// with must be shorter than what or share no character with it.
void ReplaceAll(std::string &s, const std::string &what, const std::string &with);

// Copies text into szInstallDir (cut after 259 characters) and sets
// sInstallPath to exactly what szInstallDir then holds.
void SetInstallDir(const std::string &text);

// Takes the install directory from the daemon's first argument as the
// process manager passes it: every %20 becomes a space, then SetInstallDir.
// Returns the decoded text, uncut; when it is empty the install directory is
// left as it was.
std::string SetInstallDirFromArgument(const char *argument);

// The trace hook: takes one optional text and does nothing with it.
void TraceLog(const char *text = 0);

#endif
