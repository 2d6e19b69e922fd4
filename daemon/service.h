// Leaving the process manager's service: the closing message and the exit.
#ifndef DAEMON_SERVICE_H
#define DAEMON_SERVICE_H

// Sends the closing message through OVsDone, then exits the process with
// status. exit() rather than _exit() so that sInstallPath is destroyed.
[[noreturn]] void QuitService(const char *message, int status);

// Handler for SIGTERM and SIGINT: closes the service with status 6 and
// leaves the Java application running.
void OnSignal(int signalNumber);

#endif
