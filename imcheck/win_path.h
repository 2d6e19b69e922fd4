// Paths as Windows opens them: which file a path names, the folders above
// it, and where a path through links and junctions really leads.
#ifndef IMCHECK_WIN_PATH_H
#define IMCHECK_WIN_PATH_H

#include <string>
#include <vector>

// A "\\?\" path, which Windows hands to the file system as it is: it drops
// no spaces or dots and resolves no "." or "..".
bool IsLiteralPath(const std::string &path);

// The path that process creation opens for an absolute one: Windows drops
// the spaces and dots that end its last part and resolves "." and "..",
// except in a "\\?\" path, which is returned as it is.
std::string OpenedPath(const std::string &path);

// Whether Windows would open a "\\?\" path with a part that ends with a
// space or a dot, or is "." or "..": other paths lose or resolve them, such
// a path keeps them, and no file made the usual way is named so.
bool HasPartWindowsKeeps(const std::string &path);

// Every folder above path, nearest first, up to its drive's or share's
// root, each ending with a backslash.
std::vector<std::string> FoldersAbove(const std::string &path);

// Where path really leads, every link and junction on it followed, as a
// drive or UNC path without "\\?\" (a folder without its final backslash);
// false when it cannot be opened.
bool FinalPath(const std::string &path, std::string &real);

// Whether two paths name the same place, letter case, a final backslash
// and short (8.3) names aside.
bool SamePath(const std::string &a, const std::string &b);

#endif
