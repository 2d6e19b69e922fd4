#include "ansi_text.h"

#include <windows.h>

bool ToAnsi(const std::wstring &text, std::string &ansi)
{
    ansi.clear();
    if (text.empty())
        return true;
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), (int)text.size(), 0, 0, 0, 0);
    if (n <= 0)
        return false;
    ansi.resize(n);
    WideCharToMultiByte(CP_ACP, 0, text.data(), (int)text.size(), &ansi[0], n, 0, 0);
    int m = MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, 0, 0);
    std::wstring back(m > 0 ? m : 0, L'\0');
    if (m > 0)
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, &back[0], m);
    return back == text;
}

std::wstring FromAnsi(const std::string &text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), 0, 0);
    std::wstring wide(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], n);
    return wide;
}
