// Who besides the trusted accounts may change a file or folder that decides
// what the daemon runs.
#ifndef IMCHECK_FILE_SECURITY_H
#define IMCHECK_FILE_SECURITY_H

#include <windows.h>

#include <string>

// What an object is to the daemon, and so which rights over it let an
// account change what runs.
enum ObjectRole {
    // A file that decides what runs (java_file.dat, the launcher, an archive
    // or library on the class path, imdaemon.exe, a file of the Java
    // runtime): write or append, delete, permissions, owner.
    OBJECT_FILE,
    // A folder whose contents decide what runs (the install directory, the
    // launcher's folder, which Windows searches first for the libraries the
    // launcher loads, a folder of the Java runtime or on the class path): add
    // files or folders, delete or rename entries, delete, permissions, owner.
    OBJECT_FOLDER,
    // A folder above one of them: delete or rename entries, delete,
    // permissions, owner; adding entries is harmless.
    OBJECT_FOLDER_ABOVE,
    // A link or junction on the way to one of them: write (its target),
    // attributes, delete, permissions, owner.
    OBJECT_LINK
};

DWORD RightsThatMatter(ObjectRole role);

// The accounts, other than SYSTEM, Administrators, TrustedInstaller and the
// account running this program, that hold any of rights in descriptor's
// access control list, read as an access check would (entries in order, a
// right denied before it is allowed stays denied: denied to the account, to
// Everyone, or to Authenticated Users for a logon group such as
// INTERACTIVE), or that own it ("<name> (owner)"; an OWNER RIGHTS entry
// takes the place of the owner's own right to change the permissions).
// Each account once, by name where the system or the well-known accounts
// know one. An entry that may hold under a condition counts ("<name> (by a
// conditional entry)"), and so does one of a type this reading does not
// know; CREATOR OWNER and CREATOR GROUP entries apply to nothing but what
// inherits them. Their names, comma separated; empty when none.
std::string UntrustedHolders(PSECURITY_DESCRIPTOR descriptor, DWORD rights);

// The same for the file or folder at path, or, with link, for the link or
// junction at path itself rather than what it leads to: whoever may change
// or replace a link chooses where it leads. False, with the system's error
// in error, when its owner and permissions cannot be read.
bool UntrustedHoldersOfPath(const std::wstring &path, DWORD rights, bool link, std::string &accounts,
                            unsigned long &error);

#endif
