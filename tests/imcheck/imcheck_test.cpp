// imcheck on fixture install directories: each finding fires on a fixture
// that differs from a clean install in that one respect, a clean install
// gives none, and the command line it prints is the one the real daemon
// passes to the Java stand-in.
#include "harness.h"

#include <aclapi.h>
#include <imagehlp.h>
#include <sddl.h>

#include <algorithm>
#include <filesystem>
#include <functional>

static std::wstring Wide(const std::string &text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), 0, 0);
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], n);
    return wide;
}

static std::string HereFile(const std::string &name)
{
    char szCurrent[MAX_PATH];
    GetCurrentDirectoryA(sizeof szCurrent, szCurrent);
    return std::string(szCurrent) + "\\" + name;
}

static void Copy(const std::string &from, const std::string &to)
{
    ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE)) << from << " -> " << to;
}

struct Report {
    DWORD status = 0;
    std::string text;
    std::vector<std::string> lines;
};

// The desktop every imcheck run of this process, and the listener window of
// the case that opens one, are on: one of the process's own. imcheck looks for
// listener windows on its own desktop only, so the windows of the daemon tests
// running beside these are none of its findings, and this one none of theirs.
static const std::string &TestDesktop()
{
    static std::string name;
    if (name.empty()) {
        std::string desktop = "imcheck-test-" + std::to_string(GetCurrentProcessId());
        // Held open until the process ends, and the desktop with it.
        if (CreateDesktopA(desktop.c_str(), 0, 0, 0, GENERIC_ALL, 0))
            name = "WinSta0\\" + desktop;
    }
    return name;
}

// Runs imcheck.exe with arguments in folder cwd (the test's own when
// empty), its output in a file at outPath, on the test's desktop.
static Report RunImcheck(const std::wstring &arguments, const std::string &cwd, const std::string &outPath)
{
    Report report;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, 0, TRUE};
    HANDLE hOut = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, 0);
    EXPECT_NE(hOut, INVALID_HANDLE_VALUE) << outPath;
    std::wstring commandLine = PmArgument(Wide(PmProgramDir() + "imcheck.exe")) + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring desktop = Wide(TestDesktop());
    EXPECT_FALSE(desktop.empty()) << "no desktop of the test's own";
    startup.lpDesktop = &desktop[0];
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = hOut;
    startup.hStdError = hOut;
    PROCESS_INFORMATION process;
    std::wstring wideCwd = Wide(cwd);
    BOOL started = CreateProcessW(0, &commandLine[0], 0, 0, TRUE, 0, 0, cwd.empty() ? 0 : wideCwd.c_str(),
                                  &startup, &process);
    CloseHandle(hOut);
    EXPECT_TRUE(started);
    if (!started)
        return report;
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), (DWORD)WAIT_OBJECT_0);
    GetExitCodeProcess(process.hProcess, &report.status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    report.text = ReadFileText(outPath);
    for (size_t start = 0, end; (end = report.text.find("\r\n", start)) != std::string::npos; start = end + 2)
        report.lines.push_back(report.text.substr(start, end - start));
    return report;
}

static bool StartsWith(const std::string &text, const std::string &start)
{
    return text.compare(0, start.size(), start) == 0;
}

static std::vector<std::string> Findings(const Report &report)
{
    std::vector<std::string> found;
    for (const std::string &line : report.lines)
        if (StartsWith(line, "error: ") || StartsWith(line, "warning: "))
            found.push_back(line);
    return found;
}

// The line after "command line, <n> characters, ...:", and n.
static std::string PrintedCommandLine(const Report &report, size_t *length = 0)
{
    for (size_t i = 0; i + 1 < report.lines.size(); ++i)
        if (StartsWith(report.lines[i], "command line, ")) {
            if (length)
                *length = std::stoul(report.lines[i].substr(14));
            return report.lines[i + 1];
        }
    ADD_FAILURE() << "no command line in:\n" << report.text;
    return "";
}

// A clean install: the Java stand-in as java.exe in a JVM folder of its
// own, and an install directory holding nodeflags.dll, one archive and
// java_file.dat naming the launcher.
struct Install {
    std::string root;                        // the test's own folder
    std::string dir;                         // install directory, with the trailing backslash
    std::string launcher;                    // what java_file.dat names
    std::wstring arguments;                  // imcheck's command-line arguments
    std::string cwd;                         // imcheck's current folder; the test's own when empty
    HANDLE held = INVALID_HANDLE_VALUE;      // a file kept open while imcheck runs
    std::string platform;                    // the platform's folder on imcheck's PATH; none when empty
    std::vector<std::function<void()>> undo; // what a case changed outside its folder, undone after

    Report Check() const;
};

// imcheck with the platform's folder first on its PATH, as the process
// manager's own PATH would hold it.
Report Install::Check() const
{
    char szPath[32767];
    DWORD n = GetEnvironmentVariableA("PATH", szPath, sizeof szPath);
    std::string path = n > 0 && n < sizeof szPath ? szPath : "";
    if (!platform.empty())
        SetEnvironmentVariableA("PATH", (platform + ";" + path).c_str());
    Report report = RunImcheck(arguments, cwd, root + "imcheck-report.txt");
    SetEnvironmentVariableA("PATH", path.c_str());
    return report;
}

static void Populate(Install &in)
{
    CreateDirectoryA(in.dir.c_str(), 0);
    Copy(PmProgramDir() + "nodeflags.dll", in.dir + "nodeflags.dll");
    Copy(PmProgramDir() + "imdaemon.exe", in.dir + "imdaemon.exe");
    WriteFileText(in.dir + "app.jar", "PK");
    WriteFileText(in.dir + "java_file.dat", in.launcher + "\r\n");
    in.arguments = PmArgument(Wide(Encoded(in.dir)));
}

// The Unix path Wine keeps a Windows path at.
static std::string UnixPath(const std::string &path)
{
    typedef char *(CDECL * UnixFileName)(LPCWSTR);
    UnixFileName unixFileName =
        (UnixFileName)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    EXPECT_TRUE(unixFileName) << "not under Wine";
    char *name = unixFileName ? unixFileName(Wide(path).c_str()) : 0;
    std::string text = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return text;
}

// Runs a Unix program through Wine with command as its command line, and
// waits up to 10 s for done to hold: Wine does not wait for a Unix
// program's end, nor know its exit status.
static bool RunUnix(const std::string &program, std::string command, bool (*done)(const std::string &),
                    const std::string &path)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    EXPECT_TRUE(CreateProcessA(program.c_str(), &command[0], 0, 0, FALSE, 0, 0, 0, &startup, &process)) << command;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    for (int tries = 0; tries < 200; ++tries) {
        if (done(path))
            return true;
        Sleep(50);
    }
    return false;
}

// The test's own folder, named through the fixture drive (mapped to the
// folder the harness makes test folders in), so that the folders above it
// end at that drive's root. What a test made there may lie too deep for the
// folder's own, longer path, through which the harness cleans it: it is
// removed through the drive first.
static std::string FixtureRoot()
{
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string root = std::string(FIXTURE_DRIVE) + ":\\" + test->test_suite_name() + "." + test->name() + "\\";
    std::replace(root.begin(), root.end(), '/', '\\');
    // The Unix rm, which follows no link a case made there; only where
    // there is something to remove, since its end is seen by that alone.
    std::string unixRoot = UnixPath(root);
    if (GetFileAttributesA(root.c_str()) != INVALID_FILE_ATTRIBUTES &&
        unixRoot.find(test->name()) != std::string::npos) {
        EXPECT_TRUE(RunUnix(
            "Z:\\bin\\rm", "/bin/rm -rf \"" + unixRoot + "\"",
            [](const std::string &path) { return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES; },
            root))
            << root;
    }
    std::error_code error;
    std::filesystem::remove_all(root, error);
    std::string dir = FreshTestDir();
    EXPECT_NE(GetFileAttributesA(root.c_str()), INVALID_FILE_ATTRIBUTES) << root << " must be " << dir;
    return root;
}

// A Java runtime as a launcher finds it: a JVM library and the class
// library of Java 9 and later beside its bin folder.
static void LayOutRuntime(const std::string &home)
{
    for (const char *folder : {"", "bin", "bin\\server", "lib"})
        CreateDirectoryA((home + folder).c_str(), 0);
    Copy(PmProgramDir() + "javaapp.exe", home + "bin\\java.exe");
    WriteFileText(home + "bin\\server\\jvm.dll", "MZ");
    WriteFileText(home + "lib\\modules", "JIMAGE");
}

static Install CleanInstall()
{
    Install in;
    in.root = FixtureRoot();
    LayOutRuntime(in.root + "jre\\");
    in.launcher = in.root + "jre\\bin\\java.exe";
    in.platform = in.root + "NNM\\bin";
    CreateDirectoryA((in.root + "NNM").c_str(), 0);
    CreateDirectoryA(in.platform.c_str(), 0);
    Copy(PmProgramDir() + "ov.dll", in.platform + "\\ov.dll");
    Copy(PmProgramDir() + "ovw.dll", in.platform + "\\ovw.dll");
    in.dir = in.root + "Integration Module\\";
    Populate(in);
    return in;
}

static void SetJavaFile(Install &in, const std::string &firstLine)
{
    WriteFileText(in.dir + "java_file.dat", firstLine + "\r\n");
}

// A folder below root whose path, trailing backslash included, is length long.
static std::string DirOfLength(const Install &in, size_t length)
{
    std::string dir = in.root + std::string(length - in.root.size() - 1, 'd') + "\\";
    EXPECT_EQ(dir.size(), length);
    return dir;
}

// Adds archives until the command line is exactly to characters long; each
// adds its quoted path and a semicolon. Archives with the longest names the
// path limit allows come first; the last few share out what is left, so any
// install directory's length can be met exactly.
static void GrowCommandLine(Install &in, size_t to)
{
    size_t from = PrintedCommandLine(in.Check()).size();
    size_t around = in.dir.size() + 3;
    size_t longest = MAX_PATH - 1 - in.dir.size();
    size_t step = around + longest;
    ASSERT_LT(from + 6 * step, to);
    int archive = 0;
    auto Add = [&](size_t name) {
        std::string prefix = std::to_string(archive++) + "-";
        WriteFileText(in.dir + prefix + std::string(name - prefix.size() - 4, 'a') + ".jar", "PK");
        from += around + name;
    };
    while (to - from > 5 * step)
        Add(longest);
    size_t count = (to - from + step - 1) / step; // the fewest archives that can carry the rest
    size_t names = to - from - count * around;
    for (size_t i = 0; i < count; ++i)
        Add(names / count + (i < names % count ? 1 : 0));
    size_t length = 0;
    EXPECT_EQ(PrintedCommandLine(in.Check(), &length).size(), to);
    EXPECT_EQ(length, to) << "the length imcheck prints";
}

// Gives SYSTEM and Administrators full control of path, and Everyone the
// rights given (SDDL), nothing else.
static void LetEveryoneDo(const std::wstring &path, const std::string &rights)
{
    PSECURITY_DESCRIPTOR descriptor = 0;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        ("D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;" + rights + ";;;WD)").c_str(), SDDL_REVISION_1, &descriptor, 0));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = 0;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    EXPECT_EQ(
        SetNamedSecurityInfoW(&std::wstring(path)[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, 0, 0, dacl, 0),
        (DWORD)ERROR_SUCCESS);
    LocalFree(descriptor);
}

static void LetEveryoneDo(const std::string &path, const std::string &rights)
{
    LetEveryoneDo(Wide(path), rights);
}

static void LetEveryoneWrite(const std::string &path)
{
    LetEveryoneDo(path, "FA");
}

// Makes link a symbolic link to target, as Windows would show a symbolic
// link or junction: Wine keeps links as Unix symbolic links, and makes none
// itself, so the Unix ln makes it.
static void MakeLink(const std::string &link, const std::string &target)
{
    std::string command = "/bin/ln -sfn \"" + UnixPath(target) + "\" \"" + UnixPath(link) + "\"";
    ASSERT_TRUE(RunUnix(
        "Z:\\bin\\ln", command,
        [](const std::string &path) {
            // Wine marks a link to a folder as a reparse point, a link to a
            // file not.
            DWORD attributes = GetFileAttributesA(path.c_str());
            return attributes != INVALID_FILE_ATTRIBUTES &&
                   ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(attributes & FILE_ATTRIBUTE_DIRECTORY));
        },
        link))
        << link << " by " << command;
}

// Moves what lies at name below root into a folder open to everyone, open\,
// and leaves a link in its place.
static void MoveBehindALink(Install &in, const std::string &name)
{
    std::string open = in.root + "open\\";
    std::string leaf = name.substr(name.find_last_of('\\') + 1);
    ASSERT_TRUE(CreateDirectoryA(open.c_str(), 0));
    ASSERT_TRUE(MoveFileA((in.root + name).c_str(), (open + leaf).c_str()));
    MakeLink(in.root + name, open + leaf);
    LetEveryoneWrite(open);
}

// Maps drive letter (lower case) of the build's prefix to folder, as a
// substituted drive: Wine keeps drives as links in its dosdevices folder.
static void MapDrive(char letter, const std::string &folder, const std::string &probe)
{
    std::string c = UnixPath("C:\\");
    std::string devices = c.substr(0, c.find_last_of('/', c.size() - 2)) + "/";
    if (devices.find("/dosdevices/") == std::string::npos)
        devices += "dosdevices/";
    else
        devices = devices.substr(0, devices.find("/dosdevices/") + 12);
    std::string command = "/bin/ln -sfn \"" + UnixPath(folder) + "\" \"" + devices + letter + ":\"";
    ASSERT_TRUE(RunUnix(
        "Z:\\bin\\ln", command,
        [](const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; },
        probe))
        << command;
}

// A launcher in a folder of its own, root\tools\launcher\, whose home
// (root\tools\) holds no runtime: a copy of java.exe, or of the program
// given.
static void LauncherInToolsFolder(Install &in, const std::string &program = "")
{
    CreateDirectoryA((in.root + "tools").c_str(), 0);
    CreateDirectoryA((in.root + "tools\\launcher").c_str(), 0);
    in.launcher = in.root + "tools\\launcher\\java.exe";
    Copy(program.empty() ? in.root + "jre\\bin\\java.exe" : program, in.launcher);
    SetJavaFile(in, in.launcher);
}

// The launcher path stretched with ".\" to exactly length characters.
static std::string StretchedLauncher(const Install &in, size_t length)
{
    std::string path = in.root;
    std::string name = "jre\\bin\\java.exe";
    if ((length - path.size() - name.size()) % 2)
        path += "jre\\..\\";
    while (path.size() + name.size() < length)
        path += ".\\";
    return path + name;
}

static void WriteFileBytes(const std::string &path, const std::string &bytes)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(hFile, bytes.data(), (DWORD)bytes.size(), &written, 0);
    CloseHandle(hFile);
}

// A binary as a copy cut short leaves it (its last 16 bytes gone, into its
// string table), or with one byte in its middle changed.
static void CutShort(const std::string &path)
{
    std::string bytes = ReadFileText(path);
    ASSERT_GT(bytes.size(), 16u) << path;
    WriteFileBytes(path, bytes.substr(0, bytes.size() - 16));
}
static void ChangeAByte(const std::string &path)
{
    std::string bytes = ReadFileText(path);
    ASSERT_FALSE(bytes.empty()) << path;
    bytes[bytes.size() / 2] ^= 0x20;
    WriteFileBytes(path, bytes);
}

// The launcher with its import directory pointing outside every section,
// and its header checksum made right again, so that only the imports are
// damaged.
static void MisplaceImports(const std::string &path)
{
    std::string bytes = ReadFileText(path);
    ASSERT_GT(bytes.size(), 0x200u) << path;
    DWORD peAt = *(const DWORD *)&bytes[0x3C];
    size_t optional = peAt + 4 + sizeof(IMAGE_FILE_HEADER);
    bool wide = *(const WORD *)&bytes[optional] == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    size_t imports = optional + (wide ? 112 : 96) + sizeof(IMAGE_DATA_DIRECTORY) * IMAGE_DIRECTORY_ENTRY_IMPORT;
    *(DWORD *)&bytes[imports] = 0x7FFFFFF0;
    WriteFileBytes(path, bytes);
    DWORD stored = 0, computed = 0;
    ASSERT_EQ(MapFileAndCheckSumA(&std::string(path)[0], &stored, &computed), (DWORD)CHECKSUM_SUCCESS);
    *(DWORD *)&bytes[optional + 64] = computed;
    WriteFileBytes(path, bytes);
}

// A name no ANSI code page but UTF-8 holds (outside the Basic
// Multilingual Plane).
static const wchar_t szNotAnsi[] = L"\U0001F5C2";

struct Finding {
    const char *severity;
    const char *phrase;
};

struct Case {
    const char *name;
    void (*change)(Install &in);
    std::vector<Finding> findings;
};

static const Case cases[] = {
    {"Clean", [](Install &) {}, {}},
    {"JavawAndOtherArgumentsAccepted",
     [](Install &in) {
         in.launcher = in.root + "jre\\bin\\JavaW.exe";
         Copy(PmProgramDir() + "javaapp.exe", in.launcher);
         SetJavaFile(in, in.launcher);
         in.arguments += L" -p 250 -r 100";
     },
     {}},
    {"NoArgument", [](Install &in) { in.arguments = L""; }, {{"error", "no install directory given"}}},
    {"EmptyArgument",
     [](Install &in) { in.arguments = L"\"\""; },
     {{"error", "install directory argument is empty"}}},
    {"NoTrailingBackslash",
     [](Install &in) { in.arguments = PmArgument(Wide(Encoded(in.dir.substr(0, in.dir.size() - 1)))); },
     {{"error", "does not end with a backslash"}, {"error", "Integration Modulejava_file.dat\" does not exist"}}},
    {"DirectoryOf246Characters",
     [](Install &in) {
         in.dir = DirOfLength(in, 246);
         Populate(in);
     },
     {}},
    {"DirectoryOf247Characters",
     [](Install &in) {
         // Too long for java_file.dat and nodeflags.dll to be put there.
         in.dir = DirOfLength(in, 247);
         CreateDirectoryA(in.dir.c_str(), 0);
         in.arguments = PmArgument(Wide(Encoded(in.dir)));
     },
     {{"error", "247 characters long, more than 246"},
      {"error", "java_file.da\" does not exist"},
      {"error", "nodeflags.dll is not in the install directory"}}},
    {"DirectoryOf300CharactersThatExists",
     [](Install &in) {
         // Beside the test's folder, which the harness could not clean
         // of it; in two parts, as one may hold at most 255 characters.
         std::string first = in.root.substr(0, in.root.size() - 1) + "-" + std::string(100, 'd') + "\\";
         in.dir = first + std::string(300 - first.size() - 1, 'd') + "\\";
         for (const std::string &dir : {first, in.dir})
             ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + Wide(dir)).c_str(), 0) ||
                         GetLastError() == ERROR_ALREADY_EXISTS)
                 << dir;
         in.arguments = PmArgument(Wide(Encoded(in.dir)));
     },
     {{"error", "300 characters long, more than 246"}}},
    {"RelativeDirectory",
     [](Install &in) {
         in.cwd = in.root;
         in.arguments = PmArgument(L"Integration%20Module\\");
     },
     {{"error", "install directory \"Integration Module\\\" is not absolute"}}},
    {"MissingDirectory",
     [](Install &in) { in.arguments = PmArgument(Wide(Encoded(in.root + "Elsewhere\\"))); },
     {{"error", "Elsewhere\\\" does not exist: the daemon starts no application"}}},
    {"JavaFileMissing",
     [](Install &in) { DeleteFileA((in.dir + "java_file.dat").c_str()); },
     {{"error", "java_file.dat\" does not exist"}}},
    {"JavaFileIsAFolder",
     [](Install &in) {
         DeleteFileA((in.dir + "java_file.dat").c_str());
         CreateDirectoryA((in.dir + "java_file.dat").c_str(), 0);
     },
     {{"error", "cannot be opened for reading (it is a folder)"}}},
    {"JavaFileFirstLineEmpty",
     [](Install &in) { SetJavaFile(in, "\r\n" + in.launcher); },
     {{"error", "first line of java_file.dat is empty"}}},
    {"JavaFileBeginsWithNul",
     [](Install &in) { SetJavaFile(in, std::string(1, '\0') + in.launcher); },
     {{"error", "begins with a NUL byte"}}},
    {"JavaFileBeginsWithCtrlZ",
     [](Install &in) { SetJavaFile(in, "\x1A" + in.launcher); },
     {{"error", "begins with a Ctrl-Z"}}},
    {"JavaFileFirstLineCut",
     [](Install &in) {
         // The launcher path of exactly 259 characters, so that only what
         // follows it is cut.
         std::string path = StretchedLauncher(in, 259);
         ASSERT_EQ(path.size(), 259u);
         SetJavaFile(in, path + " -Xmx512m");
     },
     {{"warning", "first line of java_file.dat is 268 characters long: the daemon reads only its first 259 bytes "
                  "and takes"}}},
    {"LauncherPathOf260Characters",
     [](Install &in) { SetJavaFile(in, StretchedLauncher(in, 260)); },
     {{"warning", "the launcher path in java_file.dat is 260 characters long, more than the 259 bytes the daemon "
                  "reads: it takes"},
      {"error", "java.ex\" does not exist"}}},
    {"JavaFileNulAfterACompleteLauncherPath",
     [](Install &in) { SetJavaFile(in, in.launcher + std::string(1, '\0') + " -Xmx512m"); },
     {{"warning", "java_file.dat holds a NUL byte right after the launcher path"}}},
    {"JavaFileNulBeyondWhatTheDaemonReads",
     [](Install &in) { SetJavaFile(in, in.launcher + std::string(300, 'x') + std::string(1, '\0') + "tail"); },
     {{"warning", "the launcher path in java_file.dat is "},
      {"error", "xxx\" does not exist: the daemon's start of the application fails"}}},
    {"JavaFileNulAfterTheLauncherAndALongTail",
     [](Install &in) { SetJavaFile(in, in.launcher + std::string(1, '\0') + std::string(300, 'x')); },
     {{"warning", "java_file.dat holds a NUL byte right after the launcher path"}}},
    {"JavaFileOfAHugeLine",
     [](Install &in) { SetJavaFile(in, std::string(100000, 'x')); },
     {{"warning", "the launcher path in java_file.dat is more than 4096 bytes long, more than the 259 bytes"},
      {"error", "is not absolute"}}},
    {"OnlyArchiveNamedDotJar",
     [](Install &in) {
         DeleteFileA((in.dir + "app.jar").c_str());
         WriteFileText(in.dir + ".jar", "PK");
     },
     {}},
    {"OnlyArchiveMatchedThroughItsShortName",
     [](Install &in) {
         // *.jar matches app.jarx through its short name APP~1.JAR, and the
         // daemon's class path holds it.
         DeleteFileA((in.dir + "app.jar").c_str());
         WriteFileText(in.dir + "app.jarx", "PK");
     },
     {}},
    {"OnlyArchiveSplitAtASemicolon",
     [](Install &in) {
         DeleteFileA((in.dir + "app.jar").c_str());
         WriteFileText(in.dir + "a;b.jar", "PK");
     },
     {{"warning", "\"a;b.jar\" in the install directory holds a ';'"},
      {"error", "the install directory holds no archive (*.jar)"}}},
    {"LauncherThroughAnEnvironmentVariable",
     [](Install &in) { SetJavaFile(in, "%JAVA_HOME%\\bin\\java.exe"); },
     {{"error", "\"%JAVA_HOME%\\bin\\java.exe\" holds an environment variable: the daemon expands none"}}},
    {"LauncherPathEndsWithABackslash",
     [](Install &in) { SetJavaFile(in, in.launcher + "\\"); },
     {{"error", "java.exe\\\" ends with a backslash: it names a folder, never a program"}}},
    {"InstallDirectoryIsAFile",
     [](Install &in) {
         WriteFileText(in.root + "Elsewhere", "not a folder");
         in.arguments = PmArgument(Wide(Encoded(in.root + "Elsewhere\\")));
     },
     {{"error", "Elsewhere\\\" is a file, not a folder: the daemon starts no application"}}},
    {"JavaFileWithCarriageReturnsAlone",
     [](Install &in) { SetJavaFile(in, in.launcher + "\r-Xmx512m\r"); },
     {{"warning", "java_file.dat ends its lines with a carriage return alone: the daemon reads them as one line "
                  "and joins them"},
      {"error", "java.exe-Xmx512m\" does not exist"}}},
    {"JavaFileInUtf16WithoutByteOrderMark",
     [](Install &in) {
         std::wstring text = Wide(in.launcher) + L"\r\n";
         WriteFileBytes(in.dir + "java_file.dat", std::string((const char *)text.data(), text.size() * 2));
     },
     {{"error", "java_file.dat holds a NUL byte after \"" FIXTURE_DRIVE "\" (text saved as UTF-16"}}},
    {"JavaFileInUtf8WithALetterBeyondAscii",
     [](Install &in) {
         // A folder whose name the ANSI code page holds, named in UTF-8.
         std::wstring jre = Wide(in.root) + L"J\u00e4v\u00e4\\";
         ASSERT_TRUE(CreateDirectoryW(jre.c_str(), 0));
         ASSERT_TRUE(CopyFileW(Wide(in.launcher).c_str(), (jre + L"java.exe").c_str(), FALSE));
         SetJavaFile(in, in.root + "J\xC3\xA4v\xC3\xA4\\java.exe");
     },
     // The path read as UTF-8 is shown in the ANSI code page (1252 here).
     {{"error", "\\J\xE4v\xE4\\java.exe\", which exists, but the daemon reads it as ANSI text (code page"}}},
    {"JavaFileLockedByAnotherProgram",
     [](Install &in) {
         in.held = CreateFileA((in.dir + "java_file.dat").c_str(), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
         ASSERT_NE(in.held, INVALID_HANDLE_VALUE);
     },
     {{"error", "java_file.dat\" cannot be read now: another program holds it open and lets no one else read it "
                "(a sharing violation, error 32)"}}},
    {"LauncherRelative",
     [](Install &in) { SetJavaFile(in, "jre\\bin\\java.exe"); },
     {{"error", "is not absolute"}}},
    {"LauncherQuoted",
     [](Install &in) { SetJavaFile(in, "\"" + in.launcher + "\""); },
     {{"error", "holds a double quote"}}},
    {"LauncherLeadingBlank",
     [](Install &in) { SetJavaFile(in, " " + in.launcher); },
     {{"error", "begins or ends with a blank"}}},
    {"LauncherTrailingBlank",
     [](Install &in) { SetJavaFile(in, in.launcher + "\t"); },
     {{"error", "begins or ends with a blank"}}},
    {"LauncherTrailingSpacesAndDots",
     [](Install &in) { SetJavaFile(in, in.launcher + " . "); },
     {{"warning", "ends with spaces or dots, which Windows drops"}}},
    {"JavaFileWithByteOrderMark",
     [](Install &in) { SetJavaFile(in, "\xEF\xBB\xBF" + in.launcher); },
     {{"error", "byte-order mark"}}},
    {"LauncherMissing",
     [](Install &in) { SetJavaFile(in, in.root + "jdk\\bin\\java.exe"); },
     {{"error", "jdk\\bin\\java.exe\" does not exist"}}},
    {"LauncherIsAFolder", [](Install &in) { SetJavaFile(in, in.root + "jre\\bin"); }, {{"error", "is a folder"}}},
    {"LauncherIsABatchFile",
     [](Install &in) {
         WriteFileText(in.root + "jre\\bin\\java.bat", "@java.exe %*\r\n");
         SetJavaFile(in, in.root + "jre\\bin\\java.bat");
     },
     {{"error", "is a batch file"}}},
    {"LauncherIsNotAProgram",
     [](Install &in) { WriteFileText(in.launcher, "MZ but nothing more"); },
     {{"error", "is not a Windows program"}}},
    {"LauncherIsALibrary",
     [](Install &in) { Copy(PmProgramDir() + "nodeflags.dll", in.launcher); },
     {{"error", "is a library (DLL), not a program"}}},
    {"LauncherNotNamedJava",
     [](Install &in) {
         Copy(in.launcher, in.root + "jre\\bin\\start-java.exe");
         SetJavaFile(in, in.root + "jre\\bin\\start-java.exe");
     },
     {{"warning", "the launcher is \"start-java.exe\", not java.exe or javaw.exe"}}},
    {"LauncherCutShort",
     [](Install &in) { CutShort(in.launcher); },
     {{"error", "java.exe\" is damaged: it ends at byte"}}},
    {"LauncherChanged",
     [](Install &in) { ChangeAByte(in.launcher); },
     {{"error", "java.exe\" is damaged: its checksum is"}}},
    {"LauncherWhoseLibraryIsNowhere",
     [](Install &in) { Copy(HereFile("jli-launcher.exe"), in.launcher); },
     {{"error", "java.exe\" needs jli.dll, which Windows finds neither in the launcher's folder nor in the system "
                "folders"}}},
    {"LauncherWithItsImportsOutsideItsSections",
     [](Install &in) { MisplaceImports(in.launcher); },
     {{"error", "java.exe\" is damaged: its import table, or a name in it, lies outside its sections"}}},
    {"BridgeMissing",
     [](Install &in) { DeleteFileA((in.dir + "nodeflags.dll").c_str()); },
     {{"error", "nodeflags.dll is not in the install directory"}}},
    {"BridgeIsAFolder",
     [](Install &in) {
         DeleteFileA((in.dir + "nodeflags.dll").c_str());
         CreateDirectoryA((in.dir + "nodeflags.dll").c_str(), 0);
     },
     {{"error", "nodeflags.dll in the install directory is a folder"}}},
    {"BridgeNotALibrary",
     [](Install &in) { WriteFileText(in.dir + "nodeflags.dll", "not a library"); },
     {{"error", "nodeflags.dll in the install directory is not a Windows library"}}},
    {"BridgeCutShort",
     [](Install &in) { CutShort(in.dir + "nodeflags.dll"); },
     {{"error", "nodeflags.dll in the install directory is damaged: it ends at byte"}}},
    {"DaemonChanged",
     [](Install &in) { ChangeAByte(in.dir + "imdaemon.exe"); },
     {{"error", "imdaemon.exe in the install directory is damaged: its checksum is"}}},
    {"DaemonOfTheOtherArchitecture",
     [](Install &in) { Copy(HereFile("other-arch-program.exe"), in.dir + "imdaemon.exe"); },
     {{"warning", "imcheck is a " BUILD_MACHINE " program and imdaemon.exe a " OTHER_MACHINE " one"}}},
    {"DaemonNotAProgram",
     [](Install &in) { Copy(PmProgramDir() + "nodeflags.dll", in.dir + "imdaemon.exe"); },
     {{"error", "imdaemon.exe in the install directory is not a Windows program"}}},
    {"ObjectDatabaseLibraryInTheLaunchersFolder",
     [](Install &in) { Copy(PmProgramDir() + "nodeflags.dll", in.root + "jre\\bin\\ovw.dll"); },
     {{"error", "jre\\bin\\ovw.dll\" is the ovw.dll the Java application would load: Windows finds it in the "
                "program's own folder before PATH, where the platform's on PATH is \"" FIXTURE_DRIVE}}},
    {"LauncherOfTheOtherArchitecture",
     [](Install &in) { Copy(HereFile("other-arch-program.exe"), in.launcher); },
     {{"error", "launcher is a " OTHER_MACHINE " program and nodeflags.dll a " BUILD_MACHINE " library"}}},
    {"BridgeOfTheOtherArchitecture",
     [](Install &in) { Copy(HereFile("other-arch-library.dll"), in.dir + "nodeflags.dll"); },
     {{"error", "launcher is a " BUILD_MACHINE " program and nodeflags.dll a " OTHER_MACHINE " library"}}},
    {"CommandLineAtTheLimit", [](Install &in) { GrowCommandLine(in, 32766); }, {}},
    {"CommandLineOverTheLimit",
     [](Install &in) { GrowCommandLine(in, 32767); },
     {{"error", "command line is 32767 characters long, more than the 32766"}}},
    {"SemicolonInDirectory",
     [](Install &in) {
         in.dir = in.root + "Integration;Module\\";
         Populate(in);
     },
     {{"error", "install directory holds a ';': the library path and the class path are split there, so the Java "
                "application cannot load nodeflags.dll by the library path (Windows may still find it in its "
                "current folder, the install directory) and finds none of its archives"}}},
    {"SemicolonInArchiveName",
     [](Install &in) { WriteFileText(in.dir + "a;b.jar", "PK"); },
     {{"warning", "\"a;b.jar\" in the install directory holds a ';'"}}},
    {"DirectoryOutsideTheAnsiCodePage",
     [](Install &in) {
         std::wstring dir = Wide(in.root) + szNotAnsi + L" Module\\";
         // The harness's ANSI clean-up cannot remove it: an earlier run's may be there.
         ASSERT_TRUE(CreateDirectoryW(dir.c_str(), 0) || GetLastError() == ERROR_ALREADY_EXISTS);
         in.arguments = PmArgument(Wide(Encoded(in.root)) + szNotAnsi + L"%20Module\\");
     },
     // Shown as it is and as the daemon sees it.
     {{"warning", "\\<U+1F5C2> Module\\\" has characters that the ANSI code page 1252 cannot carry: the daemon's "
                  "ANSI calls see \""},
      {"error", "Module\\\" does not exist: the daemon starts no application"}}},
    {"ArchiveOutsideTheAnsiCodePage",
     [](Install &in) {
         std::wstring name = Wide(in.dir) + szNotAnsi + L".jar";
         HANDLE hFile = CreateFileW(name.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
         ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
         CloseHandle(hFile);
     },
     {{"warning",
       "the name of \"<U+1F5C2>.jar\" in the install directory has characters that the ANSI code page "
       "1252 cannot carry: the daemon sees it as \"??.jar\" and puts that on the class path, a name that "
       "is no file"}}},
    {"ArchiveWhoseAnsiNameIsAnother",
     [](Install &in) {
         // The code page's best fit for a-macron is a plain a.
         HANDLE hFile =
             CreateFileW((Wide(in.dir) + L"\u0101.jar").c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
         ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
         CloseHandle(hFile);
         WriteFileText(in.dir + "a.jar", "PK");
     },
     {{"warning", "the name of \"<U+0101>.jar\" in the install directory has characters that the ANSI code page "
                  "1252 cannot carry: the daemon sees it as \"a.jar\", the name of another file there, and puts "
                  "that one on the class path in its place"}}},
    {"PlatformLibrariesInTheDirectory",
     [](Install &in) {
         Copy(PmProgramDir() + "ov.dll", in.dir + "ov.dll");
         Copy(PmProgramDir() + "ovw.dll", in.dir + "OVW.DLL");
     },
     // The daemon's own folder, and the Java application's current folder.
     {{"error",
       "Module\\ov.dll\" is the ov.dll the daemon would load: Windows finds it in the program's own folder "
       "before PATH"},
      {"error",
       "Module\\ovw.dll\" is the ovw.dll the Java application would load: Windows finds it in the current "
       "folder before PATH"}}},
    {"DirectoryWritableByEveryone",
     [](Install &in) { LetEveryoneWrite(in.dir); },
     {{"warning", "Module\\\" can be changed by Everyone: whoever can write it"}}},
    {"JavaFileWritableByEveryone",
     [](Install &in) { LetEveryoneWrite(in.dir + "java_file.dat"); },
     {{"warning", "java_file.dat\" can be changed by Everyone: whoever can change it"}}},
    {"LauncherWritableByEveryone",
     [](Install &in) { LetEveryoneWrite(in.launcher); },
     {{"warning", "jre\\bin\\java.exe\" can be changed by Everyone: whoever can change it"}}},
    {"LauncherFolderOpenToEveryone",
     [](Install &in) { LetEveryoneWrite(in.root + "jre\\bin"); },
     {{"warning", "the launcher's folder \"" FIXTURE_DRIVE ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
                  "LauncherFolderOpenToEveryone\\jre\\bin\\\" can be changed by Everyone: Windows searches it "
                  "first for the libraries the launcher loads, so whoever can add a file there"}}},
    {"NoArchive",
     [](Install &in) { DeleteFileA((in.dir + "app.jar").c_str()); },
     {{"error", "the install directory holds no archive (*.jar): the class path holds only the libraries, so the "
                "Java application's main class quorel.im.vesk.Quorel is not found"}}},
    {"ArchiveWritableByEveryone",
     [](Install &in) { LetEveryoneWrite(in.dir + "app.jar"); },
     {{"warning", "the archive \"" FIXTURE_DRIVE ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
                  "ArchiveWritableByEveryone\\Integration Module\\app.jar\" can be changed by Everyone: it is on "
                  "the class path"}}},
    {"ArchiveOfALongerEndingWritableByEveryone",
     [](Install &in) {
         // *.jar finds old.jarx through its short name: it is an archive on
         // the class path, not a library.
         WriteFileText(in.dir + "old.jarx", "PK");
         LetEveryoneWrite(in.dir + "old.jarx");
     },
     {{"warning", "the archive \"" FIXTURE_DRIVE ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
                  "ArchiveOfALongerEndingWritableByEveryone\\Integration Module\\old.jarx\" can be changed by "
                  "Everyone"}}},
    {"BridgeWritableByEveryone",
     [](Install &in) { LetEveryoneWrite(in.dir + "nodeflags.dll"); },
     {{"warning",
       "the library \"" FIXTURE_DRIVE ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
       "BridgeWritableByEveryone\\Integration Module\\nodeflags.dll\" can be changed by Everyone: it is "
       "on the class path"}}},
    {"DaemonWritableByEveryone",
     [](Install &in) { LetEveryoneWrite(in.dir + "imdaemon.exe"); },
     {{"warning", "the daemon \"" FIXTURE_DRIVE ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
                  "DaemonWritableByEveryone\\Integration Module\\imdaemon.exe\" can be changed by Everyone"}}},
    {"ClassPathFolderOpenToEveryone",
     [](Install &in) {
         CreateDirectoryA((in.dir + "classes.jar").c_str(), 0);
         WriteFileText(in.dir + "classes.jar\\Main.class", "\xCA\xFE");
         LetEveryoneWrite(in.dir + "classes.jar");
     },
     {{"warning", "the folder on the class path \"" FIXTURE_DRIVE ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
                  "ClassPathFolderOpenToEveryone\\Integration Module\\classes.jar\\\" can be changed by "
                  "Everyone"}}},
    {"RuntimeLibraryWritableByEveryone",
     [](Install &in) {
         CreateDirectoryA((in.root + "jre\\bin\\server").c_str(), 0);
         WriteFileText(in.root + "jre\\bin\\server\\jvm.dll", "MZ");
         LetEveryoneWrite(in.root + "jre\\bin\\server\\jvm.dll");
     },
     {{"warning",
       "a file of the Java runtime \"" FIXTURE_DRIVE ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
       "RuntimeLibraryWritableByEveryone\\jre\\bin\\server\\jvm.dll\" can be changed by Everyone: "
       "whoever can change the Java runtime's files, or add some, chooses code that the launcher loads"}}},
    {"RuntimeFolderOpenToEveryone",
     [](Install &in) {
         // One line for a folder open to everyone, and all it holds.
         std::string lib = in.root + "jre\\lib\\";
         CreateDirectoryA(lib.c_str(), 0);
         CreateDirectoryA((lib + "security").c_str(), 0);
         for (int i = 0; i < 20; ++i)
             WriteFileText(lib + (i % 2 ? "security\\" : "") + "file" + std::to_string(i), "x");
         LetEveryoneWrite(lib);
         LetEveryoneWrite(lib + "security");
         for (int i = 0; i < 20; ++i)
             LetEveryoneWrite(lib + (i % 2 ? "security\\" : "") + "file" + std::to_string(i));
         LetEveryoneWrite(lib + "modules");
     },
     {{"warning", "a folder of the Java runtime \"" FIXTURE_DRIVE ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
                  "RuntimeFolderOpenToEveryone\\jre\\lib\\\" and the 22 files and folders below it can be changed "
                  "by Everyone"}}},
    {"RuntimeFilesOpenToEveryone",
     [](Install &in) {
         // Five lines at most, then the rest counted.
         std::string lib = in.root + "jre\\lib\\";
         CreateDirectoryA(lib.c_str(), 0);
         for (int i = 0; i < 9; ++i) {
             WriteFileText(lib + "file" + std::to_string(i), "x");
             LetEveryoneWrite(lib + "file" + std::to_string(i));
         }
     },
     {{"warning", "a file of the Java runtime"},
      {"warning", "a file of the Java runtime"},
      {"warning", "a file of the Java runtime"},
      {"warning", "a file of the Java runtime"},
      {"warning", "a file of the Java runtime"},
      {"warning", "and 4 more files and folders below \"" FIXTURE_DRIVE ":\\ImcheckFinding."
                  "FiresAloneWithItsExitStatus\\RuntimeFilesOpenToEveryone\\jre\\\" can be changed by Everyone"}}},
    {"InstallDirectoryThroughALink",
     [](Install &in) { MoveBehindALink(in, "Integration Module"); },
     {{"warning",
       "the folder above the install directory's real path (a link on \"" FIXTURE_DRIVE
       ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\InstallDirectoryThroughALink\\Integration "
       "Module\\\" was followed) \"" FIXTURE_DRIVE_UPPER ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
       "InstallDirectoryThroughALink\\open\\\" can be changed by Everyone"}}},
    {"LauncherThroughALink",
     [](Install &in) { MoveBehindALink(in, "jre"); },
     {{"warning", "the folder above the launcher's real path (a link on \"" FIXTURE_DRIVE
                  ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\LauncherThroughALink\\jre\\bin\\java.exe\" "
                  "was followed) \"" FIXTURE_DRIVE_UPPER ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
                  "LauncherThroughALink\\open\\\" can be changed by Everyone"}}},
    {"RuntimeFolderThroughALink",
     [](Install &in) {
         // The runtime's class library is found through the link.
         ASSERT_TRUE(MoveFileA((in.root + "jre\\lib").c_str(), (in.root + "lib").c_str()));
         MoveBehindALink(in, "lib");
         MakeLink(in.root + "jre\\lib", in.root + "open\\lib");
     },
     {{"warning", "the folder above the link's real path (a link on \"" FIXTURE_DRIVE
                  ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\RuntimeFolderThroughALink\\jre\\lib\" was "
                  "followed) \"" FIXTURE_DRIVE_UPPER ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
                  "RuntimeFolderThroughALink\\open\\\" can be changed by Everyone"}}},
    {"LauncherLiteralPathAccepted", [](Install &in) { SetJavaFile(in, "\\\\?\\" + in.launcher); }, {}},
    {"LauncherLiteralPathEndingWithASpace",
     // Wine drops the space as it opens the file; Windows keeps it.
     [](Install &in) { SetJavaFile(in, "\\\\?\\" + in.launcher + " "); },
     {{"error", "is a \\\\?\\ path with a part that ends with a space or a dot: Windows drops those from other "
                "paths, but hands a \\\\?\\ path to the file system as it is"}}},
    {"QuotedArgumentEndingInBackslashQuote",
     [](Install &in) { in.arguments = L"\"" + Wide(in.dir) + L"\""; },
     // The quote is part of the argument; no backslash is added to it.
     {{"error", "does not end with a backslash"}, {"error", "Integration Module\"\" does not exist"}}},
    {"JavaFileThroughALink",
     [](Install &in) { MoveBehindALink(in, "Integration Module\\java_file.dat"); },
     {{"warning",
       "the folder above java_file.dat's real path (a link on \"" FIXTURE_DRIVE
       ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\JavaFileThroughALink\\Integration "
       "Module\\java_file.dat\" was followed) \"" FIXTURE_DRIVE_UPPER
       ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\JavaFileThroughALink\\open\\\" can be changed by "
       "Everyone"}}},
    {"ArchiveThroughALink",
     [](Install &in) { MoveBehindALink(in, "Integration Module\\app.jar"); },
     {{"warning",
       "the folder above the archive's real path (a link on \"" FIXTURE_DRIVE
       ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\ArchiveThroughALink\\Integration Module\\app.jar\" "
       "was followed)"}}},
    {"ClassPathFolderThroughALink",
     [](Install &in) {
         CreateDirectoryA((in.dir + "classes.jar").c_str(), 0);
         WriteFileText(in.dir + "classes.jar\\Main.class", "\xCA\xFE");
         MoveBehindALink(in, "Integration Module\\classes.jar");
     },
     {{"warning", "the folder above the folder on the class path's real path (a link on \"" FIXTURE_DRIVE
                  ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\ClassPathFolderThroughALink\\Integration "
                  "Module\\classes.jar\\\" was followed)"}}},
    {"LaunchersFolderAlsoAboveTheInstallDirectory",
     [](Install &in) {
         // Met first above the install directory, where adding a file is
         // harmless; as the launcher's folder it plants a library.
         in.dir = in.root + "jre\\bin\\Integration Module\\";
         Populate(in);
         LetEveryoneDo(in.root + "jre\\bin", "0x2");
     },
     {{"warning", "the launcher's folder \"" FIXTURE_DRIVE ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
                  "LaunchersFolderAlsoAboveTheInstallDirectory\\jre\\bin\\\" can be changed by Everyone"}}},
    {"RuntimeOfALauncherFolderNotNamedBin",
     [](Install &in) {
         // The launcher's home is the parent of its folder, whatever that is named.
         LauncherInToolsFolder(in);
         LayOutRuntime(in.root + "tools\\");
         LetEveryoneWrite(in.root + "tools\\lib\\modules");
     },
     {{"warning", "a file of the Java runtime \"" FIXTURE_DRIVE ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
                  "RuntimeOfALauncherFolderNotNamedBin\\tools\\lib\\modules\" can be changed by Everyone"}}},
    {"RuntimeOfADevelopmentKit",
     [](Install &in) {
         // jdk\bin\java.exe finds its runtime in jdk\jre, Java 8's layout.
         CreateDirectoryA((in.root + "jdk").c_str(), 0);
         CreateDirectoryA((in.root + "jdk\\bin").c_str(), 0);
         LayOutRuntime(in.root + "jdk\\jre\\");
         DeleteFileA((in.root + "jdk\\jre\\lib\\modules").c_str());
         WriteFileText(in.root + "jdk\\jre\\lib\\rt.jar", "PK");
         LetEveryoneWrite(in.root + "jdk\\jre\\lib\\rt.jar");
         in.launcher = in.root + "jdk\\bin\\java.exe";
         Copy(PmProgramDir() + "javaapp.exe", in.launcher);
         SetJavaFile(in, in.launcher);
     },
     {{"warning", "a file of the Java runtime \"" FIXTURE_DRIVE ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
                  "RuntimeOfADevelopmentKit\\jdk\\jre\\lib\\rt.jar\" can be changed by Everyone"}}},
    {"LauncherAtADrivesRoot",
     [](Install &in) {
         // A runtime whose home is a drive: its bin, lib and conf folders there.
         std::string drive = in.root + "drive\\";
         LayOutRuntime(drive);
         MapDrive('q', drive, "Q:\\bin\\server\\jvm.dll");
         LetEveryoneWrite(drive + "lib\\modules");
         in.launcher = "Q:\\bin\\java.exe";
         SetJavaFile(in, in.launcher);
     },
     {{"warning", "a file of the Java runtime \"Q:\\lib\\modules\" can be changed by Everyone"}}},
    {"LauncherWithNoRuntimeWhereItLooks",
     [](Install &in) { LauncherInToolsFolder(in); },
     {{"warning",
       "launcher\\java.exe\" finds no Java runtime where a launcher looks for one (bin\\server\\jvm.dll or "
       "bin\\client\\jvm.dll with lib\\modules or lib\\rt.jar in \"" FIXTURE_DRIVE}}},
    {"LibraryTheLauncherImportsFromItsFolder",
     [](Install &in) {
         // Checked in the launcher's own folder, whatever the layout.
         LauncherInToolsFolder(in, HereFile("jli-launcher.exe"));
         Copy(HereFile("jli.dll"), in.root + "tools\\launcher\\jli.dll");
         LetEveryoneWrite(in.root + "tools\\launcher\\jli.dll");
     },
     {{"warning", "launcher\\java.exe\" finds no Java runtime where a launcher looks for one"},
      {"warning", "a library the launcher loads from its own folder \"" FIXTURE_DRIVE
                  ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\LibraryTheLauncherImportsFromItsFolder\\tools\\"
                  "launcher\\jli.dll\" can be changed by Everyone"}}},
    {"NoPlatformLibraryOnAnyPath",
     [](Install &in) { in.platform.clear(); },
     {{"warning", "no ov.dll is found where Windows looks for it for the daemon"},
      {"warning", "no ovw.dll is found where Windows looks for it for the Java application"}}},
    {"FolderOnThePathAheadOfThePlatformOpenToEveryone",
     [](Install &in) {
         CreateDirectoryA((in.root + "open").c_str(), 0);
         LetEveryoneWrite(in.root + "open");
         in.platform = in.root + "open;" + in.platform;
     },
     {{"warning",
       "a folder Windows searches for ov.dll for the daemon (PATH) \"" FIXTURE_DRIVE
       ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\FolderOnThePathAheadOfThePlatformOpenToEveryone\\"
       "open\\\" can be changed by Everyone"}}},
    {"MissingFolderOnThePathAheadOfThePlatform",
     [](Install &in) {
         // Whoever may add a folder where it is missing makes it, and plants a library.
         CreateDirectoryA((in.root + "open").c_str(), 0);
         LetEveryoneWrite(in.root + "open");
         in.platform = in.root + "open\\missing;" + in.platform;
     },
     {{"warning", "the folder above \"" FIXTURE_DRIVE ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\"
                  "MissingFolderOnThePathAheadOfThePlatform\\open\\missing\\\", which Windows searches for ov.dll "
                  "for the daemon (PATH) but does not exist, \"" FIXTURE_DRIVE}}},
    {"FolderAboveAFolderOnThePathOpenToEveryone",
     [](Install &in) {
         // Whoever may rename what it holds puts another folder in the searched one's place.
         CreateDirectoryA((in.root + "tools").c_str(), 0);
         CreateDirectoryA((in.root + "tools\\bin").c_str(), 0);
         LetEveryoneWrite(in.root + "tools");
         in.platform = in.root + "tools\\bin;" + in.platform;
     },
     {{"warning", "the folder above a folder Windows searches for ov.dll for the daemon (PATH) \"" FIXTURE_DRIVE
                  ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\FolderAboveAFolderOnThePathOpenToEveryone\\"
                  "tools\\\" can be changed by Everyone"}}},
    {"BridgeCopyInTheLaunchersFolder",
     [](Install &in) { Copy(PmProgramDir() + "nodeflags.dll", in.root + "jre\\bin\\nodeflags.dll"); },
     {{"error",
       "jre\\bin\\nodeflags.dll\" is the nodeflags.dll the Java application would load: the JVM's library "
       "path finds it in the launcher's folder before the install directory"}}},
    {"ClassPathFolderDeeperThanTheWalkGoes",
     [](Install &in) {
         std::string folder = in.dir + "classes.jar\\";
         for (int level = 0; level < 70; ++level, folder += "a\\")
             ASSERT_TRUE(CreateDirectoryA(folder.c_str(), 0)) << folder;
     },
     {{"warning", "imcheck looked at the first 20000 files and folders, and 64 folders deep, of the Java runtime "
                  "and the class path's folders only"}}},
    {"TwoLinksInAWalkedFolderToOneFolder",
     [](Install &in) {
         // The folder they lead to is walked, and reported, once. Wine reads
         // a link's own permissions as its target's, so each link is named
         // too; Windows reads the link's own.
         CreateDirectoryA((in.root + "open").c_str(), 0);
         WriteFileText(in.root + "open\\Main.class", "\xCA\xFE");
         LetEveryoneWrite(in.root + "open");
         LetEveryoneWrite(in.root + "open\\Main.class");
         CreateDirectoryA((in.dir + "classes.jar").c_str(), 0);
         CreateDirectoryA((in.dir + "classes.jar\\sub").c_str(), 0);
         MakeLink(in.dir + "classes.jar\\l1", in.root + "open");
         MakeLink(in.dir + "classes.jar\\sub\\l2", in.root + "open");
     },
     {{"warning", "classes.jar\\l1\\\" and the 1 files and folders below it can be changed by Everyone"},
      {"warning", "the link in the folder on the class path \"" FIXTURE_DRIVE
                  ":\\ImcheckFinding.FiresAloneWithItsExitStatus\\TwoLinksInAWalkedFolderToOneFolder\\Integration "
                  "Module\\classes.jar\\l1\" can be changed by Everyone"},
      {"warning", "classes.jar\\sub\\l2\" can be changed by Everyone"}}},
    {"LauncherLiteralPathToANameEndingWithASpace",
     [](Install &in) {
         // Such a file can exist; a \\?\ path names it.
         std::string named = in.root + "jre\\bin\\java.exe";
         std::string command = "/bin/cp \"" + UnixPath(named) + "\" \"" + UnixPath(named) + " \"";
         ASSERT_TRUE(RunUnix(
             "Z:\\bin\\cp", command,
             [](const std::string &folder) {
                 WIN32_FIND_DATAA data;
                 HANDLE hFind = FindFirstFileA((folder + "*").c_str(), &data);
                 bool seen = false;
                 if (hFind != INVALID_HANDLE_VALUE) {
                     do
                         seen |= std::string(data.cFileName) == "java.exe ";
                     while (FindNextFileA(hFind, &data));
                     FindClose(hFind);
                 }
                 return seen;
             },
             in.root + "jre\\bin\\"));
         SetJavaFile(in, "\\\\?\\" + named + " ");
     },
     {{"warning", "the launcher is \"java.exe \", not java.exe or javaw.exe"}}},
    {"FolderAboveBothOpenToEveryone",
     [](Install &in) { LetEveryoneWrite(in.root); },
     {{"warning", "Everyone: whoever can delete or rename what it holds, or change its permissions, can put "
                  "another in place of the install directory"}}},
};

static void PrintTo(const Case &c, std::ostream *out)
{
    *out << c.name;
}

class ImcheckFinding : public ::testing::TestWithParam<Case> {};

// Each finding once, and the exit status of the worst; a clean install
// ends with the "ok" line.
static void ExpectFindings(const Report &report, const std::vector<Finding> &findings)
{
    std::vector<std::string> found = Findings(report);
    EXPECT_EQ(found.size(), findings.size()) << report.text;
    DWORD expected = 0;
    for (const Finding &f : findings) {
        std::string start = std::string(f.severity) + ": ";
        bool seen = std::any_of(found.begin(), found.end(), [&](const std::string &line) {
            return StartsWith(line, start) && line.find(f.phrase) != std::string::npos;
        });
        EXPECT_TRUE(seen) << start << "..." << f.phrase << "... missing from:\n" << report.text;
        expected = start == "error: " ? 1 : expected == 0 ? 2 : expected;
    }
    EXPECT_EQ(report.status, expected) << report.text;
    if (findings.empty()) {
        ASSERT_FALSE(report.lines.empty());
        EXPECT_TRUE(StartsWith(report.lines.back(), "ok: ")) << report.text;
    }
}

// A case's install checked, and what the case changed outside it undone.
static void CheckCase(const Case &c)
{
    Install in = CleanInstall();
    c.change(in);
    if (!::testing::Test::HasFatalFailure()) {
        Report report = in.Check();
        ExpectFindings(report, c.findings);
    }
    if (in.held != INVALID_HANDLE_VALUE)
        CloseHandle(in.held);
    for (auto undo = in.undo.rbegin(); undo != in.undo.rend(); ++undo)
        (*undo)();
}

TEST_P(ImcheckFinding, FiresAloneWithItsExitStatus)
{
    CheckCase(GetParam());
}

INSTANTIATE_TEST_SUITE_P(, ImcheckFinding, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

// Cases that put a library in a system folder, or the platform's folder on
// the system's PATH, change what every imcheck in the build's prefix finds:
// their CTest test runs alone (tests/imcheck/CMakeLists.txt).
static std::string SystemFolder(bool windows)
{
    char szFolder[MAX_PATH];
    UINT n = windows ? GetWindowsDirectoryA(szFolder, MAX_PATH) : GetSystemDirectoryA(szFolder, MAX_PATH);
    EXPECT_TRUE(n > 0 && n < MAX_PATH);
    return std::string(szFolder) + "\\";
}

static void PutInto(Install &in, const std::string &from, const std::string &to)
{
    Copy(from, to);
    in.undo.push_back([to] { EXPECT_TRUE(DeleteFileA(to.c_str())) << to; });
}

// Puts folder last on the system's PATH in the prefix's registry until the
// case ends.
static void AddToSystemPath(Install &in, const std::string &folder)
{
    HKEY hKey;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, &hKey),
              ERROR_SUCCESS);
    wchar_t szPath[32767];
    DWORD type = 0, bytes = sizeof szPath - sizeof(wchar_t);
    LONG read = RegQueryValueExW(hKey, L"Path", 0, &type, (BYTE *)szPath, &bytes);
    std::wstring original(szPath, read == ERROR_SUCCESS ? bytes / sizeof(wchar_t) : 0);
    std::wstring path = std::wstring(original.c_str()) + L";" + Wide(folder);
    EXPECT_EQ(RegSetValueExW(hKey, L"Path", 0, REG_EXPAND_SZ, (const BYTE *)path.c_str(),
                             (DWORD)((path.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(hKey);
    in.undo.push_back([original, type] {
        HKEY hKey;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                                L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                                KEY_SET_VALUE, &hKey),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(hKey, L"Path", 0, type, (const BYTE *)original.data(),
                                 (DWORD)(original.size() * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        RegCloseKey(hKey);
    });
}

static const Case systemFolderCases[] = {
    {"PlatformLibraryInTheSystemFolder",
     [](Install &in) { PutInto(in, PmProgramDir() + "ov.dll", SystemFolder(false) + "ov.dll"); },
     {{"error",
       "system32\\ov.dll\" is the ov.dll the daemon would load: Windows finds it in the system folder before "
       "PATH, where the platform's on PATH is \"" FIXTURE_DRIVE}}},
    {"PlatformLibraryInTheWindowsFolder",
     [](Install &in) { PutInto(in, PmProgramDir() + "ovw.dll", SystemFolder(true) + "ovw.dll"); },
     {{"error",
       "windows\\ovw.dll\" is the ovw.dll the Java application would load: Windows finds it in the Windows "
       "folder before PATH"}}},
    {"PlatformFoundThroughTheSystemsPath",
     [](Install &in) {
         // The process manager's PATH is the system's, not imcheck's own.
         AddToSystemPath(in, in.platform);
         in.platform.clear();
     },
     {}},
    {"BridgeCopyOnTheSystemsPath",
     [](Install &in) {
         // The JVM's library path holds PATH before the install directory.
         AddToSystemPath(in, in.platform);
         Copy(PmProgramDir() + "nodeflags.dll", in.platform + "\\nodeflags.dll");
     },
     {{"error",
       "NNM\\bin\\nodeflags.dll\" is the nodeflags.dll the Java application would load: the JVM's library "
       "path finds it in PATH before the install directory"}}},
};

class ImcheckSystemFolder : public ::testing::TestWithParam<Case> {};

TEST_P(ImcheckSystemFolder, FiresAloneWithItsExitStatus)
{
    CheckCase(GetParam());
}

INSTANTIATE_TEST_SUITE_P(, ImcheckSystemFolder, ::testing::ValuesIn(systemFolderCases),
                         [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

class Imcheck : public DaemonTest {};

TEST_F(Imcheck, PrintsTheCommandLineTheDaemonPasses)
{
    Install in = CleanInstall();
    WriteFileText(in.dir + "second archive.jar", "PK");
    CreateDirectoryA((in.dir + "old.jar").c_str(), 0);
    Report report = in.Check();
    EXPECT_EQ(report.status, 0u) << report.text;
    size_t length = 0;
    std::string printed = PrintedCommandLine(report, &length);
    EXPECT_EQ(printed.size(), length);

    ASSERT_TRUE(Start(PmArgument(Encoded(in.dir))));
    ASSERT_TRUE(Expect(FRAME_INIT_COMPLETE, PM_INIT_COMPLETE, PM_INIT_COMPLETE_TEXT));
    ASSERT_TRUE(WaitForRecord(in.dir, "window", "open"));
    std::vector<std::string> started = RecordValues(in.dir, "cmdline");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(printed, started[0]);
    ExitAndTime();
}

TEST_F(Imcheck, NamesTheProcessOfAListenerWindowAlreadyOpen)
{
    Install in = CleanInstall();
    std::string application = PmProgramDir() + "javaapp.exe";
    PROCESS_INFORMATION process;
    ASSERT_TRUE(StartStandIn(in.root, "close", process, TestDesktop()));
    bool open = WaitForRecord(in.root, "window", "open");
    Report report = in.Check();
    TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    ASSERT_TRUE(open);

    std::vector<std::string> found = Findings(report);
    ASSERT_EQ(found.size(), 1u) << report.text;
    EXPECT_NE(found[0].find("warning: a \"Tarvos_Windows_Listener\" window is already open, owned by process " +
                            std::to_string(process.dwProcessId) + " (" + application + ")"),
              std::string::npos)
        << found[0];
    EXPECT_EQ(report.status, 2u);
}

// Names as the system keeps them, under the single-byte code page 1252 and
// the double-byte 932 (Shift JIS), where a character's second byte may be a
// backslash (0x5C) or a letter: the same fixture, and what each code page
// makes of it. The 932 run is its own test (tests/imcheck/CMakeLists.txt).
struct CodePageCase {
    const char *name;
    void (*change)(Install &in);
    std::vector<Finding> in1252, in932;
};

static HANDLE CreateWide(const std::wstring &path)
{
    return CreateFileW(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
}

static const CodePageCase codePageCases[] = {
    {"FolderWhoseNameHasA5CSecondByte",
     [](Install &in) {
         // So (U+30BD) is 0x83 0x5C in 932, table (U+8868) 0x95 0x5C: no
         // backslash and no folder boundary.
         std::wstring dir = Wide(in.root) + L"\u30bd\u30d5\u30c8 \u8868\\";
         ASSERT_TRUE(CreateDirectoryW(dir.c_str(), 0) || GetLastError() == ERROR_ALREADY_EXISTS);
         for (const wchar_t *binary : {L"nodeflags.dll", L"imdaemon.exe"})
             ASSERT_TRUE(CopyFileW((Wide(PmProgramDir()) + binary).c_str(), (dir + binary).c_str(), FALSE));
         CloseHandle(CreateWide(dir + L"app.jar"));
         HANDLE hFile = CreateWide(dir + L"java_file.dat");
         DWORD written = 0;
         std::string line = in.launcher + "\r\n";
         WriteFile(hFile, line.data(), (DWORD)line.size(), &written, 0);
         CloseHandle(hFile);
         in.arguments = PmArgument(Wide(Encoded(in.root)) + L"\u30bd\u30d5\u30c8%20\u8868\\");
     },
     {{"warning",
       "\\<U+30BD><U+30D5><U+30C8> <U+8868>\\\" has characters that the ANSI code page 1252 cannot carry"},
      {"error", "\\??? ?\\\" does not exist: the daemon starts no application"}},
     {}},
    {"ArchivesWhoseNamesDifferInASecondBytesCase",
     [](Install &in) {
         // A (U+30A2) is 0x83 0x41 in 932, di (U+30C2) 0x83 0x61: two files.
         CloseHandle(CreateWide(Wide(in.dir) + L"\u30a2.jar"));
         CloseHandle(CreateWide(Wide(in.dir) + L"\u30c2.jar"));
         LetEveryoneDo(Wide(in.dir) + L"\u30c2.jar", "FA");
     },
     {{"warning", "the name of \"<U+30A2>.jar\" in the install directory has characters that the ANSI code page "
                  "1252 cannot carry"},
      {"warning", "the name of \"<U+30C2>.jar\" in the install directory has characters that the ANSI code page "
                  "1252 cannot carry"}},
     {{"warning", "Integration Module\\\x83\x61.jar\" can be changed by Everyone: it is on the class path"}}},
    {"InstallDirectoryLongerInBytesThanInCharacters",
     [](Install &in) {
         // 110 characters of two bytes each in 932.
         std::wstring table(55, L'\u8868');
         in.arguments = PmArgument(Wide(Encoded(in.root)) + table + L"\\" + table + L"\\");
     },
     {{"warning", "has characters that the ANSI code page 1252 cannot carry"},
      {"error", "\\\" does not exist: the daemon starts no application"}},
     {{"error", "bytes in the ANSI code page 932 ("}}},
    {"FileInAClassPathFolderNamedOutsideTheCodePage",
     [](Install &in) {
         // Listed by its real name, not its best fit a.class.
         ASSERT_TRUE(CreateDirectoryA((in.dir + "classes.jar").c_str(), 0));
         std::wstring file = Wide(in.dir) + L"classes.jar\\\u0101.class";
         CloseHandle(CreateWide(file));
         LetEveryoneDo(file, "FA");
     },
     {{"warning",
       "a file in a folder on the class path \"" FIXTURE_DRIVE ":\\ImcheckCodePage.FindingsAsTheCodePage"
       "MakesThem\\FileInAClassPathFolderNamedOutsideTheCodePage\\Integration Module\\classes.jar\\"
       "<U+0101>.class\" can be changed by Everyone"}},
     {{"warning",
       "a file in a folder on the class path \"" FIXTURE_DRIVE ":\\ImcheckCodePage.FindingsAsTheCodePage"
       "MakesThem\\FileInAClassPathFolderNamedOutsideTheCodePage\\Integration Module\\classes.jar\\"
       "<U+0101>.class\" can be changed by Everyone"}}},
};

static void PrintTo(const CodePageCase &c, std::ostream *out)
{
    *out << c.name;
}

class ImcheckCodePage : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(ImcheckCodePage, FindingsAsTheCodePageMakesThem)
{
    const CodePageCase &c = GetParam();
    if (GetACP() != 1252 && GetACP() != 932)
        GTEST_SKIP() << "the findings are those of code pages 1252 and 932, not " << GetACP();
    const std::vector<Finding> &findings = GetACP() == 932 ? c.in932 : c.in1252;
    Install in = CleanInstall();
    c.change(in);
    if (HasFatalFailure())
        return;
    ExpectFindings(in.Check(), findings);
}

INSTANTIATE_TEST_SUITE_P(, ImcheckCodePage, ::testing::ValuesIn(codePageCases),
                         [](const ::testing::TestParamInfo<CodePageCase> &info) {
                             return std::string(info.param.name);
                         });
