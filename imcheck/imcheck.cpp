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
#include <vector>

#include "ansi_text.h"
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
    CTRL_Z = 0x1A,
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
        printf("the application would not start or not work: %d error(s), %d warning(s)\n", nErrors, nWarnings);
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

// Everything the checks judge, gathered once before any check runs. The
// checks only read it, so none can change what another sees.
struct Facts {
    // The install directory as the argument gave it: %20 decoded and uncut,
    // and as the command line holds it, before the C runtime made ANSI text
    // of it.
    std::string given;
    std::wstring wideArgument;
    // As the daemon holds it (sInstallPath, cut), with the separator the
    // application's library path adds: where the application finds files.
    std::string dir;
    bool dirFound;
    // Names of the archives and libraries in it, as the system keeps them.
    std::vector<std::wstring> classPathNames;

    // java_file.dat at the path the daemon reads, and its first line.
    std::string javaFile;
    DWORD javaFileAttributes;
    bool javaFileOpened;
    size_t firstLineLength; // the whole line, as the daemon's text-mode read sees it
    int firstByte;          // EOF when the file is empty
    std::string launcher;   // what the daemon takes from it

    // The launcher file as process creation opens it, looked at only when
    // its path is absolute: a relative one depends on the daemon's own
    // current folder.
    std::string launcherOpened;
    DWORD launcherAttributes;
    bool launcherRead; // its headers could be read
    PeImage launcherImage;

    // nodeflags.dll in the install directory.
    std::string bridge;
    DWORD bridgeAttributes;
    bool bridgeRead;
    PeImage bridgeImage;

    std::string commandLine;
};

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

static bool IsBatchFile(const std::string &path)
{
    return HasExtension(path, ".bat") || HasExtension(path, ".cmd");
}

// java_file.dat's first byte, and the length of its first line as the
// daemon's text-mode read meets it: up to the line feed, without the
// carriage return before it, and ended by a Ctrl-Z, which text mode takes
// as the end of the file. False when the file cannot be opened.
static bool ReadFirstLine(const std::string &path, size_t &length, int &firstByte)
{
    length = 0;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    firstByte = fgetc(f);
    int last = EOF;
    int c = firstByte;
    for (; c != EOF && c != '\n' && c != CTRL_Z; c = fgetc(f)) {
        ++length;
        last = c;
    }
    if (c == '\n' && last == '\r')
        --length;
    fclose(f);
    return true;
}

// The path that process creation opens for an absolute one: Windows drops
// the spaces and dots that end its last part (and resolves . and ..).
static std::string OpenedPath(const std::string &path)
{
    char szFull[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof szFull, szFull, 0);
    return n > 0 && n < sizeof szFull ? std::string(szFull) : path;
}

// Archives and libraries of dir as the system keeps their names, whatever
// the ANSI code page can carry.
static std::vector<std::wstring> ListClassPathNames(const std::string &dir)
{
    std::vector<std::wstring> names;
    std::wstring wideDir = FromAnsi(dir);
    for (const wchar_t *pattern : {L"*.jar", L"*.dll"}) {
        WIN32_FIND_DATAW data;
        HANDLE hFind = FindFirstFileW((wideDir + pattern).c_str(), &data);
        if (hFind == INVALID_HANDLE_VALUE)
            continue;
        do
            names.push_back(data.cFileName);
        while (FindNextFileW(hFind, &data));
        FindClose(hFind);
    }
    return names;
}

// Fills facts from the decoded argument, with the install directory
// already set as the daemon sets it.
static void GatherFacts(const std::string &given, Facts &f)
{
    f.given = given;
    f.wideArgument = WideArgument();
    f.dir = sInstallPath;
    if (!IsSeparator(f.dir.back()))
        f.dir += '\\';
    f.dirFound = IsFolder(GetFileAttributesA(f.dir.c_str()));
    if (f.dirFound)
        f.classPathNames = ListClassPathNames(f.dir);

    char szJavaFile[INSTALL_PATH_SIZE];
    MakeInstallFilePath(szJavaFile, "java_file.dat");
    f.javaFile = szJavaFile;
    f.javaFileAttributes = GetFileAttributesA(szJavaFile);
    f.firstLineLength = 0;
    f.firstByte = EOF;
    f.javaFileOpened = Exists(f.javaFileAttributes) && ReadFirstLine(f.javaFile, f.firstLineLength, f.firstByte);
    f.launcher = GetJavaPath();

    f.launcherAttributes = INVALID_FILE_ATTRIBUTES;
    f.launcherRead = false;
    f.launcherImage = {PE_NOT_AN_IMAGE, 0};
    if (f.javaFileOpened && IsAbsolute(f.launcher)) {
        f.launcherOpened = OpenedPath(f.launcher);
        f.launcherAttributes = GetFileAttributesA(f.launcherOpened.c_str());
        // A batch file is run by the command interpreter, not as an image.
        if (Exists(f.launcherAttributes) && !IsFolder(f.launcherAttributes) && !IsBatchFile(f.launcherOpened))
            f.launcherRead = ReadPeImage(f.launcherOpened, f.launcherImage);
    }

    f.bridge = f.dir + "nodeflags.dll";
    f.bridgeAttributes = f.dirFound ? GetFileAttributesA(f.bridge.c_str()) : INVALID_FILE_ATTRIBUTES;
    f.bridgeRead = false;
    f.bridgeImage = {PE_NOT_AN_IMAGE, 0};
    if (Exists(f.bridgeAttributes) && !IsFolder(f.bridgeAttributes))
        f.bridgeRead = ReadPeImage(f.bridge, f.bridgeImage);

    f.commandLine = JavaCommandLine();
}

static void CheckInstallDir(const Facts &f)
{
    char last = f.given.back();
    if (!IsSeparator(last)) {
        std::string text = "the install directory does not end with a backslash: the daemon puts file names "
                           "straight after it and reads " +
                           Quoted(f.javaFile) + "; end the argument with \\";
        if (last == '"')
            text += " (a backslash before a closing quote makes the quote part of the argument: write "
                    "spaces as %20 and leave the argument unquoted)";
        Error(text);
    }
    if (f.given.size() > MAX_INSTALL_DIR)
        Error("the install directory is " + std::to_string(f.given.size()) + " characters long, more than " +
              std::to_string(MAX_INSTALL_DIR) + ": the daemon cuts the path of java_file.dat at " +
              std::to_string(INSTALL_PATH_SIZE - 1) +
              " characters, does not find it and starts no application; use a shorter folder");
    if (!IsAbsolute(f.given))
        Error("the install directory " + Quoted(f.given) +
              " is not absolute: the daemon resolves it against the current folder the process manager gives "
              "it, not yours, so it starts no application, or one whose library path and class path stay "
              "relative; pass the full path, e.g. C:\\Program%20Files\\Mod\\");
    if (f.given.find(';') != std::string::npos)
        Warning("the install directory holds a ';': the library path and the class path are split there, "
                "so the Java application finds neither nodeflags.dll nor its archives; use a folder "
                "without ';'");
    std::string ansi;
    if (!ToAnsi(f.wideArgument, ansi))
        Warning("the install directory argument has characters that the ANSI code page " +
                std::to_string(GetACP()) + " cannot carry: the daemon's ANSI calls see " + Quoted(f.given) +
                " instead; use a folder whose path has only characters of that code page");
    // A cut directory is not the one given: its length is the finding.
    if (!f.dirFound && f.given.size() < INSTALL_PATH_SIZE)
        Error("the install directory " + Quoted(f.dir) +
              " does not exist: the daemon starts no application; "
              "pass the folder that holds imdaemon.exe, nodeflags.dll and java_file.dat");
}

static void CheckJavaFile(const Facts &f)
{
    if (!Exists(f.javaFileAttributes)) {
        if (f.dirFound)
            Error(Quoted(f.javaFile) +
                  " does not exist: the daemon finds no launcher and starts no application; "
                  "put java_file.dat in the install directory with the launcher's full path on its first line");
        return;
    }
    if (!f.javaFileOpened) {
        Error(Quoted(f.javaFile) + " cannot be opened for reading" +
              (IsFolder(f.javaFileAttributes) ? " (it is a folder)" : "") +
              ": the daemon finds no launcher and starts no application; make it a file the daemon's "
              "account can read");
        return;
    }
    if (f.firstLineLength > MAX_JAVA_FILE_LINE)
        Warning("the first line of java_file.dat is " + std::to_string(f.firstLineLength) +
                " characters long: "
                "the daemon reads only its first " +
                std::to_string(MAX_JAVA_FILE_LINE) + " and takes " + Quoted(f.launcher) +
                " as the launcher path; put nothing after the path on that line");
    if (f.firstByte == 0)
        Error("java_file.dat begins with a NUL byte (as text saved as UTF-16 may), where the daemon's read "
              "of the launcher path ends: it finds no launcher and starts no application; save it as plain "
              "ANSI text with the launcher's full path on the first line");
    else if (f.firstByte == CTRL_Z)
        Error("java_file.dat begins with a Ctrl-Z (0x1A), which the daemon's text-mode read takes as the end "
              "of the file: it finds no launcher and starts no application; remove it");
    else if (f.launcher.empty())
        Error("the first line of java_file.dat is empty: the daemon reads only that line, finds no launcher "
              "and starts no application; put the launcher's full path on the first line");
}

// The launcher path as the daemon hands it to CreateProcessA.
static void CheckLauncher(const Facts &f)
{
    const std::string &launcher = f.launcher;
    if (!f.javaFileOpened || launcher.empty())
        return;
    bool usable = true;
    if (launcher.compare(0, 3, "\xEF\xBB\xBF") == 0 || launcher.compare(0, 2, "\xFF\xFE") == 0 ||
        launcher.compare(0, 2, "\xFE\xFF") == 0) {
        Error("java_file.dat begins with a byte-order mark (it was saved as Unicode text), which the daemon "
              "takes as part of the launcher path; save it as plain ANSI text");
        usable = false;
    }
    if (launcher.find('"') != std::string::npos) {
        Error("the launcher path " + launcher +
              " holds a double quote: the daemon passes the path as it is, "
              "and no file name holds a quote; write the path without quotes");
        usable = false;
    }
    // Windows drops the spaces and dots that end the last part of a path,
    // and nothing else: a tab there, or a blank at the start, stays.
    size_t kept = launcher.find_last_not_of(" .");
    bool droppedEnd = kept != std::string::npos && kept + 1 < launcher.size() && !IsSeparator(launcher[kept]);
    if (isblank((unsigned char)launcher.front()) ||
        (kept != std::string::npos && isblank((unsigned char)launcher[kept]))) {
        Error("the launcher path " + Quoted(launcher) +
              " begins or ends with a blank: the daemon trims nothing, and Windows drops only spaces and dots "
              "at the end, so the blank is part of the path; remove it");
        usable = false;
    } else if (droppedEnd) {
        Warning("the launcher path " + Quoted(launcher) +
                " ends with spaces or dots, which Windows drops from the last part of a path: the daemon "
                "starts " +
                Quoted(launcher.substr(0, kept + 1)) + "; remove them");
    }
    if (usable && !IsAbsolute(launcher)) {
        Error("the launcher path " + Quoted(launcher) +
              " is not absolute: the daemon resolves it against its "
              "own current folder, which the process manager chooses, not the install directory; write the "
              "full path, e.g. C:\\jre\\bin\\java.exe");
        usable = false;
    }
    if (!usable)
        return;

    if (!Exists(f.launcherAttributes)) {
        Error("the launcher " + Quoted(launcher) +
              " does not exist: the daemon's start of the application "
              "fails; name the java.exe of an installed JVM");
        return;
    }
    if (IsFolder(f.launcherAttributes)) {
        Error("the launcher " + Quoted(launcher) +
              " is a folder: the daemon's start of the application fails; "
              "name the launcher itself, e.g. C:\\jre\\bin\\java.exe");
        return;
    }
    if (IsBatchFile(f.launcherOpened)) {
        Error("the launcher " + Quoted(launcher) +
              " is a batch file: the daemon's start does not run it as a "
              "launcher with the daemon's command line; name java.exe or javaw.exe itself");
        return;
    }
    if (!f.launcherRead || f.launcherImage.kind == PE_NOT_AN_IMAGE) {
        Error("the launcher " + Quoted(launcher) +
              " is not a Windows program (it cannot be read, or has no "
              "MZ and PE headers): the daemon's start of the application fails; name java.exe or javaw.exe");
        return;
    }
    if (f.launcherImage.kind == PE_LIBRARY) {
        Error("the launcher " + Quoted(launcher) +
              " is a library (DLL), not a program: the daemon's start of "
              "the application fails; name java.exe or javaw.exe");
        return;
    }
    size_t slash = f.launcherOpened.find_last_of("\\/");
    std::string name = f.launcherOpened.substr(slash + 1);
    if (_stricmp(name.c_str(), "java.exe") != 0 && _stricmp(name.c_str(), "javaw.exe") != 0)
        Warning("the launcher is " + Quoted(name) +
                ", not java.exe or javaw.exe: on the exit command the "
                "daemon waits for and ends the launcher's own process, so a launcher that starts the JVM and "
                "exits leaves the application neither waited for nor ended; name java.exe or javaw.exe itself");
}

// nodeflags.dll in the install directory, and whether a JVM of the
// launcher's architecture can load it.
static void CheckBridge(const Facts &f)
{
    if (!f.dirFound)
        return;
    if (IsFolder(f.bridgeAttributes)) {
        Error("nodeflags.dll in the install directory is a folder, not the library: the Java application "
              "cannot load its native half and sets no node flags; put the released nodeflags.dll in its place");
        return;
    }
    if (!Exists(f.bridgeAttributes)) {
        Error("nodeflags.dll is not in the install directory: the Java application cannot load its native "
              "half and sets no node flags; copy nodeflags.dll there");
        return;
    }
    if (!f.bridgeRead || f.bridgeImage.kind != PE_LIBRARY) {
        Error("nodeflags.dll in the install directory is not a Windows library (it cannot be read, or has no "
              "MZ and PE headers of a DLL): the Java application cannot load it; copy the released "
              "nodeflags.dll there");
        return;
    }
    if (f.launcherImage.kind == PE_PROGRAM && f.launcherImage.machine != f.bridgeImage.machine)
        Error("the launcher is a " + MachineName(f.launcherImage.machine) + " program and nodeflags.dll a " +
              MachineName(f.bridgeImage.machine) +
              " library: a JVM loads only libraries built for its own "
              "architecture; use the nodeflags.dll built for the JVM's, or a JVM of the library's");
}

static void CheckPlatformCopies(const Facts &f)
{
    for (const char *name : {"ov.dll", "ovw.dll"})
        for (const std::wstring &entry : f.classPathNames)
            if (_wcsicmp(entry.c_str(), FromAnsi(name).c_str()) == 0)
                Warning(std::string(name) +
                        " is in the install directory: the daemon and the Java application, "
                        "whose current directory this is, find it before the platform's own, and it goes on the "
                        "class path; remove it and let the platform provide it");
}

// Archives and libraries whose names the daemon's ANSI directory listing
// cannot give back, or the class path cannot carry.
static void CheckEntryNames(const Facts &f)
{
    for (const std::wstring &entry : f.classPathNames) {
        std::string ansi;
        if (!ToAnsi(entry, ansi))
            Warning("the name of " + Quoted(ansi) +
                    " in the install directory has characters that the "
                    "ANSI code page " +
                    std::to_string(GetACP()) +
                    " cannot carry: the daemon puts it on "
                    "the class path under a name that is no file; rename it");
        if (ansi.find(';') != std::string::npos)
            Warning("the name of " + Quoted(ansi) +
                    " in the install directory holds a ';': the class path is split there, so the Java "
                    "application finds neither part of it; rename it");
    }
}

static const char szTrustedAccounts[] = "SYSTEM, Administrators and TrustedInstaller";

// One object of the chain that decides what runs, judged once however many
// paths pass through it.
static void CheckTrust(const std::string &path, ObjectRole role, const std::string &what, const std::string &why,
                       std::vector<std::string> &checked)
{
    for (const std::string &done : checked)
        if (_stricmp(done.c_str(), path.c_str()) == 0)
            return;
    checked.push_back(path);
    std::string accounts;
    unsigned long error = 0;
    if (!UntrustedHoldersOfPath(path, RightsThatMatter(role), accounts, error))
        Warning("the permissions of " + what + " " + Quoted(path) + " cannot be read (error " +
                std::to_string(error) + "): make sure that only " + szTrustedAccounts + " can change it");
    else if (!accounts.empty())
        Warning(what + " " + Quoted(path) + " can be changed by " + accounts + ": " + why + "; let only " +
                szTrustedAccounts + " change it");
}

// The length of the root of a full path: "C:\" or "\\server\share\".
static size_t RootLength(const std::string &full)
{
    if (full.size() >= 3 && full[1] == ':')
        return 3;
    size_t server = full.find('\\', 2);
    size_t share = server == std::string::npos ? server : full.find('\\', server + 1);
    return share == std::string::npos ? full.size() : share + 1;
}

// Every folder above path, nearest first, up to its drive's or share's root.
static std::vector<std::string> FoldersAbove(const std::string &path)
{
    std::vector<std::string> folders;
    std::string full = OpenedPath(path);
    size_t root = RootLength(full);
    while (full.size() > root) {
        if (full.back() == '\\')
            full.pop_back();
        size_t slash = full.find_last_of('\\');
        if (slash == std::string::npos || slash + 1 < root)
            break;
        full.erase(slash + 1);
        folders.push_back(full);
    }
    return folders;
}

// An object and every folder above it.
static void CheckTrustUp(const std::string &path, ObjectRole role, const std::string &what, const std::string &why,
                         std::vector<std::string> &checked)
{
    CheckTrust(OpenedPath(path), role, what, why, checked);
    std::string aboveWhy = "whoever can delete or rename what it holds, or change its permissions, can put "
                           "another in place of " +
                           what +
                           ", and so chooses what the daemon runs under the "
                           "process manager's account";
    for (const std::string &folder : FoldersAbove(path))
        CheckTrust(folder, OBJECT_FOLDER_ABOVE, "the folder above " + what, aboveWhy, checked);
}

// Who else may change what the daemon runs under the process manager's
// account: the install directory, java_file.dat and the launcher, and every
// folder above the directory and the launcher.
static void CheckTrustChain(const Facts &f)
{
    std::vector<std::string> checked;
    if (f.dirFound)
        CheckTrustUp(f.dir, OBJECT_INSTALL_DIR, "the install directory",
                     "whoever can write it can replace java_file.dat or add archives and libraries to the class "
                     "path, and so chooses what the daemon runs under the process manager's account",
                     checked);
    if (Exists(f.javaFileAttributes))
        CheckTrust(OpenedPath(f.javaFile), OBJECT_FILE, "java_file.dat",
                   "whoever can change it chooses the program the daemon starts under the process manager's "
                   "account",
                   checked);
    if (Exists(f.launcherAttributes) && !IsFolder(f.launcherAttributes))
        CheckTrustUp(f.launcherOpened, OBJECT_FILE, "the launcher",
                     "whoever can change it chooses the program the daemon starts under the process manager's "
                     "account",
                     checked);
}

static void CheckCommandLine(const Facts &f)
{
    if (f.commandLine.size() > MAX_COMMAND_LINE)
        Error("the command line is " + std::to_string(f.commandLine.size()) +
              " characters long, more than "
              "the " +
              std::to_string(MAX_COMMAND_LINE) +
              " (and the terminating zero) that process creation "
              "accepts: the application is not started; keep only the archives and libraries it needs in the "
              "install directory, or use a shorter folder");
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
                std::to_string(processId) + " (" + image +
                "): an application started earlier is still "
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
    std::string sGiven = SetInstallDirFromArgument(argv[1]);
    if (sGiven.empty()) {
        fputs(szUsage, stdout);
        Error("the install directory argument is empty: the daemon exits at once with status -99; pass the "
              "install directory, spaces written as %20, ending with a backslash");
        return Summary();
    }
    Facts facts;
    GatherFacts(sGiven, facts);

    printf("install directory:  %s\n", facts.given.c_str());
    printf("java_file.dat read: %s\n", facts.javaFile.c_str());
    printf("launcher:           %s\n", facts.launcher.empty() ? "(none)" : facts.launcher.c_str());
    printf("command line, %u characters, as the daemon passes it to the launcher:\n%s\n",
           (unsigned)facts.commandLine.size(), facts.commandLine.c_str());

    CheckInstallDir(facts);
    CheckJavaFile(facts);
    CheckLauncher(facts);
    CheckBridge(facts);
    CheckPlatformCopies(facts);
    CheckEntryNames(facts);
    CheckTrustChain(facts);
    CheckCommandLine(facts);
    CheckListenerWindows();
    return Summary();
}
