#include "programs.h"

#include "transcript.h"

static std::string sDesktop; // "WinSta0\<name>" once made

bool OpenOwnDesktop(std::string &error)
{
    std::string name = "imselftest-" + std::to_string(GetCurrentProcessId());
    // Held open until the self-test ends, and the desktop with it.
    if (!CreateDesktopA(name.c_str(), 0, 0, 0, GENERIC_ALL, 0)) {
        error = "cannot make a desktop of its own (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    sDesktop = "WinSta0\\" + name;
    return true;
}

struct Reader {
    HANDLE hOutput;
    std::string *kept;
};

// Shows each whole line as it comes and keeps everything.
static DWORD WINAPI ReadOutput(LPVOID parameter)
{
    Reader reader = *(Reader *)parameter;
    delete (Reader *)parameter;
    HANDLE hOutput = reader.hOutput;
    std::string &kept = *reader.kept;
    size_t shown = 0;
    char chunk[4096];
    DWORD n = 0;
    while (ReadFile(hOutput, chunk, sizeof chunk, &n, 0) && n > 0) {
        kept.append(chunk, n);
        size_t end = kept.rfind('\n');
        if (end != std::string::npos && end + 1 > shown) {
            Show(kept.substr(shown, end + 1 - shown));
            shown = end + 1;
        }
    }
    if (shown < kept.size())
        Show(kept.substr(shown));
    CloseHandle(hOutput);
    return 0;
}

// A pipe whose end for the child is inheritable and whose other end is not.
static bool MakePipe(HANDLE &hRead, HANDLE &hWrite, bool childReads)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, 0, TRUE};
    if (!CreatePipe(&hRead, &hWrite, &inherit, 0))
        return false;
    SetHandleInformation(childReads ? hWrite : hRead, HANDLE_FLAG_INHERIT, 0);
    return true;
}

bool StartProgram(const std::string &commandLine, const std::string &cwd, bool input, Program &program,
                  std::string &error)
{
    HANDLE hOutRead = 0, hOutWrite = 0, hInRead = 0, hInWrite = 0;
    if (!MakePipe(hOutRead, hOutWrite, false) || (input && !MakePipe(hInRead, hInWrite, true))) {
        error = "cannot make a pipe (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string desktop = sDesktop;
    startup.lpDesktop = desktop.empty() ? 0 : &desktop[0];
    startup.dwFlags = STARTF_USESTDHANDLES;
    // Without input, an empty one: the program reads end of file at once.
    if (!input)
        hInRead = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    SetHandleInformation(hInRead, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    startup.hStdInput = hInRead;
    startup.hStdOutput = hOutWrite;
    startup.hStdError = hOutWrite;
    std::string line = commandLine;
    BOOL started = CreateProcessA(0, &line[0], 0, 0, TRUE, 0, 0, cwd.c_str(), &startup, &program.process);
    DWORD dwError = GetLastError();
    CloseHandle(hOutWrite);
    if (hInRead != INVALID_HANDLE_VALUE)
        CloseHandle(hInRead);
    if (!started) {
        CloseHandle(hOutRead);
        if (hInWrite)
            CloseHandle(hInWrite);
        error = "cannot start " + commandLine + " (error " + std::to_string(dwError) + ")";
        return false;
    }
    program.hInput = hInWrite;
    program.hReader = CreateThread(0, 0, ReadOutput, new Reader{hOutRead, &program.output}, 0, 0);
    return true;
}

void SendInput(Program &program, const std::string &text)
{
    if (!program.hInput)
        return;
    DWORD written = 0;
    WriteFile(program.hInput, text.data(), (DWORD)text.size(), &written, 0);
    CloseHandle(program.hInput);
    program.hInput = 0;
}

bool WaitProgram(Program &program, DWORD timeoutMs, DWORD &status)
{
    return WaitForSingleObject(program.process.hProcess, timeoutMs) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(program.process.hProcess, &status);
}

void FinishProgram(Program &program, DWORD timeoutMs)
{
    if (program.hInput)
        CloseHandle(program.hInput);
    program.hInput = 0;
    if (program.hReader) {
        // A blocked read is cancelled; the thread then ends at once.
        if (WaitForSingleObject(program.hReader, timeoutMs) != WAIT_OBJECT_0) {
            CancelSynchronousIo(program.hReader);
            WaitForSingleObject(program.hReader, 5000);
        }
        CloseHandle(program.hReader);
        program.hReader = 0;
    }
    if (program.process.hProcess) {
        CloseHandle(program.process.hProcess);
        CloseHandle(program.process.hThread);
        program.process = PROCESS_INFORMATION();
    }
}
