// The install-directory routines: %20 decoding, the 259-character cut and
// the file paths built on the directory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "install_path.h"

static std::string Decoded(std::string s)
{
    ReplaceAll(s, "%20", " ");
    return s;
}

TEST(ReplaceAll, DecodesSpaces)
{
    EXPECT_EQ(Decoded("C:\\Program%20Files\\Mod\\"), "C:\\Program Files\\Mod\\");
    EXPECT_EQ(Decoded("a%2020"), "a 20");
    EXPECT_EQ(Decoded("%20%20"), "  ");
    EXPECT_EQ(Decoded("%2"), "%2");
    EXPECT_EQ(Decoded("%%200"), "% 0");
    EXPECT_EQ(Decoded(""), "");
}

TEST(ReplaceAll, RemovesLineEnds)
{
    std::string s = "C:\\jre\\bin\\java.exe\r\n";
    ReplaceAll(s, "\r", "");
    ReplaceAll(s, "\n", "");
    EXPECT_EQ(s, "C:\\jre\\bin\\java.exe");
}

TEST(ReplaceAll, SearchesAgainFromTheStart)
{
    // Removing "ab" from "aabb" leaves a new "ab" that a single forward
    // pass would miss.
    std::string s = "aabb";
    ReplaceAll(s, "ab", "");
    EXPECT_EQ(s, "");
}

TEST(ReplaceAll, EmptyPatternChangesNothing)
{
    std::string s = "abc";
    ReplaceAll(s, "", "x");
    EXPECT_EQ(s, "abc");
}

TEST(SetInstallDir, CutsBothFormsAt259)
{
    std::string longDir(300, 'd');
    SetInstallDir(longDir);
    EXPECT_EQ(strlen(szInstallDir), 259u);
    EXPECT_EQ(sInstallPath, std::string(259, 'd'));

    SetInstallDir(std::string(259, 'e'));
    EXPECT_EQ(sInstallPath, std::string(259, 'e'));
    SetInstallDir("C:\\Mod\\");
    EXPECT_STREQ(szInstallDir, "C:\\Mod\\");
    EXPECT_EQ(sInstallPath, "C:\\Mod\\");
}

TEST(MakeInstallFilePath, AppendsNameWithoutSeparator)
{
    char out[INSTALL_PATH_SIZE];
    SetInstallDir("C:\\Mod\\");
    MakeInstallFilePath(out, "tarvos_im.log");
    EXPECT_STREQ(out, "C:\\Mod\\tarvos_im.log");
    SetInstallDir("C:\\Mod");
    MakeInstallFilePath(out, "java_file.dat");
    EXPECT_STREQ(out, "C:\\Modjava_file.dat");
}

TEST(MakeInstallFilePath, CutsAt259WithoutOverrun)
{
    char out[INSTALL_PATH_SIZE + 8];
    memset(out, 'X', sizeof out);
    // 246 + 13 characters still fit; one more cuts the name's last letter.
    SetInstallDir(std::string(246, 'd'));
    MakeInstallFilePath(out, "java_file.dat");
    EXPECT_EQ(std::string(out), std::string(246, 'd') + "java_file.dat");

    SetInstallDir(std::string(247, 'd'));
    MakeInstallFilePath(out, "java_file.dat");
    EXPECT_EQ(std::string(out), std::string(247, 'd') + "java_file.da");

    SetInstallDir(std::string(300, 'd'));
    MakeInstallFilePath(out, "java_file.dat");
    EXPECT_EQ(std::string(out), std::string(259, 'd'));
    EXPECT_EQ(out[INSTALL_PATH_SIZE], 'X');
}

TEST(SetInstallDirFromArgument, DecodesThenSetsBothForms)
{
    struct {
        std::string argument;
        std::string decoded;
        std::string installDir; // what both forms hold afterwards
    } cases[] = {
        {"C:\\Program%20Files\\Mod\\", "C:\\Program Files\\Mod\\", "C:\\Program Files\\Mod\\"},
        {"%20%20", "  ", "  "},
        {"C:\\Mod", "C:\\Mod", "C:\\Mod"},
        {std::string(150, 'd') + "%20" + std::string(150, 'e'),
         std::string(150, 'd') + " " + std::string(150, 'e'), std::string(150, 'd') + " " + std::string(108, 'e')},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.argument);
        EXPECT_EQ(SetInstallDirFromArgument(c.argument.c_str()), c.decoded);
        EXPECT_EQ(std::string(szInstallDir), c.installDir);
        EXPECT_EQ(sInstallPath, c.installDir);
    }
}

TEST(SetInstallDirFromArgument, EmptyArgumentLeavesTheDirectoryAlone)
{
    SetInstallDir("C:\\Mod\\");
    EXPECT_EQ(SetInstallDirFromArgument(""), "");
    EXPECT_STREQ(szInstallDir, "C:\\Mod\\");
    EXPECT_EQ(sInstallPath, "C:\\Mod\\");
}
