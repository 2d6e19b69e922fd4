// What the headers of a Windows image say: program or library, the machine
// it was built for, and whether the file holds all the headers describe.
#ifndef IMCHECK_PE_IMAGE_H
#define IMCHECK_PE_IMAGE_H

#include <string>
#include <vector>

enum PeKind { PE_NOT_AN_IMAGE, PE_PROGRAM, PE_LIBRARY };

struct PeImage {
    PeKind kind;
    unsigned short machine; // IMAGE_FILE_MACHINE_*; 0 when not an image
    // The file's size, and where the last of what its headers describe ends
    // (0 when not an image): the headers, the section data, the symbol table
    // with its string table, and the certificate table. A file cut short, in
    // a copy or a download, ends before its data does.
    unsigned long long fileBytes;
    unsigned long long dataEnd;
    // The header's checksum (0: the header sets none) and the checksum of
    // the file as it is: a byte changed anywhere makes them differ.
    unsigned long checksumStored;
    unsigned long checksumComputed;
};

// Reads the headers of path and, where they set a checksum, the whole file.
// False when the file cannot be opened; a file without both signatures is
// PE_NOT_AN_IMAGE.
bool ReadPeImage(const std::wstring &path, PeImage &image);
// The same for a path in the ANSI code page, as the ANSI calls convert it.
bool ReadPeImage(const std::string &path, PeImage &image);

// The names of the libraries an image imports when it is loaded, as its
// import directory gives them; false when the file cannot be read as an
// image, or its import directory or a library's name lies outside its
// sections (the loader cannot load it).
bool ReadImportNames(const std::wstring &path, std::vector<std::string> &names);

// What keeps an image from being whole: "" when it holds every byte its
// headers describe and its checksum matches where the header sets one;
// otherwise what is wrong, e.g. "it ends at byte 100 of the 120 its headers
// describe".
std::string WholeProblem(const PeImage &image);

// "32-bit (x86)", "64-bit (x64)", ... for a machine field.
std::string MachineName(unsigned short machine);

#endif
