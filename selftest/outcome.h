// What the self-test checks once the station has run: everything an
// administrator needs to see work before deploying.
#ifndef SELFTEST_OUTCOME_H
#define SELFTEST_OUTCOME_H

#include <string>
#include <vector>

#include "station.h"

struct Run {
    bool imcheckStarted = false;
    bool imcheckRan = false; // it ended by itself, with imcheckStatus
    unsigned long imcheckStatus = 0;
    std::string imcheckReport;
    bool daemonEnded = false; // the process manager ended, with the daemon's status
    unsigned long daemonStatus = 0;
    std::string managerOutput;
    // What crashed, each as "<program> crashed: <CrashOf>"; every check after
    // a crash fails for it, so this comes first in the verdict.
    std::vector<std::string> crashes;
};

// The object database as "<n> sets" and a line per host with its boolean
// fields; a line saying so when it cannot be read.
std::string ListDatabase(const std::string &path);

// The rest of text's first line that starts with "<key> ", its line end
// removed; empty when there is none.
std::string ValueOf(const std::string &text, const std::string &key);

// Whole file, or empty when it cannot be read; the path wide, or in the
// ANSI code page as the ANSI calls convert it.
std::string ReadWholeFile(const std::wstring &path);
std::string ReadWholeFile(const std::string &path);

// Prints each check with its result; returns the name of each that failed.
std::vector<std::string> CheckOutcome(const Station &station, const Run &run);

#endif
