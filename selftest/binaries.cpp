#include "binaries.h"

#include <windows.h>

#include "ansi_text.h"
#include "transcript.h"

const std::vector<Binary> releaseBinaries = {
    {"imdaemon.exe", PE_PROGRAM}, {"nodeflags.dll", PE_LIBRARY}, {"imcheck.exe", PE_PROGRAM}};
const std::vector<Binary> standInBinaries = {
    {"ovspmd-sim.exe", PE_PROGRAM}, {"ov.dll", PE_LIBRARY}, {"ovw.dll", PE_LIBRARY}, {"javaapp.exe", PE_PROGRAM}};

#ifdef _WIN64
static const unsigned short ownMachine = IMAGE_FILE_MACHINE_AMD64;
#else
static const unsigned short ownMachine = IMAGE_FILE_MACHINE_I386;
#endif

std::string OwnMachineName()
{
    return MachineName(ownMachine);
}

std::vector<std::string> CheckBinaries(const std::wstring &folder, const std::vector<Binary> &binaries,
                                       const std::string &where)
{
    std::vector<std::string> problems;
    std::string shownFolder = Spelled(folder);
    for (const Binary &binary : binaries) {
        std::wstring path = folder + FromAnsi(binary.name);
        std::string named = std::string(binary.name) + " in " + where + " " + shownFolder;
        DWORD attributes = GetFileAttributesW(path.c_str());
        PeImage image;
        // Its path cut or refused for its length is no missing file.
        if (path.size() >= MAX_PATH)
            problems.push_back("the path of " + named + " is " + std::to_string(path.size()) +
                               " characters long, more than the " + std::to_string(MAX_PATH - 1) +
                               " Windows takes here: unpack the ZIPs into a folder with a shorter path");
        else if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            problems.push_back(std::string(binary.name) + " is missing from " + where + " " + shownFolder);
        else if (!ReadPeImage(path, image))
            problems.push_back(named + " cannot be read (" + ErrorText(GetLastError()) + ")");
        else if (image.kind != binary.kind)
            problems.push_back(named + " is not a Windows " + (binary.kind == PE_PROGRAM ? "program" : "library"));
        else if (image.machine != ownMachine)
            problems.push_back(named + " is a " + MachineName(image.machine) + " binary, and this self-test a " +
                               OwnMachineName() + " one: use the ZIPs of one architecture");
        else if (!WholeProblem(image).empty())
            problems.push_back(named + " is damaged: " + WholeProblem(image) + ": unpack its ZIP again");
    }
    return problems;
}
