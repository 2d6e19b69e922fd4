// java_file.dat with arbitrary bytes: the launcher path is at most 259
// characters, holds no CR or LF, and is a prefix of the file's first line
// with those removed.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_dir.h"
#include "install_path.h"
#include "java_path.h"

static std::string dir;

static void RemoveDir()
{
    remove((dir + "java_file.dat").c_str());
    rmdir(dir.c_str());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (dir.empty()) {
        dir = FuzzDir("java-path-fuzz") + "/";
        SetInstallDir(dir);
        atexit(RemoveDir);
    }
    FILE *f = fopen((dir + "java_file.dat").c_str(), "wb");
    fwrite(data, 1, size, f);
    fclose(f);
    std::string path = GetJavaPath();
    if (path.size() > 259 || path.find_first_of("\r\n") != std::string::npos)
        abort();
    std::string line(reinterpret_cast<const char *>(data), size);
    line = line.substr(0, std::min({line.find('\n'), line.find('\0'), (size_t)259}));
    std::string clean;
    for (char c : line)
        if (c != '\r')
            clean += c;
    if (path != clean)
        abort();
    return 0;
}
