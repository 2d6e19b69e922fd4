// Starting and stopping the Java application, addressed by its process id.
#ifndef DAEMON_JVM_H
#define DAEMON_JVM_H

#include <windows.h>

#include <string>

// Process id of the running Java application, 0 when none.
extern DWORD dwJVMProcessId;

// jvm_launch.cpp
std::string ListInstallFiles(const std::string &pattern, const std::string &dir);
int CreateJVMProcess();

// jvm_stop.cpp
void StopJVMProcess();
void CloseTheJavaFrame();
bool KillProcess(DWORD processId);

#endif
