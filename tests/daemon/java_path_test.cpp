// Reading the launcher path from java_file.dat in the install directory.
#include <gtest/gtest.h>

#include <string>

#include "install_path.h"
#include "java_path.h"
#include "test_support.h"

class JavaPath : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override
    {
        dir = FreshTestDir();
        SetInstallDir(dir);
    }

    void Write(const std::string &text) { WriteFileText(dir + "java_file.dat", text); }
};

TEST_F(JavaPath, FirstLineWithoutLineEnd)
{
    Write("C:\\jre\\bin\\java.exe\r\nC:\\other\\java.exe\r\n");
    EXPECT_EQ(GetJavaPath(), "C:\\jre\\bin\\java.exe");
}

TEST_F(JavaPath, NothingButLineEndsIsTrimmed)
{
    Write("  \"C:\\jre\\java.exe\" \t\r\r\n");
    EXPECT_EQ(GetJavaPath(), "  \"C:\\jre\\java.exe\" \t");
}

TEST_F(JavaPath, LongLineIsCutAt259)
{
    Write(std::string(300, 'j') + "\n");
    EXPECT_EQ(GetJavaPath(), std::string(259, 'j'));
}

TEST_F(JavaPath, MissingOrEmptyGivesNothing)
{
    EXPECT_EQ(GetJavaPath(), "");
    Write("");
    EXPECT_EQ(GetJavaPath(), "");
    Write("\r\nC:\\jre\\java.exe\n");
    EXPECT_EQ(GetJavaPath(), "");
}

TEST_F(JavaPath, EmbeddedZeroEndsThePath)
{
    Write(std::string("C:\\jre\0junk\n", 11));
    EXPECT_EQ(GetJavaPath(), "C:\\jre");
}
