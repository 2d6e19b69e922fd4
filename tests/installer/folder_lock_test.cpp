// The install directory's descriptor as the installer applies it, held to
// imcheck's own reading of who may change what runs. Wine keeps no access
// control list on its files, so the descriptor is read here as Windows would
// apply it, not from a folder; and the record a rollback reads back.
#include "file_security.h"
#include "folder_lock.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>

static PSECURITY_DESCRIPTOR FromSddl(const std::wstring &sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
    return descriptor;
}

static std::string Holders(const std::wstring &sddl, ObjectRole role)
{
    PSECURITY_DESCRIPTOR descriptor = FromSddl(sddl);
    if (descriptor == nullptr) {
        return "(no descriptor)";
    }
    std::string accounts = UntrustedHolders(descriptor, RightsThatMatter(role));
    LocalFree(descriptor);
    return accounts;
}

// The locked list passes the allow-list for the folder and for every file
// and folder that inherits it; the same list with one change more does not,
// so the reading can fail.
TEST(FolderLock, LockedDescriptorPassesTheAllowList)
{
    const std::wstring locked = LockedFolderSddl();
    const std::wstring entries = locked.substr(locked.find(L"D:"));
    struct Case {
        const char *what;
        std::wstring sddl;
        const char *holders; // a part of what UntrustedHolders names; "" for none
    } cases[] = {
        {"locked", locked, ""},
        {"Users may modify", locked + L"(A;OICI;0x1301bf;;;BU)", "BUILTIN\\Users"},
        {"Everyone may delete it", locked + L"(A;OICI;0x10000;;;WD)", "Everyone"},
        {"owned by a user", L"O:S-1-5-21-1004336348-1177238915-682003330-1001" + entries, "(owner)"},
    };
    for (const Case &c : cases) {
        for (ObjectRole role : {OBJECT_FILE, OBJECT_FOLDER, OBJECT_FOLDER_ABOVE}) {
            std::string holders = Holders(c.sddl, role);
            if (*c.holders == '\0') {
                EXPECT_EQ(holders, "") << c.what << ", role " << role;
            } else {
                EXPECT_NE(holders.find(c.holders), std::string::npos)
                    << c.what << ", role " << role << ": " << holders;
            }
        }
    }
}

// Owned by Administrators, protected from the folders above, and every entry
// inherited by the files and folders below (the files already there get the
// new list), none of them for what is below only.
TEST(FolderLock, LockedDescriptorIsProtectedOwnedAndInherited)
{
    PSECURITY_DESCRIPTOR descriptor = FromSddl(LockedFolderSddl());
    ASSERT_NE(descriptor, nullptr);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
    EXPECT_TRUE(owner != nullptr && IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    EXPECT_EQ(dacl->AceCount, 3);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER *ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void **>(&ace)));
        EXPECT_EQ(ace->AceType, ACCESS_ALLOWED_ACE_TYPE) << "entry " << i;
        EXPECT_EQ(ace->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE),
                  OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)
            << "entry " << i;
    }
    LocalFree(descriptor);
}

// What a rollback reads from the record of the folder's previous descriptor:
// its owner and list, protected or not as they were, its group when it had
// one; a record without an owner or a list is refused, not applied half.
TEST(FolderLock, RollbackReadsTheRecordedDescriptor)
{
    const SECURITY_INFORMATION base = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    struct Case {
        const wchar_t *sddl;
        bool read;
        SECURITY_INFORMATION parts;
    } cases[] = {
        {L"O:BAD:PAI(A;OICI;FA;;;SY)", true, base | PROTECTED_DACL_SECURITY_INFORMATION},
        {L"O:S-1-5-21-1-2-3-1001G:S-1-5-21-1-2-3-513D:AI(A;OICI;FA;;;WD)", true,
         base | GROUP_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION},
        {L"O:SYD:(A;;FA;;;BU)", true, base | UNPROTECTED_DACL_SECURITY_INFORMATION},
        {L"D:P(A;;FA;;;SY)", false, 0},
        {L"O:BA", false, 0},
        {L"not a descriptor", false, 0},
    };
    for (const Case &c : cases) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        SECURITY_INFORMATION parts = 0;
        bool read = ReadRecordedSecurity(c.sddl, descriptor, parts);
        EXPECT_EQ(read, c.read) << std::string(c.sddl, c.sddl + wcslen(c.sddl));
        if (read) {
            EXPECT_EQ(parts, c.parts) << std::string(c.sddl, c.sddl + wcslen(c.sddl));
            LocalFree(descriptor);
        } else {
            EXPECT_EQ(descriptor, nullptr);
        }
    }
}
