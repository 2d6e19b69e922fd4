// Process-manager stand-in core: starts a daemon as a child, listens on
// 127.0.0.1 for that child's connection only, sends commands and reads the
// daemon's messages with the time they arrived. Used by ovspmd-sim and by
// the daemon tests.
#ifndef SIM_OVSPMD_PM_H
#define SIM_OVSPMD_PM_H

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

struct PmEvent {
    char kind;        // FRAME_INIT_COMPLETE, FRAME_RESPONSE or FRAME_DONE
    int code;         // state or answer code
    std::string text; // message as sent
    double ms;        // arrival, in ms since the session started
};

struct PmOptions {
    std::vector<std::string> env; // NAME=value added to the child's environment
    std::string stderrPath;       // child's standard error goes here when set
    bool killTreeOnEnd = true;    // PmEnd ends the daemon's descendants too
};

struct PmSession {
    SOCKET listener = INVALID_SOCKET;
    SOCKET connection = INVALID_SOCKET;
    PROCESS_INFORMATION process = {};
    HANDLE job = 0;
    std::string token;
    std::string received; // bytes read but not yet a whole frame
    LARGE_INTEGER start = {};
    LARGE_INTEGER frequency = {};
};

// Milliseconds since the session started.
double PmNow(const PmSession &session);

// Listens on loopback and starts commandLine with the port and token in its
// environment. False with a text in error when either fails.
bool PmStart(PmSession &session, const std::string &commandLine, const PmOptions &options, std::string &error);

// Waits up to timeoutMs for the child's connection; connections that do not
// prove to be the child are closed and waited past.
bool PmAccept(PmSession &session, DWORD timeoutMs);

bool PmSend(PmSession &session, int command);

// A command as it goes on the wire, for sending many in one burst.
std::string PmCommandBytes(int command);

// 1: an event; 0: none within timeoutMs; -1: the connection is closed.
int PmNextEvent(PmSession &session, PmEvent &event, DWORD timeoutMs);

// True when the daemon exited within timeoutMs, with its full 32-bit status.
bool PmWaitExit(PmSession &session, DWORD timeoutMs, DWORD &status);

// Ends whatever of the session still runs and closes its handles.
void PmEnd(PmSession &session);

// Readable form of a message: control characters escaped, in quotes.
std::string PmQuote(const std::string &text);

// Folder of the running program, with a trailing backslash.
std::string PmProgramDir();

// argument quoted so that the Windows command-line parser gives it back
// unchanged (a trailing backslash included).
std::string PmArgument(const std::string &argument);
std::wstring PmArgument(const std::wstring &argument);

#endif
