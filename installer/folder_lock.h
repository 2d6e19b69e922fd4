// The access control the installer gives the install directory, and the
// record of the one it had before, so that a rollback can put that back.
#ifndef INSTALLER_FOLDER_LOCK_H
#define INSTALLER_FOLDER_LOCK_H

#include <windows.h>

#include <string>

// The install directory's descriptor as SDDL text: owned by Administrators,
// a protected list (nothing inherited from the folders above) in which
// SYSTEM and Administrators hold every right and Users may read and run,
// each entry inherited by every file and folder below.
std::wstring LockedFolderSddl();

// The owner, group and access control list of path, with the list's
// protection, as SDDL text. False, with the system's error, when they cannot
// be read.
bool CaptureSecurity(const std::wstring &path, std::wstring &sddl, DWORD &error);

// What ApplySecurity sets from a descriptor's SDDL text: the descriptor (to
// be freed with LocalFree) and which of its parts apply, the list's
// protection included. False when the text is no descriptor with an owner
// and an access control list.
bool ReadRecordedSecurity(const std::wstring &sddl, PSECURITY_DESCRIPTOR &descriptor, SECURITY_INFORMATION &parts);

// Gives path the owner and access control list of sddl, protected or not as
// the text says; the files and folders below inherit the new list. Enables
// the restore and take-ownership privileges first, which an account needs to
// name an owner other than itself. The system's error, or ERROR_SUCCESS.
DWORD ApplySecurity(const std::wstring &path, const std::wstring &sddl);

// Enables a privilege the process's token holds (restore, take ownership,
// debug); does nothing where the token does not hold it.
void EnablePrivilege(const wchar_t *name);

#endif
