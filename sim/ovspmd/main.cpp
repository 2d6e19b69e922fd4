// ovspmd-sim: a process manager for trying the daemon by hand and in the
// demo. Starts the daemon, sends the commands given on its command line (or
// read from standard input), prints every event with its time, and exits
// with the daemon's exit status.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ov_protocol.h"
#include "pm.h"

static PmSession session;
static std::mutex printLock;
static HANDLE hInitialized; // set once the daemon reported, or went away
static HANDLE hClosed;      // set once the daemon's connection closed

static void Print(const std::string &line)
{
    std::lock_guard<std::mutex> hold(printLock);
    printf("[%10.1f ms] %s\n", PmNow(session), line.c_str());
    fflush(stdout);
}

static void Usage()
{
    fprintf(stderr, "usage: ovspmd-sim [-t ms] [command ...] -- daemon.exe [argument ...]\n"
                    "  command: noop | exit | pause | resume | <code> | wait:<ms>\n"
                    "  without commands they are read from standard input.\n"
                    "  -t ms: end the daemon and exit 255 when it has not ended after ms.\n");
    exit(2);
}

static void ReadEvents()
{
    PmEvent event;
    for (;;) {
        int got = PmNextEvent(session, event, INFINITE);
        if (got < 0)
            break;
        if (got == 0)
            continue;
        if (event.kind == FRAME_INIT_COMPLETE)
            Print("init " + std::to_string(event.code) + " " + PmQuote(event.text));
        else if (event.kind == FRAME_RESPONSE)
            Print("answer " + std::to_string(event.code) + " " + PmQuote(event.text));
        else if (event.kind == FRAME_DONE)
            Print("done " + PmQuote(event.text));
        if (event.kind == FRAME_INIT_COMPLETE)
            SetEvent(hInitialized);
    }
    Print("connection closed");
    SetEvent(hClosed);
    SetEvent(hInitialized);
}

// Runs one command word; false when the word is not a command.
static bool RunCommand(const std::string &word)
{
    static const struct {
        const char *name;
        int code;
    } names[] = {{"noop", PM_NOOP}, {"exit", PM_EXIT}, {"pause", PM_PAUSE}, {"resume", PM_RESUME}};
    if (word.compare(0, 5, "wait:") == 0) {
        char *end = 0;
        long ms = strtol(word.c_str() + 5, &end, 10);
        if (*end || ms < 0)
            return false;
        WaitForSingleObject(hClosed, (DWORD)ms); // no point waiting on a daemon that is gone
        return true;
    }
    int code = 0;
    std::string name;
    for (const auto &known : names)
        if (word == known.name) {
            code = known.code;
            name = known.name;
        }
    if (name.empty()) {
        char *end = 0;
        code = (int)strtol(word.c_str(), &end, 10);
        if (word.empty() || *end)
            return false;
        name = "code";
    }
    Print("send " + std::to_string(code) + " " + name);
    if (!PmSend(session, code))
        Print("send failed");
    return true;
}

int main(int argc, char *argv[])
{
    DWORD timeoutMs = INFINITE;
    std::vector<std::string> commands;
    int i = 1;
    for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
        if (strcmp(argv[i], "-t") == 0 && i + 1 < argc)
            timeoutMs = (DWORD)strtoul(argv[++i], 0, 10);
        else
            commands.push_back(argv[i]);
    }
    if (i + 1 >= argc)
        Usage();
    std::string commandLine;
    for (++i; i < argc; ++i)
        commandLine += (commandLine.empty() ? "" : " ") + PmArgument(argv[i]);

    PmOptions options;
    options.killTreeOnEnd = false; // the daemon's own exits leave the Java application running
    std::string error;
    if (!PmStart(session, commandLine, options, error)) {
        fprintf(stderr, "ovspmd-sim: %s\n", error.c_str());
        return 2;
    }
    Print("started " + commandLine + " (pid " + std::to_string(session.process.dwProcessId) + ")");
    hInitialized = CreateEventA(0, TRUE, FALSE, 0);
    hClosed = CreateEventA(0, TRUE, FALSE, 0);
    std::thread reader;
    if (PmAccept(session, timeoutMs == INFINITE ? 30000 : timeoutMs)) {
        Print("connected");
        reader = std::thread(ReadEvents);
        WaitForSingleObject(hInitialized, INFINITE);
        bool fromInput = commands.empty();
        std::string word;
        for (size_t next = 0; WaitForSingleObject(hClosed, 0) != WAIT_OBJECT_0;) {
            if (fromInput) {
                if (!(std::cin >> word))
                    break;
            } else if (next < commands.size())
                word = commands[next++];
            else
                break;
            if (!RunCommand(word))
                Print("not a command: " + word);
        }
    } else
        Print("no connection from the daemon");

    DWORD status = 0;
    if (!PmWaitExit(session, timeoutMs, status)) {
        Print("daemon did not end in time; ending it");
        PmEnd(session);
        if (reader.joinable())
            reader.join();
        return 255;
    }
    if (reader.joinable())
        reader.join();
    char statusText[64];
    snprintf(statusText, sizeof statusText, "exit status %d (0x%08lx)", (int)status, (unsigned long)status);
    Print(statusText);
    PmEnd(session);
    return (int)status;
}
