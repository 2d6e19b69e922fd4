// The daemon's start-up and its answers to the process manager, through the
// real imdaemon.exe, ov.dll stand-in and loopback connection.
#include "harness.h"

class StartUp : public DaemonTest {};
class Commands : public DaemonTest {
protected:
    std::vector<PmSession> others; // daemons beside session, ended with it

    void TearDown() override
    {
        for (PmSession &other : others)
            PmEnd(other);
        DaemonTest::TearDown();
    }

    // Starts the daemon in an empty install directory and takes its report.
    void Serve(const std::string &options, const std::vector<std::string> &env = {})
    {
        ASSERT_TRUE(Start(PmArgument(FreshTestDir()) + " " + options, env));
        ASSERT_TRUE(Expect(FRAME_INIT_COMPLETE, PM_INIT_COMPLETE, PM_INIT_COMPLETE_TEXT));
    }
};
class Failures : public Commands {};

TEST_F(StartUp, NoArgumentExitsMinus99WithoutConnecting)
{
    stderrPath = FreshTestDir() + "stderr.txt";
    EXPECT_FALSE(Start(""));
    ExpectQuit("", -99);
    EXPECT_EQ(ReadFileText(stderrPath), "");
}

TEST_F(StartUp, EmptyInstallDirExitsMinus99)
{
    stderrPath = FreshTestDir() + "stderr.txt";
    EXPECT_FALSE(Start("\"\" -p 5"));
    ExpectQuit("", -99);
    EXPECT_EQ(ReadFileText(stderrPath), "");
}

TEST_F(StartUp, UnknownOptionsPrintUsageOnceEachAndStartUpGoesOn)
{
    std::string dir = FreshTestDir();
    stderrPath = dir + "stderr.txt";
    ASSERT_TRUE(Start(PmArgument(dir) + " -x -p 3 -y"));
    ASSERT_TRUE(Expect(FRAME_INIT_COMPLETE, PM_INIT_COMPLETE, PM_INIT_COMPLETE_TEXT));
    ASSERT_TRUE(PmSend(session, PM_PAUSE));
    EXPECT_TRUE(Expect(FRAME_RESPONSE, PM_PAUSE_OK, PM_PAUSE_OK_TEXT));
    ExitAndTime();
    // Standard error is a text-mode stream: the runtime writes each line end
    // as CR LF.
    std::string usage = "usage: " + PmProgramDir() +
                        "imdaemon.exe [-p#] [-r#]\r\n"
                        "   Negative # imply NACK instead of ACK\r\n";
    EXPECT_EQ(ReadFileText(stderrPath), usage + usage);
}

TEST_F(StartUp, OptionWithoutValueIsUnknown)
{
    std::string dir = FreshTestDir();
    stderrPath = dir + "stderr.txt";
    ASSERT_TRUE(Start(PmArgument(dir) + " -p"));
    ASSERT_TRUE(Expect(FRAME_INIT_COMPLETE, PM_INIT_COMPLETE, PM_INIT_COMPLETE_TEXT));
    ASSERT_TRUE(PmSend(session, PM_PAUSE)); // default answer still applies
    EXPECT_TRUE(Expect(FRAME_RESPONSE, PM_PAUSE_OK, PM_PAUSE_OK_TEXT));
    EXPECT_NE(ReadFileText(stderrPath).find("usage: "), std::string::npos);
}

TEST_F(Commands, DefaultAnswersPauseAndResume)
{
    Serve("");
    ASSERT_TRUE(PmSend(session, PM_PAUSE));
    EXPECT_TRUE(Expect(FRAME_RESPONSE, PM_PAUSE_OK, PM_PAUSE_OK_TEXT));
    ASSERT_TRUE(PmSend(session, PM_RESUME));
    EXPECT_TRUE(Expect(FRAME_RESPONSE, PM_RESUME_OK, PM_RESUME_OK_TEXT));
    // A resume needs no pause before it, nor a pause a resume.
    ASSERT_TRUE(PmSend(session, PM_RESUME));
    EXPECT_TRUE(Expect(FRAME_RESPONSE, PM_RESUME_OK, PM_RESUME_OK_TEXT));
    ExitAndTime();
}

TEST_F(Commands, ZeroMeansNoAnswerAndNoopIsIgnored)
{
    // Commands are served in order: an answer to any of the three would come
    // before the closing message.
    Serve("-p 0 -r abc");
    ASSERT_TRUE(PmSend(session, PM_PAUSE));
    ASSERT_TRUE(PmSend(session, PM_NOOP));
    ASSERT_TRUE(PmSend(session, PM_RESUME));
    ExitAndTime();
}

TEST_F(Commands, NegativeValuesRefuse)
{
    Serve("-r -5 -p-3");
    ASSERT_TRUE(PmSend(session, PM_PAUSE));
    EXPECT_TRUE(Expect(FRAME_RESPONSE, PM_PAUSE_FAILED, PM_PAUSE_FAILED_TEXT));
    ASSERT_TRUE(PmSend(session, PM_RESUME));
    EXPECT_TRUE(Expect(FRAME_RESPONSE, PM_RESUME_FAILED, PM_RESUME_FAILED_TEXT));
}

TEST_F(Commands, TwoSecondPauseIsAnsweredAfterTwoSeconds)
{
    Serve("-p 2000 -r -2000");
    PmEvent answer;
    double sent = PmNow(session);
    ASSERT_TRUE(PmSend(session, PM_PAUSE));
    ASSERT_TRUE(Expect(FRAME_RESPONSE, PM_PAUSE_OK, PM_PAUSE_OK_TEXT, 10000, &answer));
    EXPECT_GE(answer.ms - sent, 1990.0);
    EXPECT_LT(answer.ms - sent, 6000.0);

    sent = PmNow(session);
    ASSERT_TRUE(PmSend(session, PM_RESUME));
    ASSERT_TRUE(Expect(FRAME_RESPONSE, PM_RESUME_FAILED, PM_RESUME_FAILED_TEXT, 10000, &answer));
    EXPECT_GE(answer.ms - sent, 1990.0);
    EXPECT_LT(answer.ms - sent, 6000.0);
}

TEST_F(Commands, ExtremeDelaysWaitInsteadOfWrapping)
{
    // Each value is a delay of at least 2^31 - 1 ms: the most negative int is
    // 2^31 ms, and a number beyond the int range is held at its end. Had a
    // value wrapped (to 1 or -1 in 32 bits) or the delay overflowed, the
    // command would be answered at once and the exit command sent after it
    // would end the daemon; a daemon still waiting answers nothing. One
    // daemon per case, and last a witness whose delays are 1 ms: once it has
    // answered and quit, so would have any of the others.
    const struct {
        const char *options;
        int command;
    } cases[] = {
        {"-p -2147483648", PM_PAUSE}, {"-p -4294967297", PM_PAUSE},  {"-p -99999999999", PM_PAUSE},
        {"-r 4294967297", PM_RESUME}, {"-r 99999999999", PM_RESUME},
    };
    std::string dir = FreshTestDir();
    for (const auto &c : cases) {
        others.emplace_back();
        ASSERT_TRUE(StartDaemon(others.back(), PmArgument(dir) + " " + c.options)) << c.options;
        PmEvent event;
        ASSERT_EQ(PmNextEvent(others.back(), event, 5000), 1) << c.options;
        ASSERT_EQ(event.code, PM_INIT_COMPLETE) << c.options;
        ASSERT_TRUE(PmSend(others.back(), c.command));
        ASSERT_TRUE(PmSend(others.back(), PM_EXIT));
    }
    ASSERT_TRUE(Start(PmArgument(dir) + " -p -1 -r 1"));
    ASSERT_TRUE(Expect(FRAME_INIT_COMPLETE, PM_INIT_COMPLETE, PM_INIT_COMPLETE_TEXT));
    ASSERT_TRUE(PmSend(session, PM_PAUSE));
    ASSERT_TRUE(PmSend(session, PM_RESUME));
    ASSERT_TRUE(PmSend(session, PM_EXIT));
    EXPECT_TRUE(Expect(FRAME_RESPONSE, PM_PAUSE_FAILED, PM_PAUSE_FAILED_TEXT));
    EXPECT_TRUE(Expect(FRAME_RESPONSE, PM_RESUME_OK, PM_RESUME_OK_TEXT));
    ExpectQuit(PM_EXIT_TEXT, 4);
    for (size_t i = 0; i < others.size(); ++i) {
        PmEvent event{};
        EXPECT_EQ(PmNextEvent(others[i], event, 0), 0)
            << cases[i].options << ": " << event.kind << " " << event.code << " " << PmQuote(event.text);
        DWORD status = 0;
        EXPECT_FALSE(PmWaitExit(others[i], 0, status)) << cases[i].options << ": the daemon must still be waiting";
    }
}

TEST_F(Commands, BackToBackCommandsAreAnsweredInOrder)
{
    Serve("-p 1 -r -1");
    const int count = 1000;
    std::string burst;
    for (int i = 0; i < count; ++i) {
        burst += PmCommandBytes(i % 3 == 2 ? PM_RESUME : PM_PAUSE);
        if (i % 7 == 0)
            burst += PmCommandBytes(PM_NOOP); // no-ops in between get no answer
    }
    ASSERT_EQ(send(session.connection, burst.data(), (int)burst.size(), 0), (int)burst.size());
    for (int i = 0; i < count; ++i) {
        bool pause = i % 3 != 2;
        ASSERT_TRUE(Expect(FRAME_RESPONSE, pause ? PM_PAUSE_OK : PM_RESUME_FAILED,
                           pause ? PM_PAUSE_OK_TEXT : PM_RESUME_FAILED_TEXT, 10000))
            << "answer " << i;
    }
    ExitAndTime(); // no answer more
}

TEST_F(Commands, CommandsDuringALongPauseWaitTheirTurn)
{
    // The no-op and the resume arrive while the pause is being answered:
    // they are kept and served after it.
    Serve("-p 1500 -r 1");
    PmEvent first;
    double sent = PmNow(session);
    ASSERT_TRUE(PmSend(session, PM_PAUSE));
    ASSERT_TRUE(PmSend(session, PM_NOOP));
    ASSERT_TRUE(PmSend(session, PM_RESUME));
    ASSERT_TRUE(Expect(FRAME_RESPONSE, PM_PAUSE_OK, PM_PAUSE_OK_TEXT, 10000, &first));
    EXPECT_GE(first.ms - sent, 1490.0);
    ASSERT_TRUE(Expect(FRAME_RESPONSE, PM_RESUME_OK, PM_RESUME_OK_TEXT, 10000));
    ExitAndTime();
}

TEST_F(Commands, UnknownCodesAreBogus)
{
    for (int code : {7, 4, 17, 0, -1, 14}) {
        SCOPED_TRACE(code);
        Serve("");
        ASSERT_TRUE(PmSend(session, code));
        ExpectQuit("Bogus command from ovspmd.", 5);
        PmEnd(session);
        session = PmSession();
    }
}

TEST_F(Failures, InitFailsWithStatus1AndNoClosingMessage)
{
    EXPECT_FALSE(Start(PmArgument(FreshTestDir()), {"OV_SIM_FAIL=init"}));
    ExpectQuit("", 1);
}

TEST_F(Failures, InitCompleteFails)
{
    ASSERT_TRUE(Start(PmArgument(FreshTestDir()), {"OV_SIM_FAIL=initcomplete"}));
    ExpectQuit("OVsInitComplete failed.", 1);
}

TEST_F(Failures, ReceiveFails)
{
    Serve("", {"OV_SIM_FAIL=receive"});
    ASSERT_TRUE(PmSend(session, PM_NOOP));
    ExpectQuit("OVsReceive failed", 1);
}

TEST_F(Failures, PauseAnswerFailsWithoutFullStop)
{
    Serve("", {"OV_SIM_FAIL=response"});
    ASSERT_TRUE(PmSend(session, PM_PAUSE));
    ExpectQuit("OVsResponse failed", 1);
}

TEST_F(Failures, ResumeAnswerFailsWithFullStop)
{
    Serve("", {"OV_SIM_FAIL=response"});
    ASSERT_TRUE(PmSend(session, PM_RESUME));
    ExpectQuit("OVsResponse failed.", 1);
}

TEST_F(Failures, UnansweredPauseNeedsNoResponse)
{
    // A response tried would fail and end the daemon with its own closing
    // message before the exit command is read.
    Serve("-p 0", {"OV_SIM_FAIL=response"});
    ASSERT_TRUE(PmSend(session, PM_PAUSE));
    ExitAndTime();
}

TEST_F(Failures, SelectFailsAfterReportingItsOwnError)
{
    // The directory has no java_file.dat, so the launch leaves "No such file
    // or directory" in errno; the line must describe the failed select (a
    // descriptor that is no socket) instead.
    std::string dir = FreshTestDir();
    stderrPath = dir + "stderr.txt";
    ASSERT_TRUE(Start(PmArgument(dir), {"OV_SIM_FAIL=select"}));
    ASSERT_TRUE(Expect(FRAME_INIT_COMPLETE, PM_INIT_COMPLETE, PM_INIT_COMPLETE_TEXT));
    ExpectQuit("Select failed.", 1);
    EXPECT_EQ(ReadFileText(stderrPath), "select: Bad file descriptor\r\n");
}

TEST_F(Failures, ManagerGoneEndsTheDaemon)
{
    Serve("");
    closesocket(session.connection);
    session.connection = INVALID_SOCKET;
    DWORD status = 0;
    ASSERT_TRUE(PmWaitExit(session, 5000, status));
    EXPECT_EQ(status, 1u);
}
