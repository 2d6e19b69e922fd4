// What imcheck prints: plain lines, finding lines ("error: ...",
// "warning: ...", one object each) and the summary with its exit status.
// On a console the text goes out as UTF-16; to a pipe or a file, in the
// ANSI code page, each character it cannot hold written as <U+XXXX>, so
// that scripts read one line per finding whatever a name holds.
#ifndef IMCHECK_REPORT_H
#define IMCHECK_REPORT_H

#include <string>

void Say(const std::wstring &line);
void Error(const std::wstring &text);
void Warning(const std::wstring &text);

// The last line; returns the exit status: 0 nothing found, 1 at least one
// error, 2 warnings only.
int Summary();

std::wstring Quoted(const std::wstring &text);
std::wstring Number(unsigned long long n);

// ANSI text (the daemon's own view of a path or line) for a report.
std::wstring Shown(const std::string &ansi);

#endif
