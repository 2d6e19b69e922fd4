// Stopping the Java application on the exit command, for each way the
// application can meet WM_CLOSE. Times are from the exit command to the
// daemon's closing message.
#include <cstring>

#include "harness.h"
#include "install_path.h"
#include "jvm.h"

// The stop gives the application ten seconds in all. A stop that waited
// them out although the application had already ended quits after this
// (the margin is for a stalled machine).
static const double msWellBeforeTheDeadline = 8000.0;

class JavaStop : public DaemonTest {
protected:
    std::string dir;
    HANDLE hApp = 0;

    void SetUp() override { dir = FreshTestDir(); }
    void TearDown() override
    {
        if (hApp) {
            TerminateProcess(hApp, 1); // one the test started itself
            CloseHandle(hApp);
        }
        DaemonTest::TearDown();
    }

    // Starts the daemon and the Java stand-in in mode, and waits until the
    // stand-in is ready (window open or, for nowindow, running).
    void Launch(const std::string &mode)
    {
        UseJavaStandIn(dir);
        ASSERT_TRUE(Start(PmArgument(dir), {"JAVAAPP_SIM_MODE=" + mode}));
        ASSERT_TRUE(Expect(FRAME_INIT_COMPLETE, PM_INIT_COMPLETE, PM_INIT_COMPLETE_TEXT));
        ASSERT_TRUE(WaitForRecord(dir, "window", mode == "nowindow" ? "none" : "open"));
        std::vector<std::string> pid = RecordValues(dir, "pid");
        ASSERT_EQ(pid.size(), 1u);
        hApp = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, (DWORD)std::stoul(pid[0]));
        ASSERT_TRUE(hApp);
    }

    DWORD AppExitCode()
    {
        EXPECT_EQ(WaitForSingleObject(hApp, 5000), (DWORD)WAIT_OBJECT_0) << "the application must be gone";
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(hApp, &code);
        return code;
    }

    // Times of the WM_CLOSE messages the application received, in ms.
    std::vector<double> CloseTimes()
    {
        std::vector<double> times;
        for (const std::string &value : RecordValues(dir, "close"))
            times.push_back(std::stod(value));
        return times;
    }
};

TEST_F(JavaStop, ApplicationThatClosesAtOnceEndsCleanly)
{
    Launch("close");
    EXPECT_LT(ExitAndTime(), msWellBeforeTheDeadline);
    EXPECT_EQ(AppExitCode(), 0u) << "it exited by itself, not terminated";
    EXPECT_EQ(CloseTimes().size(), 1u);
    EXPECT_EQ(RecordValues(dir, "exit"), std::vector<std::string>{"0"});
}

TEST_F(JavaStop, ApplicationShuttingDownSlowlyIsNotCutShort)
{
    Launch("linger:3000");
    double msToQuit = ExitAndTime();
    EXPECT_GE(msToQuit, 2900.0);
    EXPECT_LT(msToQuit, msWellBeforeTheDeadline);
    EXPECT_EQ(AppExitCode(), 0u) << "it finished its shutdown";
    EXPECT_EQ(RecordValues(dir, "exit"), std::vector<std::string>{"0"});
}

TEST_F(JavaStop, ApplicationIgnoringCloseGetsTenRequestsThenIsTerminated)
{
    Launch("ignore");
    double msToQuit = ExitAndTime(30000);
    EXPECT_GE(msToQuit, 9500.0);
    EXPECT_LT(msToQuit, 12500.0);
    EXPECT_EQ(AppExitCode(), 0xFFFFFFFFu);
    std::vector<double> times = CloseTimes();
    ASSERT_EQ(times.size(), 10u);
    for (size_t i = 1; i < times.size(); ++i) {
        EXPECT_GE(times[i] - times[i - 1], 500.0) << "request " << i;
        EXPECT_LE(times[i] - times[i - 1], 2500.0) << "request " << i;
    }
    EXPECT_TRUE(RecordValues(dir, "exit").empty());
}

TEST_F(JavaStop, ApplicationWithoutWindowIsTerminatedAtOnce)
{
    Launch("nowindow");
    EXPECT_LT(ExitAndTime(), msWellBeforeTheDeadline);
    EXPECT_EQ(AppExitCode(), 0xFFFFFFFFu);
    EXPECT_TRUE(CloseTimes().empty());
}

TEST_F(JavaStop, ApplicationThatAlreadyEndedCostsNothing)
{
    Launch("crash:100");
    ASSERT_EQ(WaitForSingleObject(hApp, 5000), (DWORD)WAIT_OBJECT_0);
    EXPECT_LT(ExitAndTime(), msWellBeforeTheDeadline);
    EXPECT_EQ(AppExitCode(), 3u) << "its own exit code stays";
    EXPECT_TRUE(CloseTimes().empty());
}

TEST_F(JavaStop, DaemonWithoutApplicationLeavesOtherWindowsAlone)
{
    // A listener window of an application the daemon did not start (its
    // install directory has no java_file.dat): the exit command must not
    // touch it.
    std::string other = dir + "other\\";
    CreateDirectoryA(other.c_str(), 0);
    PROCESS_INFORMATION process;
    ASSERT_TRUE(StartStandIn(other, "ignore", process));
    hApp = process.hProcess;
    CloseHandle(process.hThread);
    ASSERT_TRUE(WaitForRecord(other, "window", "open"));

    ASSERT_TRUE(Start(PmArgument(dir)));
    ASSERT_TRUE(Expect(FRAME_INIT_COMPLETE, PM_INIT_COMPLETE, PM_INIT_COMPLETE_TEXT));
    ExitAndTime();
    // A close of our own, posted after the daemon has gone, is recorded
    // after any the daemon posted.
    HWND window = FindWindowA(0, "Tarvos_Windows_Listener");
    ASSERT_TRUE(window);
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitForRecord(other, "close"));
    EXPECT_EQ(RecordValues(other, "close").size(), 1u) << "the daemon closed a window it did not start";
    EXPECT_EQ(WaitForSingleObject(hApp, 0), (DWORD)WAIT_TIMEOUT) << "the application runs on";
}

// The import slot through which the stop calls OpenProcess, so that a test
// can stand in for an application whose permissions let others end it and
// nothing more; on x86 its name carries the stdcall decoration.
typedef HANDLE(WINAPI *OpenCall)(DWORD, BOOL, DWORD);
#ifdef _WIN64
extern "C" OpenCall openSlot __asm__("__imp_OpenProcess");
#else
extern "C" OpenCall openSlot __asm__("__imp__OpenProcess@12");
#endif
static OpenCall realOpen;

static HANDLE WINAPI OpenForTerminationOnly(DWORD access, BOOL inherit, DWORD processId)
{
    if (access & ~(DWORD)PROCESS_TERMINATE) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    return realOpen(access, inherit, processId);
}

static HANDLE WINAPI OpenNothing(DWORD, BOOL, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

// Runs the daemon's own start, with the Java stand-in in mode, and its stop
// in this process while open stands in for OpenProcess; returns the ms the
// stop took.
static double StartAndStopWith(const std::string &dir, const char *mode, OpenCall open)
{
    UseJavaStandIn(dir);
    SetInstallDir(dir);
    SetEnvironmentVariableA("JAVAAPP_SIM_MODE", mode);
    int started = CreateJVMProcess();
    SetEnvironmentVariableA("JAVAAPP_SIM_MODE", 0);
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(WaitForRecord(dir, "window", strcmp(mode, "nowindow") ? "open" : "none"));

    DWORD dwProtect;
    EXPECT_TRUE(VirtualProtect(&openSlot, sizeof(OpenCall), PAGE_READWRITE, &dwProtect));
    realOpen = openSlot;
    openSlot = open;
    DWORD dwStart = GetTickCount();
    StopJVMProcess();
    double msToStop = GetTickCount() - dwStart;
    openSlot = realOpen;
    return msToStop;
}

// The daemon's own start and stop, in this process: the stop must wait on
// and end what it holds from the start, since no further handle to the
// application may be granted.
TEST(JavaStopWithoutASecondHandle, ApplicationThatClosesAtOnceEndsAtOnce)
{
    std::string dir = FreshTestDir();
    EXPECT_LT(StartAndStopWith(dir, "close", OpenForTerminationOnly), msWellBeforeTheDeadline);
    EXPECT_TRUE(WaitForRecord(dir, "exit", "0")) << "it exited by itself, not terminated";
    EXPECT_EQ(RecordValues(dir, "close").size(), 1u);
    if (WaitForSingleObject(piJVM.hProcess, 0) != WAIT_OBJECT_0)
        TerminateProcess(piJVM.hProcess, 1); // the test's own leftover
}

TEST(JavaStopWithoutASecondHandle, ApplicationWithoutWindowIsTerminatedAtOnce)
{
    std::string dir = FreshTestDir();
    EXPECT_LT(StartAndStopWith(dir, "nowindow", OpenNothing), msWellBeforeTheDeadline);
    bool ended = WaitForSingleObject(piJVM.hProcess, 5000) == WAIT_OBJECT_0;
    EXPECT_TRUE(ended) << "the application must be terminated without a second handle";
    DWORD code = 0;
    GetExitCodeProcess(piJVM.hProcess, &code);
    EXPECT_EQ(code, 0xFFFFFFFFu);
    if (!ended)
        TerminateProcess(piJVM.hProcess, 1); // the test's own leftover
}
