// Text as the daemon's ANSI calls see it: conversions between the wide text
// the system keeps and the ANSI code page.
#ifndef IMCHECK_ANSI_TEXT_H
#define IMCHECK_ANSI_TEXT_H

#include <string>

// text in the ANSI code page, converted as the system converts it for the
// daemon's ANSI calls; false when that loses or changes a character.
bool ToAnsi(const std::wstring &text, std::string &ansi);

// ANSI text as wide text.
std::wstring FromAnsi(const std::string &text);

#endif
