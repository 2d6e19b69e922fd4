// Where the Java launcher is: the first line of java_file.dat in the install
// directory. Portable: plain C runtime file reading.
#include "java_path.h"

#include <cstdio>
#include <cstring>

#include "install_path.h"

std::string GetJavaPath()
{
    TraceLog("GetJavaPath called");
    char szPath[INSTALL_PATH_SIZE];
    MakeInstallFilePath(szPath, "java_file.dat");
    TraceLog(szPath);

    std::string sResult;
    FILE *streamLog = fopen(szPath, "r");
    if (streamLog) {
        TraceLog("GetJavaPath streamLog open");
        char szLine[INSTALL_PATH_SIZE];
        memset(szLine, 0, sizeof szLine);
        if (fgets(szLine, sizeof szLine, streamLog) == 0)
            szLine[0] = '\0';
        sResult = szLine;
        TraceLog(szLine);
        fclose(streamLog);
    }
    ReplaceAll(sResult, "\r", "");
    ReplaceAll(sResult, "\n", "");
    return sResult;
}
