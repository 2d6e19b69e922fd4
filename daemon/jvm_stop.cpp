// Stops the Java application on the exit command: asks its listener window
// to close, gives it time to shut down cleanly, then terminates it.
#include <windows.h>

#include "install_path.h"
#include "jvm.h"

enum { CLOSE_ATTEMPTS = 10, CLOSE_INTERVAL_MS = 1000, CLOSE_DEADLINE_MS = CLOSE_ATTEMPTS * CLOSE_INTERVAL_MS };

// Waits up to ms for the Java process to end, on the handle kept from its
// creation; true once it has. A wait that cannot be made (no handle, or a
// failed wait) sleeps instead, so the close requests keep their spacing.
static bool WaitForJVMExit(DWORD ms)
{
    DWORD dwResult = piJVM.hProcess ? WaitForSingleObject(piJVM.hProcess, ms) : WAIT_FAILED;
    if (dwResult == WAIT_OBJECT_0)
        return true;
    if (dwResult != WAIT_TIMEOUT)
        Sleep(ms);
    return false;
}

void StopJVMProcess()
{
    if (dwJVMProcessId == 0)
        return;
    CloseTheJavaFrame();
    // Ended through the handle held since its creation, so that the stop
    // needs no further access to the application. The daemon records the id
    // only with that handle; the branch by id serves a caller that set the id
    // alone, whose waits above sleep their full time before the kill.
    if (piJVM.hProcess)
        TerminateProcess(piJVM.hProcess, 0xFFFFFFFF);
    else
        KillProcess(dwJVMProcessId);
    dwJVMProcessId = 0;
}

// Posts WM_CLOSE to the listener window at most 10 times, one second apart,
// while the window is there. Between posts it waits on the process rather
// than sleeping blindly, so an application that ends returns at once; one
// whose window is gone but which is still shutting down (running its
// shutdown hooks, flushing files) is given the rest of the ten seconds
// before StopJVMProcess terminates it.
void CloseTheJavaFrame()
{
    TraceLog("CloseTheJavaFrame called");
    DWORD dwFirstRequest = GetTickCount();
    HWND window = FindWindowA(0, szListenerTitle);
    int attempts = 0;
    bool ended = false;
    while (window && attempts < CLOSE_ATTEMPTS) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        window = FindWindowA(0, szListenerTitle);
        attempts = attempts + 1;
        ended = WaitForJVMExit(CLOSE_INTERVAL_MS);
        if (ended)
            break;
        TraceLog("CloseTheJavaFrame Window found");
    }
    if (!ended && attempts > 0 && attempts < CLOSE_ATTEMPTS) {
        DWORD dwElapsed = GetTickCount() - dwFirstRequest;
        if (dwElapsed < CLOSE_DEADLINE_MS)
            WaitForJVMExit(CLOSE_DEADLINE_MS - dwElapsed);
    }
    TraceLog("CloseTheJavaFrame end");
}

bool KillProcess(DWORD processId)
{
    TraceLog("KillProcess OpenProcess called");
    HANDLE hProcess = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
    if (!hProcess) {
        TraceLog("KillProcess OpenProcess null");
        return false;
    }
    DWORD dwError = TerminateProcess(hProcess, 0xFFFFFFFF) ? 0 : GetLastError();
    CloseHandle(hProcess);
    SetLastError(dwError);
    TraceLog("KillProcess OpenProcess return");
    return dwError == 0;
}
