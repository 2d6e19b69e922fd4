#include "service.h"

#include <cstdio>
#include <cstdlib>

#include "install_path.h"
#include "ov.h"

void QuitService(const char *message, int status)
{
    OVsDone(message);
    exit(status);
}

void OnSignal(int signalNumber)
{
    char szSignalMessage[80];
    TraceLog();
    snprintf(szSignalMessage, sizeof szSignalMessage, "quitting now: signal %d.\n", signalNumber);
    QuitService(szSignalMessage, 6);
}
