// Who may change what runs, read from security descriptors built here: the
// file system under Wine keeps only what Unix mode bits can say (the owner
// and Everyone), so the other accounts, deny entries, inherited entries and
// owners are tested on descriptors.
#include "file_security.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <cstring>
#include <string>
#include <vector>

// The account running the test, as SDDL.
static std::string Self()
{
    HANDLE hToken = 0;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken));
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    EXPECT_TRUE(GetTokenInformation(hToken, TokenUser, buffer, sizeof buffer, &size));
    CloseHandle(hToken);
    char *szSid = 0;
    EXPECT_TRUE(ConvertSidToStringSidA(((TOKEN_USER *)buffer)->User.Sid, &szSid));
    std::string sid = szSid ? szSid : "";
    LocalFree(szSid);
    return sid;
}

static std::string Holders(const std::string &sddl, ObjectRole role)
{
    PSECURITY_DESCRIPTOR descriptor = 0;
    EXPECT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor, 0))
        << sddl;
    if (!descriptor)
        return "(no descriptor)";
    std::string accounts = UntrustedHolders(descriptor, RightsThatMatter(role));
    LocalFree(descriptor);
    return accounts;
}

// A trusted owner and the trusted accounts with full control, then dacl.
static std::string Descriptor(const std::string &dacl)
{
    return "O:" + Self() + "D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + Self() +
           ")(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)" + dacl;
}

static const std::string szUsers = "BUILTIN\\Users";
static const std::string szAuthenticated = "NT AUTHORITY\\Authenticated Users";
static const std::string szInteractive = "NT AUTHORITY\\INTERACTIVE";

TEST(FileSecurity, TrustedAccountsAloneAreSilent)
{
    for (ObjectRole role : {OBJECT_FILE, OBJECT_FOLDER, OBJECT_FOLDER_ABOVE})
        EXPECT_EQ(Holders(Descriptor(""), role), "") << role;
}

TEST(FileSecurity, RightsThatMatterDependOnTheObject)
{
    // A drive root as Windows sets it up: Authenticated Users may add
    // folders there, and Users may read.
    std::string root = Descriptor("(A;OICI;0x1200a9;;;BU)(A;;LC;;;AU)(A;OICIIO;SDGXGWGR;;;AU)");
    EXPECT_EQ(Holders(root, OBJECT_FOLDER_ABOVE), "") << "adding entries above leaves an existing path alone";
    EXPECT_EQ(Holders(root, OBJECT_FOLDER), szAuthenticated) << "an added folder goes on the class path";

    std::string appendOnly = Descriptor("(A;;0x4;;;IU)");
    EXPECT_EQ(Holders(appendOnly, OBJECT_FILE), szInteractive) << "appending to java_file.dat";
    EXPECT_EQ(Holders(Descriptor("(A;;GW;;;BU)"), OBJECT_FILE), szUsers) << "a generic write";
    EXPECT_EQ(Holders(Descriptor("(A;;0x40;;;IU)"), OBJECT_FOLDER_ABOVE), szInteractive) << "delete entries";
    EXPECT_EQ(Holders(Descriptor("(A;;SD;;;AU)"), OBJECT_FOLDER_ABOVE), szAuthenticated) << "delete itself";
    EXPECT_EQ(Holders(Descriptor("(A;;WD;;;BU)"), OBJECT_FOLDER_ABOVE), szUsers) << "change permissions";
    EXPECT_EQ(Holders(Descriptor("(A;;0x1200a9;;;BU)(A;;0x1200a9;;;WD)"), OBJECT_FOLDER), "");

    // A link's own descriptor, which Wine cannot keep: whoever may write it
    // or its attributes may point it elsewhere.
    std::string retarget = Descriptor("(A;;0x100;;;BU)");
    EXPECT_EQ(Holders(retarget, OBJECT_LINK), szUsers) << "write attributes";
    EXPECT_EQ(Holders(retarget, OBJECT_FILE), "") << "no file's content changes with its attributes";
    EXPECT_EQ(Holders(Descriptor("(A;;0x2;;;AU)"), OBJECT_LINK), szAuthenticated) << "write its data";
}

TEST(FileSecurity, EveryAccountThatMayChangeItIsNamed)
{
    EXPECT_EQ(Holders(Descriptor("(A;;FA;;;BU)(A;;FW;;;IU)(A;;FA;;;BU)"), OBJECT_FILE),
              szUsers + ", " + szInteractive);
    EXPECT_EQ(Holders(Descriptor("(A;;FA;;;S-1-5-21-1-2-3-1001)"), OBJECT_FILE), "S-1-5-21-1-2-3-1001")
        << "an account no name is known for";
}

TEST(FileSecurity, DeniedRightsAreReadInOrder)
{
    EXPECT_EQ(Holders(Descriptor("(D;;FA;;;BU)(A;;FA;;;BU)"), OBJECT_FILE), "");
    EXPECT_EQ(Holders(Descriptor("(D;;FA;;;WD)(A;;FA;;;AU)"), OBJECT_FILE), "") << "everyone is in Everyone";
    EXPECT_EQ(Holders(Descriptor("(A;;FA;;;BU)(D;;FA;;;BU)"), OBJECT_FILE), szUsers) << "allowed first";
    EXPECT_EQ(Holders(Descriptor("(D;;WD;;;BU)(A;;FA;;;BU)"), OBJECT_FILE), szUsers) << "only some denied";
    EXPECT_EQ(Holders(Descriptor("(D;;FA;;;IU)(A;;FA;;;BU)"), OBJECT_FILE), szUsers) << "denied to another";
}

TEST(FileSecurity, InheritedEntriesCountAndInheritOnlyOnesDoNot)
{
    EXPECT_EQ(Holders(Descriptor("(A;ID;FA;;;AU)"), OBJECT_FILE), szAuthenticated);
    EXPECT_EQ(Holders(Descriptor("(A;OICIIO;FA;;;BU)"), OBJECT_FOLDER), "");
}

TEST(FileSecurity, AnOwnerOutsideTheTrustedAccountsCounts)
{
    EXPECT_EQ(Holders("O:BUD:(A;;FA;;;SY)", OBJECT_FOLDER_ABOVE), szUsers + " (owner)");
    EXPECT_EQ(Holders("O:BAD:(A;;FA;;;SY)", OBJECT_FOLDER_ABOVE), "");
}

TEST(FileSecurity, NoAccessControlListLetsEveryoneChangeIt)
{
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, 0, FALSE));
    EXPECT_EQ(UntrustedHolders(&descriptor, RightsThatMatter(OBJECT_FOLDER_ABOVE)),
              "Everyone (there is no access control list)");
    EXPECT_EQ(Holders("O:" + Self() + "D:", OBJECT_FOLDER_ABOVE), "") << "an empty list grants nothing";
}

TEST(FileSecurity, TheRightToAddFilesMattersInAFolderThatDecidesWhatRuns)
{
    // The launcher's folder, where a planted library is loaded, or the
    // install directory: adding a file or a folder is enough.
    EXPECT_EQ(Holders(Descriptor("(A;;0x2;;;BU)"), OBJECT_FOLDER), szUsers) << "FILE_ADD_FILE alone";
    EXPECT_EQ(Holders(Descriptor("(A;;0x4;;;IU)"), OBJECT_FOLDER), szInteractive) << "FILE_ADD_SUBDIRECTORY alone";
    EXPECT_EQ(Holders(Descriptor("(A;;0x2;;;BU)"), OBJECT_FOLDER_ABOVE), "")
        << "above, adding entries is harmless";
}

TEST(FileSecurity, AnOwnerThatMayChangeItIsNamedOnce)
{
    EXPECT_EQ(Holders("O:BUD:(A;;FA;;;SY)(A;;FA;;;BU)", OBJECT_FOLDER_ABOVE), szUsers + " (owner)");
    EXPECT_EQ(Holders("O:BUD:(A;;FA;;;BU)(A;;FA;;;AU)", OBJECT_FILE), szUsers + " (owner), " + szAuthenticated);
}

TEST(FileSecurity, OwnerRightsSayWhatTheOwnerMayDo)
{
    // An OWNER RIGHTS entry takes the place of the owner's own right to
    // change the permissions.
    EXPECT_EQ(Holders("O:BUD:(A;;FA;;;SY)(A;;0x1200a9;;;S-1-3-4)", OBJECT_FILE), "");
    EXPECT_EQ(Holders("O:BUD:(A;;FA;;;SY)(A;;FA;;;S-1-3-4)", OBJECT_FILE),
              szUsers + " (owner, by an OWNER RIGHTS entry)");
    EXPECT_EQ(Holders(Descriptor("(A;;FA;;;S-1-3-4)"), OBJECT_FILE), "") << "a trusted owner";
}

TEST(FileSecurity, CreatorOwnerEntriesApplyOnlyToWhatInheritsThem)
{
    EXPECT_EQ(Holders(Descriptor("(A;;FA;;;CO)(A;;FA;;;CG)"), OBJECT_FOLDER), "");
    EXPECT_EQ(Holders(Descriptor("(A;OICIIO;FA;;;CO)"), OBJECT_FOLDER), "");
}

TEST(FileSecurity, ADenialToAuthenticatedUsersCoversTheLogonGroups)
{
    EXPECT_EQ(Holders(Descriptor("(D;;FA;;;AU)(A;;FA;;;IU)"), OBJECT_FILE), "");
    EXPECT_EQ(Holders(Descriptor("(D;;FA;;;AU)(A;;FA;;;S-1-5-2)"), OBJECT_FILE), "") << "NETWORK";
    EXPECT_EQ(Holders(Descriptor("(D;;FA;;;AU)(A;;FA;;;BU)"), OBJECT_FILE), szUsers)
        << "Users may hold accounts that are not authenticated";
    EXPECT_EQ(Holders(Descriptor("(A;;FA;;;IU)(D;;FA;;;AU)"), OBJECT_FILE), szInteractive) << "allowed first";
}

// Entries SDDL cannot say here, built as Windows hands them: a header, the
// rights, the SID, and what the type adds after it.
static std::vector<BYTE> Entry(BYTE type, BYTE flags, DWORD mask, const char *sid,
                               const std::vector<BYTE> &after = {})
{
    PSID converted = 0;
    EXPECT_TRUE(ConvertStringSidToSidA(sid, &converted)) << sid;
    std::vector<BYTE> entry(sizeof(ACE_HEADER) + sizeof(DWORD));
    entry.insert(entry.end(), (BYTE *)converted, (BYTE *)converted + GetLengthSid(converted));
    LocalFree(converted);
    entry.insert(entry.end(), after.begin(), after.end());
    entry.resize((entry.size() + 3) & ~(size_t)3);
    ACE_HEADER *header = (ACE_HEADER *)entry.data();
    header->AceType = type;
    header->AceFlags = flags;
    header->AceSize = (WORD)entry.size();
    memcpy(&entry[sizeof(ACE_HEADER)], &mask, sizeof mask);
    return entry;
}

// A descriptor owned by the account running the test, the trusted accounts
// with full control, then entries.
static std::string HoldersOfEntries(const std::vector<std::vector<BYTE>> &entries, ObjectRole role)
{
    std::vector<std::vector<BYTE>> all = {Entry(ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, "S-1-5-18"),
                                          Entry(ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, "S-1-5-32-544")};
    all.insert(all.end(), entries.begin(), entries.end());
    std::vector<BYTE> acl(sizeof(ACL));
    for (const std::vector<BYTE> &e : all)
        acl.insert(acl.end(), e.begin(), e.end());
    ACL *header = (ACL *)acl.data();
    header->AclRevision = ACL_REVISION_DS;
    header->Sbz1 = 0;
    header->AclSize = (WORD)acl.size();
    header->AceCount = (WORD)all.size();
    header->Sbz2 = 0;
    PSID self = 0;
    EXPECT_TRUE(ConvertStringSidToSidA(Self().c_str(), &self));
    SECURITY_DESCRIPTOR descriptor;
    EXPECT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_TRUE(SetSecurityDescriptorOwner(&descriptor, self, FALSE));
    EXPECT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, header, FALSE));
    std::string accounts = UntrustedHolders(&descriptor, RightsThatMatter(role));
    LocalFree(self);
    return accounts;
}

// A condition as a conditional entry carries it: "artx" and its terms.
static const std::vector<BYTE> condition = {'a', 'r', 't', 'x', 0x00, 0x00, 0x00, 0x00};

TEST(FileSecurity, AConditionalEntryThatMayAllowAChangeCounts)
{
    EXPECT_EQ(HoldersOfEntries({Entry(ACCESS_ALLOWED_CALLBACK_ACE_TYPE, 0, FILE_ALL_ACCESS, "S-1-1-0", condition)},
                               OBJECT_FILE),
              "Everyone (by a conditional entry)");
    EXPECT_EQ(
        HoldersOfEntries({Entry(ACCESS_ALLOWED_CALLBACK_ACE_TYPE, 0, FILE_GENERIC_READ, "S-1-1-0", condition)},
                         OBJECT_FILE),
        "")
        << "one that allows reading only";
    EXPECT_EQ(HoldersOfEntries({Entry(ACCESS_DENIED_CALLBACK_ACE_TYPE, 0, FILE_ALL_ACCESS, "S-1-1-0", condition),
                                Entry(ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, "S-1-5-32-545")},
                               OBJECT_FILE),
              szUsers)
        << "a conditional denial may not apply";
    EXPECT_EQ(
        HoldersOfEntries({Entry(ACCESS_ALLOWED_CALLBACK_ACE_TYPE, 0, FILE_ALL_ACCESS, "S-1-5-32-545", condition),
                          Entry(ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, "S-1-5-32-545")},
                         OBJECT_FILE),
        szUsers)
        << "each account once, as plainly as it may";
}

TEST(FileSecurity, AnEntryOfAnUnknownTypeIsReported)
{
    EXPECT_EQ(HoldersOfEntries({Entry(0x20, 0, FILE_ALL_ACCESS, "S-1-1-0")}, OBJECT_FOLDER_ABOVE),
              "the accounts of an access control entry of unknown type 32 (imcheck cannot read it, and it may "
              "allow changes)");
    EXPECT_EQ(HoldersOfEntries({Entry(SYSTEM_MANDATORY_LABEL_ACE_TYPE, 0, 1, "S-1-16-4096")}, OBJECT_FILE), "")
        << "a label allows nothing";
    EXPECT_EQ(HoldersOfEntries({Entry(0x20, INHERIT_ONLY_ACE, FILE_ALL_ACCESS, "S-1-1-0")}, OBJECT_FILE), "")
        << "inherit-only";
}

TEST(FileSecurity, WellKnownAccountsAreNamed)
{
    EXPECT_EQ(Holders(Descriptor("(A;;FA;;;S-1-5-14)"), OBJECT_FILE), "NT AUTHORITY\\REMOTE INTERACTIVE LOGON");
    EXPECT_EQ(Holders(Descriptor("(A;;FA;;;S-1-5-15)"), OBJECT_FILE), "NT AUTHORITY\\This Organization");
    EXPECT_EQ(Holders(Descriptor("(A;;FA;;;S-1-15-2-1)"), OBJECT_FILE),
              "APPLICATION PACKAGE AUTHORITY\\ALL APPLICATION PACKAGES");
    EXPECT_EQ(Holders("O:S-1-3-4D:(A;;FA;;;SY)", OBJECT_FILE), "OWNER RIGHTS (owner)")
        << "as odd an owner as it is";
}
