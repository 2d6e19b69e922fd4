#include "ansi_text.h"

#include <windows.h>

#include <cstdio>

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

size_t Utf16Length(const std::string &text, unsigned codePage)
{
    if (text.empty())
        return 0;
    int n = MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), 0, 0);
    return n > 0 ? (size_t)n : text.size();
}

std::string Spelled(const std::wstring &text)
{
    std::string spelled;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t n = IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1]) ? 2 : 1;
        std::wstring character = text.substr(i, n);
        std::string ansi;
        if (ToAnsi(character, ansi)) {
            spelled += ansi;
        } else {
            unsigned long code = n == 2 ? 0x10000 + ((text[i] - 0xD800UL) << 10) + (text[i + 1] - 0xDC00UL)
                                        : (unsigned long)text[i];
            char szCode[16];
            snprintf(szCode, sizeof szCode, "<U+%04lX>", code);
            spelled += szCode;
        }
        i += n - 1;
    }
    return spelled;
}

bool FromUtf8(const std::string &text, std::wstring &wide)
{
    bool beyondAscii = false;
    for (char c : text)
        beyondAscii |= (unsigned char)c >= 0x80;
    if (!beyondAscii)
        return false;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), (int)text.size(), 0, 0);
    if (n <= 0)
        return false;
    wide.assign(n, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), (int)text.size(), &wide[0], n);
    return true;
}
