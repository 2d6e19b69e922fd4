// Paths as Windows opens them, held as the system holds them (UTF-16):
// which file a path names, the folders above it, where a path through links
// and junctions really leads, and names compared as the file system
// compares them.
#ifndef IMCHECK_WIN_PATH_H
#define IMCHECK_WIN_PATH_H

#include <string>
#include <vector>

bool IsSeparator(wchar_t c);

// Whether path names a file (not a folder), or a folder, that is there,
// links followed.
bool IsFile(const std::wstring &path);
bool IsFolder(const std::wstring &path);

// A "\\?\" path, which Windows hands to the file system as it is: it drops
// no spaces or dots and resolves no "." or "..".
bool IsLiteralPath(const std::wstring &path);

// A drive with its root, or a UNC path: "C:x" and "\x" depend on the
// current drive and folder.
bool IsAbsolute(const std::wstring &path);

// The path that process creation opens for an absolute one: Windows drops
// the spaces and dots that end its last part and resolves "." and "..",
// except in a "\\?\" path, which is returned as it is.
std::wstring OpenedPath(const std::wstring &path);

// Whether Windows would open a "\\?\" path with a part that ends with a
// space or a dot, or is "." or "..": other paths lose or resolve them.
bool HasPartWindowsKeeps(const std::wstring &path);

// The length of the root of a full path: "C:\", "\\server\share\",
// "\\?\C:\" or "\\?\UNC\server\share\".
size_t RootLength(const std::wstring &full);

// Every folder above path, nearest first, up to its drive's or share's
// root, each ending with a backslash.
std::vector<std::wstring> FoldersAbove(const std::wstring &path);

// The folder of path, with its separator; path itself when it has none.
std::wstring FolderOf(const std::wstring &path);

// The last part of path, after its last separator.
std::wstring NameOf(const std::wstring &path);

// path with a backslash at its end.
std::wstring WithSeparator(std::wstring path);

// Where path really leads, every link and junction on it and the drive it
// is on followed, as a drive or UNC path without "\\?\" (a folder without
// its final backslash); false when it cannot be opened.
bool FinalPath(const std::wstring &path, std::wstring &real);

// Whether two names are the same to the file system: compared whole, code
// unit by code unit, after the file system's own upper-casing.
bool SameName(const std::wstring &a, const std::wstring &b);

// An order of paths in which those the file system takes for one are equal.
struct NameLess {
    bool operator()(const std::wstring &a, const std::wstring &b) const;
};

// Whether two paths name the same place, letter case, a final backslash
// and short (8.3) names aside.
bool SamePath(const std::wstring &a, const std::wstring &b);

#endif
