// Starting and stopping the Java application: it is recorded by its process
// id and ended through the process handle kept from its creation.
#ifndef DAEMON_JVM_H
#define DAEMON_JVM_H

#include <windows.h>

#include <string>

// Process id of the running Java application, 0 when none.
extern DWORD dwJVMProcessId;

// Handles of the Java process from its creation, held until the daemon
// exits: the recorded id cannot pass to another process meanwhile, and the
// stop waits on the process and terminates it through them.
extern PROCESS_INFORMATION piJVM;

// Title of the Java application's listener window, looked up among all
// top-level windows by title alone.
const char szListenerTitle[] = "Tarvos_Windows_Listener";

// java_command.cpp
// "<dir><name>"; for each entry matching pattern, in enumeration order.
std::string ListInstallFiles(const std::string &pattern, const std::string &dir);
// The command line given to the Java launcher: library path, class path of
// every archive then every library in the install directory, main class.
std::string JavaCommandLine();

// jvm_launch.cpp
int CreateJVMProcess();

// jvm_stop.cpp
void StopJVMProcess();
void CloseTheJavaFrame();
bool KillProcess(DWORD processId);

#endif
