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

// How many characters (UTF-16 units, which process creation counts) text
// in codePage holds.
size_t Utf16Length(const std::string &text, unsigned codePage);

// text in the ANSI code page for a report, each character the code page
// cannot carry written as <U+XXXX>, so that the name is shown as it is.
std::string Spelled(const std::wstring &text);

// text as UTF-8, when it holds characters beyond ASCII and is valid UTF-8
// (as a file saved as UTF-8 may be); false otherwise.
bool FromUtf8(const std::string &text, std::wstring &wide);

#endif
