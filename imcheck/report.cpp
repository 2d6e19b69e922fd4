#include "report.h"

#include <windows.h>

#include <cstdio>

#include "ansi_text.h"

static int nErrors;
static int nWarnings;

void Say(const std::wstring &line)
{
    HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(hOut, &mode)) {
        std::wstring text = line + L"\r\n";
        WriteConsoleW(hOut, text.data(), (DWORD)text.size(), &written, 0);
        return;
    }
    // Text mode ends the line as Windows does.
    fputs((Spelled(line) + "\n").c_str(), stdout);
    fflush(stdout);
}

void Error(const std::wstring &text)
{
    Say(L"error: " + text);
    ++nErrors;
}

void Warning(const std::wstring &text)
{
    Say(L"warning: " + text);
    ++nWarnings;
}

int Summary()
{
    if (nErrors) {
        Say(L"the application would not start or not work: " + Number(nErrors) + L" error(s), " +
            Number(nWarnings) + L" warning(s)");
        return 1;
    }
    if (nWarnings) {
        Say(L"the daemon would start the application, but see the " + Number(nWarnings) + L" warning(s) above");
        return 2;
    }
    Say(L"ok: the daemon would start the application with the launcher and command line above");
    return 0;
}

std::wstring Quoted(const std::wstring &text)
{
    return L"\"" + text + L"\"";
}

std::wstring Number(unsigned long long n)
{
    return std::to_wstring(n);
}

std::wstring Shown(const std::string &ansi)
{
    return FromAnsi(ansi);
}
