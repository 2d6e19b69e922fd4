// ov.dll stand-in: the service-manager library over a loopback TCP
// connection to the process-manager stand-in, plus the option scanner.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define OV_API
#include "ov.h"
#include "ov_protocol.h"

char *optarg = 0;

static SOCKET sConnection = INVALID_SOCKET;

// True when OV_SIM_FAIL names call among its comma-separated words.
static bool FailOnDemand(const char *call)
{
    const char *list = getenv(OV_FAIL_VARIABLE);
    if (!list)
        return false;
    std::string words = std::string(",") + list + ",";
    return words.find(std::string(",") + call + ",") != std::string::npos;
}

static void PutInt(char *out, unsigned int value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = (char)((value >> (8 * i)) & 0xFF);
}

static int SendAll(const char *data, size_t size)
{
    while (size > 0) {
        int sent = send(sConnection, data, (int)size, 0);
        if (sent <= 0)
            return -1;
        data += sent;
        size -= (size_t)sent;
    }
    return 0;
}

static int SendFrame(char kind, int code, const char *text)
{
    if (sConnection == INVALID_SOCKET)
        return -1;
    size_t length = text ? strnlen(text, FRAME_TEXT_MAX) : 0;
    std::string frame(FRAME_HEADER_SIZE, '\0');
    frame[0] = kind;
    PutInt(&frame[1], (unsigned int)code);
    PutInt(&frame[5], (unsigned int)length);
    frame.append(text ? text : "", length);
    return SendAll(frame.data(), frame.size());
}

extern "C" int OVsInit(int *descriptor)
{
    if (FailOnDemand("init"))
        return -1;
    const char *port = getenv(OVSPMD_PORT_VARIABLE);
    const char *token = getenv(OVSPMD_TOKEN_VARIABLE);
    if (!port || !token)
        return -1;
    WSADATA wsaData;
    if (WSAStartup(MAKEWORD(2, 2), &wsaData) != 0)
        return -1;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return -1;
    // Left inheritable, as Winsock makes every socket: keeping it from the
    // daemon's children is the daemon's own business.
    sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons((u_short)atoi(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, (sockaddr *)&address, sizeof address) != 0) {
        closesocket(s);
        return -1;
    }
    sConnection = s;
    if (SendFrame(FRAME_HELLO, (int)GetCurrentProcessId(), token) < 0)
        return -1;
    *descriptor = (int)s;
    if (FailOnDemand("select")) {
        // A descriptor that is no socket, so that the caller's select fails
        // while the connection itself stays usable for the closing message.
        SOCKET spare = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        closesocket(spare);
        *descriptor = (int)spare;
    }
    return 0;
}

extern "C" int OVsInitComplete(int state, char *message)
{
    if (FailOnDemand("initcomplete"))
        return -1;
    return SendFrame(FRAME_INIT_COMPLETE, state, message);
}

extern "C" int OVsReceive(int *command)
{
    if (FailOnDemand("receive") || sConnection == INVALID_SOCKET)
        return -1;
    // Exactly one command and not a byte more: the caller waits in select
    // for the next one.
    unsigned char bytes[4];
    int got = 0;
    while (got < 4) {
        int n = recv(sConnection, (char *)bytes + got, 4 - got, 0);
        if (n <= 0)
            return -1;
        got += n;
    }
    *command = (int)(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | ((unsigned int)bytes[3] << 24));
    return 0;
}

extern "C" int OVsResponse(int answer, char *message)
{
    if (FailOnDemand("response"))
        return -1;
    return SendFrame(FRAME_RESPONSE, answer, message);
}

extern "C" int OVsDone(const char *message)
{
    return SendFrame(FRAME_DONE, 0, message);
}

// Option scanner: scans the whole vector, skips arguments that are no
// options, prints nothing, and returns '?' for an unknown option or one
// whose argument is missing. "--" ends the options.
static int nNextArgument = 1;
static int nNextChar = 0;

extern "C" int getopt(int argc, char *const argv[], const char *optstring)
{
    optarg = 0;
    for (;;) {
        if (nNextArgument >= argc)
            return -1;
        const char *argument = argv[nNextArgument];
        if (nNextChar == 0) {
            if (strcmp(argument, "--") == 0) {
                nNextArgument = argc;
                return -1;
            }
            if (argument[0] != '-' || argument[1] == '\0') {
                ++nNextArgument;
                continue;
            }
            nNextChar = 1;
        }
        char letter = argument[nNextChar++];
        const char *spec = letter != ':' ? strchr(optstring, letter) : 0;
        bool lastInArgument = argument[nNextChar] == '\0';
        if (!spec) {
            if (lastInArgument) {
                ++nNextArgument;
                nNextChar = 0;
            }
            return '?';
        }
        if (spec[1] != ':') {
            if (lastInArgument) {
                ++nNextArgument;
                nNextChar = 0;
            }
            return letter;
        }
        // The argument is the rest of this word, or else the next word.
        char *rest = argv[nNextArgument] + nNextChar;
        ++nNextArgument;
        nNextChar = 0;
        if (!lastInArgument) {
            optarg = rest;
            return letter;
        }
        if (nNextArgument >= argc)
            return '?';
        optarg = argv[nNextArgument++];
        return letter;
    }
}
