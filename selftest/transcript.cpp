#include "transcript.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

static std::mutex printLock;

static double Seconds()
{
    static LARGE_INTEGER start, frequency;
    static bool bStarted = (QueryPerformanceFrequency(&frequency), QueryPerformanceCounter(&start), true);
    (void)bStarted;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)(now.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}

void Say(const std::string &line)
{
    std::lock_guard<std::mutex> hold(printLock);
    printf("[%6.1f s] %s\n", Seconds(), line.c_str());
    fflush(stdout);
}

void Show(const std::string &text)
{
    std::lock_guard<std::mutex> hold(printLock);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        printf("   %s\n", line.c_str());
        at = end + 1;
    }
    fflush(stdout);
}

std::string ErrorText(unsigned long code)
{
    char szText[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, 0, code, 0, szText,
                             sizeof szText, 0);
    while (n > 0 && (szText[n - 1] == '\r' || szText[n - 1] == '\n' || szText[n - 1] == ' '))
        --n;
    return "error " + std::to_string(code) + (n > 0 ? ": " + std::string(szText, n) : "");
}
