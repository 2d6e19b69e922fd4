// The floor for the daemon benchmarks: the least a daemon can do through the
// same ov.dll and loopback connection. It connects, reports initialisation
// complete, and answers every command after the same 1 ms sleep. It imports
// what the daemon imports (USER32.dll for the window calls of the exit
// command), so that start-up compares like with like.
#include <winsock2.h>
#include <windows.h>

#include "ov.h"
#include "ov_protocol.h"

int main()
{
    int descriptor = -1;
    char szMessage[32] = PM_INIT_COMPLETE_TEXT;
    if (OVsInit(&descriptor) < 0 || OVsInitComplete(PM_INIT_COMPLETE, szMessage) < 0)
        return 1;
    for (;;) {
        fd_set readSet;
        FD_ZERO(&readSet);
        FD_SET((SOCKET)descriptor, &readSet);
        int command = 0;
        if (select(descriptor + 1, &readSet, 0, 0, 0) < 0 || OVsReceive(&command) < 0)
            return 1;
        if (command == PM_EXIT) {
            HWND window = FindWindowA(0, "floor_daemon has no window");
            if (window)
                PostMessageA(window, WM_CLOSE, 0, 0);
            return OVsDone("floor done"), 4;
        }
        if (command == PM_NOOP)
            continue;
        Sleep(1);
        lstrcpyA(szMessage, PM_PAUSE_OK_TEXT);
        if (OVsResponse(PM_PAUSE_OK, szMessage) < 0)
            return 1;
    }
}
