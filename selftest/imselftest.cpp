// imselftest: proves an unpacked release on the machine it will run on.
// It lays out a station with the release's binaries and its own stand-ins
// of the platform and the Java application, checks it with imcheck, runs
// the daemon under the process-manager stand-in through a pause, a resume
// and the exit command, and checks everything that happened. It prints a
// transcript and ends with "selftest passed" (exit status 0) or
// "selftest FAILED: <what is missing>" (exit status 1).
//   imselftest [--in <folder>] [--keep] [<release folder>]
// A command line it cannot take ends it with "selftest not run: <why>" (exit
// status 2) before it looks at anything.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ansi_text.h"
#include "bill.h"
#include "binaries.h"
#include "install_path.h"
#include "outcome.h"
#include "pm.h"
#include "programs.h"
#include "station.h"
#include "transcript.h"

static const char szUsage[] =
    "usage: imselftest [--in <folder>] [--keep] [<release folder>]\n"
    "  <release folder>  the unpacked release ZIP (default: the folder of imselftest.exe)\n"
    "  --in <folder>     lay the station out in a new folder there (default: the temporary folder)\n"
    "  --keep            keep the station afterwards, to look at\n";

// The commands the process manager sends once the application's window is
// open, with the time each answer may take.
static const char szCommands[] = "pause\nwait:400\nresume\nwait:300\nexit\n";
enum {
    WINDOW_WAIT_MS = 60000,
    WINDOW_LOOK_MS = 250,     // the record is read again at least this often
    MANAGER_LIMIT_MS = 90000, // the process manager's own limit on a connected daemon
    MANAGER_WAIT_MS = 100000, // after the commands, everything it started is ended after this
    IMCHECK_WAIT_MS = 60000,
    OUTPUT_WAIT_MS = 10000
};

// Set when the administrator presses Ctrl+C or Ctrl+Break: the programs on
// the console end, and the self-test ends what is left, removes its station
// and fails.
static volatile LONG nInterrupted = 0;

static BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    InterlockedExchange(&nInterrupted, 1);
    return TRUE;
}

static int Finish(const std::vector<std::string> &missing)
{
    if (missing.empty()) {
        printf("selftest passed\n");
        return 0;
    }
    std::string what;
    for (const std::string &item : missing)
        what += (what.empty() ? "" : "; ") + item;
    printf("selftest FAILED: %s\n", what.c_str());
    return 1;
}

// A command line it cannot take, or a station it cannot lay out or run:
// no verdict on the release.
static int NotRun(const std::string &why, bool usage = true)
{
    if (usage)
        printf("%s", szUsage);
    printf("selftest not run: %s\n", why.c_str());
    return 2;
}

// The arguments of the command line, split as the C runtime splits them but
// for one trap: "C:\My Release\" typed in cmd.exe ends in \", which the
// runtime reads as a quote inside the argument, so the folder and every
// argument after it would arrive as one. A quote cannot stand in a path: a
// backslash before a quote that ends the argument (a space or the end
// follows) is the folder's own, and the quote closes.
static std::vector<std::wstring> Arguments(const wchar_t *line)
{
    std::vector<std::wstring> args;
    const wchar_t *p = line;
    // The program's name: up to the next quote when quoted, else a space.
    if (*p == L'"') {
        const wchar_t *end = wcschr(p + 1, L'"');
        p = end ? end + 1 : p + wcslen(p);
    } else
        p += wcscspn(p, L" \t");
    for (;;) {
        p += wcsspn(p, L" \t");
        if (!*p)
            return args;
        std::wstring arg;
        bool quoted = false;
        for (; *p && (quoted || (*p != L' ' && *p != L'\t')); ++p) {
            size_t slashes = wcsspn(p, L"\\");
            if (slashes && p[slashes] != L'"') {
                arg.append(slashes, L'\\');
                p += slashes - 1;
            } else if (slashes) {
                bool ends = !p[slashes + 1] || p[slashes + 1] == L' ' || p[slashes + 1] == L'\t';
                if (slashes % 2 == 1 && quoted && ends) {
                    arg.append(slashes, L'\\');
                    quoted = false;
                } else {
                    arg.append(slashes / 2, L'\\');
                    if (slashes % 2)
                        arg += L'"';
                    else
                        quoted = !quoted;
                }
                p += slashes;
            } else if (*p == L'"')
                quoted = !quoted;
            else
                arg += *p;
        }
        args.push_back(arg);
    }
}

// A folder given on the command line, made absolute, with a trailing
// backslash; a \\?\ path as the plain path it stands for, when that is the
// same folder. Empty, with why, when it cannot be had.
static std::wstring FullFolder(const std::wstring &path, std::string &why)
{
    std::wstring plain = path;
    if (plain.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        plain = L"\\\\" + plain.substr(8);
    else if (plain.compare(0, 4, L"\\\\?\\") == 0)
        plain = plain.substr(4);
    wchar_t szFull[MAX_PATH];
    DWORD n = GetFullPathNameW(plain.c_str(), MAX_PATH, szFull, 0);
    if (n == 0 || n >= MAX_PATH) {
        why = "the folder " + Spelled(path) + " is too long: its full path must be under " +
              std::to_string(MAX_PATH) + " characters";
        return L"";
    }
    // Plain paths drop trailing spaces and dots that a \\?\ path keeps.
    if (plain != path && WithSeparator(szFull) != WithSeparator(plain)) {
        why = "the folder " + Spelled(path) + " has no plain path the daemon could use (it stands for " +
              Spelled(szFull) + "): give a folder whose names end in no space or dot";
        return L"";
    }
    return WithSeparator(szFull);
}

// Why the station cannot be laid out in base, or empty.
static std::string StationBaseProblem(const std::string &base)
{
    // The daemon is given its install directory with every space written
    // %20 and decodes every %20: in a path already holding one it would
    // look for another folder.
    if (base.find("%20") != std::string::npos)
        return "the station cannot be laid out in " + base +
               ": its path holds %20, which the daemon would read as a space; choose a folder without it";
    if (base.find(';') != std::string::npos)
        return "the station cannot be laid out in " + base + ": a folder on the path cannot hold a semicolon";
    DWORD attributes = GetFileAttributesA(base.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return "there is no folder " + base + " to lay the station out in";
    size_t install = base.size() + StationInstallLength(), longest = base.size() + StationLongestPathLength();
    if (install > MAX_INSTALL_DIR || longest >= MAX_PATH)
        return "the folder " + base +
               " is too long for a station: below it the install directory would be up to " +
               std::to_string(install) + " characters long (the daemon takes " + std::to_string(MAX_INSTALL_DIR) +
               ") and its longest file's path " + std::to_string(longest) + " (Windows takes " +
               std::to_string(MAX_PATH - 1) + "); choose a folder with a shorter path";
    return "";
}

// Every byte compared where a bill of materials lies beside the files: the
// release's, when there is one (without it the structure is all there is to
// go by), and the self-test's own, which its stand-ins must match, so that
// no foreign ov.dll or ovw.dll receives the application's node flags.
static std::vector<std::string> CompareWithBills(const std::wstring &release, const std::wstring &own)
{
    static const char szReleaseBill[] = "imdaemon.cdx.json", szOwnBill[] = "imdaemon-selftest.cdx.json";
    std::vector<std::string> problems, required, absent;
    if (GetFileAttributesW((release + FromAnsi(szReleaseBill)).c_str()) == INVALID_FILE_ATTRIBUTES)
        Say(std::string("no ") + szReleaseBill +
            " beside the release's files: they are checked by their "
            "structure only");
    else {
        for (const Binary &binary : releaseBinaries)
            required.push_back(binary.name);
        problems = CompareWithBill(release, szReleaseBill, required, "the release folder", absent);
    }
    if (GetFileAttributesW((own + FromAnsi(szOwnBill)).c_str()) == INVALID_FILE_ATTRIBUTES) {
        problems.push_back(std::string(szOwnBill) + " is missing from the self-test's folder " + Spelled(own) +
                           ": its stand-ins cannot be proven its own; unpack the self-test ZIP again");
        return problems;
    }
    required = {"imselftest.exe"};
    for (const Binary &binary : standInBinaries)
        required.push_back(std::string("stand-ins/") + binary.name);
    for (const std::string &problem : CompareWithBill(own, szOwnBill, required, "the self-test's folder", absent))
        problems.push_back(problem);
    if (problems.empty()) {
        std::string notThere;
        for (const std::string &name : absent)
            notThere += (notThere.empty() ? "" : ", ") + name;
        Say("every file the bills of materials list matches them byte for byte" +
            (notThere.empty() ? std::string() : ", but for these, which are not there: " + notThere));
    }
    return problems;
}

// Every file below folder, with its path from there.
static std::string Listing(const std::string &folder, const std::string &shown = "")
{
    std::string list;
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA((folder + "*").c_str(), &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return list;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            list += Listing(folder + name + "\\", shown + name + "\\");
        else
            list += shown + name + "\n";
    } while (FindNextFileA(hFind, &found));
    FindClose(hFind);
    return list;
}

// Waits until the application's record says whether its window opened, the
// process manager ends, or the time is up; true when the window is open.
// A change in the install directory wakes the wait; since Windows may tell
// of a file's new size only once its cache is written, the record is read
// again every WINDOW_LOOK_MS all the same.
static bool WaitForWindow(const Station &station, HANDLE hManager)
{
    std::string recordPath = station.install + "javaapp-record.txt";
    HANDLE hChange = FindFirstChangeNotificationA(station.install.c_str(), FALSE,
                                                  FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                                      FILE_NOTIFY_CHANGE_LAST_WRITE);
    DWORD dwStart = GetTickCount();
    std::string window;
    for (;;) {
        // Its whole lines only: the stand-in may be writing the next.
        std::string record = ReadWholeFile(recordPath);
        window = ValueOf(record.substr(0, record.rfind('\n') + 1), "window");
        DWORD dwElapsed = GetTickCount() - dwStart;
        if (!window.empty() || dwElapsed >= WINDOW_WAIT_MS || nInterrupted)
            break;
        HANDLE waits[2] = {hManager, hChange};
        DWORD dwLook = std::min<DWORD>(WINDOW_LOOK_MS, WINDOW_WAIT_MS - dwElapsed);
        DWORD got = WaitForMultipleObjects(hChange == INVALID_HANDLE_VALUE ? 1 : 2, waits, FALSE, dwLook);
        if (got == WAIT_OBJECT_0)
            break;
        if (got == WAIT_OBJECT_0 + 1)
            FindNextChangeNotification(hChange);
    }
    if (hChange != INVALID_HANDLE_VALUE)
        FindCloseChangeNotification(hChange);
    return window == "open";
}

// ov.dll and ovw.dll in a folder Windows searches before the path: the
// programs would load them instead of the stand-ins, and the application's
// sets would go to the object database they open. Empty when there is none.
static std::string PlatformDllsFirstOnSearch()
{
    char szSystem[MAX_PATH], szWindows[MAX_PATH];
    UINT nSystem = GetSystemDirectoryA(szSystem, sizeof szSystem);
    UINT nWindows = GetWindowsDirectoryA(szWindows, sizeof szWindows);
    std::vector<std::string> folders;
    if (nSystem > 0 && nSystem < sizeof szSystem)
        folders.push_back(szSystem);
    if (nWindows > 0 && nWindows < sizeof szWindows) {
        folders.push_back(std::string(szWindows) + "\\System");
        folders.push_back(szWindows);
    }
    for (const std::string &folder : folders)
        for (const char *dll : {"ov.dll", "ovw.dll"})
            if (GetFileAttributesA((folder + "\\" + dll).c_str()) != INVALID_FILE_ATTRIBUTES)
                return folder + "\\" + dll;
    return "";
}

int main()
{
    // No dialog for a program that crashes or misses a DLL: its children
    // inherit the mode, and a crash ends the program with its code.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    std::wstring wideBase, release;
    std::string base, why;
    bool keep = false, in = false, shortNames = true;
    std::vector<std::wstring> args = Arguments(GetCommandLineW());
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring &arg = args[i];
        if (arg == L"/?" || arg == L"-?" || arg == L"-h" || arg == L"--help") {
            printf("%s", szUsage);
            return 0;
        }
        if (arg == L"--keep")
            keep = true;
        else if (arg == L"--no-short-names") // as on a volume whose short names are off
            shortNames = false;
        else if (arg == L"--in") {
            if (in)
                return NotRun("--in is given twice: give one folder to lay the station out in");
            if (i + 1 == args.size() || args[i + 1].empty())
                return NotRun("--in needs a folder");
            in = true;
            wideBase = FullFolder(args[++i], why);
            if (wideBase.empty())
                return NotRun(why);
        } else if (arg.empty() || arg[0] == L'-' || (arg[0] == L'/' && arg.size() == 2))
            return NotRun("not understood: \"" + Spelled(arg) + "\"");
        else if (!release.empty())
            return NotRun("two release folders given: \"" + Spelled(arg) + "\" after " + Spelled(release));
        else {
            release = FullFolder(arg, why);
            if (release.empty())
                return NotRun(why);
        }
    }
    // Where the station goes is settled before anything is looked at: a
    // folder it cannot be laid out in is no verdict on the release. The
    // daemon, an ANSI program, must reach it: a folder outside the ANSI code
    // page goes by its short name.
    if (wideBase.empty() && !DefaultStationBase(wideBase, why))
        return NotRun(why);
    if (!AnsiFolder(wideBase, shortNames, base, why) || !(why = StationBaseProblem(base)).empty())
        return NotRun(why);
    wchar_t szOwn[MAX_PATH];
    DWORD nOwn = GetModuleFileNameW(0, szOwn, MAX_PATH);
    std::wstring own = nOwn > 0 && nOwn < MAX_PATH ? szOwn : L"";
    own = own.substr(0, own.find_last_of(L'\\') + 1);
    if (release.empty())
        release = own;
    std::wstring standIns = own + L"stand-ins\\";
    Say("imselftest " IMDAEMON_VERSION ", " + OwnMachineName() + ", of the release in " + Spelled(release));
    if (base != Spelled(wideBase))
        Say("the station's folder " + Spelled(wideBase) + " is reached by its short name " + base);

    std::vector<std::string> problems = CheckBinaries(release, releaseBinaries, "the release folder");
    for (const std::string &problem : CheckBinaries(standIns, standInBinaries, "the self-test's folder"))
        problems.push_back(problem);
    if (problems.empty())
        problems = CompareWithBills(release, own);
    if (!problems.empty()) {
        for (const std::string &problem : problems)
            Say(problem);
        return Finish(problems);
    }
    Say("imdaemon.exe, nodeflags.dll and imcheck.exe are whole " + OwnMachineName() + " binaries");
    std::string platformDll = PlatformDllsFirstOnSearch();
    if (!platformDll.empty()) {
        std::string why = platformDll + " would be loaded in place of the stand-in: run the self-test on a "
                                        "machine whose system folders hold no platform DLL";
        Say(why);
        return Finish({why});
    }
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);

    std::string error;
    Station station;
    for (const std::string &line : RemoveStaleStations(base))
        Say(line);
    if (!LayOutStation(base, release, standIns, station, error) || !OpenOwnDesktop(error)) {
        Say(error);
        std::string left;
        if (keep)
            KeepStation(station);
        else if (!RemoveStation(station, left))
            Say(left);
        return NotRun(error, false);
    }
    Say("== station: " + station.root);
    Show(Listing(station.root));
    // The platform's DLLs on the path of what the self-test starts, and none
    // of the stand-ins' own settings: they run as on a station.
    char szPath[32767];
    DWORD n = GetEnvironmentVariableA("PATH", szPath, sizeof szPath);
    std::string path = station.platform + (n > 0 && n < sizeof szPath ? ";" + std::string(szPath) : "");
    SetEnvironmentVariableA("PATH", path.c_str());
    for (const char *setting : {"JAVAAPP_SIM_MODE", "OVW_SIM_DB", "OVW_SIM_PERSIST", "OV_SIM_FAIL",
                                "OVSPMD_SIM_PORT", "OVSPMD_SIM_TOKEN"})
        SetEnvironmentVariableA(setting, 0);
    std::string encoded = EncodedInstallDir(station);

    Run run;
    Say("== imcheck on the install directory, before anything starts");
    Program imcheck;
    if (StartProgram(PmArgument(station.install + "imcheck.exe") + " " + PmArgument(encoded), station.root,
                     PROGRAM_IN_JOB, imcheck, error)) {
        run.imcheckStarted = true;
        run.imcheckRan = WaitProgram(imcheck, IMCHECK_WAIT_MS, run.imcheckStatus);
        if (!run.imcheckRan)
            TerminateProcess(imcheck.process.hProcess, 1);
        else if (std::string crash = CrashOf(run.imcheckStatus); !crash.empty()) {
            run.crashes.push_back("imcheck.exe crashed: " + crash);
            Say(run.crashes.back());
        }
        if (!FinishProgram(imcheck, OUTPUT_WAIT_MS))
            Say("imcheck's output could not be read to its end");
        run.imcheckReport = imcheck.output;
        Say(run.imcheckRan ? "imcheck exit status " + std::to_string(run.imcheckStatus)
                           : "imcheck hung: it did not end within " + std::to_string(IMCHECK_WAIT_MS / 1000) +
                                 " s, and was ended");
    } else
        Say(error);

    Say("== object database before");
    Show(ListDatabase(station.install + "ovw-db.txt"));

    Say("== process manager and daemon: pause, resume and exit once the application's window is open");
    Program manager;
    std::string command =
        PmArgument(station.platform + "ovspmd-sim.exe") + " -t " + std::to_string(MANAGER_LIMIT_MS) + " -- " +
        PmArgument(station.install + "imdaemon.exe") + " " + PmArgument(encoded) + " -p 250 -r 100";
    if (nInterrupted)
        Say("interrupted: the daemon is not started");
    else if (StartProgram(command, station.root, PROGRAM_INPUT | PROGRAM_IN_JOB, manager, error)) {
        // The commands go once the application's window is open (its bridge
        // calls come before it), so that the exit command finds a window to
        // close however slowly it starts; without one they go all the same,
        // and the checks say what is missing.
        if (!WaitForWindow(station, manager.process.hProcess))
            Say("the application opened no window");
        SendInput(manager, szCommands);
        DWORD status = 0;
        bool ended = WaitProgram(manager, MANAGER_WAIT_MS, status);
        if (!ended) {
            Say("the process manager did not end; ending it");
            TerminateProcess(manager.process.hProcess, 255);
        }
        // Whatever still runs in the job is ended, so that nothing is left
        // behind (under Wine, the process that serves the desktop is one).
        std::string left = EndJob(manager);
        if (!left.empty())
            Say("ended, still running in the process manager's job: " + left);
        if (!FinishProgram(manager, OUTPUT_WAIT_MS))
            Say("the process manager's output could not be read to its end");
        run.managerOutput = manager.output;
        run.daemonEnded = ended && status != 255 && manager.output.find("] exit status ") != std::string::npos;
        run.daemonStatus = status;
        // The manager ends with the daemon's status once it saw the daemon
        // end; without that line the status is the manager's own.
        if (std::string crash = CrashOf(status); ended && !crash.empty()) {
            run.crashes.push_back(
                (run.daemonEnded ? "imdaemon.exe crashed: " : "the process manager stand-in crashed: ") + crash);
            Say(run.crashes.back());
        }
    } else
        Say(error);

    Say("== what the Java application recorded");
    Show(ReadWholeFile(station.install + "javaapp-record.txt"));
    Say("== what nodeflags printed on the application's standard output");
    Show(ReadWholeFile(station.install + "javaapp-stdout.txt"));
    Say("== object database after");
    Show(ListDatabase(station.install + "ovw-db.txt"));

    Say("== checks");
    std::vector<std::string> missing = CheckOutcome(station, run);
    if (nInterrupted)
        missing.insert(missing.begin(), "interrupted");
    // Housekeeping apart from the verdict: a station left behind is said on
    // a line of its own, and a later run removes it.
    if (keep) {
        KeepStation(station);
        Say("station kept: " + station.root);
    } else if (RemoveStation(station, error))
        Say("station removed");
    else
        Say("the station could not be removed (" + error + "): remove " + station.root +
            " once nothing holds its files; the next run of the self-test removes it too");
    return Finish(missing);
}
