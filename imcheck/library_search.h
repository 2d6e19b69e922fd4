// Where a library a program loads by name is looked for, in the order it is
// looked for: Windows' search for a program's libraries (its own folder, the
// system folders, the Windows folder, the current folder, then each folder
// on PATH), and the JVM's default library path, which System.loadLibrary
// searches.
#ifndef IMCHECK_LIBRARY_SEARCH_H
#define IMCHECK_LIBRARY_SEARCH_H

#include <string>
#include <vector>

struct SearchPlace {
    std::wstring folder; // with its separator
    std::wstring how;    // "the program's own folder", "the system folder", "PATH", ...
    bool onPath;
    bool intended; // a copy found here is the one meant to be loaded
};

// Windows' order for a program in programFolder whose current folder is
// currentFolder (empty when it cannot be known: it is left out, and so are
// PATH's relative entries, which name folders below it) and whose PATH is
// path. The copies on PATH are the platform's: they are intended.
std::vector<SearchPlace> SearchOrder(const std::wstring &programFolder, const std::wstring &currentFolder,
                                     const std::wstring &path);

// The JVM's default library path on Windows, for a launcher in
// launcherFolder whose current folder is currentFolder: the launcher's
// folder, the Java extensions folder (the Windows folder's Sun\Java\bin), the
// system folder, the Windows folder, PATH, then the current folder, the one
// intended.
std::vector<SearchPlace> JvmLibraryOrder(const std::wstring &launcherFolder, const std::wstring &currentFolder,
                                         const std::wstring &path);

// A library a process loads by name, as it would be found.
struct LibraryFound {
    std::wstring name;     // ov.dll, ovw.dll, nodeflags.dll
    std::wstring process;  // "the daemon", "the Java application"
    std::wstring searcher; // "Windows", "the JVM's library path"
    std::vector<SearchPlace> places;
    size_t winner = (size_t)-1;   // index into places of the one loaded
    size_t platform = (size_t)-1; // of the first found in an intended place
    bool ownPath = false;         // found through imcheck's own PATH, not the system's
    bool currentUnknown = false;  // the process's current folder, searched before PATH, is not known
};

// Looks for found.name in found.places, in order, up to the first intended
// copy; when none is found there and ownPath differs from the PATH
// searched, through ownPath's folders too.
void FindLibrary(LibraryFound &found, const std::wstring &ownPath, bool ownPathDiffers);

// PATH as a service gets it: the system's, from the registry, its
// variables expanded. False when it cannot be read.
bool SystemPath(std::wstring &path);

// PATH as this program has it.
std::wstring OwnPath();

#endif
