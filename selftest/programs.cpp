#include "programs.h"

#include <cstdio>

#include "transcript.h"

static std::string sDesktop; // "<window station>\<desktop>" once made

bool OpenOwnDesktop(std::string &error)
{
    // Not always WinSta0: a remote shell or a scheduled task has a window
    // station of its own.
    char szStation[256] = "";
    DWORD n = 0;
    if (!GetUserObjectInformationA(GetProcessWindowStation(), UOI_NAME, szStation, sizeof szStation, &n)) {
        error = "cannot name its window station (" + ErrorText(GetLastError()) + ")";
        return false;
    }
    // A name no other run shares, so that a desktop still held by an earlier
    // run is never joined.
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    std::string name = "imselftest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(now.QuadPart);
    // Held open until the self-test ends, and the desktop with it.
    if (!CreateDesktopA(name.c_str(), 0, 0, 0, GENERIC_ALL, 0)) {
        error = "cannot make a desktop of its own (" + ErrorText(GetLastError()) + ")";
        return false;
    }
    sDesktop = std::string(szStation) + "\\" + name;
    return true;
}

// What the reader thread owns: the pipe and everything read from it. A
// reader that cannot be stopped keeps it; nobody else reads it then.
struct OutputReader {
    HANDLE hOutput;
    std::string kept;
};

// Shows each whole line as it comes and keeps everything.
static DWORD WINAPI ReadOutput(LPVOID parameter)
{
    OutputReader &reader = *(OutputReader *)parameter;
    size_t shown = 0;
    char chunk[4096];
    DWORD n = 0;
    while (ReadFile(reader.hOutput, chunk, sizeof chunk, &n, 0) && n > 0) {
        reader.kept.append(chunk, n);
        size_t end = reader.kept.rfind('\n');
        if (end != std::string::npos && end + 1 > shown) {
            Show(reader.kept.substr(shown, end + 1 - shown));
            shown = end + 1;
        }
    }
    if (shown < reader.kept.size())
        Show(reader.kept.substr(shown));
    CloseHandle(reader.hOutput);
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

static void CloseIfOpen(HANDLE &h)
{
    if (h && h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    h = 0;
}

// A job that ends what it holds when its last handle closes.
static HANDLE MakeJob()
{
    HANDLE hJob = CreateJobObjectA(0, 0);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    // A process of the job that meets an unhandled exception ends at once,
    // with the exception's code as its exit status, and no error dialog
    // waits for someone to close it.
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (hJob && !SetInformationJobObject(hJob, JobObjectExtendedLimitInformation, &limits, sizeof limits))
        CloseIfOpen(hJob);
    return hJob;
}

bool StartProgram(const std::string &commandLine, const std::string &cwd, int options, Program &program,
                  std::string &error)
{
    bool input = (options & PROGRAM_INPUT) != 0;
    HANDLE hOutRead = 0, hOutWrite = 0, hInRead = 0, hInWrite = 0;
    if (!MakePipe(hOutRead, hOutWrite, false) || (input && !MakePipe(hInRead, hInWrite, true))) {
        error = "cannot make a pipe (" + ErrorText(GetLastError()) + ")";
        CloseIfOpen(hOutRead);
        CloseIfOpen(hOutWrite);
        return false;
    }
    // Without input, an empty one: the program reads end of file at once.
    if (!input) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, 0, TRUE};
        hInRead =
            CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, 0);
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string desktop = sDesktop;
    startup.lpDesktop = desktop.empty() ? 0 : &desktop[0];
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = hInRead;
    startup.hStdOutput = hOutWrite;
    startup.hStdError = hOutWrite;
    std::string line = commandLine;
    BOOL started =
        CreateProcessA(0, &line[0], 0, 0, TRUE, CREATE_SUSPENDED, 0, cwd.c_str(), &startup, &program.process);
    DWORD dwError = GetLastError();
    CloseIfOpen(hOutWrite);
    CloseIfOpen(hInRead);
    if (!started) {
        CloseIfOpen(hOutRead);
        CloseIfOpen(hInWrite);
        error = "cannot start " + commandLine + " (" + ErrorText(dwError) + ")";
        return false;
    }
    if (options & PROGRAM_IN_JOB) {
        program.hJob = MakeJob();
        if (!program.hJob || !AssignProcessToJobObject(program.hJob, program.process.hProcess)) {
            Say("cannot hold " + commandLine + " and what it starts in a job (" + ErrorText(GetLastError()) +
                "): what they leave running is not ended");
            CloseIfOpen(program.hJob);
        }
    }
    ResumeThread(program.process.hThread);
    program.hInput = hInWrite;
    program.reader = new OutputReader{hOutRead, ""};
    program.hReader = CreateThread(0, 0, ReadOutput, program.reader, 0, 0);
    return true;
}

void SendInput(Program &program, const std::string &text)
{
    if (!program.hInput)
        return;
    DWORD written = 0;
    WriteFile(program.hInput, text.data(), (DWORD)text.size(), &written, 0);
    CloseIfOpen(program.hInput);
}

bool WaitProgram(Program &program, DWORD timeoutMs, DWORD &status)
{
    return WaitForSingleObject(program.process.hProcess, timeoutMs) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(program.process.hProcess, &status);
}

std::string EndJob(Program &program)
{
    // Room for the ids of far more processes than the daemon ever starts.
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[63];
    } ids = {};
    ids.list.NumberOfAssignedProcesses = 64;
    if (!program.hJob ||
        !QueryInformationJobObject(program.hJob, JobObjectBasicProcessIdList, &ids, sizeof ids, 0) ||
        ids.list.NumberOfProcessIdsInList == 0)
        return "";
    std::string names;
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
        DWORD pid = (DWORD)ids.list.ProcessIdList[i];
        std::string name = "process " + std::to_string(pid);
        HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        char szImage[MAX_PATH];
        DWORD n = sizeof szImage;
        if (hProcess && QueryFullProcessImageNameA(hProcess, 0, szImage, &n))
            name = szImage;
        if (hProcess)
            CloseHandle(hProcess);
        names += (names.empty() ? "" : ", ") + name;
    }
    TerminateJobObject(program.hJob, 1);
    return names;
}

bool FinishProgram(Program &program, DWORD timeoutMs)
{
    CloseIfOpen(program.hInput);
    // Every process of the job ends, and with it every copy of the output.
    CloseIfOpen(program.hJob);
    bool whole = true;
    if (program.hReader) {
        DWORD wait = WaitForSingleObject(program.hReader, timeoutMs);
        // A read that blocks is cancelled; one that is not under way yet is
        // caught the next time round.
        for (int attempt = 0; wait != WAIT_OBJECT_0 && attempt < 50; ++attempt) {
            CancelSynchronousIo(program.hReader);
            wait = WaitForSingleObject(program.hReader, 100);
        }
        whole = wait == WAIT_OBJECT_0;
        if (whole) {
            program.output = program.reader->kept;
            delete program.reader;
        }
        program.reader = 0;
        CloseIfOpen(program.hReader);
    }
    CloseIfOpen(program.process.hProcess);
    CloseIfOpen(program.process.hThread);
    return whole;
}

std::string CrashOf(DWORD status)
{
    static const struct {
        DWORD code;
        const char *what;
    } crashes[] = {
        {0xC0000005, "an access violation"},
        {0xC000001D, "an illegal instruction"},
        {0xC0000096, "a privileged instruction"},
        {0xC00000FD, "a stack overflow"},
        {0xC0000409, "a stack buffer overrun, or a fast failure"},
        {0xC0000374, "a corrupted heap"},
        {0xC0000094, "an integer division by zero"},
        {0xC0000095, "an integer overflow"},
        {0xC000008C, "an array index out of bounds"},
        {0xC000008E, "a floating-point division by zero"},
        {0xC0000090, "an invalid floating-point operation"},
        {0xC0000006, "a page that could not be read in"},
        {0xC0000025, "an exception it could not continue from"},
        {0x80000003, "a breakpoint"},
        {0xC0000135, "a DLL it needs that was not found: it could not be loaded"},
        {0xC0000139, "a function it needs that its DLL lacks: it could not be loaded"},
        {0xC000007B, "a DLL of another architecture: it could not be loaded"},
        {0xC0000142, "a DLL that failed to start: it could not be loaded"},
    };
    for (const auto &crash : crashes)
        if (crash.code == status) {
            char szCode[16];
            snprintf(szCode, sizeof szCode, "0x%08lx", (unsigned long)status);
            return std::string("exception ") + szCode + ", " + crash.what;
        }
    return "";
}
