// The self-test's transcript on standard output: its own steps with the
// seconds since it started, and, indented below them, what the programs it
// ran wrote and recorded. Lines from several threads never mix.
#ifndef SELFTEST_TRANSCRIPT_H
#define SELFTEST_TRANSCRIPT_H

#include <string>

// One step: "[   1.2 s] line".
void Say(const std::string &line);

// Text of a program or file, each line indented, its line ends made one.
void Show(const std::string &text);

// A Windows error code with Windows' own text for it: "error 5: Access is
// denied." (the code alone where Windows has no text).
std::string ErrorText(unsigned long code);

#endif
