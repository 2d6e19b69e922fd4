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
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "ansi_text.h"
#include "file_security.h"
#include "install_path.h"
#include "java_path.h"
#include "jvm.h"
#include "pe_image.h"
#include "win_path.h"

enum {
    MAX_JAVA_FILE_LINE = INSTALL_PATH_SIZE - 1,
    CTRL_Z = 0x1A,
    // Process creation takes 32,767 characters (UTF-16 units) with the
    // terminating zero.
    MAX_COMMAND_LINE = 32766,
    // A report stays readable when a whole folder is open: at most this
    // many lines for one folder and what lies below it, and at most this
    // many files and folders looked at below the folders that are walked.
    MAX_TREE_LINES = 6,
    MAX_TREE_OBJECTS = 20000
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

// An archive or library of the install directory, as the system keeps its
// name and as the daemon's ANSI listing gives it.
struct ClassPathEntry {
    std::wstring name;
    std::string ansi;
    bool carried;          // the ANSI code page carries the name
    bool ansiNamesAnother; // the ANSI name is that of another file or folder there
    DWORD attributes;
    bool archive; // found by the daemon's *.jar, as Windows matches it (a short name too)
};

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
    // The archives and libraries in it, as the system keeps their names.
    std::vector<ClassPathEntry> classPath;
    bool hasArchive; // a *.jar among them that the daemon's class path reaches
    // imdaemon.exe in it.
    std::string daemon;
    DWORD daemonAttributes;
    bool daemonRead;
    PeImage daemonImage;

    // java_file.dat at the path the daemon reads, and its first line.
    std::string javaFile;
    DWORD javaFileAttributes;
    bool javaFileOpened;
    unsigned long javaFileError; // the system's error when it cannot be opened
    std::string firstLine;       // the whole line, as the daemon's text-mode read sees it
    int firstByte;               // EOF when the file is empty
    size_t firstNul;             // where the first NUL byte of that line is; npos when none
    std::string launcher;        // what the daemon takes from it
    // The launcher path read as UTF-8, when it is valid UTF-8 beyond ASCII,
    // and whether that names a file.
    std::wstring launcherAsUtf8;
    bool launcherAsUtf8Exists;

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
    size_t commandLineCharacters; // UTF-16 units, as process creation counts them
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

// The argument with %20 decoded, as the daemon decodes it.
static std::wstring WideDecoded(std::wstring text)
{
    for (size_t at = text.find(L"%20"); at != std::wstring::npos; at = text.find(L"%20"))
        text.replace(at, 3, L" ");
    return text;
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

// java_file.dat's first byte, and its first line as the daemon's
// text-mode read meets it: up to the line feed, without the carriage
// return before it, and ended by a Ctrl-Z, which text mode takes as the end
// of the file. False, with the system's error, when the file cannot be
// opened.
static bool ReadFirstLine(const std::string &path, std::string &line, int &firstByte, unsigned long &error)
{
    line.clear();
    error = 0;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        error = GetLastError();
        return false;
    }
    firstByte = fgetc(f);
    int c = firstByte;
    for (; c != EOF && c != '\n' && c != CTRL_Z; c = fgetc(f))
        line += (char)c;
    if (c == '\n' && !line.empty() && line.back() == '\r')
        line.pop_back();
    fclose(f);
    return true;
}

// Archives and libraries of dir as the system keeps their names, whatever
// the ANSI code page can carry, and as the daemon's ANSI listing gives them.
static std::vector<ClassPathEntry> ListClassPath(const std::string &dir)
{
    std::vector<ClassPathEntry> entries;
    std::wstring wideDir = FromAnsi(dir);
    for (const wchar_t *pattern : {L"*.jar", L"*.dll"}) {
        WIN32_FIND_DATAW data;
        HANDLE hFind = FindFirstFileW((wideDir + pattern).c_str(), &data);
        if (hFind == INVALID_HANDLE_VALUE)
            continue;
        do {
            ClassPathEntry entry;
            entry.name = data.cFileName;
            entry.carried = ToAnsi(entry.name, entry.ansi);
            entry.attributes = data.dwFileAttributes;
            entry.ansiNamesAnother = false;
            entry.archive = wcscmp(pattern, L"*.jar") == 0;
            if (!entry.carried && entry.ansi.find_first_of("?*") == std::string::npos) {
                WIN32_FIND_DATAW other;
                HANDLE hOther = FindFirstFileW((wideDir + FromAnsi(entry.ansi)).c_str(), &other);
                if (hOther != INVALID_HANDLE_VALUE) {
                    entry.ansiNamesAnother = entry.name != other.cFileName;
                    FindClose(hOther);
                }
            }
            entries.push_back(entry);
        } while (FindNextFileW(hFind, &data));
        FindClose(hFind);
    }
    return entries;
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
    f.hasArchive = false;
    if (f.dirFound)
        f.classPath = ListClassPath(f.dir);
    // Only an archive the daemon's class path really holds counts: its name
    // carried by the ANSI code page, naming no other file, and not split at
    // a ';'.
    for (const ClassPathEntry &entry : f.classPath)
        f.hasArchive |= entry.archive && entry.carried && !entry.ansiNamesAnother &&
                        entry.ansi.find(';') == std::string::npos &&
                        !(entry.attributes & FILE_ATTRIBUTE_DIRECTORY);
    f.daemon = f.dir + "imdaemon.exe";
    f.daemonAttributes = f.dirFound ? GetFileAttributesA(f.daemon.c_str()) : INVALID_FILE_ATTRIBUTES;
    f.daemonRead = false;
    f.daemonImage = {PE_NOT_AN_IMAGE, 0, 0, 0, 0, 0};
    if (Exists(f.daemonAttributes) && !IsFolder(f.daemonAttributes))
        f.daemonRead = ReadPeImage(f.daemon, f.daemonImage);

    char szJavaFile[INSTALL_PATH_SIZE];
    MakeInstallFilePath(szJavaFile, "java_file.dat");
    f.javaFile = szJavaFile;
    f.javaFileAttributes = GetFileAttributesA(szJavaFile);
    f.firstByte = EOF;
    f.javaFileError = 0;
    f.javaFileOpened =
        Exists(f.javaFileAttributes) && ReadFirstLine(f.javaFile, f.firstLine, f.firstByte, f.javaFileError);
    f.firstNul = f.firstLine.find('\0');
    f.launcher = GetJavaPath();
    f.launcherAsUtf8Exists =
        FromUtf8(f.launcher, f.launcherAsUtf8) && Exists(GetFileAttributesW(f.launcherAsUtf8.c_str()));

    f.launcherAttributes = INVALID_FILE_ATTRIBUTES;
    f.launcherRead = false;
    f.launcherImage = {PE_NOT_AN_IMAGE, 0, 0, 0, 0, 0};
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
    f.bridgeImage = {PE_NOT_AN_IMAGE, 0, 0, 0, 0, 0};
    if (Exists(f.bridgeAttributes) && !IsFolder(f.bridgeAttributes))
        f.bridgeRead = ReadPeImage(f.bridge, f.bridgeImage);

    f.commandLine = JavaCommandLine();
    f.commandLineCharacters = Utf16Length(f.commandLine, CP_ACP);
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
        Error("the install directory holds a ';': the library path and the class path are split there, "
              "so the Java application finds neither nodeflags.dll nor its archives and cannot work; use a "
              "folder without ';'");
    std::string ansi;
    if (!ToAnsi(f.wideArgument, ansi))
        Warning("the install directory argument " + Quoted(Spelled(WideDecoded(f.wideArgument))) +
                " has characters that the ANSI code page " + std::to_string(GetACP()) +
                " cannot carry: the daemon's ANSI calls see " + Quoted(f.given) +
                " instead; use a folder whose path has only characters of that code page");
    // A cut directory is not the one given: its length is the finding. The
    // directory is named as given, without the separator the library path
    // adds.
    // Without its separator: a file named with one is not found at all.
    std::string named = f.given;
    while (named.size() > 1 && IsSeparator(named.back()))
        named.pop_back();
    DWORD attributes = GetFileAttributesA(named.c_str());
    if (!f.dirFound && f.given.size() < INSTALL_PATH_SIZE && Exists(attributes))
        Error("the install directory " + Quoted(f.given) +
              " is a file, not a folder: the daemon starts no application; "
              "pass the folder that holds imdaemon.exe, nodeflags.dll and java_file.dat");
    else if (!f.dirFound && f.given.size() < INSTALL_PATH_SIZE)
        Error("the install directory " + Quoted(f.given) +
              " does not exist: the daemon starts no application; "
              "pass the folder that holds imdaemon.exe, nodeflags.dll and java_file.dat");
}

// Whether the launcher path, as the daemon reads it, names a file (not a
// folder) that is there.
static bool LauncherIsAFile(const Facts &f)
{
    return Exists(f.launcherAttributes) && !IsFolder(f.launcherAttributes);
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
    if (!f.javaFileOpened && f.javaFileError == ERROR_SHARING_VIOLATION) {
        Error(Quoted(f.javaFile) +
              " cannot be read now: another program holds it open and lets no one else "
              "read it (a sharing violation, error " +
              std::to_string(f.javaFileError) +
              "): a daemon started now finds no launcher and starts no application; close that program and "
              "check again");
        return;
    }
    if (!f.javaFileOpened) {
        Error(Quoted(f.javaFile) + " cannot be opened for reading" +
              (IsFolder(f.javaFileAttributes) ? " (it is a folder)"
                                              : " (error " + std::to_string(f.javaFileError) + ")") +
              ": the daemon finds no launcher and starts no application; make it a file the daemon's "
              "account can read");
        return;
    }
    if (f.firstLine.size() > MAX_JAVA_FILE_LINE) {
        // A blank in what is cut off starts what follows the path; without
        // one the path itself is too long.
        bool follows = f.firstLine.find_first_of(" \t", MAX_JAVA_FILE_LINE) != std::string::npos;
        if (follows)
            Warning("the first line of java_file.dat is " + std::to_string(f.firstLine.size()) +
                    " characters long: the daemon reads only its first " + std::to_string(MAX_JAVA_FILE_LINE) +
                    " and takes " + Quoted(f.launcher) +
                    " as the launcher path; put nothing after the path on "
                    "that line");
        else
            Warning("the launcher path in java_file.dat is " + std::to_string(f.firstLine.size()) +
                    " characters long, more than the " + std::to_string(MAX_JAVA_FILE_LINE) +
                    " the daemon reads: it takes " + Quoted(f.launcher) +
                    " as the launcher path; a path that long is also more than Windows' ANSI calls take, so "
                    "install the JVM where its path is shorter");
    }
    // A carriage return alone ends no line for the daemon's read, which
    // removes it: lines ended so are read as one, joined.
    // (Up to a NUL byte, where the daemon's string ends.)
    bool joined = false;
    size_t read = std::min(f.firstLine.size(), f.firstNul);
    for (size_t i = 0; i + 1 < read; ++i)
        joined |= f.firstLine[i] == '\r' && f.firstLine[i + 1] != '\r' && f.firstLine[i + 1] != '\n';
    if (joined)
        Warning("java_file.dat ends its lines with a carriage return alone: the daemon reads them as one line "
                "and joins them, taking " +
                Quoted(f.launcher) + " as the launcher path; save it with Windows line ends (CR LF)");
    bool utf16Mark = f.firstLine.compare(0, 2, "\xFF\xFE") == 0 || f.firstLine.compare(0, 2, "\xFE\xFF") == 0;
    // The daemon reads a C string: a NUL after the whole path of a program
    // that is there only hides what follows it.
    if (f.firstNul != std::string::npos && f.firstNul > 0 && LauncherIsAFile(f))
        Warning("java_file.dat holds a NUL byte right after the launcher path " + Quoted(f.launcher) +
                ": the daemon's read ends there and starts that launcher, ignoring the rest of the line; remove "
                "the NUL byte and what follows, so that the file says what the daemon does");
    else if (f.firstNul != std::string::npos && f.firstNul > 0 && !utf16Mark)
        Error("java_file.dat holds a NUL byte after " + Quoted(f.launcher) +
              " (text saved as UTF-16 holds one in every ASCII character, with or without a byte-order mark): "
              "the daemon's read of the launcher path ends there and takes " +
              Quoted(f.launcher) + "; save it as plain ANSI text with the launcher's full path on the first line");
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
    // A NUL byte cut the path short, and that is the finding (above).
    if (f.firstNul != std::string::npos && !LauncherIsAFile(f))
        return;
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
    } else if (HasPartWindowsKeeps(launcher)) {
        Error("the launcher path " + Quoted(launcher) +
              " is a \\\\?\\ path with a part that ends with a space or a dot: Windows drops those from other "
              "paths, but hands a \\\\?\\ path to the file system as it is, so the daemon's start looks for a "
              "file of exactly that name and fails; remove them");
        usable = false;
    } else if (droppedEnd) {
        Warning("the launcher path " + Quoted(launcher) +
                " ends with spaces or dots, which Windows drops from the last part of a path: the daemon "
                "starts " +
                Quoted(launcher.substr(0, kept + 1)) + "; remove them");
    }
    // The daemon hands the path on as it is: %JAVA_HOME% stays as written.
    if (usable && launcher.find('%') != std::string::npos &&
        launcher.find('%', launcher.find('%') + 1) != std::string::npos) {
        Error("the launcher path " + Quoted(launcher) +
              " holds an environment variable: the daemon expands none and hands the path on as written, so "
              "no launcher is found; write the full path itself, e.g. C:\\jre\\bin\\java.exe");
        usable = false;
    }
    if (usable && IsSeparator(launcher.back())) {
        Error("the launcher path " + Quoted(launcher) +
              " ends with a backslash: it names a folder, never a program, and the daemon's start of the "
              "application fails; name the launcher itself, e.g. C:\\jre\\bin\\java.exe");
        usable = false;
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
        std::string hint;
        if (!f.launcherAsUtf8.empty())
            hint = "; java_file.dat looks saved as UTF-8: read so, it names " + Quoted(Spelled(f.launcherAsUtf8)) +
                   (f.launcherAsUtf8Exists ? ", which exists" : "") +
                   ", but the daemon reads it as ANSI text (code page " + std::to_string(GetACP()) +
                   "), so save it as ANSI text";
        Error("the launcher " + Quoted(launcher) +
              " does not exist: the daemon's start of the application "
              "fails; name the java.exe of an installed JVM" +
              hint);
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
    std::string damage = WholeProblem(f.launcherImage);
    if (!damage.empty())
        Error("the launcher " + Quoted(launcher) + " is damaged: " + damage +
              ": a launcher that is not its runtime's whole file may not start, or may fail as it runs; "
              "repair or reinstall the Java runtime");
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
    std::string damage = WholeProblem(f.bridgeImage);
    if (!damage.empty())
        Error("nodeflags.dll in the install directory is damaged: " + damage +
              ": the Java application may fail to load it, or fail in it; copy the released nodeflags.dll there "
              "again");
    if (f.launcherImage.kind == PE_PROGRAM && f.launcherImage.machine != f.bridgeImage.machine)
        Error("the launcher is a " + MachineName(f.launcherImage.machine) + " program and nodeflags.dll a " +
              MachineName(f.bridgeImage.machine) +
              " library: a JVM loads only libraries built for its own "
              "architecture; use the nodeflags.dll built for the JVM's, or a JVM of the library's");
}

// imdaemon.exe in the install directory, when it is there: the process
// manager may also start it from elsewhere.
static void CheckDaemon(const Facts &f)
{
    if (!f.daemonRead)
        return;
    if (f.daemonImage.kind != PE_PROGRAM) {
        Error("imdaemon.exe in the install directory is not a Windows program (it has no MZ and PE headers of "
              "one): the process manager cannot start it; copy the released imdaemon.exe there");
        return;
    }
    std::string damage = WholeProblem(f.daemonImage);
    if (!damage.empty())
        Error("imdaemon.exe in the install directory is damaged: " + damage +
              ": the process manager may fail to start it, or it may fail as it runs; copy the released "
              "imdaemon.exe there again");
}

// The folder of path, with its separator.
static std::string FolderOf(const std::string &path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(0, slash + 1);
}

static void CheckPlatformCopies(const Facts &f)
{
    for (const char *name : {"ov.dll", "ovw.dll"})
        for (const ClassPathEntry &entry : f.classPath)
            if (_wcsicmp(entry.name.c_str(), FromAnsi(name).c_str()) == 0)
                Warning(std::string(name) +
                        " is in the install directory: the daemon and the Java application, "
                        "whose current directory this is, find it before the platform's own, and it goes on the "
                        "class path; remove it and let the platform provide it");
    // Windows looks for the libraries nodeflags.dll imports in the Java
    // process's own program folder first: an ovw.dll there is the one the
    // bridge's node flags go to, whatever it is.
    if (Exists(f.launcherAttributes) && !IsFolder(f.launcherAttributes)) {
        std::string folder = FolderOf(f.launcherOpened);
        DWORD attributes = GetFileAttributesA((folder + "ovw.dll").c_str());
        if (Exists(attributes) && !IsFolder(attributes))
            Error("ovw.dll is in the launcher's folder " + Quoted(folder) +
                  ": Windows loads the libraries nodeflags.dll needs from the Java process's own folder "
                  "before the platform's, so the application's node flags go to that ovw.dll, whatever it is; "
                  "remove it and let the platform provide it");
    }
}

// Archives and libraries whose names the daemon's ANSI directory listing
// cannot give back, or the class path cannot carry; and whether there is an
// archive at all.
static void CheckEntryNames(const Facts &f)
{
    for (const ClassPathEntry &entry : f.classPath) {
        if (!entry.carried)
            Warning("the name of " + Quoted(Spelled(entry.name)) +
                    " in the install directory has characters that the ANSI code page " +
                    std::to_string(GetACP()) + " cannot carry: the daemon sees it as " + Quoted(entry.ansi) +
                    (entry.ansiNamesAnother ? ", the name of another file there, and puts that one on the class "
                                              "path in its place"
                                            : " and puts that on the class path, a name that is no file") +
                    "; rename it");
        if (entry.ansi.find(';') != std::string::npos)
            Warning("the name of " + Quoted(entry.carried ? entry.ansi : Spelled(entry.name)) +
                    " in the install directory holds a ';': the class path is split there, so the Java "
                    "application finds neither part of it; rename it");
    }
    if (f.dirFound && f.javaFileOpened && !f.launcher.empty() && !f.hasArchive)
        Error("the install directory holds no archive (*.jar): the class path holds only the libraries, so the "
              "Java application's main class quorel.im.vesk.Quorel is not found and it does not start; put the "
              "application's archives in the install directory");
}

static const char szTrustedAccounts[] = "SYSTEM, Administrators and TrustedInstaller";
static const char szChooses[] = "and so chooses what the daemon runs under the process manager's account";

// The objects that decide what runs, each judged once however many paths
// lead to it: they are known by the place their path really leads to.
struct Trust {
    std::set<std::string> judged;
    size_t walked = 0;                   // files and folders looked at below the walked folders
    bool walkCut = false;                // the walk stopped at MAX_TREE_OBJECTS
    std::set<std::string> walkedFolders; // folders walked, by where they lead

    static std::string Key(const std::string &path)
    {
        std::string real;
        std::string key = FinalPath(path, real) ? real : OpenedPath(path);
        while (key.size() > 3 && IsSeparator(key.back()))
            key.pop_back();
        for (char &c : key)
            c = (char)toupper((unsigned char)c);
        return key;
    }
    // True the first time an object is met.
    bool First(const std::string &path) { return judged.insert(Key(path)).second; }
};

// One object of the chain that decides what runs, judged once however many
// paths pass through it.
static void CheckTrust(Trust &t, const std::string &path, ObjectRole role, const std::string &what,
                       const std::string &why)
{
    if (!t.First(path))
        return;
    std::string accounts;
    unsigned long error = 0;
    if (!UntrustedHoldersOfPath(path, RightsThatMatter(role), accounts, error))
        Warning("the permissions of " + what + " " + Quoted(path) + " cannot be read (error " +
                std::to_string(error) + "): make sure that only " + szTrustedAccounts + " can change it");
    else if (!accounts.empty())
        Warning(what + " " + Quoted(path) + " can be changed by " + accounts + ": " + why + "; let only " +
                szTrustedAccounts + " change it");
}

static std::string AboveWhy(const std::string &what)
{
    return "whoever can delete or rename what it holds, or change its permissions, can put another in place "
           "of " +
           what + ", " + szChooses;
}

// Every folder above path; what names the object in the why, and named
// it in the finding too unless shown is given.
static void CheckFoldersAbove(Trust &t, const std::string &path, const std::string &what,
                              const std::string &shown = "")
{
    for (const std::string &folder : FoldersAbove(path))
        CheckTrust(t, folder, OBJECT_FOLDER_ABOVE, "the folder above " + (shown.empty() ? what : shown),
                   AboveWhy(what));
}

// Where path really leads when a link or junction lies on it; empty when
// nothing is followed.
static std::string LinkedPath(const std::string &path)
{
    std::string real;
    if (!FinalPath(path, real) || SamePath(OpenedPath(path), real))
        return "";
    if (IsFolder(GetFileAttributesA(real.c_str())) && !IsSeparator(real.back()))
        real += '\\';
    return real;
}

// What is reached through a link, as a finding names it.
static std::string RealWhat(const std::string &what, const std::string &path)
{
    return what + "'s real path (a link on " + Quoted(path) + " was followed)";
}

// The same in the why of a finding.
static std::string RealWhy(const std::string &what)
{
    return what + "'s real path";
}

// An object, every folder above it, and, where a link lies on its path, the
// place it really leads to and every folder above that.
static void CheckTrustUp(Trust &t, const std::string &path, ObjectRole role, const std::string &what,
                         const std::string &why)
{
    CheckTrust(t, OpenedPath(path), role, what, why);
    CheckFoldersAbove(t, path, what);
    std::string real = LinkedPath(path);
    if (!real.empty())
        CheckFoldersAbove(t, real, RealWhy(what), RealWhat(what, path));
}

// One object met walking a folder: what it is and who may change it.
struct TreeObject {
    std::string path;
    bool folder;
    bool judged;          // judged here, not before
    std::string accounts; // besides the trusted ones; empty when none
    unsigned long error;  // why its permissions, or a folder's list, cannot be read; 0 when they can
    size_t below;         // for a folder, how many objects follow it that lie below it
};

// Judges an object met in a walk, when it was not judged before.
static TreeObject Judged(Trust &t, const std::string &path, bool folder)
{
    TreeObject o = {path, folder, t.First(path), "", 0, 0};
    if (o.judged &&
        !UntrustedHoldersOfPath(path, RightsThatMatter(folder ? OBJECT_FOLDER : OBJECT_FILE), o.accounts, o.error))
        o.accounts.clear();
    return o;
}

// path (a folder, ending with a backslash) and everything below it, in
// order, each folder before what it holds; a link below it is followed once
// and the folders above the place it leads to are checked as well.
static void Walk(Trust &t, const std::string &path, std::vector<TreeObject> &objects,
                 std::vector<std::pair<std::string, std::string>> &links)
{
    size_t at = objects.size();
    objects.push_back(Judged(t, path, true));
    if (!t.walkedFolders.insert(Trust::Key(path)).second)
        return;
    WIN32_FIND_DATAA data;
    HANDLE hFind = FindFirstFileA((path + "*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND && !objects[at].error)
        objects[at].error = GetLastError();
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(data.cFileName, ".") || !strcmp(data.cFileName, ".."))
                continue;
            if (t.walked >= MAX_TREE_OBJECTS) {
                t.walkCut = true;
                break;
            }
            ++t.walked;
            // A name the ANSI code page cannot carry is reached by its short name.
            const char *name =
                strchr(data.cFileName, '?') && *data.cAlternateFileName ? data.cAlternateFileName : data.cFileName;
            std::string entry = path + name;
            bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                std::string real = LinkedPath(entry);
                if (!real.empty())
                    links.push_back({entry, real});
            }
            if (isFolder)
                Walk(t, entry + "\\", objects, links);
            else
                objects.push_back(Judged(t, entry, false));
        } while (FindNextFileA(hFind, &data));
        FindClose(hFind);
    }
    objects[at].below = objects.size() - at - 1;
}

// The findings of a walked folder, few enough to read: a folder open to
// the same accounts as everything below it is one line; past
// MAX_TREE_LINES the rest is counted in one more; what cannot be read is
// one line.
static void ReportTree(const std::vector<TreeObject> &objects, const std::string &rootWhat,
                       const std::string &folderWhat, const std::string &fileWhat, const std::string &why)
{
    struct Line {
        std::string text;
        size_t objects;
        std::string accounts;
    };
    std::vector<Line> lines;
    size_t unreadable = 0;
    const TreeObject *firstUnreadable = 0;
    for (size_t i = 0; i < objects.size(); ++i) {
        const TreeObject &o = objects[i];
        if (o.error && !unreadable++)
            firstUnreadable = &o;
        if (!o.judged || o.accounts.empty())
            continue;
        size_t open = 0;
        bool same = o.folder && o.below > 0;
        for (size_t j = i + 1; same && j <= i + o.below; ++j)
            if (objects[j].judged) {
                same = objects[j].accounts == o.accounts && !objects[j].error;
                ++open;
            }
        const std::string &what = i == 0 ? rootWhat : o.folder ? folderWhat : fileWhat;
        if (same && open > 0) {
            lines.push_back({what + " " + Quoted(o.path) + " and the " + std::to_string(open) +
                                 " files and folders below it can be changed by " + o.accounts,
                             1 + open, o.accounts});
            i += o.below;
        } else {
            lines.push_back({what + " " + Quoted(o.path) + " can be changed by " + o.accounts, 1, o.accounts});
        }
    }
    size_t shown = lines.size() <= MAX_TREE_LINES ? lines.size() : MAX_TREE_LINES - 1;
    for (size_t i = 0; i < shown; ++i)
        Warning(lines[i].text + ": " + why + "; let only " + szTrustedAccounts + " change it");
    if (shown < lines.size()) {
        size_t rest = 0;
        std::vector<std::string> accounts;
        for (size_t i = shown; i < lines.size(); ++i) {
            rest += lines[i].objects;
            if (std::find(accounts.begin(), accounts.end(), lines[i].accounts) == accounts.end())
                accounts.push_back(lines[i].accounts);
        }
        std::string names;
        for (const std::string &a : accounts)
            names += (names.empty() ? "" : "; ") + a;
        Warning("and " + std::to_string(rest) + " more files and folders below " + Quoted(objects[0].path) +
                " can be changed by " + names + ": " + why + "; let only " + szTrustedAccounts + " change them");
    }
    if (unreadable)
        Warning("the permissions of " + std::to_string(unreadable) + " of the files and folders of " + rootWhat +
                " " + Quoted(objects[0].path) + " cannot be read (the first: " + Quoted(firstUnreadable->path) +
                ", error " + std::to_string(firstUnreadable->error) + "): make sure that only " +
                szTrustedAccounts + " can change them");
}

// A folder whose contents decide what runs, and everything below it.
static void CheckTree(Trust &t, const std::string &path, const std::string &rootWhat,
                      const std::string &folderWhat, const std::string &fileWhat, const std::string &why)
{
    std::vector<TreeObject> objects;
    std::vector<std::pair<std::string, std::string>> links;
    std::string folder = path;
    if (!IsSeparator(folder.back()))
        folder += '\\';
    Walk(t, folder, objects, links);
    ReportTree(objects, rootWhat, folderWhat, fileWhat, why);
    for (const auto &link : links)
        CheckFoldersAbove(t, link.second, "the link's real path", RealWhat("the link", link.first));
}

// The launcher at path, its folder, which Windows searches first for the
// libraries it loads, and the Java runtime: the folder above the launcher's
// bin folder, and everything below it.
static void CheckRuntime(Trust &t, const std::string &launcher, const std::string &what,
                         const std::string &shown = "")
{
    std::string why = "whoever can change it chooses the program the daemon starts under the process manager's "
                      "account";
    const std::string &named = shown.empty() ? what : shown;
    CheckTrust(t, launcher, OBJECT_FILE, named, why);
    std::string folder = FolderOf(launcher);
    CheckTrust(t, folder, OBJECT_FOLDER, shown.empty() ? what + "'s folder" : "the folder of " + named,
               "Windows searches it first for the libraries the launcher loads, so whoever can add a file there "
               "or replace one chooses code that runs under the process manager's account");
    std::string bin = folder.substr(0, folder.size() - 1);
    std::string binName = bin.substr(bin.find_last_of("\\/") + 1);
    // A bin folder right below a drive's root leaves no runtime folder of its own.
    std::string runtime = FolderOf(bin);
    if (_stricmp(binName.c_str(), "bin") == 0 && runtime.size() < bin.size() && !FoldersAbove(runtime).empty())
        CheckTree(t, runtime, "the Java runtime", "a folder of the Java runtime", "a file of the Java runtime",
                  "whoever can change the Java runtime's files, or add some, chooses code that the launcher loads "
                  "and runs under the process manager's account");
    CheckFoldersAbove(t, launcher, what, shown);
}

// Who else may change what the daemon runs under the process manager's
// account: the install directory and every file and folder the class path
// names there, java_file.dat and imdaemon.exe; the launcher, its folder and
// the Java runtime; every folder above them; and where a link lies on a
// path, the places it really leads to.
static void CheckTrustChain(const Facts &f)
{
    Trust t;
    if (f.dirFound)
        CheckTrustUp(t, f.dir, OBJECT_FOLDER, "the install directory",
                     "whoever can write it can replace java_file.dat or add archives and libraries to the class "
                     "path, " +
                         std::string(szChooses));
    if (Exists(f.javaFileAttributes))
        CheckTrust(t, OpenedPath(f.javaFile), OBJECT_FILE, "java_file.dat",
                   "whoever can change it chooses the program the daemon starts under the process manager's "
                   "account");
    if (Exists(f.daemonAttributes) && !IsFolder(f.daemonAttributes))
        CheckTrust(t, f.daemon, OBJECT_FILE, "the daemon",
                   "whoever can change it chooses the program the process manager runs under its account");
    for (const ClassPathEntry &entry : f.classPath) {
        if (!entry.carried)
            continue; // no file of that name is on the class path
        std::string path = f.dir + entry.ansi;
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)
            CheckTree(t, path, "the folder on the class path", "a folder in a folder on the class path",
                      "a file in a folder on the class path",
                      "whoever can change what it holds chooses classes the Java application runs under the "
                      "process manager's account");
        else
            CheckTrust(t, path, OBJECT_FILE, entry.archive ? "the archive" : "the library",
                       "it is on the class path, so whoever can change it chooses code the Java application runs "
                       "under the process manager's account");
    }
    if (Exists(f.launcherAttributes) && !IsFolder(f.launcherAttributes)) {
        CheckRuntime(t, f.launcherOpened, "the launcher");
        std::string real = LinkedPath(f.launcherOpened);
        if (!real.empty())
            CheckRuntime(t, real, RealWhy("the launcher"), RealWhat("the launcher", f.launcherOpened));
    }
    if (t.walkCut)
        Warning("imcheck looked at the first " + std::to_string((unsigned)MAX_TREE_OBJECTS) +
                " files and folders of the Java runtime and the class path's folders only: make sure that only " +
                szTrustedAccounts + " can change the rest");
}

static void CheckCommandLine(const Facts &f)
{
    if (f.commandLineCharacters > MAX_COMMAND_LINE)
        Error("the command line is " + std::to_string(f.commandLineCharacters) +
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
           (unsigned)facts.commandLineCharacters, facts.commandLine.c_str());

    CheckInstallDir(facts);
    CheckJavaFile(facts);
    CheckLauncher(facts);
    CheckBridge(facts);
    CheckDaemon(facts);
    CheckPlatformCopies(facts);
    CheckEntryNames(facts);
    CheckTrustChain(facts);
    CheckCommandLine(facts);
    CheckListenerWindows();
    return Summary();
}
