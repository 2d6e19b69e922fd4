#include "objects.h"

#include <windows.h>

#include "ansi_text.h"
#include "pe_image.h"
#include "report.h"
#include "runtime.h"

static const wchar_t szChooses[] = L"and so chooses what the daemon runs under the process manager's account";

static bool IsReparsePoint(const std::wstring &path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// An object's key: where its path really leads (a link, the link itself).
static std::wstring Key(const std::wstring &path, bool link)
{
    std::wstring key;
    if (link || !FinalPath(path, key))
        key = OpenedPath(path);
    while (key.size() > 3 && IsSeparator(key.back()))
        key.pop_back();
    return (link ? L"|" : L"") + key;
}

static size_t AddObject(Model &m, const std::wstring &path, bool link, const Use &use)
{
    std::wstring key = Key(path, link);
    auto found = m.index.find(key);
    size_t at = found == m.index.end() ? m.objects.size() : found->second;
    if (found == m.index.end()) {
        m.objects.push_back({path, link, {}});
        m.index[key] = at;
    }
    m.objects[at].uses.push_back(use);
    return at;
}

static std::wstring AboveWhy(const std::wstring &what)
{
    return L"whoever can delete or rename what it holds, or change its permissions, can put another in place "
           L"of " +
           what + L", " + szChooses;
}

static void AddFoldersAbove(Model &m, const std::wstring &path, const std::wstring &what,
                            const std::wstring &shown)
{
    for (const std::wstring &folder : FoldersAbove(path))
        AddObject(m, folder, false,
                  {OBJECT_FOLDER_ABOVE, false, L"the folder above " + shown, AboveWhy(what), NO_TREE});
}

// Where path really leads, when that is not where it says: a link or
// junction on it, or its drive, leads elsewhere; empty when not.
static std::wstring LinkedPath(const std::wstring &path)
{
    std::wstring real;
    if (!FinalPath(path, real) || SamePath(OpenedPath(path), real))
        return L"";
    return IsFolder(real) ? WithSeparator(real) : real;
}

// How a finding says that a path led elsewhere: through a link on it, or
// through its drive (a substituted or mapped drive is no link).
static std::wstring Followed(const std::wstring &what, const std::wstring &path, bool linkOnIt,
                             const std::wstring &real)
{
    std::wstring full = OpenedPath(path);
    std::wstring root = full.substr(0, RootLength(full)), realRoot;
    if (!linkOnIt && !SameName(real.substr(0, root.size()), root) && FinalPath(root, realRoot))
        return what + L"'s real path (" + Quoted(path) + L" is on drive " + root + L", which leads to " +
               Quoted(WithSeparator(realRoot)) + L")";
    return what + L"'s real path (a link on " + Quoted(path) + L" was followed)";
}

// Each link on the way to what (the link itself) and, where the full path
// leads elsewhere, every folder above the place it really leads to.
static void ReachThroughLinks(Model &m, const std::wstring &full, const std::wstring &what)
{
    bool linkOnIt = false;
    for (size_t at = RootLength(full); at <= full.size(); ++at) {
        if (at < full.size() && !IsSeparator(full[at]))
            continue;
        std::wstring part = full.substr(0, at);
        if (!part.empty() && !IsSeparator(part.back()) && IsReparsePoint(part)) {
            linkOnIt = true;
            AddObject(m, part, true,
                      {OBJECT_LINK, true, L"the link on the way to " + what,
                       L"whoever can change or replace it chooses where it leads, and so what is taken for " +
                           what + L", " + szChooses,
                       NO_TREE});
        }
    }
    std::wstring real = LinkedPath(full);
    if (!real.empty())
        AddFoldersAbove(m, real, what + L"'s real path", Followed(what, full, linkOnIt, real));
}

// An object reached by path in role: the object, every folder above it, and
// the links on the way.
static void Reach(Model &m, const std::wstring &path, ObjectRole role, const std::wstring &what,
                  const std::wstring &why)
{
    std::wstring full = OpenedPath(path);
    AddObject(m, full, false, {role, true, what, why, NO_TREE});
    AddFoldersAbove(m, full, what, what);
    ReachThroughLinks(m, full, what);
}

// path (a folder, ending with a backslash) and everything below it, in
// order, each folder before what it holds, as members of tree t; a link
// below it is followed once (the link itself and the folders above the place
// it leads to are gathered too).
static void Walk(Model &m, size_t t, const std::wstring &path, int depth)
{
    // A folder reached again, through a link, is walked and listed once; a
    // tree's own root is listed whatever walked it before.
    size_t at = m.trees[t].members.size();
    bool first = m.walkedFolders.insert(Key(path, false)).second;
    if (!first && at > 0)
        return;
    const Tree &tree = m.trees[t];
    size_t object =
        AddObject(m, path, false, {OBJECT_FOLDER, false, at == 0 ? tree.rootWhat : tree.folderWhat, tree.why, t});
    m.trees[t].members.push_back({object, true, 0, 0});
    if (!first)
        return;
    if (depth >= MAX_TREE_DEPTH) {
        m.walkCut = true;
        return;
    }
    WIN32_FIND_DATAW data;
    HANDLE hFind = FindFirstFileW((path + L"*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND)
        m.trees[t].members[at].error = GetLastError();
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (m.walked >= MAX_TREE_OBJECTS) {
                m.walkCut = true;
                break;
            }
            ++m.walked;
            std::wstring entry = path + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                AddObject(m, entry, true,
                          {OBJECT_LINK, true, L"the link in " + m.trees[t].rootWhat,
                           L"whoever can change or replace it chooses where it leads, and so " + m.trees[t].why,
                           NO_TREE});
                std::wstring real = LinkedPath(entry);
                if (!real.empty())
                    AddFoldersAbove(m, real, L"the link's real path", Followed(L"the link", entry, true, real));
            }
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                Walk(m, t, entry + L"\\", depth + 1);
            } else {
                size_t file =
                    AddObject(m, entry, false, {OBJECT_FILE, false, m.trees[t].fileWhat, m.trees[t].why, t});
                m.trees[t].members.push_back({file, false, 0, 0});
            }
        } while (FindNextFileW(hFind, &data));
        FindClose(hFind);
    }
    m.trees[t].members[at].below = m.trees[t].members.size() - at - 1;
}

static void WalkTree(Model &m, const std::wstring &folder, const std::wstring &rootWhat,
                     const std::wstring &folderWhat, const std::wstring &fileWhat, const std::wstring &why)
{
    m.trees.push_back({rootWhat, folderWhat, fileWhat, why, {}});
    std::wstring root = WithSeparator(OpenedPath(folder));
    // The folders above the walked one are those of what it is part of.
    AddFoldersAbove(m, root, rootWhat, rootWhat);
    ReachThroughLinks(m, root, rootWhat);
    Walk(m, m.trees.size() - 1, root, 0);
}

// The launcher, its folder, the libraries it loads from there, and the Java
// runtime where the launcher finds it.
static void GatherLauncher(const Facts &f, Model &m)
{
    const std::wstring &launcher = f.launcherFile.path;
    Reach(m, launcher, OBJECT_FILE, L"the launcher",
          L"whoever can change it chooses the program the daemon starts under the process manager's account");
    // Its runtime is found from its real folder, shown as named where no
    // link leads elsewhere.
    // A \\?\ launcher's runtime is walked by its plain real path, which
    // has the length limit of every other.
    std::wstring real;
    if (!FinalPath(launcher, real) || (SamePath(real, launcher) && !IsLiteralPath(launcher)))
        real = launcher;
    std::wstring folder = FolderOf(real);
    Reach(m, FolderOf(launcher), OBJECT_FOLDER, L"the launcher's folder",
          L"Windows searches it first for the libraries the launcher loads, so whoever can add a file there or "
          L"replace one chooses code that runs under the process manager's account");
    // Each library the launcher imports, where Windows finds it; the API
    // sets (api-ms-*, ext-ms-*) are no files but names the loader maps.
    std::vector<std::string> imports;
    m.launcherImportsRead = ReadImportNames(real, imports);
    std::vector<SearchPlace> places = SearchOrder(folder, f.dirFound ? f.dir : L"", m.systemPath);
    for (const std::string &name : imports) {
        std::wstring wide = FromAnsi(name);
        if (SameName(wide.substr(0, 7), L"api-ms-") || SameName(wide.substr(0, 7), L"ext-ms-"))
            continue;
        size_t at = 0;
        while (at < places.size() && !IsFile(places[at].folder + wide))
            ++at;
        if (at == places.size())
            m.launcherImportsMissing.push_back(wide);
        else if (at == 0)
            Reach(
                m, folder + wide, OBJECT_FILE, L"a library the launcher loads from its own folder",
                L"whoever can change it chooses code that the launcher runs under the process manager's account");
    }
    Runtime runtime = FindRuntime(real);
    m.runtimeHome = runtime.home;
    m.runtimeFound = !runtime.folder.empty();
    if (!m.runtimeFound)
        return;
    std::wstring why = L"whoever can change the Java runtime's files, or add some, chooses code that the launcher "
                       L"loads and runs under the process manager's account";
    // A runtime at a drive's root is its folders there, not the whole drive.
    if (RootLength(runtime.folder) == runtime.folder.size()) {
        for (const wchar_t *part : {L"bin", L"lib", L"conf"})
            if (IsFolder(runtime.folder + part))
                WalkTree(m, runtime.folder + part, L"a folder of the Java runtime",
                         L"a folder of the Java runtime", L"a file of the Java runtime", why);
    } else {
        WalkTree(m, runtime.folder, L"the Java runtime", L"a folder of the Java runtime",
                 L"a file of the Java runtime", why);
    }
}

// A library to be looked for in places, in that order.
static LibraryFound Search(const wchar_t *name, const wchar_t *process, const wchar_t *searcher,
                           const std::vector<SearchPlace> &places)
{
    LibraryFound found;
    found.name = name;
    found.process = process;
    found.searcher = searcher;
    found.places = places;
    return found;
}

// Where the daemon finds ov.dll and the Java application ovw.dll (which
// nodeflags.dll imports), in Windows' search order for each process, and
// where the JVM's default library path finds nodeflags.dll: the daemon's
// library-path option is taken as the launcher's program name, so the
// install directory is searched last, as the current folder. The process
// manager runs as a service, so PATH is the system's; a library found only
// through imcheck's own PATH is named as such. The winner and every folder
// searched before it decide which library runs.
static void GatherLibraries(const Facts &f, Model &m)
{
    const std::wstring &systemPath = m.systemPath;
    std::wstring ownPath = OwnPath();
    std::vector<LibraryFound> searches;
    // The daemon's current folder is the process manager's: not known here.
    if (f.dirFound) {
        searches.push_back(Search(L"ov.dll", L"the daemon", L"Windows", SearchOrder(f.dir, L"", systemPath)));
        searches.back().currentUnknown = true;
    }
    if (f.dirFound && f.launcherFile.IsFile()) {
        std::wstring launcherFolder = FolderOf(f.launcherFile.path);
        searches.push_back(Search(L"ovw.dll", L"the Java application", L"Windows",
                                  SearchOrder(launcherFolder, f.dir, systemPath)));
        searches.push_back(Search(L"nodeflags.dll", L"the Java application", L"the JVM's library path",
                                  JvmLibraryOrder(launcherFolder, f.dir, systemPath)));
    }
    for (LibraryFound &found : searches) {
        FindLibrary(found, ownPath, found.name != L"nodeflags.dll" && !SameName(ownPath, systemPath));
        // What decides which library is loaded: the winner and every folder
        // searched before it; a folder there that does not exist yet is
        // made by whoever may add one to the nearest folder that does.
        size_t last = found.winner == (size_t)-1 ? found.places.size() : found.winner + 1;
        const std::wstring &library = found.name;
        std::wstring why = L"whoever can add a file there puts a " + library + L" ahead of the one meant, code " +
                           found.process + L" runs under the process manager's account";
        for (size_t i = 0; i < last && i < found.places.size(); ++i) {
            std::wstring folder = OpenedPath(found.places[i].folder);
            std::wstring what = L"a folder " + found.searcher + L" searches for " + library + L" for " +
                                found.process + L" (" + found.places[i].how + L")";
            if (IsFolder(folder)) {
                Reach(m, folder, OBJECT_FOLDER, what, why);
                continue;
            }
            std::vector<std::wstring> above = FoldersAbove(folder);
            for (const std::wstring &existing : above)
                if (IsFolder(existing)) {
                    Reach(m, existing, OBJECT_FOLDER,
                          L"the folder above " + Quoted(folder) + L", which " + found.searcher +
                              L" searches for " + library + L" for " + found.process + L" (" +
                              found.places[i].how + L") but does not exist,",
                          L"whoever can add a folder there can make it and put a " + library +
                              L" in it ahead of the one meant, code " + found.process +
                              L" runs under the process manager's account");
                    break;
                }
        }
        if (found.winner != (size_t)-1)
            Reach(m, found.places[found.winner].folder + library, OBJECT_FILE,
                  L"the " + library + L" " + found.process + L" loads",
                  L"whoever can change it chooses code " + found.process +
                      L" runs under the process manager's "
                      L"account");
        m.libraries.push_back(found);
    }
}

void GatherModel(const Facts &f, Model &m)
{
    m.systemPathRead = SystemPath(m.systemPath);
    if (f.dirFound)
        Reach(m, f.dir, OBJECT_FOLDER, L"the install directory",
              L"whoever can write it can replace java_file.dat or add archives and libraries to the class path, " +
                  std::wstring(szChooses));
    if (f.javaFileAttributes != INVALID_FILE_ATTRIBUTES)
        Reach(m, f.javaFile, OBJECT_FILE, L"java_file.dat",
              L"whoever can change it chooses the program the daemon starts under the process manager's account");
    if (f.daemon.IsFile())
        Reach(m, f.daemon.path, OBJECT_FILE, L"the daemon",
              L"whoever can change it chooses the program the process manager runs under its account");
    for (const ClassPathEntry &entry : f.classPath) {
        if (!entry.carried)
            continue; // no file of that name is on the class path
        std::wstring path = f.dir + entry.name;
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)
            WalkTree(m, path, L"the folder on the class path", L"a folder in a folder on the class path",
                     L"a file in a folder on the class path",
                     L"whoever can change what it holds chooses classes the Java application runs under the "
                     L"process manager's account");
        else
            Reach(m, path, OBJECT_FILE, entry.archive ? L"the archive" : L"the library",
                  L"it is on the class path, so whoever can change it chooses code the Java application runs "
                  L"under the process manager's account");
    }
    if (f.launcherFile.IsFile())
        GatherLauncher(f, m);
    GatherLibraries(f, m);
}

static int Strength(const Use &use)
{
    return (use.role == OBJECT_FOLDER_ABOVE ? 0 : 2) + (use.named ? 1 : 0);
}

const Use &StrictestUse(const Object &o)
{
    const Use *strictest = &o.uses.front();
    for (const Use &use : o.uses)
        if (Strength(use) > Strength(*strictest))
            strictest = &use;
    return *strictest;
}

unsigned long RightsOf(const Object &o)
{
    unsigned long rights = 0;
    for (const Use &use : o.uses)
        rights |= RightsThatMatter(use.role);
    return rights;
}
