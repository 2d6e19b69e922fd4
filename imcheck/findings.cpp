#include "findings.h"

#include <windows.h>

#include <algorithm>

#include "ansi_text.h"
#include "install_path.h"
#include "jvm.h"
#include "report.h"
#include "runtime.h"
#include "win_path.h"

enum {
    CTRL_Z = 0x1A,
    // Process creation takes 32,767 characters (UTF-16 units) with the
    // terminating zero.
    MAX_COMMAND_LINE = 32766
};

static std::wstring CodePage()
{
    return Number(GetACP());
}

// How long ANSI text is to the daemon, which counts bytes: in characters
// where each takes one byte, and in both where the code page gives some
// characters two.
static std::wstring Length(const std::string &ansi)
{
    size_t characters = Utf16Length(ansi, CP_ACP);
    if (characters == ansi.size())
        return Number(ansi.size()) + L" characters";
    return Number(ansi.size()) + L" bytes in the ANSI code page " + CodePage() + L" (" + Number(characters) +
           L" characters)";
}

void CheckInstallDir(const Facts &f)
{
    const std::wstring &given = f.wideGiven;
    if (given.empty() || !IsSeparator(given.back())) {
        std::wstring text = L"the install directory does not end with a backslash: the daemon puts file names "
                            L"straight after it and reads " +
                            Quoted(f.javaFile) + L"; end the argument with \\";
        if (!given.empty() && given.back() == L'"')
            text += L" (a backslash before a closing quote makes the quote part of the argument: write "
                    L"spaces as %20 and leave the argument unquoted)";
        Error(text);
    }
    if (f.given.size() > MAX_INSTALL_DIR)
        Error(L"the install directory is " + Length(f.given) + L" long, more than " + Number(MAX_INSTALL_DIR) +
              L": the daemon cuts the path of java_file.dat at " + Number(INSTALL_PATH_SIZE - 1) +
              L" bytes, does not find it and starts no application; use a shorter folder");
    if (!IsAbsolute(given))
        Error(L"the install directory " + Quoted(given) +
              L" is not absolute: the daemon resolves it against the current folder the process manager gives "
              L"it, not yours, so it starts no application, or one whose library path and class path stay "
              L"relative; pass the full path, e.g. C:\\Program%20Files\\Mod\\");
    if (given.find(L';') != std::wstring::npos)
        Error(L"the install directory holds a ';': the library path and the class path are split there, "
              L"so the Java application cannot load nodeflags.dll by the library path (Windows may still find it "
              L"in its current folder, the install directory) and finds none of its archives, and cannot work; "
              L"use a folder without ';'");
    std::string ansi;
    if (!ToAnsi(f.wideArgument, ansi))
        Warning(L"the install directory argument " + Quoted(WideDecoded(f.wideArgument)) +
                L" has characters that the ANSI code page " + CodePage() +
                L" cannot carry: the daemon's ANSI calls see " + Quoted(given) +
                L" instead; use a folder whose path has only characters of that code page");
    // A cut directory is not the one given: its length is the finding.
    // Without its separator: a file named with one is not found at all.
    std::wstring named = given;
    while (named.size() > 1 && IsSeparator(named.back()))
        named.pop_back();
    DWORD attributes = GetFileAttributesW(named.c_str());
    if (!f.dirFound && f.given.size() < INSTALL_PATH_SIZE && attributes != INVALID_FILE_ATTRIBUTES)
        Error(L"the install directory " + Quoted(given) +
              L" is a file, not a folder: the daemon starts no application; "
              L"pass the folder that holds imdaemon.exe, nodeflags.dll and java_file.dat");
    else if (!f.dirFound && f.given.size() < INSTALL_PATH_SIZE)
        Error(L"the install directory " + Quoted(given) +
              L" does not exist: the daemon starts no application; "
              L"pass the folder that holds imdaemon.exe, nodeflags.dll and java_file.dat");
}

void CheckJavaFile(const Facts &f)
{
    if (f.javaFileAttributes == INVALID_FILE_ATTRIBUTES) {
        if (f.dirFound)
            Error(Quoted(f.javaFile) +
                  L" does not exist: the daemon finds no launcher and starts no application; "
                  L"put java_file.dat in the install directory with the launcher's full path on its first line");
        return;
    }
    if (!f.javaFileOpened && f.javaFileError == ERROR_SHARING_VIOLATION) {
        Error(Quoted(f.javaFile) +
              L" cannot be read now: another program holds it open and lets no one else "
              L"read it (a sharing violation, error " +
              Number(f.javaFileError) +
              L"): a daemon started now finds no launcher and starts no application; close that program and "
              L"check again");
        return;
    }
    if (!f.javaFileOpened) {
        Error(Quoted(f.javaFile) + L" cannot be opened for reading" +
              ((f.javaFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L" (it is a folder)"
                                                                 : L" (error " + Number(f.javaFileError) + L")") +
              L": the daemon finds no launcher and starts no application; make it a file the daemon's "
              L"account can read");
        return;
    }
    // What follows a NUL byte the daemon's read never reaches.
    std::string line = f.firstLine.substr(0, f.firstNul);
    std::wstring length = f.firstLineCut && f.firstNul == std::string::npos
                              ? L"more than " + Number(MAX_LINE_READ) + L" bytes"
                              : Length(line);
    if (line.size() > MAX_JAVA_FILE_LINE) {
        // A blank in what is cut off starts what follows the path; without
        // one the path itself is too long.
        bool follows = line.find_first_of(" \t", MAX_JAVA_FILE_LINE) != std::string::npos;
        if (follows)
            Warning(L"the first line of java_file.dat is " + length + L" long: the daemon reads only its first " +
                    Number(MAX_JAVA_FILE_LINE) + L" bytes and takes " + Quoted(f.wideLauncher) +
                    L" as the launcher path; put nothing after the path on that line");
        else
            Warning(L"the launcher path in java_file.dat is " + length + L" long, more than the " +
                    Number(MAX_JAVA_FILE_LINE) + L" bytes the daemon reads: it takes " + Quoted(f.wideLauncher) +
                    L" as the launcher path; a path that long is also more than Windows' ANSI calls take, so "
                    L"install the JVM where its path is shorter");
    }
    // A carriage return alone ends no line for the daemon's read: lines
    // ended so are read as one, the carriage return left in (up to a NUL
    // byte, where the daemon's string ends).
    bool joined = false;
    size_t read = std::min(f.firstLine.size(), f.firstNul);
    for (size_t i = 0; i + 1 < read; ++i)
        joined |= f.firstLine[i] == '\r' && f.firstLine[i + 1] != '\r' && f.firstLine[i + 1] != '\n';
    if (joined)
        Warning(L"java_file.dat ends its lines with a carriage return alone: the daemon reads them as one line "
                L"and joins them, taking " +
                Quoted(f.wideLauncher) + L" as the launcher path; save it with Windows line ends (CR LF)");
    bool utf16Mark = f.firstLine.compare(0, 2, "\xFF\xFE") == 0 || f.firstLine.compare(0, 2, "\xFE\xFF") == 0;
    // The daemon reads a C string: a NUL after the whole path of a program
    // that is there only hides what follows it.
    if (f.firstNul != std::string::npos && f.firstNul > 0 && f.launcherFile.IsFile())
        Warning(L"java_file.dat holds a NUL byte right after the launcher path " + Quoted(f.wideLauncher) +
                L": the daemon's read ends there and starts that launcher, ignoring the rest of the line; remove "
                L"the NUL byte and what follows, so that the file says what the daemon does");
    else if (f.firstNul != std::string::npos && f.firstNul > 0 && !utf16Mark)
        Error(L"java_file.dat holds a NUL byte after " + Quoted(f.wideLauncher) +
              L" (text saved as UTF-16 holds one in every ASCII character, with or without a byte-order mark): "
              L"the daemon's read of the launcher path ends there and takes " +
              Quoted(f.wideLauncher) +
              L"; save it as plain ANSI text with the launcher's full path on the first line");
    if (f.firstByte == 0)
        Error(L"java_file.dat begins with a NUL byte (as text saved as UTF-16 may), where the daemon's read "
              L"of the launcher path ends: it finds no launcher and starts no application; save it as plain "
              L"ANSI text with the launcher's full path on the first line");
    else if (f.firstByte == CTRL_Z)
        Error(L"java_file.dat begins with a Ctrl-Z (0x1A), which the daemon's text-mode read takes as the end "
              L"of the file: it finds no launcher and starts no application; remove it");
    else if (f.launcher.empty())
        Error(L"the first line of java_file.dat is empty: the daemon reads only that line, finds no launcher "
              L"and starts no application; put the launcher's full path on the first line");
}

static bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// Whether each part of a "\\?\" path that ends with a space or a dot is
// the real name of something there: such a path is handed to the file
// system as it is, so only a name listed exactly so is found.
static bool LiteralPartsExist(const std::wstring &path)
{
    for (size_t end = path.find(L'\\', 4);; end = path.find(L'\\', end + 1)) {
        std::wstring part = path.substr(0, end);
        std::wstring name = NameOf(part);
        if (!name.empty() && (name.back() == L' ' || name.back() == L'.')) {
            bool listed = false;
            WIN32_FIND_DATAW data;
            HANDLE hFind = FindFirstFileW((FolderOf(part) + L"*").c_str(), &data);
            if (hFind != INVALID_HANDLE_VALUE) {
                do
                    listed |= SameName(data.cFileName, name);
                while (!listed && FindNextFileW(hFind, &data));
                FindClose(hFind);
            }
            if (!listed)
                return false;
        }
        if (end == std::wstring::npos)
            return true;
    }
}

// The launcher path as the daemon hands it to CreateProcessA.
void CheckLauncher(const Facts &f, const Model &m)
{
    const std::wstring &launcher = f.wideLauncher;
    if (!f.javaFileOpened || launcher.empty())
        return;
    bool usable = true;
    if (f.launcher.compare(0, 3, "\xEF\xBB\xBF") == 0 || f.launcher.compare(0, 2, "\xFF\xFE") == 0 ||
        f.launcher.compare(0, 2, "\xFE\xFF") == 0) {
        Error(L"java_file.dat begins with a byte-order mark (it was saved as Unicode text), which the daemon "
              L"takes as part of the launcher path; save it as plain ANSI text");
        usable = false;
    }
    // A NUL byte cut the path short, and that is the finding (above).
    if (f.firstNul != std::string::npos && !f.launcherFile.IsFile())
        return;
    if (launcher.find(L'"') != std::wstring::npos) {
        Error(L"the launcher path " + launcher +
              L" holds a double quote: the daemon passes the path as it is, "
              L"and no file name holds a quote; write the path without quotes");
        usable = false;
    }
    // Windows drops the spaces and dots that end the last part of a path,
    // and nothing else: a tab there, or a blank at the start, stays.
    size_t kept = launcher.find_last_not_of(L" .");
    bool droppedEnd = kept != std::wstring::npos && kept + 1 < launcher.size() && !IsSeparator(launcher[kept]);
    if (IsBlank(launcher.front()) || (kept != std::wstring::npos && IsBlank(launcher[kept]))) {
        Error(L"the launcher path " + Quoted(launcher) +
              L" begins or ends with a blank: the daemon trims nothing, and Windows drops only spaces and dots "
              L"at the end, so the blank is part of the path; remove it");
        usable = false;
    } else if (HasPartWindowsKeeps(launcher) && !LiteralPartsExist(launcher)) {
        Error(L"the launcher path " + Quoted(launcher) +
              L" is a \\\\?\\ path with a part that ends with a space or a dot: Windows drops those from other "
              L"paths, but hands a \\\\?\\ path to the file system as it is, so the daemon's start looks for a "
              L"file of exactly that name, and there is none; remove them");
        usable = false;
    } else if (droppedEnd && !IsLiteralPath(launcher)) {
        Warning(L"the launcher path " + Quoted(launcher) +
                L" ends with spaces or dots, which Windows drops from the last part of a path: the daemon "
                L"starts " +
                Quoted(launcher.substr(0, kept + 1)) + L"; remove them");
    }
    // The daemon hands the path on as it is: %JAVA_HOME% stays as written.
    size_t percent = launcher.find(L'%');
    if (usable && percent != std::wstring::npos && launcher.find(L'%', percent + 1) != std::wstring::npos) {
        Error(L"the launcher path " + Quoted(launcher) +
              L" holds an environment variable: the daemon expands none and hands the path on as written, so "
              L"no launcher is found; write the full path itself, e.g. C:\\jre\\bin\\java.exe");
        usable = false;
    }
    if (usable && IsSeparator(launcher.back())) {
        Error(L"the launcher path " + Quoted(launcher) +
              L" ends with a backslash: it names a folder, never a program, and the daemon's start of the "
              L"application fails; name the launcher itself, e.g. C:\\jre\\bin\\java.exe");
        usable = false;
    }
    if (usable && !IsAbsolute(launcher)) {
        Error(L"the launcher path " + Quoted(launcher) +
              L" is not absolute: the daemon resolves it against its "
              L"own current folder, which the process manager chooses, not the install directory; write the "
              L"full path, e.g. C:\\jre\\bin\\java.exe");
        usable = false;
    }
    if (!usable)
        return;

    const Opened &file = f.launcherFile;
    if (!file.Exists()) {
        std::wstring hint;
        if (!f.launcherAsUtf8.empty())
            hint = L"; java_file.dat looks saved as UTF-8: read so, it names " + Quoted(f.launcherAsUtf8) +
                   (f.launcherAsUtf8Exists ? L", which exists" : L"") +
                   L", but the daemon reads it as ANSI text (code page " + CodePage() +
                   L"), so save it as ANSI text";
        Error(L"the launcher " + Quoted(launcher) +
              L" does not exist: the daemon's start of the application fails; name the java.exe of an installed "
              L"JVM" +
              hint);
        return;
    }
    if (file.IsFolder()) {
        Error(L"the launcher " + Quoted(launcher) +
              L" is a folder: the daemon's start of the application fails; "
              L"name the launcher itself, e.g. C:\\jre\\bin\\java.exe");
        return;
    }
    if (IsBatchFile(file.path)) {
        Error(L"the launcher " + Quoted(launcher) +
              L" is a batch file: the daemon's start does not run it as a "
              L"launcher with the daemon's command line; name java.exe or javaw.exe itself");
        return;
    }
    if (!file.read || file.image.kind == PE_NOT_AN_IMAGE) {
        Error(L"the launcher " + Quoted(launcher) +
              L" is not a Windows program (it cannot be read, or has no "
              L"MZ and PE headers): the daemon's start of the application fails; name java.exe or javaw.exe");
        return;
    }
    if (file.image.kind == PE_LIBRARY) {
        Error(L"the launcher " + Quoted(launcher) +
              L" is a library (DLL), not a program: the daemon's start of "
              L"the application fails; name java.exe or javaw.exe");
        return;
    }
    std::string damage = WholeProblem(file.image);
    if (!damage.empty())
        Error(L"the launcher " + Quoted(launcher) + L" is damaged: " + FromAnsi(damage) +
              L": a launcher that is not its runtime's whole file may not start, or may fail as it runs; "
              L"repair or reinstall the Java runtime");
    if (!m.launcherImportsRead)
        Error(L"the launcher " + Quoted(launcher) +
              L" is damaged: its import table, or a name in it, lies outside its sections, so Windows cannot load "
              L"it and the daemon's start of the application fails; repair or reinstall the Java runtime");
    for (const std::wstring &library : m.launcherImportsMissing)
        Error(L"the launcher " + Quoted(launcher) + L" needs " + library +
              L", which Windows finds neither in the launcher's folder nor in the system folders, the Windows "
              L"folder, the install directory or the system's PATH: the launcher does not start; name the "
              L"java.exe of a whole Java runtime, whose bin folder holds the libraries it needs");
    std::wstring name = NameOf(file.path);
    if (!SameName(name, L"java.exe") && !SameName(name, L"javaw.exe"))
        Warning(L"the launcher is " + Quoted(name) +
                L", not java.exe or javaw.exe: on the exit command the "
                L"daemon waits for and ends the launcher's own process, so a launcher that starts the JVM and "
                L"exits leaves the application neither waited for nor ended; name java.exe or javaw.exe itself");
    if (!m.runtimeFound)
        Warning(L"the launcher " + Quoted(launcher) + L" finds no Java runtime where a launcher looks for one (" +
                LookedFor(m.runtimeHome) +
                L"): a launcher copied elsewhere, such as into a system folder, finds its runtime through the "
                L"registry, which imcheck does not follow, so the runtime's files (its JVM library, class library "
                L"and the folders that hold them) were not checked; name the java.exe in the runtime's own bin "
                L"folder");
}

// nodeflags.dll in the install directory, and whether a JVM of the
// launcher's architecture can load it.
void CheckBridge(const Facts &f)
{
    if (!f.dirFound)
        return;
    if (f.bridge.IsFolder()) {
        Error(L"nodeflags.dll in the install directory is a folder, not the library: the Java application "
              L"cannot load its native half and sets no node flags; put the released nodeflags.dll in its place");
        return;
    }
    if (!f.bridge.Exists()) {
        Error(L"nodeflags.dll is not in the install directory: the Java application cannot load its native "
              L"half and sets no node flags; copy nodeflags.dll there");
        return;
    }
    if (!f.bridge.read || f.bridge.image.kind != PE_LIBRARY) {
        Error(L"nodeflags.dll in the install directory is not a Windows library (it cannot be read, or has no "
              L"MZ and PE headers of a DLL): the Java application cannot load it; copy the released "
              L"nodeflags.dll there");
        return;
    }
    std::string damage = WholeProblem(f.bridge.image);
    if (!damage.empty())
        Error(L"nodeflags.dll in the install directory is damaged: " + FromAnsi(damage) +
              L": the Java application may fail to load it, or fail in it; copy the released nodeflags.dll there "
              L"again");
    const PeImage &launcher = f.launcherFile.image;
    if (launcher.kind == PE_PROGRAM && launcher.machine != f.bridge.image.machine)
        Error(L"the launcher is a " + FromAnsi(MachineName(launcher.machine)) + L" program and nodeflags.dll a " +
              FromAnsi(MachineName(f.bridge.image.machine)) +
              L" library: a JVM loads only libraries built for its own "
              L"architecture; use the nodeflags.dll built for the JVM's, or a JVM of the library's");
}

// imdaemon.exe in the install directory, when it is there: the process
// manager may also start it from elsewhere.
void CheckDaemon(const Facts &f)
{
    if (!f.daemon.read)
        return;
    if (f.daemon.image.kind != PE_PROGRAM) {
        Error(L"imdaemon.exe in the install directory is not a Windows program (it has no MZ and PE headers of "
              L"one): the process manager cannot start it; copy the released imdaemon.exe there");
        return;
    }
    std::string damage = WholeProblem(f.daemon.image);
    if (!damage.empty())
        Error(L"imdaemon.exe in the install directory is damaged: " + FromAnsi(damage) +
              L": the process manager may fail to start it, or it may fail as it runs; copy the released "
              L"imdaemon.exe there again");
    // A 32-bit program sees another system folder (SysWOW64) and registry
    // than a 64-bit one: the libraries were looked for as imcheck sees them.
    wchar_t szOwn[MAX_PATH];
    DWORD n = GetModuleFileNameW(0, szOwn, MAX_PATH);
    PeImage own;
    if (n > 0 && n < MAX_PATH && ReadPeImage(std::wstring(szOwn), own) && own.machine != f.daemon.image.machine)
        Warning(L"imcheck is a " + FromAnsi(MachineName(own.machine)) + L" program and imdaemon.exe a " +
                FromAnsi(MachineName(f.daemon.image.machine)) +
                L" one: Windows shows the two another system folder and registry, so where ov.dll and ovw.dll "
                L"are found was judged as imcheck sees them, not as the daemon does; run the imcheck.exe of the "
                L"daemon's own release");
}

// Archives and libraries whose names the daemon's ANSI directory listing
// cannot give back, or the class path cannot carry; and whether there is an
// archive at all.
void CheckEntryNames(const Facts &f)
{
    for (const ClassPathEntry &entry : f.classPath) {
        if (!entry.carried)
            Warning(L"the name of " + Quoted(entry.name) +
                    L" in the install directory has characters that the "
                    L"ANSI code page " +
                    CodePage() + L" cannot carry: the daemon sees it as " + Quoted(FromAnsi(entry.ansi)) +
                    (entry.ansiNamesAnother ? L", the name of another file there, and puts that one on the class "
                                              L"path in its place"
                                            : L" and puts that on the class path, a name that is no file") +
                    L"; rename it");
        if (entry.name.find(L';') != std::wstring::npos)
            Warning(L"the name of " + Quoted(entry.name) +
                    L" in the install directory holds a ';': the class path is split there, so the Java "
                    L"application finds neither part of it; rename it");
    }
    if (f.dirFound && f.javaFileOpened && !f.launcher.empty() && !f.hasArchive)
        Error(L"the install directory holds no archive (*.jar): the class path holds only the libraries, so the "
              L"Java application's main class quorel.im.vesk.Quorel is not found and it does not start; put the "
              L"application's archives in the install directory");
}

// The libraries each process would load: the platform's (on PATH) and the
// release's nodeflags.dll (in the install directory). One found ahead of
// the one meant is loaded in its place; no platform library at all is the
// platform missing from PATH (a missing nodeflags.dll is the bridge's own
// finding).
void CheckLibraries(const Model &m)
{
    for (const LibraryFound &found : m.libraries) {
        bool bridge = found.name == L"nodeflags.dll";
        if (found.winner == (size_t)-1) {
            if (!bridge)
                Warning(L"no " + found.name + L" is found where Windows looks for it for " + found.process +
                        L" (its own folder, the system folders, the Windows folder" +
                        (found.currentUnknown ? L"" : L", its current folder") +
                        L" and the system's PATH, which the process manager has as a service): unless the "
                        L"process manager gives it a PATH of its own, " +
                        found.process + L" cannot load it; put the platform's folder on the system's PATH");
            continue;
        }
        if (found.winner == found.platform)
            continue;
        const SearchPlace &winner = found.places[found.winner];
        std::wstring meant;
        if (bridge)
            meant = L"the install directory's, the release's, comes last";
        else if (found.platform == (size_t)-1)
            meant = L"no " + found.name + L" is on PATH";
        else
            meant = L"the platform's on PATH is " + Quoted(found.places[found.platform].folder + found.name);
        bool classPath = winner.how == L"the current folder" ||
                         (winner.how == L"the program's own folder" && found.process == L"the daemon");
        Error(Quoted(winner.folder + found.name) + L" is the " + found.name + L" " + found.process +
              L" would load: " + found.searcher + L" finds it in " + winner.how +
              (bridge ? L" before the install directory" : L" before PATH") + L", where " + meant +
              L"; whatever it is, " + found.process + L"'s calls go to it" +
              (classPath ? L" (and it goes on the class path)" : L"") + L"; remove it" +
              (bridge ? L", so that the release's nodeflags.dll in the install directory is loaded"
                      : L" and let the platform provide " + found.name));
    }
}

void CheckCommandLine(const Facts &f)
{
    if (f.commandLineCharacters > MAX_COMMAND_LINE)
        Error(L"the command line is " + Number(f.commandLineCharacters) + L" characters long, more than the " +
              Number(MAX_COMMAND_LINE) +
              L" (and the terminating zero) that process creation accepts: the application is not started; keep "
              L"only the archives and libraries it needs in the install directory, or use a shorter folder");
}

// Listener windows already open: the daemon finds its application's window
// by title alone, so an earlier application's window would get the close.
void CheckListenerWindows()
{
    for (HWND window = FindWindowExA(0, 0, 0, szListenerTitle); window;
         window = FindWindowExA(0, window, 0, szListenerTitle)) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        std::wstring image = L"image name unknown";
        HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
        if (hProcess) {
            wchar_t szImage[MAX_PATH];
            DWORD size = MAX_PATH;
            if (QueryFullProcessImageNameW(hProcess, 0, szImage, &size))
                image = szImage;
            CloseHandle(hProcess);
        }
        Warning(L"a " + Quoted(FromAnsi(szListenerTitle)) + L" window is already open, owned by process " +
                Number(processId) + L" (" + image +
                L"): an application started earlier is still running, and on the exit command the daemon would "
                L"close that window, not its own application's; end that process before the daemon starts");
    }
}
