// The model of what runs: every file, folder and link that decides what the
// daemon and the Java application run, each known by the place its path
// really leads to and gathered once with every role it plays. The judging
// reads it after all is gathered, so an object met first in a lesser role
// (a folder above the install directory) is judged under its strictest one
// (the launcher's folder).
#ifndef IMCHECK_OBJECTS_H
#define IMCHECK_OBJECTS_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "facts.h"
#include "file_security.h"
#include "library_search.h"
#include "win_path.h"

enum { NO_TREE = (size_t)-1 };

// A role an object plays: which rights over it matter, and how a finding
// names it and says why.
struct Use {
    ObjectRole role;
    bool named; // named for itself, not only met in a walked folder or above another
    std::wstring what;
    std::wstring why;
    size_t tree; // the walked folder it was met in; NO_TREE when none
};

struct Object {
    std::wstring path; // as first reached: the path findings show
    bool link;         // the link or junction itself, not where it leads
    std::vector<Use> uses;
};

// A folder walked whole (the Java runtime, a folder on the class path):
// what it holds, in order, each folder before what it holds.
struct TreeMember {
    size_t object;
    bool folder;
    size_t below;        // for a folder, how many members follow it that lie below it
    unsigned long error; // why a folder's list cannot be read; 0 when it can
};
struct Tree {
    std::wstring rootWhat, folderWhat, fileWhat, why;
    std::vector<TreeMember> members;
};

struct Model {
    std::vector<Object> objects;
    std::map<std::wstring, size_t, NameLess> index;
    std::vector<Tree> trees;
    std::set<std::wstring, NameLess> walkedFolders;
    size_t walked = 0;    // files and folders met in walked folders
    bool walkCut = false; // a walk stopped at one of its limits
    bool runtimeFound = false;
    std::wstring runtimeHome; // where the launcher looks for its runtime
    std::vector<LibraryFound> libraries;
    std::wstring systemPath;
    bool systemPathRead = false;
    // The launcher's imports: whether its import table can be read, and the
    // libraries it imports that Windows finds nowhere it looks.
    bool launcherImportsRead = true;
    std::vector<std::wstring> launcherImportsMissing;
};

// Gathers every object that decides what runs from what the daemon reads.
void GatherModel(const Facts &f, Model &m);

// The strictest of an object's roles: the one a finding names it by.
const Use &StrictestUse(const Object &o);

// Every right over the object that lets an account change what runs.
unsigned long RightsOf(const Object &o);

// A walk stops at this many files and folders in all, and this many
// folders deep: a runtime or a folder on the class path is far smaller.
enum { MAX_TREE_OBJECTS = 20000, MAX_TREE_DEPTH = 64 };

#endif
