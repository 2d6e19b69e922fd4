// imcheck: a preflight check of an install directory. Given the daemon's
// first argument as the process manager passes it (anything after it is
// ignored, so the daemon's whole command line can be pasted), it prints what
// the daemon would read and run, then one line per finding that would keep
// the Java application from starting or working, or the daemon from
// stopping it cleanly. The daemon's own routines decode the argument, read
// java_file.dat and build the command line, so the two cannot disagree.
// It starts nothing, writes nothing, connects to nothing, and needs neither
// ov.dll nor ovw.dll. Exit status: 0 nothing found, 1 at least one error,
// 2 warnings only.
#include <windows.h>
#include <shellapi.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "file_security.h"
#include "install_path.h"
#include "java_path.h"
#include "jvm.h"
#include "pe_image.h"

enum {
    // The longest directory whose java_file.dat path (13 more characters)
    // the daemon builds uncut.
    MAX_INSTALL_DIR = INSTALL_PATH_SIZE - 1 - (sizeof "java_file.dat" - 1),
    MAX_JAVA_FILE_LINE = INSTALL_PATH_SIZE - 1,
    // Process creation takes 32,767 characters with the terminating zero.
    MAX_COMMAND_LINE = 32766
};

static const char szUsage[] =
    "usage: imcheck <install directory as the process manager passes it> [anything else]\n";

static int nErrors;
static int nWarnings;

static void Error(const std::string &text)
{
    printf("error: %s\n", text.c_str());
    ++nErrors;
}

static void Warning(const std::string &text)
{
    printf("warning: %s\n", text.c_str());
    ++nWarnings;
}

static int Summary()
{
    if (nErrors) {
        printf("the application would not start or not work: %d error(s), %d warning(s)\n", nErrors,
               nWarnings);
        return 1;
    }
    if (nWarnings) {
        printf("the daemon would start the application, but see the %d warning(s) above\n", nWarnings);
        return 2;
    }
    printf("ok: the daemon would start the application with the launcher and command line above\n");
    return 0;
}

static std::string Quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

static bool Exists(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES;
}

static bool IsFolder(DWORD attributes)
{
    return Exists(attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// text in the ANSI code page, converted as the system converts it for the
// daemon's ANSI calls; false when that loses or changes a character.
static bool ToAnsi(const std::wstring &text, std::string &ansi)
{
    ansi.clear();
    if (text.empty())
        return true;
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), (int)text.size(), 0, 0, 0, 0);
    if (n <= 0)
        return false;
    ansi.resize(n);
    WideCharToMultiByte(CP_ACP, 0, text.data(), (int)text.size(), &ansi[0], n, 0, 0);
    int m = MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, 0, 0);
    std::wstring back(m > 0 ? m : 0, L'\0');
    if (m > 0)
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, &back[0], m);
    return back == text;
}

static std::wstring FromAnsi(const std::string &text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), 0, 0);
    std::wstring wide(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], n);
    return wide;
}

// The install-directory argument as the command line holds it, before the
// C runtime made ANSI text of it.
static std::wstring WideArgument()
{
    int count = 0;
    LPWSTR *args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring argument = args && count > 1 ? args[1] : L"";
    LocalFree(args);
    return argument;
}

// The argument and the folder it names; javaFile is the path the daemon
// reads. True when the folder exists.
static bool CheckInstallDir(const std::string &decoded, const std::string &dir, const char *javaFile)
{
    char last = decoded[decoded.size() - 1];
    if (!IsSeparator(last)) {
        std::string text = "the install directory does not end with a backslash: the daemon puts file names "
                           "straight after it and reads " + Quoted(javaFile) + "; end the argument with \\";
        if (last == '"')
            text += " (a backslash before a closing quote makes the quote part of the argument: write "
                    "spaces as %20 and leave the argument unquoted)";
        Error(text);
    }
    if (decoded.size() > MAX_INSTALL_DIR)
        Error("the install directory is " + std::to_string(decoded.size()) + " characters long, more than " +
              std::to_string(MAX_INSTALL_DIR) + ": the daemon cuts the path of java_file.dat at " +
              std::to_string(INSTALL_PATH_SIZE - 1) +
              " characters, does not find it and starts no application; use a shorter folder");
    if (decoded.find(';') != std::string::npos)
        Warning("the install directory holds a ';': the library path and the class path are split there, "
                "so the Java application finds neither nodeflags.dll nor its archives; use a folder "
                "without ';'");
    std::string ansi;
    if (!ToAnsi(WideArgument(), ansi))
        Warning("the install directory argument has characters that the ANSI code page " +
                std::to_string(GetACP()) + " cannot carry: the daemon's ANSI calls see " + Quoted(decoded) +
                " instead; use a folder whose path has only characters of that code page");
    bool found = IsFolder(GetFileAttributesA(dir.c_str()));
    if (!found)
        Error("the install directory " + Quoted(dir) + " does not exist: the daemon starts no application; "
              "pass the folder that holds imdaemon.exe, nodeflags.dll and java_file.dat");
    return found;
}

// java_file.dat at the path the daemon reads; launcher is what the daemon
// took from it. True when that is a launcher path to look at.
static bool CheckJavaFile(const char *path, const std::string &launcher, bool dirFound)
{
    DWORD attributes = GetFileAttributesA(path);
    if (!Exists(attributes)) {
        if (dirFound)
            Error(Quoted(path) + " does not exist: the daemon finds no launcher and starts no application; put "
                  "java_file.dat in the install directory with the launcher's full path on its first line");
        return false;
    }
    FILE *f = fopen(path, "r");
    if (!f) {
        Error(Quoted(path) + " cannot be opened for reading" + (IsFolder(attributes) ? " (it is a folder)" : "") +
              ": the daemon finds no launcher and starts no application; make it a file the daemon's "
              "account can read");
        return false;
    }
    // The whole first line, read in the same text mode as the daemon reads.
    size_t nLine = 0;
    for (int c = fgetc(f); c != EOF && c != '\n'; c = fgetc(f))
        ++nLine;
    fclose(f);
    if (nLine > MAX_JAVA_FILE_LINE)
        Warning("the first line of java_file.dat is " + std::to_string(nLine) + " characters long: the daemon "
                "reads only its first " + std::to_string(MAX_JAVA_FILE_LINE) + " and takes " + Quoted(launcher) +
                " as the launcher path; put nothing after the path on that line");
    if (launcher.empty()) {
        Error("the first line of java_file.dat is empty: the daemon reads only that line, finds no launcher "
              "and starts no application; put the launcher's full path on the first line");
        return false;
    }
    return true;
}

static bool IsAbsolute(const std::string &path)
{
    // A drive with its root, or a UNC path. "C:x" and "\x" depend on the
    // daemon's current drive and folder.
    if (path.size() >= 3 && isalpha((unsigned char)path[0]) && path[1] == ':' && IsSeparator(path[2]))
        return true;
    return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

static bool HasExtension(const std::string &path, const char *extension)
{
    size_t n = strlen(extension);
    return path.size() >= n && _stricmp(path.c_str() + path.size() - n, extension) == 0;
}

// The launcher path as the daemon hands it to CreateProcessA. image is
// filled when the launcher is a Windows program.
static void CheckLauncher(const std::string &launcher, PeImage &image)
{
    bool usable = true;
    if (launcher.compare(0, 3, "\xEF\xBB\xBF") == 0 || launcher.compare(0, 2, "\xFF\xFE") == 0 ||
        launcher.compare(0, 2, "\xFE\xFF") == 0) {
        Error("java_file.dat begins with a byte-order mark (it was saved as Unicode text), which the daemon "
              "takes as part of the launcher path; save it as plain ANSI text");
        usable = false;
    }
    if (launcher.find('"') != std::string::npos) {
        Error("the launcher path " + launcher + " holds a double quote: the daemon passes the path as it is, "
              "and no file name holds a quote; write the path without quotes");
        usable = false;
    }
    if (isblank((unsigned char)launcher.front()) || isblank((unsigned char)launcher.back())) {
        Error("the launcher path " + Quoted(launcher) + " begins or ends with a blank: the daemon trims "
              "nothing, so the blank is part of the path; remove it");
        usable = false;
    }
    if (usable && !IsAbsolute(launcher)) {
        Error("the launcher path " + Quoted(launcher) + " is not absolute: the daemon resolves it against its "
              "own current folder, which the process manager chooses, not the install directory; write the "
              "full path, e.g. C:\\jre\\bin\\java.exe");
        usable = false;
    }
    if (!usable)
        return;

    DWORD attributes = GetFileAttributesA(launcher.c_str());
    if (!Exists(attributes)) {
        Error("the launcher " + Quoted(launcher) + " does not exist: the daemon's start of the application "
              "fails; name the java.exe of an installed JVM");
        return;
    }
    if (IsFolder(attributes)) {
        Error("the launcher " + Quoted(launcher) + " is a folder: the daemon's start of the application fails; "
              "name the launcher itself, e.g. C:\\jre\\bin\\java.exe");
        return;
    }
    if (HasExtension(launcher, ".bat") || HasExtension(launcher, ".cmd")) {
        Error("the launcher " + Quoted(launcher) + " is a batch file: the daemon's start does not run it as a "
              "launcher with the daemon's command line; name java.exe or javaw.exe itself");
        return;
    }
    if (!ReadPeImage(launcher, image) || image.kind == PE_NOT_AN_IMAGE) {
        Error("the launcher " + Quoted(launcher) + " is not a Windows program (it cannot be read, or has no "
              "MZ and PE headers): the daemon's start of the application fails; name java.exe or javaw.exe");
        return;
    }
    if (image.kind == PE_LIBRARY) {
        Error("the launcher " + Quoted(launcher) + " is a library (DLL), not a program: the daemon's start of "
              "the application fails; name java.exe or javaw.exe");
        image.kind = PE_NOT_AN_IMAGE;
        return;
    }
    size_t slash = launcher.find_last_of("\\/");
    std::string name = launcher.substr(slash + 1);
    if (_stricmp(name.c_str(), "java.exe") != 0 && _stricmp(name.c_str(), "javaw.exe") != 0)
        Warning("the launcher is " + Quoted(name) + ", not java.exe or javaw.exe: on the exit command the "
                "daemon waits for and ends the launcher's own process, so a launcher that starts the JVM and "
                "exits leaves the application neither waited for nor ended; name java.exe or javaw.exe itself");
}

// nodeflags.dll in the install directory, and whether a JVM of the
// launcher's architecture can load it.
static void CheckBridge(const std::string &dir, const PeImage &launcher)
{
    std::string path = dir + "nodeflags.dll";
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (!Exists(attributes) || IsFolder(attributes)) {
        Error("nodeflags.dll is not in the install directory: the Java application cannot load its native "
              "half and sets no node flags; copy nodeflags.dll there");
        return;
    }
    PeImage bridge;
    if (!ReadPeImage(path, bridge) || bridge.kind != PE_LIBRARY) {
        Error("nodeflags.dll in the install directory is not a Windows library (it cannot be read, or has no "
              "MZ and PE headers of a DLL): the Java application cannot load it; copy the released "
              "nodeflags.dll there");
        return;
    }
    if (launcher.kind == PE_PROGRAM && launcher.machine != bridge.machine)
        Error("the launcher is a " + MachineName(launcher.machine) + " program and nodeflags.dll a " +
              MachineName(bridge.machine) + " library: a JVM loads only libraries built for its own "
              "architecture; use the nodeflags.dll built for the JVM's, or a JVM of the library's");
}

static void CheckPlatformCopies(const std::string &dir)
{
    for (const char *name : {"ov.dll", "ovw.dll"})
        if (Exists(GetFileAttributesA((dir + name).c_str())))
            Warning(std::string(name) + " is in the install directory: the daemon and the Java application, "
                    "whose current directory this is, find it before the platform's own, and it goes on the "
                    "class path; remove it and let the platform provide it");
}

// Archives and libraries whose names the daemon's ANSI directory listing
// cannot give back.
static void CheckEntryNames(const std::string &dir)
{
    std::wstring wideDir = FromAnsi(dir);
    for (const wchar_t *pattern : {L"*.jar", L"*.dll"}) {
        WIN32_FIND_DATAW data;
        HANDLE hFind = FindFirstFileW((wideDir + pattern).c_str(), &data);
        if (hFind == INVALID_HANDLE_VALUE)
            continue;
        do {
            std::string ansi;
            if (!ToAnsi(data.cFileName, ansi))
                Warning("the name of " + Quoted(ansi) + " in the install directory has characters that the "
                        "ANSI code page " + std::to_string(GetACP()) + " cannot carry: the daemon puts it on "
                        "the class path under a name that is no file; rename it");
        } while (FindNextFileW(hFind, &data));
        FindClose(hFind);
    }
}

static void CheckWritable(const std::string &path, const std::string &what, const char *why)
{
    std::string groups;
    unsigned long error = 0;
    if (!GroupsThatCanWrite(path, groups, error))
        Warning("the permissions of " + what + " " + Quoted(path) + " cannot be read (error " +
                std::to_string(error) + "): make sure that only administrators and SYSTEM can change it");
    else if (!groups.empty())
        Warning(what + " " + Quoted(path) + " can be changed by " + groups + ": " + why +
                "; let only administrators and SYSTEM write it");
}

static void CheckCommandLine(const std::string &commandLine)
{
    if (commandLine.size() > MAX_COMMAND_LINE)
        Error("the command line is " + std::to_string(commandLine.size()) + " characters long, more than the " +
              std::to_string(MAX_COMMAND_LINE) + " (and the terminating zero) that process creation accepts: "
              "the application is not started; keep only the archives and libraries it needs in the install "
              "directory, or use a shorter folder");
}

// Listener windows already open: the daemon finds its application's window
// by title alone, so an earlier application's window would get the close.
static void CheckListenerWindows()
{
    for (HWND window = FindWindowExA(0, 0, 0, szListenerTitle); window;
         window = FindWindowExA(0, window, 0, szListenerTitle)) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        std::string image = "image name unknown";
        HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
        if (hProcess) {
            char szImage[MAX_PATH];
            DWORD size = sizeof szImage;
            if (QueryFullProcessImageNameA(hProcess, 0, szImage, &size))
                image = szImage;
            CloseHandle(hProcess);
        }
        Warning("a " + Quoted(szListenerTitle) + " window is already open, owned by process " +
                std::to_string(processId) + " (" + image + "): an application started earlier is still "
                "running, and on the exit command the daemon would close that window, not its own "
                "application's; end that process before the daemon starts");
    }
}

int main(int argc, char *argv[])
{
    if (argc < 2) {
        fputs(szUsage, stdout);
        Error("no install directory given: the daemon exits at once with status -99; pass the install "
              "directory, spaces written as %20, ending with a backslash");
        return Summary();
    }
    std::string sDecoded = SetInstallDirFromArgument(argv[1]);
    if (sDecoded.empty()) {
        fputs(szUsage, stdout);
        Error("the install directory argument is empty: the daemon exits at once with status -99; pass the "
              "install directory, spaces written as %20, ending with a backslash");
        return Summary();
    }
    char szJavaFile[INSTALL_PATH_SIZE];
    MakeInstallFilePath(szJavaFile, "java_file.dat");
    std::string sLauncher = GetJavaPath();
    std::string sCommandLine = JavaCommandLine();

    printf("install directory:  %s\n", sDecoded.c_str());
    printf("java_file.dat read: %s\n", szJavaFile);
    printf("launcher:           %s\n", sLauncher.empty() ? "(none)" : sLauncher.c_str());
    printf("command line, %u characters, as the daemon passes it to the launcher:\n%s\n",
           (unsigned)sCommandLine.size(), sCommandLine.c_str());

    // Files in the directory as the Java application finds them: its
    // library path adds the separator the daemon may lack.
    std::string sDir = sInstallPath;
    if (!IsSeparator(sDir.back()))
        sDir += '\\';

    bool dirFound = CheckInstallDir(sDecoded, sDir, szJavaFile);
    PeImage launcher = {PE_NOT_AN_IMAGE, 0};
    if (CheckJavaFile(szJavaFile, sLauncher, dirFound))
        CheckLauncher(sLauncher, launcher);
    if (dirFound) {
        CheckBridge(sDir, launcher);
        CheckPlatformCopies(sDir);
        CheckEntryNames(sDir);
        CheckWritable(sDir, "the install directory",
                      "whoever can write it can replace java_file.dat or add archives and libraries to the "
                      "class path, and so chooses what the daemon runs under the process manager's account");
    }
    if (Exists(GetFileAttributesA(szJavaFile)))
        CheckWritable(szJavaFile, "java_file.dat",
                      "whoever can change it chooses the program the daemon starts under the process "
                      "manager's account");
    CheckCommandLine(sCommandLine);
    CheckListenerWindows();
    return Summary();
}
