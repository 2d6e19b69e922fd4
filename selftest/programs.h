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

// Makes the desktop, in the self-test's own window station; false with the
// reason when it cannot.
bool OpenOwnDesktop(std::string &error);

struct OutputReader;

struct Program {
    PROCESS_INFORMATION process = {};
    // The job that holds it and every process it starts, when asked for: they
    // all end with the job, at the latest when the self-test ends, however it
    // ends.
    HANDLE hJob = 0;
    HANDLE hInput = 0;  // write end of its standard input, when asked for
    HANDLE hReader = 0; // thread that shows and keeps its output
    OutputReader *reader = 0;
    std::string output; // what it wrote on standard output and error, once finished
};

enum { PROGRAM_INPUT = 1, PROGRAM_IN_JOB = 2 };

// Starts commandLine in folder cwd on the self-test's desktop, its output
// shown as it comes; with PROGRAM_INPUT its standard input is a pipe the
// caller writes to, with PROGRAM_IN_JOB it and what it starts are held in a
// job. False with the reason when it cannot start; a job that cannot be had
// (Windows 7 nests none) is said in the transcript, and the program runs
// without.
bool StartProgram(const std::string &commandLine, const std::string &cwd, int options, Program &program,
                  std::string &error);

// Writes text to its standard input and closes it.
void SendInput(Program &program, const std::string &text);

// True, with its exit status, when it ended within timeoutMs.
bool WaitProgram(Program &program, DWORD timeoutMs, DWORD &status);

// What an exit status says when a program crashed or could not be loaded
// ("exception 0xc0000005, an access violation"); empty for any other
// status, the daemon's own and the 0xffffffff of an application it ended.
std::string CrashOf(DWORD status);

// Ends whatever of its job still runs; names what did, empty when nothing.
std::string EndJob(Program &program);

// Ends what its job still holds, waits up to timeoutMs for the rest of its
// output and closes its handles. Its output is whole when this returns true;
// when its output could not be read to the end it stays empty.
bool FinishProgram(Program &program, DWORD timeoutMs);

#endif
