// Starting the Java application: the launcher from java_file.dat, the exact
// command line built from the install directory, the current directory, and
// a daemon that serves on whatever happens to the launch.
#include <algorithm>

#include "harness.h"

#include <tlhelp32.h>

static const char szMainClass[] = "quorel.im.vesk.Quorel";

class JavaLaunch : public DaemonTest {
protected:
    std::string dir;

    void SetUp() override { dir = FreshTestDir(); }

    // Starts the daemon on dir (written as given) and waits for its report.
    void Serve(const std::string &installArgument)
    {
        ASSERT_TRUE(Start(PmArgument(installArgument)));
        ASSERT_TRUE(Expect(FRAME_INIT_COMPLETE, PM_INIT_COMPLETE, PM_INIT_COMPLETE_TEXT));
    }

    // The command line the Java stand-in was started with.
    std::string StartedCommandLine()
    {
        EXPECT_TRUE(WaitForRecord(dir, "window", "open"));
        std::vector<std::string> lines = RecordValues(dir, "cmdline");
        EXPECT_EQ(lines.size(), 1u);
        return lines.empty() ? "" : lines[0];
    }

    // The daemon still answers, and quits on exit.
    void ExpectServingWithoutJava()
    {
        ASSERT_TRUE(PmSend(session, PM_PAUSE));
        EXPECT_TRUE(Expect(FRAME_RESPONSE, PM_PAUSE_OK, PM_PAUSE_OK_TEXT));
        ExitAndTime();
    }
};

static void Touch(const std::string &path)
{
    WriteFileText(path, "x");
}

// The image names of the running processes that parent started.
static std::vector<std::string> ChildImages(DWORD parent)
{
    std::vector<std::string> images;
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(hSnapshot, &entry); more; more = Process32Next(hSnapshot, &entry))
        if (entry.th32ParentProcessID == parent)
            images.push_back(entry.szExeFile);
    CloseHandle(hSnapshot);
    return images;
}

TEST_F(JavaLaunch, OneArchiveAndOneLibraryByteForByte)
{
    Touch(dir + "a.jar");
    Touch(dir + "x.dll");
    Touch(dir + "notes.txt");
    UseJavaStandIn(dir);
    Serve(dir);
    EXPECT_EQ(StartedCommandLine(), "-Djava.library.path=\"" + dir + ";\" -classpath \"" + dir + "a.jar\";\"" +
                                        dir + "x.dll\";  " + szMainClass);
}

TEST_F(JavaLaunch, ArchivesComeBeforeLibrariesAndDirectoriesCount)
{
    for (const char *name : {"b.dll", "a.jar", "c.jar", "a.dll", "z.jar"})
        Touch(dir + name);
    CreateDirectoryA((dir + "old.jar").c_str(), 0);
    UseJavaStandIn(dir);
    Serve(dir);
    std::string line = StartedCommandLine();
    std::string head = "-Djava.library.path=\"" + dir + ";\" -classpath ";
    std::string tail = std::string("  ") + szMainClass;
    ASSERT_EQ(line.compare(0, head.size(), head), 0) << line;
    ASSERT_GT(line.size(), head.size() + tail.size());
    ASSERT_EQ(line.compare(line.size() - tail.size(), tail.size(), tail), 0) << line;

    // The entries, in enumeration order within each kind: every archive
    // (the directory old.jar too), then every library.
    std::string list = line.substr(head.size(), line.size() - head.size() - tail.size());
    std::vector<std::string> entries;
    for (size_t start = 0; start < list.size();) {
        size_t end = list.find("\";", start);
        ASSERT_NE(end, std::string::npos) << list;
        ASSERT_EQ(list.compare(start, 1 + dir.size(), "\"" + dir), 0) << list;
        entries.push_back(list.substr(start + 1 + dir.size(), end - start - 1 - dir.size()));
        start = end + 2;
    }
    ASSERT_EQ(entries.size(), 6u) << list;
    std::vector<std::string> jars(entries.begin(), entries.begin() + 4);
    std::vector<std::string> dlls(entries.begin() + 4, entries.end());
    std::sort(jars.begin(), jars.end());
    std::sort(dlls.begin(), dlls.end());
    EXPECT_EQ(jars, (std::vector<std::string>{"a.jar", "c.jar", "old.jar", "z.jar"}));
    EXPECT_EQ(dlls, (std::vector<std::string>{"a.dll", "b.dll"}));
}

TEST_F(JavaLaunch, NothingMatchingLeavesThreeSpaces)
{
    UseJavaStandIn(dir);
    Serve(dir);
    EXPECT_EQ(StartedCommandLine(), "-Djava.library.path=\"" + dir + ";\" -classpath   " + szMainClass);
}

TEST_F(JavaLaunch, SpacesComeFromPercent20AndTheDirectoryIsCurrent)
{
    dir += "Launch with spaces\\";
    CreateDirectoryA(dir.c_str(), 0);
    Touch(dir + "app one.jar");
    UseJavaStandIn(dir);
    Serve(Encoded(dir));
    EXPECT_EQ(StartedCommandLine(),
              "-Djava.library.path=\"" + dir + ";\" -classpath \"" + dir + "app one.jar\";  " + szMainClass);
    std::vector<std::string> cwd = RecordValues(dir, "cwd");
    ASSERT_EQ(cwd.size(), 1u);
    EXPECT_EQ(cwd[0] + "\\", dir);
}

TEST_F(JavaLaunch, OnlyTheFirstLineOfJavaFileCounts)
{
    WriteFileText(dir + "java_file.dat", PmProgramDir() + "javaapp.exe\r\nC:\\other\\java.exe\r\n");
    Serve(dir);
    EXPECT_TRUE(WaitForRecord(dir, "window", "open"));
}

TEST_F(JavaLaunch, LauncherPathIsCutAt259Characters)
{
    // A copy of the stand-in whose full path is exactly 259 characters,
    // named in java_file.dat with junk after it on the same line.
    std::string folder = dir + "launcher\\";
    CreateDirectoryA(folder.c_str(), 0);
    size_t nameLength = 259 - folder.size();
    ASSERT_GT(nameLength, 10u);
    std::string launcher = folder + std::string(nameLength - 4, 'j') + ".exe";
    ASSERT_EQ(launcher.size(), 259u);
    ASSERT_TRUE(CopyFileA((PmProgramDir() + "javaapp.exe").c_str(), launcher.c_str(), FALSE));
    WriteFileText(dir + "java_file.dat", launcher + "junk.exe and more\r\n");
    Serve(dir);
    EXPECT_TRUE(WaitForRecord(dir, "window", "open"));
}

TEST_F(JavaLaunch, MissingJavaFileStartsNothing)
{
    Serve(dir);
    ExpectServingWithoutJava();
    EXPECT_TRUE(RecordValues(dir, "pid").empty());
}

TEST_F(JavaLaunch, EmptyJavaFileStartsNothing)
{
    WriteFileText(dir + "java_file.dat", "\r\n" + PmProgramDir() + "javaapp.exe\r\n");
    Serve(dir);
    ExpectServingWithoutJava();
    EXPECT_TRUE(RecordValues(dir, "pid").empty());
}

TEST_F(JavaLaunch, MissingLauncherLeavesTheDaemonServing)
{
    WriteFileText(dir + "java_file.dat", dir + "no-such-java.exe\n");
    Serve(dir);
    ExpectServingWithoutJava();
}

TEST_F(JavaLaunch, ClassPathBeyondTheCommandLineLimitFailsCleanly)
{
    // 3000 archives make a command line far past Windows' 32,767 characters:
    // the start fails and the daemon serves on.
    for (int i = 0; i < 3000; ++i)
        Touch(dir + "archive-" + std::to_string(i) + "-of-a-large-application.jar");
    UseJavaStandIn(dir);
    Serve(dir);
    ExpectServingWithoutJava();
    EXPECT_TRUE(RecordValues(dir, "pid").empty());
}

TEST_F(JavaLaunch, StartsOnceAndOnlyAfterInitializationComplete)
{
    UseJavaStandIn(dir);
    ASSERT_TRUE(Start(PmArgument(dir), {"OV_SIM_FAIL=initcomplete"}));
    ExpectQuit("OVsInitComplete failed.", 1);
    // A process the daemon started would have joined the session's job
    // before the daemon went on, so the job counts every start.
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION job;
    ASSERT_TRUE(QueryInformationJobObject(session.job, JobObjectBasicAccountingInformation, &job, sizeof job, 0));
    EXPECT_EQ(job.TotalProcesses, 1u) << "started before initialisation completed";
    PmEnd(session);
    session = PmSession();

    Serve(dir);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(PmSend(session, i % 2 ? PM_RESUME : PM_PAUSE));
        ASSERT_TRUE(Expect(FRAME_RESPONSE, i % 2 ? PM_RESUME_OK : PM_PAUSE_OK,
                           i % 2 ? PM_RESUME_OK_TEXT : PM_PAUSE_OK_TEXT));
    }
    EXPECT_TRUE(WaitForRecord(dir, "window", "open"));
    EXPECT_EQ(RecordValues(dir, "pid").size(), 1u);
    // The job counts every start, also any Wine makes for itself; what
    // counts is that the daemon started one process, the application (a
    // second start would have added a second pid to the record).
    std::vector<std::string> children = ChildImages(session.process.dwProcessId);
    std::string all;
    for (const std::string &image : children)
        all += image + " ";
    EXPECT_EQ(std::count(children.begin(), children.end(), "javaapp.exe"), 1) << all;
    EXPECT_EQ(children.size(), 1u) << all;
}

TEST_F(JavaLaunch, InstallDirIsTheFirstArgumentEvenWhenItLooksLikeAnOption)
{
    // "-p" is taken as the install directory, a relative one: the daemon
    // reads "-pjava_file.dat" from its own current directory and starts the
    // application in the folder "-p" below it.
    std::string cwd = dir;
    dir = cwd + "-p\\";
    CreateDirectoryA(dir.c_str(), 0);
    WriteFileText(cwd + "-pjava_file.dat", PmProgramDir() + "javaapp.exe\n");
    char szSaved[MAX_PATH];
    GetCurrentDirectoryA(sizeof szSaved, szSaved);
    SetCurrentDirectoryA(cwd.c_str());
    bool started = Start("-p 5 C:\\Mod\\");
    SetCurrentDirectoryA(szSaved);
    ASSERT_TRUE(started);
    ASSERT_TRUE(Expect(FRAME_INIT_COMPLETE, PM_INIT_COMPLETE, PM_INIT_COMPLETE_TEXT));
    EXPECT_EQ(StartedCommandLine(), std::string("-Djava.library.path=\"-p;\" -classpath   ") + szMainClass);
    // The options after it are read all the same.
    ASSERT_TRUE(PmSend(session, PM_PAUSE));
    EXPECT_TRUE(Expect(FRAME_RESPONSE, PM_PAUSE_OK, PM_PAUSE_OK_TEXT));
}

TEST_F(JavaLaunch, ApplicationDoesNotHoldTheManagerConnection)
{
    UseJavaStandIn(dir);
    Serve(dir);
    ASSERT_TRUE(WaitForRecord(dir, "window", "open"));
    TerminateProcess(session.process.hProcess, 9);
    PmEvent event;
    EXPECT_EQ(PmNextEvent(session, event, 5000), -1)
        << "the connection must close with the daemon although its child runs on";
    std::vector<std::string> pid = RecordValues(dir, "pid");
    ASSERT_EQ(pid.size(), 1u);
    HANDLE hApp = OpenProcess(SYNCHRONIZE, FALSE, (DWORD)std::stoul(pid[0]));
    ASSERT_TRUE(hApp);
    EXPECT_EQ(WaitForSingleObject(hApp, 0), (DWORD)WAIT_TIMEOUT) << "the application runs on";
    CloseHandle(hApp);
}
