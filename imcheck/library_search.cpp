#include "library_search.h"

#include <windows.h>

#include "win_path.h"

static void Add(std::vector<SearchPlace> &places, const std::wstring &folder, const std::wstring &how, bool onPath)
{
    // A folder searched before (the system folder is on PATH too) finds
    // nothing new there.
    for (const SearchPlace &place : places)
        if (SamePath(place.folder, folder))
            return;
    if (!folder.empty())
        places.push_back({WithSeparator(folder), how, onPath});
}

std::vector<SearchPlace> SearchOrder(const std::wstring &programFolder, const std::wstring &currentFolder,
                                     const std::wstring &path)
{
    std::vector<SearchPlace> places;
    Add(places, programFolder, L"the program's own folder", false);
    wchar_t szFolder[MAX_PATH];
    UINT n = GetSystemDirectoryW(szFolder, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        Add(places, szFolder, L"the system folder", false);
    n = GetWindowsDirectoryW(szFolder, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        Add(places, WithSeparator(szFolder) + L"System", L"the 16-bit system folder", false);
        Add(places, szFolder, L"the Windows folder", false);
    }
    Add(places, currentFolder, L"the current folder", false);
    // An empty entry, or one in quotes, is searched as written without them.
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(L';', start);
        if (end == std::wstring::npos)
            end = path.size();
        std::wstring entry = path.substr(start, end - start);
        if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"')
            entry = entry.substr(1, entry.size() - 2);
        if (!entry.empty())
            Add(places, entry, L"PATH", true);
        start = end + 1;
    }
    return places;
}

static bool Holds(const SearchPlace &place, const std::wstring &name)
{
    DWORD attributes = GetFileAttributesW((place.folder + name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void FindLibrary(LibraryFound &found, const std::wstring &ownPath, bool ownPathDiffers)
{
    for (size_t i = 0; i < found.places.size() && found.platform == (size_t)-1; ++i)
        if (Holds(found.places[i], found.name)) {
            if (found.winner == (size_t)-1)
                found.winner = i;
            if (found.places[i].onPath)
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
        if (Holds(found.places[i], found.name)) {
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
