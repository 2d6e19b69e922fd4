#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

std::string FreshTestDir()
{
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path dir =
        std::filesystem::current_path() / "run" / (std::string(test->test_suite_name()) + "." + test->name());
    std::error_code error;
    std::filesystem::remove_all(dir, error);
    if (!error)
        std::filesystem::create_directories(dir, error);
    EXPECT_FALSE(error) << dir.string() << ": " << error.message();
    return (dir / "").string();
}

std::string ReadFileText(const std::string &path)
{
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        text.append(chunk, n);
    fclose(f);
    return text;
}

void WriteFileText(const std::string &path, const std::string &text)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}
