// What every test of files needs: a folder of the running test's own, and
// whole files read and written.
#ifndef TESTS_SUPPORT_TEST_SUPPORT_H
#define TESTS_SUPPORT_TEST_SUPPORT_H

#include <string>

// A new, empty folder run/<suite>.<test>/ for the running test, below the
// current directory (CTest runs each test in its own build folder), with a
// trailing separator.
std::string FreshTestDir();

std::string ReadFileText(const std::string &path);
void WriteFileText(const std::string &path, const std::string &text);

#endif
