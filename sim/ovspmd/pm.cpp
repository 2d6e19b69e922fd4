#define _CRT_RAND_S
#include "pm.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ov_protocol.h"

double PmNow(const PmSession &session)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)(now.QuadPart - session.start.QuadPart) * 1000.0 / (double)session.frequency.QuadPart;
}

static unsigned int GetInt(const char *in)
{
    const unsigned char *b = (const unsigned char *)in;
    return b[0] | (b[1] << 8) | (b[2] << 16) | ((unsigned int)b[3] << 24);
}

static bool WaitReadable(SOCKET s, DWORD timeoutMs)
{
    fd_set readSet;
    FD_ZERO(&readSet);
    FD_SET(s, &readSet);
    timeval timeout;
    timeout.tv_sec = (long)(timeoutMs / 1000);
    timeout.tv_usec = (long)(timeoutMs % 1000) * 1000;
    return select(0, &readSet, 0, 0, &timeout) > 0;
}

// Takes one whole frame off the front of buffer: 1 when taken, 0 when more
// bytes are needed, -1 when the bytes cannot be a frame.
static int TakeFrame(std::string &buffer, char &kind, int &code, std::string &text)
{
    if (buffer.size() < FRAME_HEADER_SIZE)
        return 0;
    unsigned int length = GetInt(&buffer[5]);
    if (length > FRAME_TEXT_MAX)
        return -1;
    if (buffer.size() < FRAME_HEADER_SIZE + length)
        return 0;
    kind = buffer[0];
    code = (int)GetInt(&buffer[1]);
    text.assign(buffer, FRAME_HEADER_SIZE, length);
    buffer.erase(0, FRAME_HEADER_SIZE + length);
    return 1;
}

// Reads one frame from s within timeoutMs: 1, 0 on time-out, -1 when closed.
// The socket is looked at once more when the time is up, so a time-out of 0
// takes what has already arrived.
static int ReadFrame(SOCKET s, std::string &buffer, DWORD timeoutMs, char &kind, int &code, std::string &text)
{
    DWORD dwStart = GetTickCount();
    for (;;) {
        int taken = TakeFrame(buffer, kind, code, text);
        if (taken != 0)
            return taken;
        DWORD dwElapsed = GetTickCount() - dwStart;
        bool timeUp = timeoutMs != INFINITE && dwElapsed >= timeoutMs;
        DWORD dwLeft = timeoutMs == INFINITE ? 1000 : timeUp ? 0 : timeoutMs - dwElapsed;
        if (!WaitReadable(s, dwLeft)) {
            if (timeUp)
                return 0;
            continue;
        }
        char chunk[4096];
        int n = recv(s, chunk, sizeof chunk, 0);
        if (n <= 0)
            return -1;
        buffer.append(chunk, (size_t)n);
    }
}

static std::string MakeToken()
{
    std::string token;
    for (int i = 0; i < 4; ++i) {
        unsigned int value = 0;
        rand_s(&value);
        char part[16];
        snprintf(part, sizeof part, "%08x", value);
        token += part;
    }
    return token;
}

static bool Listen(PmSession &session, unsigned short &port)
{
    WSADATA wsaData;
    if (WSAStartup(MAKEWORD(2, 2), &wsaData) != 0)
        return false;
    session.listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (session.listener == INVALID_SOCKET)
        return false;
    SetHandleInformation((HANDLE)session.listener, HANDLE_FLAG_INHERIT, 0);
    sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (bind(session.listener, (sockaddr *)&address, sizeof address) != 0 || listen(session.listener, 4) != 0 ||
        getsockname(session.listener, (sockaddr *)&address, &size) != 0)
        return false;
    port = ntohs(address.sin_port);
    return true;
}

// Sets name=value for the child to inherit; returns the previous value so
// that it can be put back, with had telling whether there was one.
static std::string SwapVariable(const std::string &name, const char *value, bool &had)
{
    char previous[32768];
    DWORD n = GetEnvironmentVariableA(name.c_str(), previous, sizeof previous);
    had = n > 0 && n < sizeof previous;
    SetEnvironmentVariableA(name.c_str(), value);
    return had ? std::string(previous) : std::string();
}

bool PmStart(PmSession &session, const std::string &commandLine, const PmOptions &options, std::string &error)
{
    QueryPerformanceFrequency(&session.frequency);
    QueryPerformanceCounter(&session.start);
    unsigned short port = 0;
    if (!Listen(session, port)) {
        error = "cannot listen on 127.0.0.1";
        return false;
    }
    session.token = MakeToken();

    std::vector<std::string> variables = options.env;
    variables.push_back(std::string(OVSPMD_PORT_VARIABLE) + "=" + std::to_string(port));
    variables.push_back(std::string(OVSPMD_TOKEN_VARIABLE) + "=" + session.token);
    struct Saved {
        std::string name, value;
        bool had;
    };
    std::vector<Saved> saved;
    for (const std::string &variable : variables) {
        size_t equals = variable.find('=');
        Saved s;
        s.name = variable.substr(0, equals);
        std::string value = equals == std::string::npos ? "" : variable.substr(equals + 1);
        s.value = SwapVariable(s.name, value.c_str(), s.had);
        saved.push_back(s);
    }

    STARTUPINFOA startupInfo;
    memset(&startupInfo, 0, sizeof startupInfo);
    startupInfo.cb = sizeof startupInfo;
    // The daemon gets the manager's own standard handles by name, so that
    // they reach its children too (a detached child has no console to fall
    // back on); standard error goes to a file when asked.
    startupInfo.dwFlags = STARTF_USESTDHANDLES;
    startupInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startupInfo.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startupInfo.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE hStderr = INVALID_HANDLE_VALUE;
    if (!options.stderrPath.empty()) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, 0, TRUE};
        hStderr = CreateFileA(options.stderrPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, 0);
        startupInfo.hStdError = hStderr;
    }
    if (options.killTreeOnEnd) {
        session.job = CreateJobObjectA(0, 0);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
        memset(&limits, 0, sizeof limits);
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(session.job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    std::string line = commandLine;
    BOOL created = CreateProcessA(0, &line[0], 0, 0, TRUE, CREATE_SUSPENDED, 0, 0, &startupInfo, &session.process);
    DWORD dwCreateError = created ? 0 : GetLastError();
    if (hStderr != INVALID_HANDLE_VALUE)
        CloseHandle(hStderr);
    for (const Saved &s : saved)
        SetEnvironmentVariableA(s.name.c_str(), s.had ? s.value.c_str() : 0);
    if (!created) {
        error = "cannot start " + commandLine + " (error " + std::to_string(dwCreateError) + ")";
        return false;
    }
    if (session.job)
        AssignProcessToJobObject(session.job, session.process.hProcess);
    ResumeThread(session.process.hThread);
    return true;
}

bool PmAccept(PmSession &session, DWORD timeoutMs)
{
    DWORD dwStart = GetTickCount();
    for (;;) {
        DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwElapsed >= timeoutMs)
            return false;
        // A daemon that ends before it connects is not waited for: a child
        // that connected and then ended still has its connection queued.
        if (!WaitReadable(session.listener, 50)) {
            if (WaitForSingleObject(session.process.hProcess, 0) == WAIT_OBJECT_0 &&
                !WaitReadable(session.listener, 0))
                return false;
            continue;
        }
        SOCKET s = accept(session.listener, 0, 0);
        if (s == INVALID_SOCKET)
            continue;
        SetHandleInformation((HANDLE)s, HANDLE_FLAG_INHERIT, 0);
        std::string buffer;
        char kind = 0;
        int code = 0;
        std::string text;
        if (ReadFrame(s, buffer, 2000, kind, code, text) == 1 && kind == FRAME_HELLO && text == session.token &&
            (DWORD)code == session.process.dwProcessId) {
            session.connection = s;
            session.received = buffer;
            return true;
        }
        closesocket(s);
    }
}

std::string PmCommandBytes(int command)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = (char)(((unsigned int)command >> (8 * i)) & 0xFF);
    return bytes;
}

bool PmSend(PmSession &session, int command)
{
    std::string bytes = PmCommandBytes(command);
    return send(session.connection, bytes.data(), 4, 0) == 4;
}

int PmNextEvent(PmSession &session, PmEvent &event, DWORD timeoutMs)
{
    if (session.connection == INVALID_SOCKET)
        return -1;
    int got = ReadFrame(session.connection, session.received, timeoutMs, event.kind, event.code, event.text);
    event.ms = PmNow(session);
    return got;
}

bool PmWaitExit(PmSession &session, DWORD timeoutMs, DWORD &status)
{
    if (!session.process.hProcess || WaitForSingleObject(session.process.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    return GetExitCodeProcess(session.process.hProcess, &status) != 0;
}

void PmEnd(PmSession &session)
{
    if (session.job) {
        TerminateJobObject(session.job, 1);
        CloseHandle(session.job);
        session.job = 0;
    } else if (session.process.hProcess) {
        DWORD status = 0;
        if (GetExitCodeProcess(session.process.hProcess, &status) && status == STILL_ACTIVE)
            TerminateProcess(session.process.hProcess, 1);
    }
    if (session.process.hProcess) {
        WaitForSingleObject(session.process.hProcess, 5000);
        CloseHandle(session.process.hProcess);
        CloseHandle(session.process.hThread);
        session.process = PROCESS_INFORMATION();
    }
    if (session.connection != INVALID_SOCKET)
        closesocket(session.connection);
    if (session.listener != INVALID_SOCKET)
        closesocket(session.listener);
    session.connection = session.listener = INVALID_SOCKET;
}

std::string PmQuote(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + (char)c;
        else if (c < 0x20) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else
            out += (char)c;
    }
    return out + "\"";
}

// One argument as the Windows command-line parser gives it back: quoted
// when it is empty or holds a blank or a quote; a quote in it escaped, and
// the backslashes before a quote, its own or the closing one, doubled.
template <class String> static String QuotedArgument(const String &argument)
{
    typedef typename String::value_type Char;
    const Char special[] = {' ', '\t', '"', 0};
    if (!argument.empty() && argument.find_first_of(special) == String::npos)
        return argument;
    String out(1, '"');
    size_t backslashes = 0;
    for (Char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + Char('"');
}

std::string PmArgument(const std::string &argument)
{
    return QuotedArgument(argument);
}

std::wstring PmArgument(const std::wstring &argument)
{
    return QuotedArgument(argument);
}

std::string PmProgramDir()
{
    char szPath[MAX_PATH];
    DWORD n = GetModuleFileNameA(0, szPath, sizeof szPath);
    std::string path(szPath, n);
    return path.substr(0, path.find_last_of('\\') + 1);
}
