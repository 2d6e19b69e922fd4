// PmArgument, which every daemon test quotes its arguments with, against the
// Windows command-line parser itself: each argument, alone and among others,
// must come back from CommandLineToArgvW unchanged.
#include <gtest/gtest.h>

#include "pm.h" // windows.h, which shellapi.h needs first

#include <shellapi.h>

#include <string>
#include <vector>

// The arguments CommandLineToArgvW makes of a program name and arguments.
static std::vector<std::wstring> Parsed(const std::wstring &arguments)
{
    std::wstring commandLine = L"program.exe " + arguments;
    int count = 0;
    LPWSTR *argv = CommandLineToArgvW(commandLine.c_str(), &count);
    std::vector<std::wstring> parsed;
    for (int i = 1; argv && i < count; ++i)
        parsed.push_back(argv[i]);
    LocalFree(argv);
    return parsed;
}

static const struct {
    const char *name;
    std::wstring argument;
} cases[] = {
    {"plain", L"C:\\Mod\\"},
    {"spaces", L"C:\\Program Files\\Integration Module"},
    {"trailing backslash", L"C:\\Program Files\\Integration Module\\"},
    {"trailing backslashes", L"two at the end\\\\"},
    {"backslashes before a quote", L"a\\\\\"b"},
    {"one backslash before a quote", L"a\\\"b"},
    {"embedded quotes", L"say \"hi\" twice \"\""},
    {"only a quote", L"\""},
    {"empty", L""},
    {"tab", L"a\tb"},
    {"tab at the end", L"a\\\t"},
    {"backslashes inside", L"\\\\server\\share\\dir"},
};

TEST(PmArgument, EachArgumentComesBackUnchanged)
{
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring quoted = PmArgument(c.argument);
        EXPECT_EQ(Parsed(quoted), std::vector<std::wstring>{c.argument}) << quoted;
    }
}

TEST(PmArgument, ArgumentsInOneLineStayApart)
{
    std::wstring line;
    std::vector<std::wstring> all;
    for (const auto &c : cases) {
        line += (line.empty() ? L"" : L" ") + PmArgument(c.argument);
        all.push_back(c.argument);
    }
    EXPECT_EQ(Parsed(line), all) << line;
}

TEST(PmArgument, NarrowAndWideQuoteAlike)
{
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string narrow(c.argument.begin(), c.argument.end()); // the cases are ASCII
        std::string quoted = PmArgument(narrow);
        EXPECT_EQ(std::wstring(quoted.begin(), quoted.end()), PmArgument(c.argument));
    }
}
