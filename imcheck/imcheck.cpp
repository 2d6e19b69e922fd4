// imcheck: a preflight check of an install directory. Given the daemon's
// first argument as the process manager passes it (anything after it is
// ignored, so the daemon's whole command line can be pasted), it prints what
// the daemon would read and run, then one line per finding that would keep
// the Java application from starting or working, or the daemon from
// stopping it cleanly, or that lets others choose what runs.
// It gathers first (facts.cpp: what the daemon reads; objects.cpp: every
// file, folder and link that decides what runs), then judges each object
// once (judge.cpp) and reports (findings.cpp, report.cpp).
// It starts nothing, writes nothing, connects to nothing, and needs neither
// ov.dll nor ovw.dll. Exit status: 0 nothing found, 1 at least one error,
// 2 warnings only.
#include <windows.h>

#include <string>

#include "facts.h"
#include "findings.h"
#include "install_path.h"
#include "judge.h"
#include "objects.h"
#include "report.h"

static const wchar_t szUsage[] =
    L"usage: imcheck <install directory as the process manager passes it> [anything else]";

// Where each process would load the platform's library from, for the
// report's head.
// Who imcheck judges as: the account running it is trusted, so a check run
// by another account than an administrator's names fewer accounts.
static void SayAccount()
{
    HANDLE hToken = 0;
    TOKEN_ELEVATION elevation = {0};
    DWORD size = 0;
    bool elevated = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken) &&
                    GetTokenInformation(hToken, TokenElevation, &elevation, sizeof elevation, &size) &&
                    elevation.TokenIsElevated;
    if (hToken)
        CloseHandle(hToken);
    if (!elevated)
        Say(L"  (imcheck runs without an administrator's rights: the account running it counts as trusted, and "
            L"what it may not read is reported as unreadable; run it as an administrator)");
}

static void SayLibraries(const Model &m)
{
    for (const LibraryFound &found : m.libraries) {
        std::wstring where = L"(none found)";
        if (found.winner != (size_t)-1)
            where =
                found.places[found.winner].folder + found.name + L" (" + found.places[found.winner].how +
                (found.ownPath ? L" of imcheck's own; the system's PATH, which a service has, does not lead to it"
                               : L"") +
                L")";
        Say(found.name + L" for " + found.process + L": " + where);
        if (found.currentUnknown)
            Say(L"  (" + found.process +
                L"'s current folder, which Windows searches before PATH, is the process "
                L"manager's, which imcheck cannot know)");
    }
    if (!m.systemPathRead)
        Say(L"  (the system's PATH could not be read from the registry)");
}

int main(int argc, char *argv[])
{
    if (argc < 2) {
        Say(szUsage);
        Error(L"no install directory given: the daemon exits at once with status -99; pass the install "
              L"directory, spaces written as %20, ending with a backslash");
        return Summary();
    }
    std::string sGiven = SetInstallDirFromArgument(argv[1]);
    if (sGiven.empty()) {
        Say(szUsage);
        Error(L"the install directory argument is empty: the daemon exits at once with status -99; pass the "
              L"install directory, spaces written as %20, ending with a backslash");
        return Summary();
    }
    Facts facts;
    GatherFacts(sGiven, facts);
    Model model;
    GatherModel(facts, model);

    Say(L"install directory:  " + facts.wideGiven);
    Say(L"java_file.dat read: " + facts.javaFile);
    Say(L"launcher:           " + (facts.launcher.empty() ? std::wstring(L"(none)") : facts.wideLauncher));
    SayLibraries(model);
    SayAccount();
    Say(L"command line, " + Number(facts.commandLineCharacters) +
        L" characters, as the daemon passes it to the "
        L"launcher:");
    Say(Shown(facts.commandLine));

    CheckInstallDir(facts);
    CheckJavaFile(facts);
    CheckLauncher(facts, model);
    CheckBridge(facts);
    CheckDaemon(facts);
    CheckLibraries(model);
    CheckEntryNames(facts);
    ReportTrust(model, JudgeModel(model));
    CheckCommandLine(facts);
    CheckListenerWindows();
    return Summary();
}
