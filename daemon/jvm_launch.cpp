// Starts the Java application: launcher path from java_file.dat, library and
// class path from the install directory, detached, in the install directory.
#include <windows.h>

#include "install_path.h"
#include "java_path.h"
#include "jvm.h"

DWORD dwJVMProcessId = 0;

PROCESS_INFORMATION piJVM;

int CreateJVMProcess()
{
    std::string sJavaPath = GetJavaPath();
    if (sJavaPath.empty()) {
        TraceLog("CreateJVMProcess javapath null");
        return 0;
    }
    TraceLog("CreateJVMProcess called");

    std::string sCommandLine = JavaCommandLine();
    TraceLog(sJavaPath.c_str());
    TraceLog(sCommandLine.c_str());

    STARTUPINFOA startupInfo;
    GetStartupInfoA(&startupInfo);
    PROCESS_INFORMATION processInfo;
    if (CreateProcessA(sJavaPath.c_str(), &sCommandLine[0], 0, 0, TRUE, DETACHED_PROCESS | NORMAL_PRIORITY_CLASS,
                       0, sInstallPath.c_str(), &startupInfo, &processInfo)) {
        piJVM = processInfo;
        dwJVMProcessId = processInfo.dwProcessId;
        TraceLog("CreateJVMProcess process id obtained");
        TraceLog("CreateJVMProcess returns");
        return 1;
    }
    TraceLog("CreateJVMProcess process id not obtained");
    dwJVMProcessId = 0;
    return 0;
}
