// Daemon benchmarks, each against a floor measured in the same run:
// command round trip, start-up, idle CPU, stop times, memory and handles.
// Run under Wine by scripts/bench from the build's bin folder.
#include "ov_protocol.h"
#include "pm.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static std::string WorkDir(const std::string &name)
{
    std::string dir = PmProgramDir() + "bench-" + name + "\\";
    CreateDirectoryA(dir.c_str(), 0);
    return dir;
}

static bool Launch(PmSession &session, const std::string &exe, const std::string &arguments,
                   const std::vector<std::string> &env = {})
{
    PmOptions options;
    options.env = env;
    std::string error;
    return PmStart(session, "\"" + PmProgramDir() + exe + "\" " + arguments, options, error) &&
           PmAccept(session, 30000);
}

static bool NextEvent(PmSession &session, char kind, PmEvent &event, DWORD timeoutMs = 30000)
{
    return PmNextEvent(session, event, timeoutMs) == 1 && event.kind == kind;
}

// Open handles of a process. GetProcessHandleCount gives 0 under Wine, so
// the system's handle table is counted instead where that call has nothing.
static DWORD HandleCount(HANDLE hProcess)
{
    DWORD count = 0;
    if (GetProcessHandleCount(hProcess, &count) && count > 0)
        return count;
    struct Entry {
        ULONG ownerPid;
        BYTE objectType, flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    typedef LONG(WINAPI * QueryFunction)(ULONG, PVOID, ULONG, PULONG);
    QueryFunction query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    LONG status;
    while ((status = query(16 /* SystemHandleInformation */, buffer.data(), (ULONG)buffer.size(), &needed)) ==
           (LONG)0xC0000004 /* STATUS_INFO_LENGTH_MISMATCH */)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return 0;
    ULONG entries = *reinterpret_cast<ULONG *>(buffer.data());
    const Entry *entry = reinterpret_cast<const Entry *>(buffer.data() + sizeof(void *));
    DWORD pid = GetProcessId(hProcess);
    for (ULONG i = 0; i < entries; ++i)
        count += entry[i].ownerPid == pid;
    return count;
}

static double Percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, (size_t)(p * (values.size() - 1) + 0.5))];
}

static void Row(const char *what, double measured, double floor, const char *unit, const char *target, bool met)
{
    if (floor > 0)
        printf("| %-38s | %10.3f %-3s | %10.3f %-3s | %6.2f | %-28s | %-4s |\n", what, measured, unit, floor, unit,
               measured / floor, target, met ? "met" : "MISSED");
    else
        printf("| %-38s | %10.3f %-3s | %14s | %6s | %-28s | %-4s |\n", what, measured, unit, "-", "-", target,
               met ? "met" : "MISSED");
}

// Round trips of count pause commands: each from send to answer, in ms.
static std::vector<double> RoundTrips(PmSession &session, int count)
{
    std::vector<double> times;
    PmEvent event;
    for (int i = 0; i < count; ++i) {
        double sent = PmNow(session);
        PmSend(session, PM_PAUSE);
        if (!NextEvent(session, FRAME_RESPONSE, event))
            break;
        times.push_back(event.ms - sent);
    }
    return times;
}

static double StartUpMs(const std::string &exe, const std::string &arguments)
{
    std::vector<double> times;
    for (int i = 0; i < 15; ++i) {
        PmSession session;
        PmEvent event;
        if (Launch(session, exe, arguments) && NextEvent(session, FRAME_INIT_COMPLETE, event))
            times.push_back(event.ms);
        PmEnd(session);
    }
    return times.empty() ? -1 : Percentile(times, 0.5);
}

static unsigned long long FileTimeMs(const FILETIME &t)
{
    return (((unsigned long long)t.dwHighDateTime << 32) | t.dwLowDateTime) / 10000;
}

// Exit command to the daemon's closing message, and the application's own
// exit to the closing message, for one behaviour of the Java stand-in.
static bool StopTimes(const std::string &mode, double &toQuit, double &afterApp)
{
    std::string dir = WorkDir("stop-" + mode.substr(0, mode.find(':')));
    DeleteFileA((dir + "javaapp-record.txt").c_str());
    FILE *f = fopen((dir + "java_file.dat").c_str(), "w");
    fprintf(f, "%sjavaapp.exe\n", PmProgramDir().c_str());
    fclose(f);
    PmSession session;
    PmEvent event;
    bool ok = Launch(session, "imdaemon.exe", PmArgument(dir), {"JAVAAPP_SIM_MODE=" + mode}) &&
              NextEvent(session, FRAME_INIT_COMPLETE, event);
    HANDLE hApp = 0;
    for (int i = 0; ok && i < 200 && !hApp; ++i) {
        Sleep(25);
        FILE *r = fopen((dir + "javaapp-record.txt").c_str(), "r");
        char line[512];
        unsigned long pid = 0;
        bool ready = false;
        while (r && fgets(line, sizeof line, r)) {
            sscanf(line, "pid %lu", &pid);
            ready = ready || strncmp(line, "window ", 7) == 0;
        }
        if (r)
            fclose(r);
        if (ready && pid)
            hApp = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    }
    ok = ok && hApp;
    double sent = PmNow(session);
    ok = ok && PmSend(session, PM_EXIT) && NextEvent(session, FRAME_DONE, event);
    FILETIME wallNow;
    GetSystemTimeAsFileTime(&wallNow);
    toQuit = event.ms - sent;
    FILETIME created, exited, kernel, user;
    ok = ok && WaitForSingleObject(hApp, 5000) == WAIT_OBJECT_0 &&
         GetProcessTimes(hApp, &created, &exited, &kernel, &user);
    afterApp = ok ? (double)FileTimeMs(wallNow) - (double)FileTimeMs(exited) - (PmNow(session) - event.ms) : -1;
    if (hApp)
        CloseHandle(hApp);
    PmEnd(session);
    return ok;
}

int main()
{
    std::string dir = PmArgument(WorkDir("daemon"));
    printf("| %-38s | %14s | %14s | %6s | %-28s | %-4s |\n", "benchmark", "measured", "floor", "ratio", "target",
           "");
    printf("|%s|%s|%s|%s|%s|%s|\n", std::string(40, '-').c_str(), std::string(16, '-').c_str(),
           std::string(16, '-').c_str(), std::string(8, '-').c_str(), std::string(30, '-').c_str(),
           std::string(6, '-').c_str());

    // Round trip of a pause, the daemon against the floor.
    PmSession daemon, floor;
    PmEvent event;
    Launch(daemon, "imdaemon.exe", dir + " -p 1");
    NextEvent(daemon, FRAME_INIT_COMPLETE, event);
    Launch(floor, "floor_daemon.exe", "");
    NextEvent(floor, FRAME_INIT_COMPLETE, event);
    std::vector<double> d = RoundTrips(daemon, 2000), f = RoundTrips(floor, 2000);
    double dMedian = Percentile(d, 0.5), fMedian = Percentile(f, 0.5);
    Row("round trip, median (2000 pauses, -p 1)", dMedian, fMedian, "ms", "ratio <= 1.1",
        dMedian <= 1.1 * fMedian);
    Row("round trip, 99th percentile", Percentile(d, 0.99), Percentile(f, 0.99), "ms", "(reported)", true);

    // Idle CPU over 10 s.
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    GetProcessTimes(daemon.process.hProcess, &created, &exited, &kernel0, &user0);
    Sleep(10000);
    GetProcessTimes(daemon.process.hProcess, &created, &exited, &kernel1, &user1);
    double idle = (double)(FileTimeMs(kernel1) - FileTimeMs(kernel0) + FileTimeMs(user1) - FileTimeMs(user0));
    Row("idle CPU over 10 s", idle, 0, "ms", "0 ms", idle == 0);

    // Memory and handles after 100 and after 100,000 commands.
    auto Settle = [&](int noops) {
        std::string burst;
        for (int i = 0; i < noops; ++i)
            burst += PmCommandBytes(PM_NOOP);
        burst += PmCommandBytes(PM_PAUSE);
        send(daemon.connection, burst.data(), (int)burst.size(), 0);
        NextEvent(daemon, FRAME_RESPONSE, event, 120000);
        PROCESS_MEMORY_COUNTERS counters = {};
        GetProcessMemoryInfo(daemon.process.hProcess, &counters, sizeof counters);
        return std::make_pair((double)counters.PeakWorkingSetSize / 1024.0,
                              (double)HandleCount(daemon.process.hProcess));
    };
    auto after100 = Settle(99);
    auto after100k = Settle(99900);
    Row("peak working set after 100,000 commands", after100k.first, after100.first, "KiB", "equal to after 100",
        after100k.first <= after100.first);
    Row("handles after 100,000 commands", after100k.second, after100.second, "", "equal to after 100",
        after100.second > 0 && after100k.second <= after100.second);
    PmEnd(daemon);
    PmEnd(floor);

    // Start-up to initialisation complete.
    double startDaemon = StartUpMs("imdaemon.exe", dir), startFloor = StartUpMs("floor_daemon.exe", "");
    Row("start-up to initialisation complete", startDaemon, startFloor, "ms", "ratio <= 1.2",
        startDaemon <= 1.2 * startFloor);

    // Stop, for the four behaviours of the Java application.
    const char *modes[] = {"close", "linger:3000", "nowindow", "ignore"};
    for (const char *mode : modes) {
        double toQuit = 0, afterApp = 0;
        bool ok = StopTimes(mode, toQuit, afterApp);
        std::string what = std::string("stop, application ") + mode;
        if (std::string(mode) == "ignore")
            Row(what.c_str(), toQuit, 10000, "ms", "10 s + at most 0.3 s", ok && toQuit <= 10300);
        else
            Row((what + " (after its exit)").c_str(), afterApp, 0, "ms", "within 100 ms", ok && afterApp <= 100);
    }
    return 0;
}
