#include "pe_image.h"

#include "ansi_text.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <vector>

// The DOS header's pointer to the PE headers, and the file header behind
// the PE signature, read from the start of f; false when f holds no image's.
// e_lfanew is read as a signed offset: a negative or absurd one is no image,
// not a seek outside the file.
static bool ReadFileHeader(FILE *f, LONG &peAt, IMAGE_FILE_HEADER &header)
{
    IMAGE_DOS_HEADER dos;
    DWORD signature = 0;
    if (fread(&dos, sizeof dos, 1, f) != 1 || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        dos.e_lfanew < (LONG)sizeof dos || fseek(f, dos.e_lfanew, SEEK_SET) != 0 ||
        fread(&signature, sizeof signature, 1, f) != 1 || signature != IMAGE_NT_SIGNATURE ||
        fread(&header, sizeof header, 1, f) != 1)
        return false;
    peAt = dos.e_lfanew;
    return true;
}

// The optional header that follows the file header just read, zero beyond
// what the file gives, so that a short one reads as one without
// directories; false when the file ends inside it.
static bool ReadOptionalHeader(FILE *f, const IMAGE_FILE_HEADER &header, std::vector<unsigned char> &optional)
{
    optional.assign(std::max<size_t>(header.SizeOfOptionalHeader, sizeof(IMAGE_OPTIONAL_HEADER64)), 0);
    return fread(optional.data(), 1, header.SizeOfOptionalHeader, f) == header.SizeOfOptionalHeader;
}

// A data directory of an optional header; empty when it has none.
static IMAGE_DATA_DIRECTORY Directory(const std::vector<unsigned char> &optional, DWORD index)
{
    IMAGE_DATA_DIRECTORY none = {0, 0};
    WORD magic = *(const WORD *)optional.data();
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        const IMAGE_OPTIONAL_HEADER32 *o = (const IMAGE_OPTIONAL_HEADER32 *)optional.data();
        return o->NumberOfRvaAndSizes > index ? o->DataDirectory[index] : none;
    }
    if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        const IMAGE_OPTIONAL_HEADER64 *o = (const IMAGE_OPTIONAL_HEADER64 *)optional.data();
        return o->NumberOfRvaAndSizes > index ? o->DataDirectory[index] : none;
    }
    return none;
}

// Where the headers, the section data, the symbol table and its string
// table, and the certificate table of the image whose file header was just
// read end, and the header's checksum; reading stops at what the file lacks,
// and the end counted so far then lies past the file's.
static unsigned long long DataEnd(FILE *f, long peAt, const IMAGE_FILE_HEADER &header, DWORD &checksum)
{
    unsigned long long optionalAt = (unsigned long long)peAt + sizeof(DWORD) + sizeof header;
    unsigned long long sectionsAt = optionalAt + header.SizeOfOptionalHeader;
    unsigned long long end =
        sectionsAt + (unsigned long long)header.NumberOfSections * sizeof(IMAGE_SECTION_HEADER);
    std::vector<unsigned char> optional;
    if (!ReadOptionalHeader(f, header, optional))
        return end;
    WORD magic = *(const WORD *)optional.data();
    DWORD headerBytes = 0;
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        headerBytes = ((const IMAGE_OPTIONAL_HEADER32 *)optional.data())->SizeOfHeaders;
        checksum = ((const IMAGE_OPTIONAL_HEADER32 *)optional.data())->CheckSum;
    } else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        headerBytes = ((const IMAGE_OPTIONAL_HEADER64 *)optional.data())->SizeOfHeaders;
        checksum = ((const IMAGE_OPTIONAL_HEADER64 *)optional.data())->CheckSum;
    }
    end = std::max<unsigned long long>(end, headerBytes);
    // The certificate table is the one directory given as a file offset.
    IMAGE_DATA_DIRECTORY certificates = Directory(optional, IMAGE_DIRECTORY_ENTRY_SECURITY);
    if (certificates.Size)
        end = std::max(end, (unsigned long long)certificates.VirtualAddress + certificates.Size);
    if (fseek(f, (long)sectionsAt, SEEK_SET) != 0)
        return end;
    for (WORD i = 0; i < header.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section;
        if (fread(&section, sizeof section, 1, f) != 1)
            break;
        if (section.SizeOfRawData)
            end = std::max(end, (unsigned long long)section.PointerToRawData + section.SizeOfRawData);
    }
    // The symbol table's 18-byte records, then its string table, whose first
    // four bytes give its size (themselves included). A pointer with no
    // symbols still has its string table there: lld writes one for the long
    // names of the debug sections.
    if (header.PointerToSymbolTable) {
        unsigned long long stringsAt =
            (unsigned long long)header.PointerToSymbolTable + (unsigned long long)header.NumberOfSymbols * 18;
        DWORD stringBytes = 0;
        end = std::max(end, stringsAt + sizeof stringBytes);
        if (stringsAt <= 0x7fffffff && fseek(f, (long)stringsAt, SEEK_SET) == 0 &&
            fread(&stringBytes, sizeof stringBytes, 1, f) == 1)
            end = std::max(end, stringsAt + stringBytes);
    }
    return end;
}

// The image checksum of the file as the loader and the signing tools compute
// it: the file's 16-bit words added with the carry folded back, the checksum
// field itself read as zero, plus the file's length.
static DWORD ComputedChecksum(FILE *f, unsigned long long checksumAt)
{
    unsigned long long sum = 0, length = 0;
    // An even size, so that only the last read can end inside a word.
    unsigned char buffer[65536];
    size_t got;
    if (fseek(f, 0, SEEK_SET) != 0)
        return 0;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) {
        for (size_t i = 0; i < got; i += 2) {
            unsigned long long at = length + i;
            unsigned word = buffer[i] | (i + 1 < got ? buffer[i + 1] << 8 : 0);
            if (at >= checksumAt && at < checksumAt + 4)
                word = 0;
            sum += word;
            sum = (sum & 0xffff) + (sum >> 16);
        }
        length += got;
    }
    sum = (sum & 0xffff) + (sum >> 16);
    return (DWORD)(sum + length);
}

bool ReadPeImage(const std::string &path, PeImage &image)
{
    return ReadPeImage(FromAnsi(path), image);
}

bool ReadPeImage(const std::wstring &path, PeImage &image)
{
    image.kind = PE_NOT_AN_IMAGE;
    image.machine = 0;
    image.fileBytes = image.dataEnd = 0;
    image.checksumStored = image.checksumComputed = 0;
    // The size of what the path leads to, a link followed, as the loader
    // would open it.
    HANDLE hFile =
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    LARGE_INTEGER size;
    if (hFile != INVALID_HANDLE_VALUE && GetFileSizeEx(hFile, &size))
        image.fileBytes = (unsigned long long)size.QuadPart;
    if (hFile != INVALID_HANDLE_VALUE)
        CloseHandle(hFile);
    FILE *f = _wfopen(path.c_str(), L"rb");
    if (!f)
        return false;
    LONG peAt = 0;
    IMAGE_FILE_HEADER header;
    if (ReadFileHeader(f, peAt, header) && (header.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE)) {
        image.kind = (header.Characteristics & IMAGE_FILE_DLL) ? PE_LIBRARY : PE_PROGRAM;
        image.machine = header.Machine;
        DWORD checksum = 0;
        image.dataEnd = DataEnd(f, peAt, header, checksum);
        image.checksumStored = checksum;
        // The field's place is the same in both optional headers.
        if (checksum)
            image.checksumComputed = ComputedChecksum(f, (unsigned long long)peAt + sizeof(DWORD) + sizeof header +
                                                             offsetof(IMAGE_OPTIONAL_HEADER32, CheckSum));
    }
    fclose(f);
    return true;
}

// The file offset of rva in the image whose sections are given; 0 when no
// section's data holds it.
static unsigned long long FileOffset(const std::vector<IMAGE_SECTION_HEADER> &sections, DWORD rva)
{
    for (const IMAGE_SECTION_HEADER &section : sections)
        if (rva >= section.VirtualAddress && rva - section.VirtualAddress < section.SizeOfRawData)
            return (unsigned long long)section.PointerToRawData + (rva - section.VirtualAddress);
    return 0;
}

bool ReadImportNames(const std::wstring &path, std::vector<std::string> &names)
{
    names.clear();
    FILE *f = _wfopen(path.c_str(), L"rb");
    if (!f)
        return false;
    LONG peAt = 0;
    IMAGE_FILE_HEADER header;
    std::vector<unsigned char> optional;
    bool image = ReadFileHeader(f, peAt, header) && ReadOptionalHeader(f, header, optional);
    IMAGE_DATA_DIRECTORY imports =
        image ? Directory(optional, IMAGE_DIRECTORY_ENTRY_IMPORT) : IMAGE_DATA_DIRECTORY{0, 0};
    std::vector<IMAGE_SECTION_HEADER> sections(image ? header.NumberOfSections : 0);
    if (!sections.empty() && fread(sections.data(), sizeof sections[0], sections.size(), f) != sections.size())
        image = false;
    // The descriptors end with one of zeros; a damaged image's list is cut
    // rather than read without end.
    unsigned long long at = image ? FileOffset(sections, imports.VirtualAddress) : 0;
    if (image && imports.VirtualAddress && !at)
        image = false;
    for (int i = 0; at && i < 1024; ++i, at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        IMAGE_IMPORT_DESCRIPTOR descriptor;
        if (at > 0x7fffffff || fseek(f, (long)at, SEEK_SET) != 0 ||
            fread(&descriptor, sizeof descriptor, 1, f) != 1 || !descriptor.Name)
            break;
        unsigned long long nameAt = FileOffset(sections, descriptor.Name);
        char szName[MAX_PATH] = "";
        if (nameAt && nameAt <= 0x7fffffff && fseek(f, (long)nameAt, SEEK_SET) == 0 &&
            fgets(szName, sizeof szName, f) && *szName) {
            names.push_back(szName);
        } else {
            image = false;
            break;
        }
    }
    fclose(f);
    return image;
}

std::string WholeProblem(const PeImage &image)
{
    if (image.dataEnd > image.fileBytes)
        return "it ends at byte " + std::to_string(image.fileBytes) + " of the " + std::to_string(image.dataEnd) +
               " its headers describe";
    if (image.checksumStored && image.checksumStored != image.checksumComputed) {
        char szSums[64];
        snprintf(szSums, sizeof szSums, "0x%08lx, not the 0x%08lx", image.checksumComputed, image.checksumStored);
        return std::string("its checksum is ") + szSums + " its header gives: bytes of it were changed";
    }
    return "";
}

std::string MachineName(unsigned short machine)
{
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
        return "32-bit (x86)";
    case IMAGE_FILE_MACHINE_AMD64:
        return "64-bit (x64)";
    case 0xAA64:
        return "64-bit (ARM64)";
    case IMAGE_FILE_MACHINE_ARMNT:
        return "32-bit (ARM)";
    }
    char szMachine[32];
    snprintf(szMachine, sizeof szMachine, "machine 0x%04x", machine);
    return szMachine;
}
