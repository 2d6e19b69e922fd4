// The binaries the self-test runs: the release's three, exactly as the
// administrator will deploy them, and its own stand-ins. Each must be there,
// be the program or library its name says, be built for the self-test's own
// architecture (the stand-ins load nodeflags.dll, and the station is one
// architecture throughout), and hold all the data its headers describe.
#ifndef SELFTEST_BINARIES_H
#define SELFTEST_BINARIES_H

#include <string>
#include <vector>

#include "pe_image.h"

struct Binary {
    const char *name;
    PeKind kind;
};

// The release's binaries, as its ZIP holds them.
extern const std::vector<Binary> releaseBinaries;
// The stand-ins of the self-test's own ZIP, in its stand-ins folder.
extern const std::vector<Binary> standInBinaries;

// "64-bit (x64)" or "32-bit (x86)": what this self-test was built for.
std::string OwnMachineName();

// One sentence per binary of folder that is missing or unfit, naming it and
// where it was looked for (where: "the release folder", ...); none when all
// are sound.
std::vector<std::string> CheckBinaries(const std::wstring &folder, const std::vector<Binary> &binaries,
                                       const std::string &where);

#endif
