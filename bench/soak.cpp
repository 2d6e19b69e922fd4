// Soak: 100,000 mixed no-op, pause and resume commands in random bursts with
// random gaps; every answer must be the right one, in order, and the daemon
// must still quit with status 4. Run under Wine by scripts/soak.
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "ov_protocol.h"
#include "pm.h"

int main(int argc, char *argv[])
{
    int total = argc > 1 ? atoi(argv[1]) : 100000;
    std::string bin = PmProgramDir();
    std::string dir = bin + "soak\\";
    CreateDirectoryA(dir.c_str(), 0);

    PmSession session;
    PmOptions options;
    std::string error;
    PmEvent event;
    if (!PmStart(session, "\"" + bin + "imdaemon.exe\" " + PmArgument(dir) + " -p 1 -r -1", options, error) ||
        !PmAccept(session, 30000) || PmNextEvent(session, event, 30000) != 1 ||
        event.kind != FRAME_INIT_COMPLETE) {
        printf("soak: the daemon did not start: %s\n", error.c_str());
        return 1;
    }
    srand(20261208);
    int sent = 0, answered = 0;
    std::deque<int> expected;
    while (sent < total) {
        int burst = 1 + rand() % 20;
        std::string bytes;
        for (int i = 0; i < burst && sent < total; ++i, ++sent) {
            int command = (rand() % 3 == 0) ? PM_NOOP : (rand() % 2 ? PM_PAUSE : PM_RESUME);
            bytes += PmCommandBytes(command);
            if (command != PM_NOOP)
                expected.push_back(command == PM_PAUSE ? PM_PAUSE_OK : PM_RESUME_FAILED);
        }
        send(session.connection, bytes.data(), (int)bytes.size(), 0);
        if (rand() % 4 == 0)
            Sleep(rand() % 4);
        while (!expected.empty()) {
            if (PmNextEvent(session, event, 10000) != 1 || event.kind != FRAME_RESPONSE ||
                event.code != expected.front() ||
                event.text != (event.code == PM_PAUSE_OK ? PM_PAUSE_OK_TEXT : PM_RESUME_FAILED_TEXT)) {
                printf("soak: wrong or missing answer after %d commands (%d answered)\n", sent, answered);
                PmEnd(session);
                return 1;
            }
            expected.pop_front();
            ++answered;
        }
    }
    double ms = PmNow(session);
    PmSend(session, PM_EXIT);
    DWORD status = 0;
    bool done = PmNextEvent(session, event, 10000) == 1 && event.kind == FRAME_DONE &&
                event.text == PM_EXIT_TEXT && PmWaitExit(session, 10000, status) && status == 4;
    PmEnd(session);
    printf("soak: %d commands, %d answers, all correct and in order, %.1f s; exit %s\n", sent, answered, ms / 1000,
           done ? "status 4" : "FAILED");
    return done ? 0 : 1;
}
