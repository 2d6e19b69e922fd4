#include "win_path.h"

#include <windows.h>

#include <cstring>

static bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsLiteralPath(const std::string &path)
{
    return path.compare(0, 4, "\\\\?\\") == 0;
}

std::string OpenedPath(const std::string &path)
{
    if (IsLiteralPath(path))
        return path;
    char szFull[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof szFull, szFull, 0);
    return n > 0 && n < sizeof szFull ? std::string(szFull) : path;
}

bool HasPartWindowsKeeps(const std::string &path)
{
    if (!IsLiteralPath(path))
        return false;
    size_t start = 4;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        if (!part.empty() && (part.back() == ' ' || part.back() == '.'))
            return true;
        start = end + 1;
    }
    return false;
}

// The length of the root of a full path: "C:\", "\\server\share\",
// "\\?\C:\" or "\\?\UNC\server\share\".
static size_t RootLength(const std::string &full)
{
    size_t skip = 0;
    if (IsLiteralPath(full)) {
        skip = 4;
        if (_strnicmp(full.c_str() + 4, "UNC\\", 4) != 0)
            return full.size() >= 7 ? 7 : full.size();
        skip = 8;
    } else if (full.size() >= 3 && full[1] == ':') {
        return 3;
    } else {
        skip = 2;
    }
    size_t server = full.find('\\', skip);
    size_t share = server == std::string::npos ? server : full.find('\\', server + 1);
    return share == std::string::npos ? full.size() : share + 1;
}

std::vector<std::string> FoldersAbove(const std::string &path)
{
    std::vector<std::string> folders;
    std::string full = OpenedPath(path);
    size_t root = RootLength(full);
    while (full.size() > root) {
        if (IsSeparator(full.back()))
            full.pop_back();
        size_t slash = full.find_last_of('\\');
        if (slash == std::string::npos || slash + 1 < root)
            break;
        full.erase(slash + 1);
        folders.push_back(full);
    }
    return folders;
}

// path without the "\\?\" of a literal drive or UNC path.
static std::string WithoutLiteralPrefix(const std::string &path)
{
    if (_strnicmp(path.c_str(), "\\\\?\\UNC\\", 8) == 0)
        return "\\\\" + path.substr(8);
    if (IsLiteralPath(path) && path.size() >= 6 && path[5] == ':')
        return path.substr(4);
    return path;
}

bool FinalPath(const std::string &path, std::string &real)
{
    HANDLE hFile = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, 0);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    char szFinal[32768];
    DWORD n = GetFinalPathNameByHandleA(hFile, szFinal, sizeof szFinal, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(hFile);
    if (n == 0 || n >= sizeof szFinal)
        return false;
    real = WithoutLiteralPrefix(szFinal);
    return true;
}

static std::string Comparable(const std::string &path)
{
    std::string text = WithoutLiteralPrefix(path);
    char szLong[32768];
    DWORD n = GetLongPathNameA(text.c_str(), szLong, sizeof szLong);
    if (n > 0 && n < sizeof szLong)
        text = szLong;
    while (text.size() > 3 && IsSeparator(text.back()))
        text.pop_back();
    return text;
}

bool SamePath(const std::string &a, const std::string &b)
{
    return _stricmp(Comparable(a).c_str(), Comparable(b).c_str()) == 0;
}
