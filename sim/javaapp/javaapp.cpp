// Java-application stand-in: a program that java_file.dat can name in place
// of the Java launcher. It records how it was started and every WM_CLOSE it
// receives in javaapp-record.txt in its current directory. When that
// directory holds nodeflags-calls.txt it plays the application's use of
// nodeflags.dll (bridge_client.cpp), with the bridge's standard output in
// javaapp-stdout.txt and the path of the ovw.dll it loaded in the record. It owns a hidden
// top-level window titled "Tarvos_Windows_Listener" that reacts to WM_CLOSE
// as JAVAAPP_SIM_MODE says:
//   close (default)  close the window and exit at once
//   ignore           keep the window and run on
//   linger:<ms>      close the window, run <ms> more, then exit cleanly
//   nowindow         open no window and run until terminated
//   crash:<ms>       exit with status 3 after <ms>, window and all
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bridge_client.h"

static FILE *record;
static std::string sMode = "close";
static DWORD dwLingerMs = 0;

// Milliseconds since 1601, the same clock for every process on the machine.
static unsigned long long WallMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (((unsigned long long)now.dwHighDateTime << 32) | now.dwLowDateTime) / 10000;
}

// One line, flushed at once so that a terminated run leaves it readable.
static void Record(const char *key, const std::string &value)
{
    fprintf(record, "%s %s\n", key, value.c_str());
    fflush(record);
}

static LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        Record("close", std::to_string(WallMs()));
        if (sMode != "ignore")
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static DWORD WINAPI CrashLater(LPVOID ms)
{
    Sleep((DWORD)(ULONG_PTR)ms);
    Record("exit", "3");
    ExitProcess(3);
}

int main()
{
    record = fopen("javaapp-record.txt", "a");
    if (!record)
        return 2;
    const char *mode = getenv("JAVAAPP_SIM_MODE");
    if (mode && *mode)
        sMode = mode;
    if (sMode.compare(0, 7, "linger:") == 0) {
        dwLingerMs = (DWORD)strtoul(sMode.c_str() + 7, 0, 10);
        sMode = "linger";
    }
    char szDirectory[MAX_PATH];
    GetCurrentDirectoryA(sizeof szDirectory, szDirectory);
    Record("pid", std::to_string(GetCurrentProcessId()));
    Record("cmdline", GetCommandLineA());
    Record("cwd", szDirectory);
    Record("started", std::to_string(WallMs()));

    // The bridge writes to this runtime's standard output, shared with us;
    // it is kept apart from whatever output the process was given.
    if (GetFileAttributesA("nodeflags-calls.txt") != INVALID_FILE_ATTRIBUTES) {
        if (freopen("javaapp-stdout.txt", "w", stdout))
            RunBridgeCalls("nodeflags-calls.txt", Record);
        else
            Record("bridge", "no standard output");
    }

    if (sMode == "nowindow") {
        Record("window", "none");
        Sleep(INFINITE);
    }

    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = ListenerProc;
    windowClass.hInstance = GetModuleHandleA(0);
    windowClass.lpszClassName = "JavaAppSimListener";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Tarvos_Windows_Listener", WS_OVERLAPPEDWINDOW, 0,
                                  0, 100, 100, 0, 0, windowClass.hInstance, 0);
    if (!window) {
        Record("window", "failed " + std::to_string(GetLastError()));
        return 2;
    }
    Record("window", "open");
    // The crash is timed from the open window, so that a slow start cannot
    // end the stand-in before its window was there.
    if (sMode.compare(0, 6, "crash:") == 0)
        CreateThread(0, 0, CrashLater, (LPVOID)(ULONG_PTR)strtoul(sMode.c_str() + 6, 0, 10), 0, 0);

    MSG message;
    while (GetMessageA(&message, 0, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Record("window", "closed " + std::to_string(WallMs()));
    if (sMode == "linger")
        Sleep(dwLingerMs);
    Record("exit", "0");
    return 0;
}
