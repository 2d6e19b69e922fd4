#include "outcome.h"

#include "programs.h"

#include <windows.h>

#include <cstdio>
#include <sstream>

#include "ansi_text.h"
#include "ovw_store.h"
#include "transcript.h"

std::string ReadWholeFile(const std::string &path)
{
    return ReadWholeFile(FromAnsi(path));
}

std::string ReadWholeFile(const std::wstring &path)
{
    std::string text;
    if (FILE *f = _wfopen(path.c_str(), L"rb")) {
        char chunk[65536];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, f)) > 0)
            text.append(chunk, got);
        fclose(f);
    }
    return text;
}

std::string ListDatabase(const std::string &path)
{
    OvwStore store;
    return OvwLoad(path, store) ? OvwList(store) : "cannot read " + path + "\n";
}

// Each line of text, its line end removed.
static std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

static bool HasLine(const std::string &text, const std::string &wanted)
{
    for (const std::string &line : Lines(text))
        if (line == wanted)
            return true;
    return false;
}

std::string ValueOf(const std::string &text, const std::string &key)
{
    for (const std::string &line : Lines(text))
        if (line.compare(0, key.size() + 1, key + " ") == 0)
            return line.substr(key.size() + 1);
    return "";
}

// An event of the process manager's transcript: "[<time> ms] <event>".
static bool HasEvent(const std::string &transcript, const std::string &event)
{
    for (const std::string &line : Lines(transcript)) {
        size_t at = line.find("] ");
        if (line.compare(0, 1, "[") == 0 && at != std::string::npos && line.substr(at + 2) == event)
            return true;
    }
    return false;
}

// The command line imcheck says the daemon would pass: the line after the
// one that starts "command line, ".
static std::string CheckedCommandLine(const std::string &report)
{
    std::vector<std::string> lines = Lines(report);
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        if (lines[i].compare(0, 14, "command line, ") == 0)
            return lines[i + 1];
    return "";
}

// "true", "false" or "unset" for host's boolean field; "absent" when the
// database or the host is not there.
static std::string FlagOf(const OvwStore &store, const std::string &host)
{
    for (const auto &object : store.objects)
        if (object.second == host)
            for (const auto &field : store.fields)
                if (field.second.name == szFlagField) {
                    auto value = store.values.find(std::make_pair(object.first, field.first));
                    return value == store.values.end() ? "unset" : value->second ? "true" : "false";
                }
    return "absent";
}

std::vector<std::string> CheckOutcome(const Station &station, const Run &run)
{
    std::vector<std::string> missing;
    auto check = [&missing](const std::string &what, bool ok, const std::string &seen = "") {
        Show((ok ? "ok       " : "MISSING  ") + what + (ok || seen.empty() ? "" : " (" + seen + ")"));
        if (!ok)
            missing.push_back(what);
    };
    std::string record = ReadWholeFile(station.install + "javaapp-record.txt");
    std::string bridgeOutput = ReadWholeFile(station.install + "javaapp-stdout.txt");
    OvwStore store;
    bool loaded = OvwLoad(station.install + "ovw-db.txt", store);

    bool findings = false;
    for (const std::string &line : Lines(run.imcheckReport))
        findings = findings || line.compare(0, 7, "error: ") == 0 || line.compare(0, 9, "warning: ") == 0;
    check("imcheck found nothing", run.imcheckRan && run.imcheckStatus == 0 && !findings,
          run.imcheckRan       ? "exit status " + std::to_string(run.imcheckStatus)
          : run.imcheckStarted ? "it hung"
                               : "it could not be started");
    std::string checked = CheckedCommandLine(run.imcheckReport);
    check("imcheck named the command line the application was started with",
          !checked.empty() && checked == ValueOf(record, "cmdline"));

    check("initialisation reported", HasEvent(run.managerOutput, "init 1 \"Initialization complete.\""));
    check("pause answered", HasEvent(run.managerOutput, "answer 17 \"Pause request succeeded.\""));
    check("resume answered", HasEvent(run.managerOutput, "answer 18 \"Resume request succeeded.\""));
    check("closing message", HasEvent(run.managerOutput, "done \"Quitting, as requested.\""));
    check("daemon exit status 4", run.daemonEnded && run.daemonStatus == 4,
          !run.daemonEnded                    ? "it did not end in time"
          : CrashOf(run.daemonStatus).empty() ? "exit status " + std::to_string(run.daemonStatus)
                                              : "it crashed");

    std::string install = station.install.substr(0, station.install.size() - 1);
    check("application started in the install directory", HasLine(record, "cwd " + install),
          "in " + ValueOf(record, "cwd"));
    check("database opened through nodeflags.dll", HasLine(record, "bridge InitializeDB 1"));
    // The stand-in's ovw.dll, from the station's platform folder, and no
    // other the loader may find first.
    std::string ovw = ValueOf(record, "ovw.dll");
    check("nodeflags.dll reached the station's ovw.dll",
          lstrcmpiA(ovw.c_str(), (station.platform + "ovw.dll").c_str()) == 0, "it reached " + ovw);
    std::string expectedOutput;
    for (const FlagCall &call : flagCalls) {
        std::string value = call.value ? "true" : "false";
        std::string line =
            "bridge UpdateMenu " + std::string(call.host) + " " + value + (call.known ? " 1" : " 0");
        check(call.known ? call.host + std::string(" set ") + value : call.host + std::string(" refused, unknown"),
              HasLine(record, line));
        // The bridge names each host it is given, and why it failed.
        expectedOutput += call.host;
        if (!call.known)
            expectedOutput += "1 No object for this host name\r\nOVwDbHostnameToObjectId failed";
    }
    check("database closed", HasLine(record, "bridge UninitializeDB 1"));
    check("application closed by its window", !ValueOf(record, "close").empty() && HasLine(record, "exit 0"));
    check("the bridge's exact output", bridgeOutput == expectedOutput, "it wrote \"" + bridgeOutput + "\"");

    int sets = 0;
    for (const FlagCall &call : flagCalls)
        if (call.known) {
            std::string value = FlagOf(store, call.host);
            check(call.host + std::string(" is ") + (call.value ? "true" : "false") + " in the database",
                  loaded && value == (call.value ? "true" : "false"), value);
            ++sets;
        }
    check(szUntouchedHost + std::string(" untouched in the database"),
          loaded && FlagOf(store, szUntouchedHost) == "true", FlagOf(store, szUntouchedHost));
    check(std::to_string(sets) + " sets landed", loaded && store.sets == (unsigned long long)sets,
          std::to_string(store.sets));
    missing.insert(missing.begin(), run.crashes.begin(), run.crashes.end());
    return missing;
}
