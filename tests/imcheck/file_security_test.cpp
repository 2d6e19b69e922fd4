// Who may change what runs, read from security descriptors built here: the
// file system under Wine keeps only what Unix mode bits can say (the owner
// and Everyone), so the other accounts, deny entries, inherited entries and
// owners are tested on descriptors.
#include "file_security.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>

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
    for (ObjectRole role : {OBJECT_FILE, OBJECT_INSTALL_DIR, OBJECT_FOLDER_ABOVE})
        EXPECT_EQ(Holders(Descriptor(""), role), "") << role;
}

TEST(FileSecurity, RightsThatMatterDependOnTheObject)
{
    // A drive root as Windows sets it up: Authenticated Users may add
    // folders there, and Users may read.
    std::string root = Descriptor("(A;OICI;0x1200a9;;;BU)(A;;LC;;;AU)(A;OICIIO;SDGXGWGR;;;AU)");
    EXPECT_EQ(Holders(root, OBJECT_FOLDER_ABOVE), "") << "adding entries above leaves an existing path alone";
    EXPECT_EQ(Holders(root, OBJECT_INSTALL_DIR), szAuthenticated) << "an added folder goes on the class path";

    std::string appendOnly = Descriptor("(A;;0x4;;;IU)");
    EXPECT_EQ(Holders(appendOnly, OBJECT_FILE), szInteractive) << "appending to java_file.dat";
    EXPECT_EQ(Holders(Descriptor("(A;;GW;;;BU)"), OBJECT_FILE), szUsers) << "a generic write";
    EXPECT_EQ(Holders(Descriptor("(A;;0x40;;;IU)"), OBJECT_FOLDER_ABOVE), szInteractive) << "delete entries";
    EXPECT_EQ(Holders(Descriptor("(A;;SD;;;AU)"), OBJECT_FOLDER_ABOVE), szAuthenticated) << "delete itself";
    EXPECT_EQ(Holders(Descriptor("(A;;WD;;;BU)"), OBJECT_FOLDER_ABOVE), szUsers) << "change permissions";
    EXPECT_EQ(Holders(Descriptor("(A;;0x1200a9;;;BU)(A;;0x1200a9;;;WD)"), OBJECT_INSTALL_DIR), "");
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
    EXPECT_EQ(Holders(Descriptor("(A;OICIIO;FA;;;BU)"), OBJECT_INSTALL_DIR), "");
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
