// The programs the self-test runs (imcheck, the process-manager stand-in and
// through it the daemon and the application) run on a desktop of the
// self-test's own: the daemon's exit command closes the application's
// listener window wherever it finds one on its desktop, so on the
// administrator's desktop it could close a real application's window; and
// imcheck would count a real application's window as a finding.
#ifndef SELFTEST_PROGRAMS_H
#define SELFTEST_PROGRAMS_H

#include <windows.h>

#include <string>

// Makes the desktop; false with the reason when it cannot.
bool OpenOwnDesktop(std::string &error);

struct Program {
    PROCESS_INFORMATION process = {};
    HANDLE hInput = 0;  // write end of its standard input, when asked for
    HANDLE hReader = 0; // thread that shows and keeps its output
    std::string output; // what it wrote on standard output and error; whole once finished
};

// Starts commandLine in folder cwd on the self-test's desktop, its output
// shown as it comes and kept; with input, its standard input is a pipe the
// caller writes to. False with the reason when it cannot start.
bool StartProgram(const std::string &commandLine, const std::string &cwd, bool input, Program &program,
                  std::string &error);

// Writes text to its standard input and closes it.
void SendInput(Program &program, const std::string &text);

// True, with its exit status, when it ended within timeoutMs.
bool WaitProgram(Program &program, DWORD timeoutMs, DWORD &status);

// Waits up to timeoutMs for the rest of its output (its children may hold
// the output too, until they end), then closes its handles; its output
// stays.
void FinishProgram(Program &program, DWORD timeoutMs);

#endif
