// KillProcess's result and the last-error value it leaves: 0 when the
// process was terminated, the open's own code when the process cannot be
// opened, the termination's code when the termination fails.
#include "harness.h"
#include "jvm.h"

typedef BOOL(WINAPI *TerminateCall)(HANDLE, UINT);

// The import slot through which KillProcess calls TerminateProcess, so that
// a test can put a refusing call in its place; on x86 its name carries the
// stdcall decoration.
#ifdef _WIN64
extern "C" TerminateCall terminateSlot __asm__("__imp_TerminateProcess");
#else
extern "C" TerminateCall terminateSlot __asm__("__imp__TerminateProcess@8");
#endif

static BOOL WINAPI RefuseTermination(HANDLE, UINT)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// Any value the call must overwrite.
static const DWORD dwStale = 0xDEAD;

class KillProcessTest : public ::testing::Test {
protected:
    PROCESS_INFORMATION app = {};

    // The Java stand-in without a window: it runs until it is ended.
    void SetUp() override
    {
        std::string dir = FreshTestDir();
        ASSERT_TRUE(StartStandIn(dir, "nowindow", app));
        ASSERT_TRUE(WaitForRecord(dir, "window", "none"));
    }

    void TearDown() override
    {
        if (app.hProcess) {
            TerminateProcess(app.hProcess, 1);
            CloseHandle(app.hProcess);
            CloseHandle(app.hThread);
        }
    }

    DWORD AppExitCode()
    {
        EXPECT_EQ(WaitForSingleObject(app.hProcess, 5000), (DWORD)WAIT_OBJECT_0);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(app.hProcess, &code);
        return code;
    }
};

TEST_F(KillProcessTest, TerminatedProcessLeavesNoError)
{
    SetLastError(dwStale);
    EXPECT_TRUE(KillProcess(app.dwProcessId));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(AppExitCode(), 0xFFFFFFFFu);
}

TEST_F(KillProcessTest, ProcessThatCannotBeOpenedLeavesTheOpensError)
{
    for (DWORD processId : {0u, 0xFFFFFFFCu}) {
        SCOPED_TRACE(processId);
        SetLastError(0);
        ASSERT_FALSE(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
        DWORD dwOpenError = GetLastError();
        ASSERT_NE(dwOpenError, 0u);
        SetLastError(dwStale);
        EXPECT_FALSE(KillProcess(processId));
        EXPECT_EQ(GetLastError(), dwOpenError);
    }
}

TEST_F(KillProcessTest, RefusedTerminationLeavesItsError)
{
    DWORD dwProtect;
    ASSERT_TRUE(VirtualProtect(&terminateSlot, sizeof(TerminateCall), PAGE_READWRITE, &dwProtect));
    TerminateCall terminate = terminateSlot;
    terminateSlot = RefuseTermination;
    SetLastError(dwStale);
    bool killed = KillProcess(app.dwProcessId);
    DWORD dwError = GetLastError();
    terminateSlot = terminate;

    EXPECT_FALSE(killed);
    EXPECT_EQ(dwError, (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(WaitForSingleObject(app.hProcess, 0), (DWORD)WAIT_TIMEOUT) << "the application runs on";
}
