#include "library_search.h"

#include <windows.h>

#include "win_path.h"

static void Add(std::vector<SearchPlace> &places, const std::wstring &folder, const std::wstring &how, bool onPath,
                bool intended)
{
    // A folder searched before (the system folder is on PATH too) finds
    // nothing new there.
    for (const SearchPlace &place : places)
        if (SamePath(place.folder, folder))
            return;
    if (!folder.empty())
        places.push_back({WithSeparator(folder), how, onPath, intended});
}

static void AddSystemFolders(std::vector<SearchPlace> &places, bool sixteenBit)
{
    wchar_t szFolder[MAX_PATH];
    UINT n = GetSystemDirectoryW(szFolder, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        Add(places, szFolder, L"the system folder", false, false);
    n = GetWindowsDirectoryW(szFolder, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        if (sixteenBit)
            Add(places, WithSeparator(szFolder) + L"System", L"the 16-bit system folder", false, false);
        Add(places, szFolder, L"the Windows folder", false, false);
    }
}

// PATH's entries in order; an empty one is skipped, one in quotes taken
// without them, a relative one taken below the current folder, or left out
// when that is not known.
static void AddPath(std::vector<SearchPlace> &places, const std::wstring &path, const std::wstring &currentFolder,
                    bool intended)
{
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(L';', start);
        if (end == std::wstring::npos)
            end = path.size();
        std::wstring entry = path.substr(start, end - start);
        if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"')
            entry = entry.substr(1, entry.size() - 2);
        if (!entry.empty() && !IsAbsolute(entry))
            entry = currentFolder.empty() ? L"" : OpenedPath(WithSeparator(currentFolder) + entry);
        if (!entry.empty())
            Add(places, entry, L"PATH", true, intended);
        start = end + 1;
    }
}

std::vector<SearchPlace> SearchOrder(const std::wstring &programFolder, const std::wstring &currentFolder,
                                     const std::wstring &path)
{
    std::vector<SearchPlace> places;
    Add(places, programFolder, L"the program's own folder", false, false);
    AddSystemFolders(places, true);
    Add(places, currentFolder, L"the current folder", false, false);
    AddPath(places, path, currentFolder, true);
    return places;
}

std::vector<SearchPlace> JvmLibraryOrder(const std::wstring &launcherFolder, const std::wstring &currentFolder,
                                         const std::wstring &path)
{
    std::vector<SearchPlace> places;
    Add(places, launcherFolder, L"the launcher's folder", false, false);
    wchar_t szWindows[MAX_PATH];
    UINT n = GetWindowsDirectoryW(szWindows, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        Add(places, WithSeparator(szWindows) + L"Sun\\Java\\bin", L"the Java extensions folder", false, false);
    AddSystemFolders(places, false);
    AddPath(places, path, currentFolder, false);
    // Last; where it was searched before (on PATH), that place is the one.
    for (SearchPlace &place : places)
        if (SamePath(place.folder, currentFolder)) {
            place.intended = true;
            return places;
        }
    Add(places, currentFolder, L"the current folder", false, true);
    return places;
}

void FindLibrary(LibraryFound &found, const std::wstring &ownPath, bool ownPathDiffers)
{
    for (size_t i = 0; i < found.places.size() && found.platform == (size_t)-1; ++i)
        if (IsFile(found.places[i].folder + found.name)) {
            if (found.winner == (size_t)-1)
                found.winner = i;
            if (found.places[i].intended)
                found.platform = i;
        }
    if (found.platform != (size_t)-1 || !ownPathDiffers)
        return;
    size_t from = found.places.size();
    for (const SearchPlace &place : SearchOrder(L"", L"", ownPath)) {
        bool searched = false;
        for (size_t i = 0; i < from; ++i)
            searched |= SamePath(found.places[i].folder, place.folder);
        if (place.onPath && !searched)
            found.places.push_back(place);
    }
    for (size_t i = from; i < found.places.size() && found.platform == (size_t)-1; ++i)
        if (IsFile(found.places[i].folder + found.name)) {
            found.ownPath = true;
            found.platform = i;
            if (found.winner == (size_t)-1)
                found.winner = i;
        }
}

bool SystemPath(std::wstring &path)
{
    HKEY hKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                      KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, bytes = 0;
    LONG status = RegQueryValueExW(hKey, L"Path", 0, &type, 0, &bytes);
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (status == ERROR_SUCCESS)
        status = RegQueryValueExW(hKey, L"Path", 0, &type, (BYTE *)&value[0], &bytes);
    RegCloseKey(hKey);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    value.resize(wcsnlen(value.c_str(), value.size()));
    if (type == REG_SZ) {
        path = value;
        return true;
    }
    DWORD n = ExpandEnvironmentStringsW(value.c_str(), 0, 0);
    std::wstring expanded(n, L'\0');
    if (n == 0 || ExpandEnvironmentStringsW(value.c_str(), &expanded[0], n) != n)
        return false;
    expanded.resize(n - 1);
    path = expanded;
    return true;
}

std::wstring OwnPath()
{
    DWORD n = GetEnvironmentVariableW(L"PATH", 0, 0);
    std::wstring path(n, L'\0');
    if (n == 0 || GetEnvironmentVariableW(L"PATH", &path[0], n) >= n)
        return L"";
    path.resize(n - 1);
    return path;
}
