// The install directory and a file name, both arbitrary: the buffers hold at
// most 259 characters and the result is the directory followed by the name.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "install_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t split = input.find('\0');
    if (split == std::string::npos)
        return 0;
    std::string dir = input.substr(0, split);
    std::string name = input.substr(split + 1);
    std::string decoded = dir;
    ReplaceAll(decoded, "%20", " ");
    SetInstallDir(decoded);
    std::string kept = decoded.substr(0, std::min(decoded.find('\0'), (size_t)259));
    if (sInstallPath != kept || strlen(szInstallDir) != kept.size())
        abort();

    char *out = static_cast<char *>(malloc(INSTALL_PATH_SIZE)); // exact size: ASan sees any overrun
    MakeInstallFilePath(out, name.c_str());
    std::string expected = (kept + name.substr(0, name.find('\0'))).substr(0, 259);
    if (expected != out)
        abort();
    free(out);
    return 0;
}
