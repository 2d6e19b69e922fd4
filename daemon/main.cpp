// imdaemon: started by the process manager with the install directory and
// the -p/-r options; starts the Java application, answers the manager's
// commands and stops the application on the exit command.
#include <winsock2.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "install_path.h"
#include "jvm.h"
#include "ov.h"
#include "service.h"

enum {
    COMMAND_NOOP = 5,
    COMMAND_EXIT = 6,
    COMMAND_PAUSE = 15,
    COMMAND_RESUME = 16,
    ANSWER_INIT_COMPLETE = 1,
    ANSWER_PAUSE_OK = 17,
    ANSWER_RESUME_OK = 18,
    ANSWER_PAUSE_FAILED = 19,
    ANSWER_RESUME_FAILED = 20
};

static char szServiceMessage[32];

static const char szUsage[] = "usage: %s [-p#] [-r#]\n   Negative # imply NACK instead of ACK\n";

// The option value as atoi reads it (blanks, sign, digits up to the first
// non-digit, 0 when there are none), held to the int range so that an
// over-long number cannot overflow.
static int ReadOptionNumber(const char *text)
{
    long long value = strtoll(text, 0, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return (int)value;
}

// Answers a pause or resume command as n says: 0 no answer; n > 0 sleep n ms
// and acknowledge; n < 0 sleep -n ms and refuse. The delay is computed in
// unsigned arithmetic so that INT_MIN gives 2^31 ms instead of overflowing.
static void AnswerRequest(int n, int okAnswer, const char *okText, int failAnswer, const char *failText,
                          const char *quitText)
{
    if (n == 0)
        return;
    DWORD dwDelay = n > 0 ? (DWORD)n : 0u - (DWORD)n;
    Sleep(dwDelay);
    strcpy(szServiceMessage, n > 0 ? okText : failText);
    if (OVsResponse(n > 0 ? okAnswer : failAnswer, szServiceMessage) < 0)
        QuitService(quitText, 1);
}

// The C runtime error nearest to a Winsock error, so that perror describes
// the failure at hand: Winsock's select sets no errno of its own.
static int NearestErrno(int wsaError)
{
    switch (wsaError) {
    case WSAEINTR:
        return EINTR;
    case WSAEBADF:
    case WSAENOTSOCK:
        return EBADF;
    case WSAEFAULT:
        return EFAULT;
    case WSAEINVAL:
    case WSANOTINITIALISED:
        return EINVAL;
    case WSAEMFILE:
        return EMFILE;
    case WSAENOBUFS:
        return ENOMEM;
    case WSAEACCES:
        return EACCES;
    default:
        return EIO;
    }
}

int main(int argc, char *argv[])
{
    if (argc < 2)
        exit(-99);

    if (SetInstallDirFromArgument(argv[1]).empty())
        exit(-99);

    char szLogPath[INSTALL_PATH_SIZE];
    MakeInstallFilePath(szLogPath, "tarvos_im.log");
    TraceLog(szLogPath);
    TraceLog("main called\n");

    int nPauseAnswer = 1;
    int nResumeAnswer = 1;
    int option;
    while ((option = getopt(argc, argv, "p:r:")) != -1) {
        if (option == 'p')
            nPauseAnswer = ReadOptionNumber(optarg);
        else if (option == 'r')
            nResumeAnswer = ReadOptionNumber(optarg);
        else
            fprintf(stderr, szUsage, argv[0]);
    }

    int descriptor = -1;
    if (OVsInit(&descriptor) < 0)
        exit(1);
    // The Java application is created with handle inheritance on: it must
    // not inherit the manager's connection and hold it open after the
    // daemon has gone.
    SetHandleInformation((HANDLE)(SOCKET)descriptor, HANDLE_FLAG_INHERIT, 0);

    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);

    strcpy(szServiceMessage, "Initialization complete.");
    if (OVsInitComplete(ANSWER_INIT_COMPLETE, szServiceMessage) < 0)
        QuitService("OVsInitComplete failed.", 1);

    CreateJVMProcess();

    for (;;) {
        fd_set readSet;
        FD_ZERO(&readSet);
        FD_SET((SOCKET)descriptor, &readSet);
        errno = 0;
        int nReady = select(descriptor + 1, &readSet, 0, 0, 0);
        if (nReady < 0) {
            int wsaError = WSAGetLastError();
            if (wsaError == WSAEINTR || errno == EINTR)
                continue;
            errno = NearestErrno(wsaError);
            perror("select");
            QuitService("Select failed.", 1);
        }
        if (nReady == 0) {
            TraceLog();
            QuitService("Spontaneously quitting.", 3);
        }
        if (!FD_ISSET((SOCKET)descriptor, &readSet))
            continue;

        int command = 0;
        if (OVsReceive(&command) < 0)
            QuitService("OVsReceive failed", 1);

        switch (command) {
        case COMMAND_NOOP:
            break;
        case COMMAND_EXIT:
            TraceLog();
            StopJVMProcess();
            QuitService("Quitting, as requested.", 4);
        case COMMAND_PAUSE:
            AnswerRequest(nPauseAnswer, ANSWER_PAUSE_OK, "Pause request succeeded.", ANSWER_PAUSE_FAILED,
                          "Pause request failed.", "OVsResponse failed");
            break;
        case COMMAND_RESUME:
            AnswerRequest(nResumeAnswer, ANSWER_RESUME_OK, "Resume request succeeded.", ANSWER_RESUME_FAILED,
                          "Resume request failed.", "OVsResponse failed.");
            break;
        default:
            QuitService("Bogus command from ovspmd.", 5);
        }
    }
}
