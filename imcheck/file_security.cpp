// Reads a file's or folder's owner and access control list against an
// allow-list of accounts, rather than looking for a few groups: any other
// account that may change what runs is named.
#include "file_security.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

// The service SID of TrustedInstaller, which owns the system's own files.
static const char szTrustedInstaller[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

DWORD RightsThatMatter(ObjectRole role)
{
    const DWORD always = DELETE | WRITE_DAC | WRITE_OWNER;
    switch (role) {
    case OBJECT_FILE:
        return always | FILE_WRITE_DATA | FILE_APPEND_DATA;
    case OBJECT_INSTALL_DIR:
        return always | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD;
    case OBJECT_FOLDER_ABOVE:
        return always | FILE_DELETE_CHILD;
    }
    return always;
}

static bool SameSid(PSID a, const std::vector<BYTE> &b)
{
    return !b.empty() && EqualSid(a, (PSID)b.data());
}

static std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type)
{
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = (DWORD)sid.size();
    if (!CreateWellKnownSid(type, 0, sid.data(), &size))
        sid.clear();
    return sid;
}

static std::vector<BYTE> SidFromText(const char *text)
{
    std::vector<BYTE> sid;
    PSID converted = 0;
    if (ConvertStringSidToSidA(text, &converted)) {
        sid.assign((BYTE *)converted, (BYTE *)converted + GetLengthSid(converted));
        LocalFree(converted);
    }
    return sid;
}

static std::vector<BYTE> OwnSid()
{
    std::vector<BYTE> sid;
    HANDLE hToken = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return sid;
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (GetTokenInformation(hToken, TokenUser, buffer, sizeof buffer, &size)) {
        PSID user = ((TOKEN_USER *)buffer)->User.Sid;
        sid.assign((BYTE *)user, (BYTE *)user + GetLengthSid(user));
    }
    CloseHandle(hToken);
    return sid;
}

static bool IsTrusted(PSID sid)
{
    static const std::vector<BYTE> trusted[] = {WellKnownSid(WinLocalSystemSid),
                                                WellKnownSid(WinBuiltinAdministratorsSid),
                                                SidFromText(szTrustedInstaller), OwnSid()};
    for (const std::vector<BYTE> &t : trusted)
        if (SameSid(sid, t))
            return true;
    return false;
}

// "DOMAIN\name", or the SID itself when it names no known account.
static std::string AccountName(PSID sid)
{
    char szName[256], szDomain[256];
    DWORD nName = sizeof szName, nDomain = sizeof szDomain;
    SID_NAME_USE use;
    if (LookupAccountSidA(0, sid, szName, &nName, szDomain, &nDomain, &use))
        return *szDomain ? std::string(szDomain) + "\\" + szName : std::string(szName);
    std::string text = "an unknown account";
    char *szSid = 0;
    if (ConvertSidToStringSidA(sid, &szSid)) {
        text = szSid;
        LocalFree(szSid);
    }
    return text;
}

static void AddName(std::vector<std::string> &names, const std::string &name)
{
    for (const std::string &n : names)
        if (n == name)
            return;
    names.push_back(name);
}

static std::string Joined(const std::vector<std::string> &names)
{
    std::string text;
    for (const std::string &name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::string UntrustedHolders(PSECURITY_DESCRIPTOR descriptor, DWORD rights)
{
    std::vector<std::string> names;
    PSID owner = 0;
    BOOL defaulted = FALSE;
    if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner && !IsTrusted(owner))
        AddName(names, AccountName(owner) + " (owner)");

    BOOL present = FALSE;
    PACL dacl = 0;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) {
        // No list at all: everyone has every right.
        AddName(names, "Everyone (there is no access control list)");
        return Joined(names);
    }
    static const std::vector<BYTE> everyone = WellKnownSid(WinWorldSid);
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    // Denied entries met so far; every account belongs to Everyone.
    std::vector<ACCESS_DENIED_ACE *> denials;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER *ace = 0;
        if (!GetAce(dacl, i, (LPVOID *)&ace) || (ace->AceFlags & INHERIT_ONLY_ACE))
            continue;
        if (ace->AceType == ACCESS_DENIED_ACE_TYPE) {
            denials.push_back((ACCESS_DENIED_ACE *)ace);
            continue;
        }
        if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        ACCESS_ALLOWED_ACE *entry = (ACCESS_ALLOWED_ACE *)ace;
        PSID sid = (PSID)&entry->SidStart;
        if (IsTrusted(sid))
            continue;
        DWORD mask = entry->Mask;
        MapGenericMask(&mask, &mapping);
        for (ACCESS_DENIED_ACE *denial : denials) {
            PSID denied = (PSID)&denial->SidStart;
            if (EqualSid(denied, sid) || SameSid(denied, everyone)) {
                DWORD deniedMask = denial->Mask;
                MapGenericMask(&deniedMask, &mapping);
                mask &= ~deniedMask;
            }
        }
        if (mask & rights)
            AddName(names, AccountName(sid));
    }
    return Joined(names);
}

bool UntrustedHoldersOfPath(const std::string &path, DWORD rights, std::string &accounts, unsigned long &error)
{
    accounts.clear();
    PSECURITY_DESCRIPTOR descriptor = 0;
    error = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, 0, 0, 0, 0, &descriptor);
    if (error != ERROR_SUCCESS)
        return false;
    accounts = UntrustedHolders(descriptor, rights);
    LocalFree(descriptor);
    return true;
}
