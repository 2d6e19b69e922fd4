// Where Windows looks for a library a program loads by name, in the order
// it looks: the program's own folder, the system folders, the Windows
// folder, the current folder, then each folder on PATH.
#ifndef IMCHECK_LIBRARY_SEARCH_H
#define IMCHECK_LIBRARY_SEARCH_H

#include <string>
#include <vector>

struct SearchPlace {
    std::wstring folder; // with its separator
    std::wstring how;    // "the program's own folder", "the system folder", "PATH", ...
    bool onPath;
};

// The places in order for a program in programFolder whose current folder
// is currentFolder (empty when it cannot be known: it is left out, and the
// caller says so) and whose PATH is path.
std::vector<SearchPlace> SearchOrder(const std::wstring &programFolder, const std::wstring &currentFolder,
                                     const std::wstring &path);

// A library a process loads by name, as Windows would find it.
struct LibraryFound {
    std::wstring name;    // ov.dll, ovw.dll
    std::wstring process; // "the daemon", "the Java application"
    std::vector<SearchPlace> places;
    size_t winner = (size_t)-1;   // index into places of the one loaded
    size_t platform = (size_t)-1; // of the first found through PATH: the platform's
    bool ownPath = false;         // found through imcheck's own PATH, not the system's
    bool currentUnknown = false;  // the process's current folder, searched before PATH, is not known
};

// Looks for found.name in found.places, in order, up to the platform's (the
// first found through PATH); when none is found there and ownPath differs
// from the PATH searched, through ownPath's folders too.
void FindLibrary(LibraryFound &found, const std::wstring &ownPath, bool ownPathDiffers);

// PATH as a service gets it: the system's, from the registry, its
// variables expanded. False when it cannot be read.
bool SystemPath(std::wstring &path);

// PATH as this program has it.
std::wstring OwnPath();

#endif
