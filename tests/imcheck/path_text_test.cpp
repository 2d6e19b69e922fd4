// Paths and text as Windows hands them to imcheck, tested on the strings
// themselves where Wine would change them first: Wine normalises "\\?\"
// paths, which Windows keeps as they are, and runs in a single-byte ANSI
// code page here, where process creation's limit in characters and the
// daemon's bytes differ only in a double-byte one.
#include "ansi_text.h"
#include "library_search.h"
#include "win_path.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

TEST(WinPath, ALiteralPathIsOpenedAsItIs)
{
    EXPECT_EQ(OpenedPath(L"\\\\?\\C:\\jre\\bin\\java.exe "), L"\\\\?\\C:\\jre\\bin\\java.exe ");
    EXPECT_EQ(OpenedPath(L"\\\\?\\C:\\jre\\.\\bin\\java.exe."), L"\\\\?\\C:\\jre\\.\\bin\\java.exe.");
    EXPECT_EQ(OpenedPath(L"C:\\jre\\bin\\java.exe. "), L"C:\\jre\\bin\\java.exe") << "another path loses them";
}

TEST(WinPath, APartThatEndsWithASpaceOrADotIsKeptInALiteralPathOnly)
{
    EXPECT_TRUE(HasPartWindowsKeeps(L"\\\\?\\C:\\jre\\bin\\java.exe "));
    EXPECT_TRUE(HasPartWindowsKeeps(L"\\\\?\\C:\\jre\\bin\\java.exe."));
    EXPECT_TRUE(HasPartWindowsKeeps(L"\\\\?\\C:\\jre \\bin\\java.exe")) << "a folder's name";
    EXPECT_TRUE(HasPartWindowsKeeps(L"\\\\?\\C:\\jre\\..\\jre\\bin\\java.exe")) << "no .. is resolved";
    EXPECT_FALSE(HasPartWindowsKeeps(L"\\\\?\\C:\\jre\\bin\\java.exe"));
    EXPECT_FALSE(HasPartWindowsKeeps(L"\\\\?\\UNC\\server\\share\\jre\\bin\\java.exe"));
    EXPECT_FALSE(HasPartWindowsKeeps(L"C:\\jre\\bin\\java.exe ")) << "Windows drops them";
}

TEST(WinPath, TheFoldersAboveEndAtTheRoot)
{
    EXPECT_EQ(FoldersAbove(L"\\\\?\\C:\\jre\\bin\\java.exe"),
              (std::vector<std::wstring>{L"\\\\?\\C:\\jre\\bin\\", L"\\\\?\\C:\\jre\\", L"\\\\?\\C:\\"}));
    EXPECT_EQ(FoldersAbove(L"\\\\?\\UNC\\server\\share\\jre\\java.exe"),
              (std::vector<std::wstring>{L"\\\\?\\UNC\\server\\share\\jre\\", L"\\\\?\\UNC\\server\\share\\"}));
    EXPECT_EQ(FoldersAbove(L"\\\\server\\share\\jre\\java.exe"),
              (std::vector<std::wstring>{L"\\\\server\\share\\jre\\", L"\\\\server\\share\\"}));
    EXPECT_EQ(FoldersAbove(L"C:\\jre\\bin\\"), (std::vector<std::wstring>{L"C:\\jre\\", L"C:\\"}));
}

TEST(WinPath, ALiteralPathIsTheSamePlaceAsItsPlainForm)
{
    EXPECT_TRUE(SamePath(L"\\\\?\\C:\\windows\\", L"C:\\WINDOWS"));
    EXPECT_TRUE(SamePath(L"\\\\?\\UNC\\server\\share\\jre", L"\\\\server\\share\\jre\\"));
    EXPECT_FALSE(SamePath(L"\\\\?\\C:\\windows", L"C:\\windows\\system32"));
}

TEST(AnsiText, TheCommandLineIsCountedInCharactersNotBytes)
{
    // Archives with Japanese names in code page 932 (Shift JIS), two bytes
    // a character: 1,000 of them make a line under the limit in characters
    // and over it in bytes.
    const std::string japanese = "\x93\xfa\x96\x7b\x8c\xea"; // three characters
    std::string line = "-Djava.library.path=\"C:\\Mod\\;\" -classpath ";
    size_t ascii = line.size() + 23; // and the main class at the end
    for (int i = 0; i < 1000; ++i)
        line += "\"C:\\Mod\\" + japanese + japanese + japanese + japanese + japanese + ".jar\";";
    line += "  quorel.im.vesk.Quorel";
    EXPECT_EQ(line.size(), ascii + 1000u * (14 + 30));
    EXPECT_EQ(Utf16Length(line, 932), ascii + 1000u * (14 + 15));
    EXPECT_LT(Utf16Length(line, 932), 32767u);
    EXPECT_GT(line.size(), 32767u);
    EXPECT_EQ(Utf16Length("C:\\Mod\\a.jar", CP_ACP), 12u);
    EXPECT_EQ(Utf16Length("", 932), 0u);
}

// Run under code page 1252 and again under 932 (tests/imcheck/CMakeLists.txt).
TEST(AnsiText, ANameIsSpelledAsItIs)
{
    ASSERT_TRUE(GetACP() == 1252 || GetACP() == 932) << "the spellings below are those of code pages 1252 and 932";
    bool dbcs = GetACP() == 932;
    EXPECT_EQ(Spelled(L"app.jar"), "app.jar");
    EXPECT_EQ(Spelled(L"J\u00e4v\u00e4.jar"), dbcs ? "J<U+00E4>v<U+00E4>.jar" : "J\xe4v\xe4.jar")
        << "what the code page carries stays";
    EXPECT_EQ(Spelled(L"\u0101.jar"), "<U+0101>.jar") << "not its best fit, a.jar";
    EXPECT_EQ(Spelled(L"\U0001F5C2 x.jar"), "<U+1F5C2> x.jar") << "one character beyond 16 bits";
    // So (U+30BD): its second byte in 932 is a backslash.
    EXPECT_EQ(Spelled(L"\u30bd\\a.jar"), dbcs ? "\x83\x5c\\a.jar" : "<U+30BD>\\a.jar");
    std::string ansi;
    EXPECT_EQ(ToAnsi(L"\u30bd\u8868.jar", ansi), dbcs);
    if (dbcs) {
        EXPECT_EQ(ansi, "\x83\x5c\x95\x5c.jar");
    }
    EXPECT_EQ(FromAnsi("\x83\x5c\x95\x5c.jar"), dbcs ? L"\u30bd\u8868.jar" : L"\u0192\\\u2022\\.jar")
        << "a 0x5C second byte is no backslash in 932";
}

TEST(WinPath, ADoubleByteCharacterSplitsNoPath)
{
    EXPECT_EQ(
        FoldersAbove(L"C:\\\u30bd\u30d5\u30c8\\\u8868\\java.exe"),
        (std::vector<std::wstring>{L"C:\\\u30bd\u30d5\u30c8\\\u8868\\", L"C:\\\u30bd\u30d5\u30c8\\", L"C:\\"}));
    EXPECT_TRUE(SameName(L"\u30a2.jar", L"\u30a2.JAR"));
    EXPECT_FALSE(SameName(L"\u30a2.jar", L"\u30c2.jar")) << "0x83 0x41 and 0x83 0x61 in 932: two names";
    EXPECT_TRUE(SameName(L"\u0101.jar", L"\u0100.JAR")) << "the file system upper-cases beyond ASCII";
}

TEST(AnsiText, TextSavedAsUtf8IsRecognised)
{
    std::wstring wide;
    EXPECT_TRUE(FromUtf8("C:\\J\xC3\xA4v\xC3\xA4\\java.exe", wide));
    EXPECT_EQ(wide, L"C:\\J\u00e4v\u00e4\\java.exe");
    EXPECT_FALSE(FromUtf8("C:\\jre\\bin\\java.exe", wide)) << "ASCII alone says nothing";
    EXPECT_FALSE(FromUtf8("C:\\J\xE4v\xE4\\java.exe", wide)) << "ANSI text that is no UTF-8";
}

// Folders of a test's own below the temporary folder, each made empty.
static std::wstring Folder(const std::wstring &name)
{
    wchar_t szTemp[MAX_PATH];
    GetTempPathW(MAX_PATH, szTemp);
    std::wstring folder =
        std::wstring(szTemp) + L"library-search-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name + L"\\";
    CreateDirectoryW(folder.substr(0, folder.size() - 1).c_str(), 0);
    DeleteFileW((folder + L"ov.dll").c_str());
    return folder;
}

static void Put(const std::wstring &folder)
{
    CloseHandle(CreateFileW((folder + L"ov.dll").c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0));
}

TEST(LibrarySearch, TheFirstFoundWinsAndTheFirstOnPathIsThePlatforms)
{
    std::wstring program = Folder(L"program"), first = Folder(L"first"), platform = Folder(L"platform"),
                 own = Folder(L"own");
    std::wstring path = first + L";\"" + platform + L"\";;";
    struct Row {
        const char *what;
        std::vector<std::wstring> holding;
        std::wstring ownPath;
        size_t winner, platform; // places' indices; -1 for none
        bool ownPathUsed;
    };
    // The places: the program's folder, the system folder, the 16-bit one,
    // the Windows folder, then first and platform from PATH (a quoted entry
    // without its quotes, empty ones skipped), then own's.
    const Row rows[] = {
        {"the platform's alone", {platform}, L"", 5, 5, false},
        {"a copy in the program's folder comes first", {program, platform}, L"", 0, 5, false},
        {"the first on PATH is the platform's", {first, platform}, L"", 4, 4, false},
        {"none on the system's PATH: imcheck's own", {own}, own, 6, 6, true},
        {"ahead of imcheck's own", {program, own}, own, 0, 6, true},
        {"nowhere", {}, own, (size_t)-1, (size_t)-1, false},
    };
    for (const Row &row : rows) {
        for (const std::wstring &folder : {program, first, platform, own})
            DeleteFileW((folder + L"ov.dll").c_str());
        for (const std::wstring &folder : row.holding)
            Put(folder);
        LibraryFound found;
        found.name = L"ov.dll";
        found.places = SearchOrder(program, L"", path);
        ASSERT_EQ(found.places.size(), 6u);
        EXPECT_EQ(found.places[5].folder, platform);
        FindLibrary(found, row.ownPath, !row.ownPath.empty());
        EXPECT_EQ(found.winner, row.winner) << row.what;
        EXPECT_EQ(found.platform, row.platform) << row.what;
        EXPECT_EQ(found.ownPath, row.ownPathUsed) << row.what;
    }
    for (const std::wstring &folder : {program, first, platform, own}) {
        DeleteFileW((folder + L"ov.dll").c_str());
        RemoveDirectoryW(folder.c_str());
    }
}
