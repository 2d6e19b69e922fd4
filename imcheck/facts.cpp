#include "facts.h"

#include <shellapi.h>

#include <cstdio>

#include "ansi_text.h"
#include "install_path.h"
#include "java_path.h"
#include "jvm.h"
#include "win_path.h"

enum { CTRL_Z = 0x1A };

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

std::wstring WideDecoded(std::wstring text)
{
    for (size_t at = text.find(L"%20"); at != std::wstring::npos; at = text.find(L"%20"))
        text.replace(at, 3, L" ");
    return text;
}

static bool HasExtension(const std::wstring &path, const wchar_t *extension)
{
    std::wstring end = extension;
    return path.size() >= end.size() && SameName(path.substr(path.size() - end.size()), end);
}

bool IsBatchFile(const std::wstring &path)
{
    return HasExtension(path, L".bat") || HasExtension(path, L".cmd");
}

// java_file.dat's first byte, and its first line as the daemon's
// text-mode read meets it: up to the line feed, without the carriage
// return before it, and ended by a Ctrl-Z, which text mode takes as the end
// of the file. False, with the system's error, when the file cannot be
// opened. Opened by its ANSI path, as the daemon opens it.
static bool ReadFirstLine(const std::string &path, std::string &line, bool &cut, int &firstByte,
                          unsigned long &error)
{
    line.clear();
    cut = false;
    error = 0;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        error = GetLastError();
        return false;
    }
    firstByte = fgetc(f);
    int c = firstByte;
    for (; c != EOF && c != '\n' && c != CTRL_Z && !cut; c = fgetc(f)) {
        line += (char)c;
        cut = line.size() >= MAX_LINE_READ;
    }
    if (c == '\n' && !line.empty() && line.back() == '\r')
        line.pop_back();
    fclose(f);
    return true;
}

// Archives and libraries of dir as the system keeps their names, whatever
// the ANSI code page can carry, and as the daemon's ANSI listing gives them.
static std::vector<ClassPathEntry> ListClassPath(const std::wstring &dir)
{
    std::vector<ClassPathEntry> entries;
    for (const wchar_t *pattern : {L"*.jar", L"*.dll"}) {
        WIN32_FIND_DATAW data;
        HANDLE hFind = FindFirstFileW((dir + pattern).c_str(), &data);
        if (hFind == INVALID_HANDLE_VALUE)
            continue;
        do {
            ClassPathEntry entry;
            entry.name = data.cFileName;
            entry.carried = ToAnsi(entry.name, entry.ansi);
            entry.attributes = data.dwFileAttributes;
            entry.ansiNamesAnother = false;
            entry.archive = pattern[2] == L'j';
            if (!entry.carried && entry.ansi.find_first_of("?*") == std::string::npos) {
                WIN32_FIND_DATAW other;
                HANDLE hOther = FindFirstFileW((dir + FromAnsi(entry.ansi)).c_str(), &other);
                if (hOther != INVALID_HANDLE_VALUE) {
                    entry.ansiNamesAnother = !SameName(entry.name, other.cFileName);
                    FindClose(hOther);
                }
            }
            entries.push_back(entry);
        } while (FindNextFileW(hFind, &data));
        FindClose(hFind);
    }
    return entries;
}

// What lies at path; a program's or library's headers read unless told not.
static Opened Open(const std::wstring &path, bool readImage = true)
{
    Opened o;
    o.path = path;
    o.attributes = GetFileAttributesW(path.c_str());
    if (readImage && o.IsFile())
        o.read = ReadPeImage(path, o.image);
    return o;
}

void GatherFacts(const std::string &given, Facts &f)
{
    f.given = given;
    f.wideGiven = FromAnsi(given);
    f.wideArgument = WideArgument();
    f.dir = WithSeparator(FromAnsi(sInstallPath));
    f.dirFound = IsFolder(f.dir);
    if (f.dirFound) {
        f.classPath = ListClassPath(f.dir);
        f.daemon = Open(f.dir + L"imdaemon.exe");
        f.bridge = Open(f.dir + L"nodeflags.dll");
    }
    // Only an archive the daemon's class path really holds counts: its name
    // carried by the ANSI code page, naming no other file, and not split at
    // a ';'.
    for (const ClassPathEntry &entry : f.classPath)
        f.hasArchive |= entry.archive && entry.carried && !entry.ansiNamesAnother &&
                        entry.name.find(L';') == std::wstring::npos &&
                        !(entry.attributes & FILE_ATTRIBUTE_DIRECTORY);

    char szJavaFile[INSTALL_PATH_SIZE];
    MakeInstallFilePath(szJavaFile, "java_file.dat");
    f.javaFileAnsi = szJavaFile;
    f.javaFile = FromAnsi(szJavaFile);
    f.javaFileAttributes = GetFileAttributesW(f.javaFile.c_str());
    f.javaFileOpened = f.javaFileAttributes != INVALID_FILE_ATTRIBUTES &&
                       ReadFirstLine(f.javaFileAnsi, f.firstLine, f.firstLineCut, f.firstByte, f.javaFileError);
    f.firstNul = f.firstLine.find('\0');
    if (f.firstNul >= MAX_JAVA_FILE_LINE)
        f.firstNul = std::string::npos;
    f.launcher = GetJavaPath();
    f.wideLauncher = FromAnsi(f.launcher);
    f.launcherAsUtf8Exists = FromUtf8(f.launcher, f.launcherAsUtf8) &&
                             GetFileAttributesW(f.launcherAsUtf8.c_str()) != INVALID_FILE_ATTRIBUTES;
    // A batch file is run by the command interpreter, not as an image.
    if (f.javaFileOpened && IsAbsolute(f.wideLauncher)) {
        std::wstring opened = OpenedPath(f.wideLauncher);
        f.launcherFile = Open(opened, !IsBatchFile(opened));
    }

    f.commandLine = JavaCommandLine();
    f.commandLineCharacters = Utf16Length(f.commandLine, CP_ACP);
}
