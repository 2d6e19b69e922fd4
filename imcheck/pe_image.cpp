#include "pe_image.h"

#include <windows.h>

#include <cstdio>

bool ReadPeImage(const std::string &path, PeImage &image)
{
    image.kind = PE_NOT_AN_IMAGE;
    image.machine = 0;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    IMAGE_DOS_HEADER dos;
    DWORD signature = 0;
    IMAGE_FILE_HEADER header;
    // e_lfanew is read as a signed offset: a negative or absurd one is no
    // image, not a seek outside the file.
    if (fread(&dos, sizeof dos, 1, f) == 1 && dos.e_magic == IMAGE_DOS_SIGNATURE &&
        dos.e_lfanew >= (LONG)sizeof dos && fseek(f, dos.e_lfanew, SEEK_SET) == 0 &&
        fread(&signature, sizeof signature, 1, f) == 1 && signature == IMAGE_NT_SIGNATURE &&
        fread(&header, sizeof header, 1, f) == 1 && (header.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE)) {
        image.kind = (header.Characteristics & IMAGE_FILE_DLL) ? PE_LIBRARY : PE_PROGRAM;
        image.machine = header.Machine;
    }
    fclose(f);
    return true;
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
