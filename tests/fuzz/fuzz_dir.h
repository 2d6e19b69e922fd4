// A new folder of this fuzz run's own, below the build's fuzz folder
// (FUZZ_WORK_DIR) like every other test's files; name is its prefix.
#ifndef TESTS_FUZZ_FUZZ_DIR_H
#define TESTS_FUZZ_FUZZ_DIR_H

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

inline std::string FuzzDir(const std::string &name)
{
    mkdir(FUZZ_WORK_DIR, 0755); // may be there already
    std::string pattern = std::string(FUZZ_WORK_DIR "/") + name + "-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        abort();
    return pattern;
}

#endif
