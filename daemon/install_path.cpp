#include "install_path.h"

#include <cstring>

char szInstallDir[INSTALL_PATH_SIZE];
std::string sInstallPath;

void MakeInstallFilePath(char *out, const char *name)
{
    size_t n = 0;
    for (const char *p = szInstallDir; *p && n < INSTALL_PATH_SIZE - 1; ++p)
        out[n++] = *p;
    for (const char *p = name; *p && n < INSTALL_PATH_SIZE - 1; ++p)
        out[n++] = *p;
    out[n] = '\0';
}

void ReplaceAll(std::string &s, const std::string &what, const std::string &with)
{
    if (what.empty())
        return;
    for (size_t pos = s.find(what); pos != std::string::npos; pos = s.find(what))
        s.replace(pos, what.size(), with);
}

void SetInstallDir(const std::string &text)
{
    size_t n = text.size() < INSTALL_PATH_SIZE - 1 ? text.size() : INSTALL_PATH_SIZE - 1;
    memcpy(szInstallDir, text.data(), n);
    szInstallDir[n] = '\0';
    sInstallPath = szInstallDir;
}

std::string SetInstallDirFromArgument(const char *argument)
{
    std::string sDecoded = argument;
    ReplaceAll(sDecoded, "%20", " ");
    if (sDecoded.empty())
        TraceLog("CreateJVMProcess sInstallPath null");
    else
        SetInstallDir(sDecoded);
    return sDecoded;
}

void TraceLog(const char *)
{
}
