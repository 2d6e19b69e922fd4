// The daemon harness (Windows): the real imdaemon.exe driven through the
// process-manager core, in an install directory of the test's own; the tests
// lie beside imdaemon.exe, ov.dll and javaapp.exe (PmProgramDir()).
#ifndef TESTS_DAEMON_HARNESS_H
#define TESTS_DAEMON_HARNESS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ov_protocol.h"
#include "pm.h"
#include "test_support.h"

// Points java_file.dat of dir at the Java stand-in (CR LF line end).
void UseJavaStandIn(const std::string &dir);

// Starts the Java stand-in itself, not under a daemon, in mode
// (JAVAAPP_SIM_MODE) with dir as its current directory, on the desktop
// named (the caller's when empty); false when it cannot be started.
bool StartStandIn(const std::string &dir, const std::string &mode, PROCESS_INFORMATION &process,
                  const std::string &desktop = "");

// Values of the lines of the Java stand-in's record in dir that start with
// key, in order.
std::vector<std::string> RecordValues(const std::string &dir, const std::string &key);

// Waits up to timeoutMs for a record line key with value (any value when
// empty); true when seen.
bool WaitForRecord(const std::string &dir, const std::string &key, const std::string &value = "",
                   DWORD timeoutMs = 10000);

// The install directory as the process manager passes it: each space as
// %20.
std::string Encoded(std::string dir);

// Starts imdaemon.exe with arguments (already quoted as needed) under
// session and waits for its connection; false when it never connected.
bool StartDaemon(PmSession &session, const std::string &arguments, const PmOptions &options = PmOptions());

// One daemon under a process manager; ends it and its descendants when the
// test ends.
class DaemonTest : public ::testing::Test {
protected:
    PmSession session;
    std::string stderrPath;

    void TearDown() override { PmEnd(session); }

    // StartDaemon on session, with env added to its environment and its
    // standard error in stderrPath when set.
    bool Start(const std::string &arguments, const std::vector<std::string> &env = {});

    // The next event must be of kind with code and text, within timeoutMs.
    ::testing::AssertionResult Expect(char kind, int code, const std::string &text, DWORD timeoutMs = 5000,
                                      PmEvent *got = 0);

    // Sends the exit command and expects its closing message and status
    // 4; returns the ms from the command to the closing message.
    double ExitAndTime(DWORD timeoutMs = 20000);

    // The daemon ends with the closing message done (none when empty) and
    // status, read as the full 32-bit value.
    void ExpectQuit(const std::string &done, int status, DWORD timeoutMs = 5000);
};

#endif
