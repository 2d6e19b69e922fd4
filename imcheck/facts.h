// What the daemon would read and run, gathered once before anything is
// judged: the install directory, java_file.dat, the launcher, the bridge,
// imdaemon.exe, the class path and the command line. The daemon's own
// routines decode the argument, read java_file.dat and build the command
// line, so imcheck and the daemon cannot disagree; each path is also held
// in UTF-16, as the system resolves the daemon's ANSI text, and judged so.
#ifndef IMCHECK_FACTS_H
#define IMCHECK_FACTS_H

#include <windows.h>

#include <string>
#include <vector>

#include "install_path.h"
#include "pe_image.h"

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

// A file the daemon or the Java process opens by a path, and what is there.
struct Opened {
    std::wstring path;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    bool read = false; // its headers could be read
    PeImage image = {PE_NOT_AN_IMAGE, 0, 0, 0, 0, 0};

    bool Exists() const { return attributes != INVALID_FILE_ATTRIBUTES; }
    bool IsFolder() const { return Exists() && (attributes & FILE_ATTRIBUTE_DIRECTORY); }
    bool IsFile() const { return Exists() && !IsFolder(); }
};

enum {
    MAX_JAVA_FILE_LINE = INSTALL_PATH_SIZE - 1, // what the daemon reads of java_file.dat's first line
    MAX_LINE_READ = 4096
};

struct Facts {
    // The install directory as the argument gave it: %20 decoded and uncut,
    // in the daemon's ANSI text and as the system reads that; and the
    // argument as the command line holds it, before the C runtime made ANSI
    // text of it.
    std::string given;
    std::wstring wideGiven;
    std::wstring wideArgument;
    // As the daemon holds it (sInstallPath, cut), with the separator the
    // application's library path adds: where the application finds files.
    std::wstring dir;
    bool dirFound = false;
    std::vector<ClassPathEntry> classPath;
    bool hasArchive = false; // a *.jar among them that the daemon's class path reaches
    Opened daemon;           // imdaemon.exe in it

    // java_file.dat at the path the daemon reads, and its first line.
    std::string javaFileAnsi;
    std::wstring javaFile;
    DWORD javaFileAttributes = INVALID_FILE_ATTRIBUTES;
    bool javaFileOpened = false;
    unsigned long javaFileError = 0; // the system's error when it cannot be opened
    // The line as the daemon's text-mode read sees it, up to MAX_LINE_READ
    // bytes (the daemon reads 259): firstLineCut when it goes on.
    std::string firstLine;
    bool firstLineCut = false;
    int firstByte = -1;                  // -1 when the file is empty
    size_t firstNul = std::string::npos; // where a NUL byte ends the part the daemon reads
    std::string launcher;                // what the daemon takes from it
    std::wstring wideLauncher;           // the same as the system reads it
    // The launcher path read as UTF-8, when it is valid UTF-8 beyond ASCII,
    // and whether that names a file.
    std::wstring launcherAsUtf8;
    bool launcherAsUtf8Exists = false;
    // The launcher file as process creation opens it, looked at only when
    // its path is absolute: a relative one depends on the daemon's own
    // current folder.
    Opened launcherFile;

    Opened bridge; // nodeflags.dll in the install directory

    std::string commandLine;
    size_t commandLineCharacters = 0; // UTF-16 units, as process creation counts them
};

// Fills facts from the decoded argument, with the install directory
// already set as the daemon sets it.
void GatherFacts(const std::string &given, Facts &f);

bool IsBatchFile(const std::wstring &path);

// The argument with %20 decoded, as the daemon decodes it.
std::wstring WideDecoded(std::wstring text);

#endif
