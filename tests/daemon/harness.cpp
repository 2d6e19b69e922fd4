#include "harness.h"

#include <cstring>

void UseJavaStandIn(const std::string &dir)
{
    WriteFileText(dir + "java_file.dat", PmProgramDir() + "javaapp.exe\r\n");
}

bool StartStandIn(const std::string &dir, const std::string &mode, PROCESS_INFORMATION &process,
                  const std::string &desktop)
{
    std::string commandLine = "\"" + PmProgramDir() + "javaapp.exe\"";
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    std::string desktopName = desktop;
    if (!desktopName.empty())
        startup.lpDesktop = &desktopName[0];
    SetEnvironmentVariableA("JAVAAPP_SIM_MODE", mode.c_str());
    BOOL created = CreateProcessA(0, &commandLine[0], 0, 0, FALSE, 0, 0, dir.c_str(), &startup, &process);
    SetEnvironmentVariableA("JAVAAPP_SIM_MODE", 0);
    return created != 0;
}

std::vector<std::string> RecordValues(const std::string &dir, const std::string &key)
{
    std::vector<std::string> values;
    std::string text = ReadFileText(dir + "javaapp-record.txt");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            break; // a line still being written
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, key.size() + 1, key + " ") == 0)
            values.push_back(line.substr(key.size() + 1));
        start = end + 1;
    }
    return values;
}

bool WaitForRecord(const std::string &dir, const std::string &key, const std::string &value, DWORD timeoutMs)
{
    DWORD dwStart = GetTickCount();
    do {
        for (const std::string &v : RecordValues(dir, key))
            if (value.empty() || v == value)
                return true;
        Sleep(20);
    } while (GetTickCount() - dwStart < timeoutMs);
    return false;
}

std::string Encoded(std::string dir)
{
    for (size_t at = dir.find(' '); at != std::string::npos; at = dir.find(' '))
        dir.replace(at, 1, "%20");
    return dir;
}

bool StartDaemon(PmSession &session, const std::string &arguments, const PmOptions &options)
{
    std::string error;
    std::string commandLine =
        "\"" + PmProgramDir() + "imdaemon.exe\"" + (arguments.empty() ? "" : " ") + arguments;
    if (!PmStart(session, commandLine, options, error)) {
        ADD_FAILURE() << error;
        return false;
    }
    return PmAccept(session, 10000);
}

bool DaemonTest::Start(const std::string &arguments, const std::vector<std::string> &env)
{
    PmOptions options;
    options.env = env;
    options.stderrPath = stderrPath;
    return StartDaemon(session, arguments, options);
}

static std::string Describe(char kind, int code, const std::string &text)
{
    return std::string(1, kind) + " " + std::to_string(code) + " " + PmQuote(text);
}

::testing::AssertionResult DaemonTest::Expect(char kind, int code, const std::string &text, DWORD timeoutMs,
                                              PmEvent *got)
{
    PmEvent event;
    int n = PmNextEvent(session, event, timeoutMs);
    if (n <= 0)
        return ::testing::AssertionFailure() << "expected " << Describe(kind, code, text) << ", got "
                                             << (n == 0 ? "nothing in time" : "a closed connection");
    if (got)
        *got = event;
    if (event.kind != kind || event.code != code || event.text != text)
        return ::testing::AssertionFailure() << "expected " << Describe(kind, code, text) << ", got "
                                             << Describe(event.kind, event.code, event.text);
    return ::testing::AssertionSuccess();
}

void DaemonTest::ExpectQuit(const std::string &done, int status, DWORD timeoutMs)
{
    if (!done.empty()) {
        EXPECT_TRUE(Expect(FRAME_DONE, 0, done, timeoutMs));
    }
    PmEvent event;
    EXPECT_EQ(PmNextEvent(session, event, timeoutMs), -1) << "nothing may follow the closing message";
    DWORD exitStatus = 0;
    ASSERT_TRUE(PmWaitExit(session, timeoutMs, exitStatus)) << "daemon did not exit";
    EXPECT_EQ((int)exitStatus, status);
}

double DaemonTest::ExitAndTime(DWORD timeoutMs)
{
    double sent = PmNow(session);
    PmEvent done;
    EXPECT_TRUE(PmSend(session, PM_EXIT));
    EXPECT_TRUE(Expect(FRAME_DONE, 0, PM_EXIT_TEXT, timeoutMs, &done));
    ExpectQuit("", 4);
    return done.ms - sent;
}
