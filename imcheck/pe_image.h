// What the headers of a Windows image say: program or library, the machine
// it was built for, and whether the file holds all the headers describe.
#ifndef IMCHECK_PE_IMAGE_H
#define IMCHECK_PE_IMAGE_H

#include <string>

enum PeKind { PE_NOT_AN_IMAGE, PE_PROGRAM, PE_LIBRARY };

struct PeImage {
    PeKind kind;
    unsigned short machine; // IMAGE_FILE_MACHINE_*; 0 when not an image
    // The file's size, and where the last of its headers, section data and
    // certificate table ends (0 when not an image): a file cut short, in a
    // copy or a download, ends before its data does.
    unsigned long long fileBytes;
    unsigned long long dataEnd;
};

// Reads the DOS and PE headers of path. False when the file cannot be
// opened; a file without both signatures is PE_NOT_AN_IMAGE.
bool ReadPeImage(const std::string &path, PeImage &image);

// "32-bit (x86)", "64-bit (x64)", ... for a machine field.
std::string MachineName(unsigned short machine);

#endif
