#include "win_path.h"

#include <windows.h>

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

bool IsFile(const std::wstring &path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::wstring &path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsLiteralPath(const std::wstring &path)
{
    return path.compare(0, 4, L"\\\\?\\") == 0;
}

bool IsAbsolute(const std::wstring &path)
{
    wchar_t drive = path.empty() ? 0 : path[0];
    if (path.size() >= 3 && ((drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z')) &&
        path[1] == L':' && IsSeparator(path[2]))
        return true;
    return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

std::wstring OpenedPath(const std::wstring &path)
{
    if (IsLiteralPath(path))
        return path;
    wchar_t szFull[32768];
    DWORD n = GetFullPathNameW(path.c_str(), 32768, szFull, 0);
    return n > 0 && n < 32768 ? std::wstring(szFull) : path;
}

bool HasPartWindowsKeeps(const std::wstring &path)
{
    if (!IsLiteralPath(path))
        return false;
    for (size_t start = 4, end; start <= path.size(); start = end + 1) {
        end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        if (end > start && (path[end - 1] == L' ' || path[end - 1] == L'.'))
            return true;
    }
    return false;
}

size_t RootLength(const std::wstring &full)
{
    size_t skip = 2;
    if (IsLiteralPath(full)) {
        if (CompareStringOrdinal(full.c_str() + 4, full.size() < 8 ? -1 : 4, L"UNC\\", 4, TRUE) != CSTR_EQUAL)
            return full.size() >= 7 ? 7 : full.size();
        skip = 8;
    } else if (full.size() >= 3 && full[1] == L':') {
        return 3;
    }
    size_t server = full.find(L'\\', skip);
    size_t share = server == std::wstring::npos ? server : full.find(L'\\', server + 1);
    return share == std::wstring::npos ? full.size() : share + 1;
}

std::vector<std::wstring> FoldersAbove(const std::wstring &path)
{
    std::vector<std::wstring> folders;
    std::wstring full = OpenedPath(path);
    size_t root = RootLength(full);
    while (full.size() > root) {
        if (IsSeparator(full.back()))
            full.pop_back();
        size_t slash = full.find_last_of(L'\\');
        if (slash == std::wstring::npos || slash + 1 < root)
            break;
        full.erase(slash + 1);
        folders.push_back(full);
    }
    return folders;
}

std::wstring FolderOf(const std::wstring &path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(0, slash + 1);
}

std::wstring NameOf(const std::wstring &path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring WithSeparator(std::wstring path)
{
    if (path.empty() || !IsSeparator(path.back()))
        path += L'\\';
    return path;
}

// path without the "\\?\" of a literal drive or UNC path.
static std::wstring WithoutLiteralPrefix(const std::wstring &path)
{
    if (path.size() >= 8 && CompareStringOrdinal(path.c_str(), 8, L"\\\\?\\UNC\\", 8, TRUE) == CSTR_EQUAL)
        return L"\\\\" + path.substr(8);
    if (IsLiteralPath(path) && path.size() >= 6 && path[5] == L':')
        return path.substr(4);
    return path;
}

bool FinalPath(const std::wstring &path, std::wstring &real)
{
    HANDLE hFile = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, 0);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    std::wstring final(32768, L'\0');
    DWORD n = GetFinalPathNameByHandleW(hFile, &final[0], 32768, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(hFile);
    if (n == 0 || n >= 32768)
        return false;
    final.resize(n);
    real = WithoutLiteralPrefix(final);
    return true;
}

bool SameName(const std::wstring &a, const std::wstring &b)
{
    return CompareStringOrdinal(a.c_str(), (int)a.size(), b.c_str(), (int)b.size(), TRUE) == CSTR_EQUAL;
}

bool NameLess::operator()(const std::wstring &a, const std::wstring &b) const
{
    return CompareStringOrdinal(a.c_str(), (int)a.size(), b.c_str(), (int)b.size(), TRUE) == CSTR_LESS_THAN;
}

static std::wstring Comparable(const std::wstring &path)
{
    std::wstring text = WithoutLiteralPrefix(path);
    std::wstring longName(32768, L'\0');
    DWORD n = GetLongPathNameW(text.c_str(), &longName[0], 32768);
    if (n > 0 && n < 32768)
        text = longName.substr(0, n);
    while (text.size() > 3 && IsSeparator(text.back()))
        text.pop_back();
    return text;
}

bool SamePath(const std::wstring &a, const std::wstring &b)
{
    return SameName(Comparable(a), Comparable(b));
}
