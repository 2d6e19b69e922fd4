// Reads a file's or folder's access control list the way an access check
// would for an ordinary user who belongs to Everyone, Users and
// Authenticated Users and nothing more: entries in order, a right denied
// before it is allowed stays denied.
#include "file_security.h"

#include <windows.h>
#include <aclapi.h>

static const DWORD WRITE_RIGHTS =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER;

bool GroupsThatCanWrite(const std::string &path, std::string &groups, unsigned long &error)
{
    groups.clear();
    PACL dacl = 0;
    PSECURITY_DESCRIPTOR descriptor = 0;
    error = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, 0, 0,
                                  &dacl, 0, &descriptor);
    if (error != ERROR_SUCCESS)
        return false;
    if (!dacl) {
        // No list at all: everyone has every right.
        groups = "Everyone (there is no access control list)";
        LocalFree(descriptor);
        return true;
    }

    const WELL_KNOWN_SID_TYPE types[] = {WinWorldSid, WinBuiltinUsersSid, WinAuthenticatedUserSid};
    const char *names[] = {"Everyone", "Users", "Authenticated Users"};
    BYTE sids[3][SECURITY_MAX_SID_SIZE];
    for (int i = 0; i < 3; ++i) {
        DWORD size = sizeof sids[i];
        CreateWellKnownSid(types[i], 0, sids[i], &size);
    }
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                               FILE_ALL_ACCESS};
    DWORD denied = 0;
    bool writes[3] = {false, false, false};
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER *ace = 0;
        if (!GetAce(dacl, i, (LPVOID *)&ace) || (ace->AceFlags & INHERIT_ONLY_ACE))
            continue;
        if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE && ace->AceType != ACCESS_DENIED_ACE_TYPE)
            continue;
        // Allowed and denied entries share one layout.
        ACCESS_ALLOWED_ACE *entry = (ACCESS_ALLOWED_ACE *)ace;
        for (int g = 0; g < 3; ++g) {
            if (!EqualSid((PSID)&entry->SidStart, (PSID)sids[g]))
                continue;
            DWORD mask = entry->Mask;
            MapGenericMask(&mask, &mapping);
            if (ace->AceType == ACCESS_DENIED_ACE_TYPE)
                denied |= mask;
            else if (mask & WRITE_RIGHTS & ~denied)
                writes[g] = true;
        }
    }
    LocalFree(descriptor);
    for (int g = 0; g < 3; ++g) {
        if (!writes[g])
            continue;
        if (!groups.empty())
            groups += ", ";
        groups += names[g];
    }
    return true;
}
