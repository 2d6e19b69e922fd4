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
    case OBJECT_FOLDER:
        return always | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD;
    case OBJECT_FOLDER_ABOVE:
        return always | FILE_DELETE_CHILD;
    case OBJECT_LINK:
        return always | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;
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

// Names of well-known accounts that the system's look-up may not know.
static const struct {
    const char *sid;
    const char *name;
} wellKnownNames[] = {
    {"S-1-1-0", "Everyone"},
    {"S-1-3-0", "CREATOR OWNER"},
    {"S-1-3-1", "CREATOR GROUP"},
    {"S-1-3-4", "OWNER RIGHTS"},
    {"S-1-5-2", "NT AUTHORITY\\NETWORK"},
    {"S-1-5-3", "NT AUTHORITY\\BATCH"},
    {"S-1-5-4", "NT AUTHORITY\\INTERACTIVE"},
    {"S-1-5-6", "NT AUTHORITY\\SERVICE"},
    {"S-1-5-7", "NT AUTHORITY\\ANONYMOUS LOGON"},
    {"S-1-5-11", "NT AUTHORITY\\Authenticated Users"},
    {"S-1-5-14", "NT AUTHORITY\\REMOTE INTERACTIVE LOGON"},
    {"S-1-5-15", "NT AUTHORITY\\This Organization"},
    {"S-1-5-19", "NT AUTHORITY\\LOCAL SERVICE"},
    {"S-1-5-20", "NT AUTHORITY\\NETWORK SERVICE"},
    {"S-1-5-32-545", "BUILTIN\\Users"},
    {"S-1-5-32-546", "BUILTIN\\Guests"},
    {"S-1-5-32-547", "BUILTIN\\Power Users"},
    {"S-1-15-2-1", "APPLICATION PACKAGE AUTHORITY\\ALL APPLICATION PACKAGES"},
};

static std::string SidText(PSID sid)
{
    std::string text;
    char *szSid = 0;
    if (ConvertSidToStringSidA(sid, &szSid)) {
        text = szSid;
        LocalFree(szSid);
    }
    return text;
}

// "DOMAIN\name", the name of a well-known account, or the SID itself when
// it names no known account.
static std::string AccountName(PSID sid)
{
    char szName[256], szDomain[256];
    DWORD nName = sizeof szName, nDomain = sizeof szDomain;
    SID_NAME_USE use;
    if (LookupAccountSidA(0, sid, szName, &nName, szDomain, &nDomain, &use))
        return *szDomain ? std::string(szDomain) + "\\" + szName : std::string(szName);
    std::string text = SidText(sid);
    for (const auto &known : wellKnownNames)
        if (text == known.sid)
            return known.name;
    return text.empty() ? "an unknown account" : text;
}

// One account that may change the object, and how.
struct Holder {
    std::vector<BYTE> sid; // empty for an entry whose account cannot be read
    std::string name;
    std::string how; // " (owner)", " (by a conditional entry)", ...; empty for a plain entry
};

static const char szOwner[] = " (owner)";

static void AddHolder(std::vector<Holder> &holders, PSID sid, const std::string &name, const std::string &how)
{
    for (Holder &h : holders)
        if (sid ? SameSid(sid, h.sid) : h.name == name) {
            // A plain entry says more than a conditional one; the owner stays the owner.
            if (how.empty() && h.how.compare(0, sizeof szOwner - 2, szOwner, sizeof szOwner - 2) != 0)
                h.how.clear();
            return;
        }
    Holder h;
    if (sid)
        h.sid.assign((BYTE *)sid, (BYTE *)sid + GetLengthSid(sid));
    h.name = name;
    h.how = how;
    holders.push_back(h);
}

static std::string Joined(const std::vector<Holder> &holders)
{
    std::string text;
    for (const Holder &h : holders)
        text += (text.empty() ? "" : ", ") + h.name + h.how;
    return text;
}

// The logon groups every member of which is an authenticated user, so that
// a right denied to Authenticated Users is denied to them too.
static bool IsLogonGroup(PSID sid)
{
    static const std::vector<BYTE> groups[] = {WellKnownSid(WinInteractiveSid), WellKnownSid(WinNetworkSid),
                                               WellKnownSid(WinBatchSid), WellKnownSid(WinServiceSid),
                                               SidFromText("S-1-5-14")};
    for (const std::vector<BYTE> &g : groups)
        if (SameSid(sid, g))
            return true;
    return false;
}

// Whether a right denied to denied is denied to sid as well.
static bool DenialCovers(PSID denied, PSID sid)
{
    static const std::vector<BYTE> everyone = WellKnownSid(WinWorldSid);
    static const std::vector<BYTE> authenticated = WellKnownSid(WinAuthenticatedUserSid);
    return EqualSid(denied, sid) || SameSid(denied, everyone) ||
           (SameSid(denied, authenticated) && IsLogonGroup(sid));
}

// The account of an object entry: its SID follows the object types it holds.
static PSID ObjectAceSid(ACE_HEADER *ace)
{
    ACCESS_ALLOWED_OBJECT_ACE *entry = (ACCESS_ALLOWED_OBJECT_ACE *)ace;
    BYTE *p = (BYTE *)&entry->ObjectType;
    if (entry->Flags & ACE_OBJECT_TYPE_PRESENT)
        p += sizeof(GUID);
    if (entry->Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT)
        p += sizeof(GUID);
    return (PSID)p;
}

std::string UntrustedHolders(PSECURITY_DESCRIPTOR descriptor, DWORD rights)
{
    std::vector<Holder> holders;
    PSID owner = 0;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted))
        owner = 0;
    bool untrustedOwner = owner && !IsTrusted(owner);

    BOOL present = FALSE;
    PACL dacl = 0;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) {
        // No list at all: everyone has every right.
        if (untrustedOwner)
            AddHolder(holders, owner, AccountName(owner), szOwner);
        AddHolder(holders, 0, "Everyone (there is no access control list)", "");
        return Joined(holders);
    }
    static const std::vector<BYTE> ownerRights = SidFromText("S-1-3-4");
    static const std::vector<BYTE> creatorOwner = WellKnownSid(WinCreatorOwnerSid);
    static const std::vector<BYTE> creatorGroup = WellKnownSid(WinCreatorGroupSid);
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};

    // Denied entries met so far that surely apply (a conditional one may not).
    std::vector<ACCESS_DENIED_ACE *> denials;
    // The owner may always change the permissions, unless an OWNER RIGHTS
    // entry says what the owner may do.
    bool ownerRightsListed = false;
    DWORD ownerMask = 0;
    std::string ownerHow = szOwner;
    std::vector<Holder> granted;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER *ace = 0;
        if (!GetAce(dacl, i, (LPVOID *)&ace) || (ace->AceFlags & INHERIT_ONLY_ACE))
            continue;
        PSID sid = 0;
        std::string how;
        switch (ace->AceType) {
        case ACCESS_DENIED_ACE_TYPE:
            denials.push_back((ACCESS_DENIED_ACE *)ace);
            continue;
        case ACCESS_ALLOWED_ACE_TYPE:
            sid = (PSID) & ((ACCESS_ALLOWED_ACE *)ace)->SidStart;
            break;
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
            sid = (PSID) & ((ACCESS_ALLOWED_CALLBACK_ACE *)ace)->SidStart;
            how = " (by a conditional entry)";
            break;
        case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
            sid = ObjectAceSid(ace);
            how = " (by an object entry)";
            break;
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        case ACCESS_DENIED_OBJECT_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
            // A denial that may not apply takes nothing away.
            continue;
        case SYSTEM_AUDIT_ACE_TYPE:
        case SYSTEM_ALARM_ACE_TYPE:
        case SYSTEM_AUDIT_OBJECT_ACE_TYPE:
        case SYSTEM_ALARM_OBJECT_ACE_TYPE:
        case SYSTEM_AUDIT_CALLBACK_ACE_TYPE:
        case SYSTEM_ALARM_CALLBACK_ACE_TYPE:
        case SYSTEM_AUDIT_CALLBACK_OBJECT_ACE_TYPE:
        case SYSTEM_ALARM_CALLBACK_OBJECT_ACE_TYPE:
        case SYSTEM_MANDATORY_LABEL_ACE_TYPE:
            // Entries of the audit list and labels allow nothing.
            continue;
        default:
            // Its account and rights cannot be read, and it may allow any change.
            AddHolder(granted, 0,
                      "the accounts of an access control entry of unknown type " + std::to_string(ace->AceType) +
                          " (imcheck cannot read it, and it may allow changes)",
                      "");
            continue;
        }
        DWORD mask = ((ACCESS_ALLOWED_ACE *)ace)->Mask;
        MapGenericMask(&mask, &mapping);
        bool forOwner = SameSid(sid, ownerRights);
        for (ACCESS_DENIED_ACE *denial : denials) {
            PSID denied = (PSID)&denial->SidStart;
            if (DenialCovers(denied, sid) || (forOwner && owner && EqualSid(denied, owner)) ||
                (owner && EqualSid(sid, owner) && SameSid(denied, ownerRights))) {
                DWORD deniedMask = denial->Mask;
                MapGenericMask(&deniedMask, &mapping);
                mask &= ~deniedMask;
            }
        }
        if (forOwner) {
            ownerRightsListed = true;
            ownerMask |= mask;
            // A condition that does not hold leaves the owner its own right.
            if (!how.empty())
                ownerMask |= WRITE_DAC;
            ownerHow =
                " (owner, by an OWNER RIGHTS entry" + std::string(how.empty() ? "" : " that is conditional") + ")";
            continue;
        }
        // These stand for the creator of what inherits the entry, and for no one here.
        if (SameSid(sid, creatorOwner) || SameSid(sid, creatorGroup) || IsTrusted(sid))
            continue;
        if (mask & rights)
            AddHolder(granted, sid, AccountName(sid), how);
    }
    if (untrustedOwner) {
        DWORD mask = ownerRightsListed ? ownerMask : READ_CONTROL | WRITE_DAC;
        if (mask & rights)
            AddHolder(holders, owner, AccountName(owner), ownerRightsListed ? ownerHow : szOwner);
    }
    for (const Holder &h : granted)
        AddHolder(holders, h.sid.empty() ? 0 : (PSID)h.sid.data(), h.name, h.how);
    return Joined(holders);
}

bool UntrustedHoldersOfPath(const std::wstring &path, DWORD rights, bool link, std::string &accounts,
                            unsigned long &error)
{
    accounts.clear();
    // Opened for its descriptor alone, and the link itself when asked: a
    // named lookup would follow it.
    HANDLE hObject =
        CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | (link ? FILE_FLAG_OPEN_REPARSE_POINT : 0), 0);
    if (hObject == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    PSECURITY_DESCRIPTOR descriptor = 0;
    error = GetSecurityInfo(hObject, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, 0, 0,
                            0, 0, &descriptor);
    CloseHandle(hObject);
    if (error != ERROR_SUCCESS)
        return false;
    accounts = UntrustedHolders(descriptor, rights);
    LocalFree(descriptor);
    return true;
}
