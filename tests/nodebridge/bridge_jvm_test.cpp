// nodeflags in a real JVM: the driver calls the native methods, the bridge
// writes to the process's standard output, and the stand-in database file
// shows what was set. Standard output is compared byte for byte.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

static const char szFlag[] = "isNodeFlagged";
static const char szNotFound[] = "1 No object for this host name\nOVwDbHostnameToObjectId failed";

// Updates per thread in the eight-thread runs; each set is written to disk.
static const int nPerThread = 500;

class Bridge : public ::testing::Test {
protected:
    std::string dir, db, out, err;
    int status = -1;

    void SetUp() override
    {
        dir = FreshTestDir();
        db = dir + "ovw-db.txt";
    }

    // A database with the boolean field, a string field and these hosts.
    void Seed(const std::vector<std::string> &hosts, const std::string &flag = szFlag)
    {
        std::string text = "sets 0\nfield 1 boolean " + flag + "\nfield 2 string vendor\n";
        for (size_t i = 0; i < hosts.size(); ++i)
            text += "object " + std::to_string(1001 + i) + " " + hosts[i] + "\n";
        WriteFileText(db, text);
    }

    // Runs the driver with these arguments; out and err receive its output.
    // meanwhile, when given, is called again and again while the JVM runs.
    void Run(const std::vector<std::string> &args, void (*meanwhile)(const std::string &db) = 0)
    {
        std::string outPath = dir + "stdout", errPath = dir + "stderr";
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(o, 1);
            dup2(e, 2);
            setenv("OVW_SIM_DB", db.c_str(), 1);
            std::vector<std::string> words = {
                JAVA_EXECUTABLE, "-Xshare:auto", std::string("-Djava.library.path=") + LIBRARY_DIR,
                "-cp",           CLASS_PATH,     "NodeflagsDriver"};
            words.insert(words.end(), args.begin(), args.end());
            std::vector<char *> argv;
            for (std::string &w : words)
                argv.push_back(&w[0]);
            argv.push_back(0);
            execv(argv[0], argv.data());
            _exit(127);
        }
        int waitStatus = 0;
        while (meanwhile && waitpid(child, &waitStatus, WNOHANG) == 0) {
            meanwhile(db);
            usleep(500);
        }
        if (!meanwhile)
            waitpid(child, &waitStatus, 0);
        status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
        out = ReadFileText(outPath);
        err = ReadFileText(errPath);
    }

    // The value line of object id for the flag field, or "" when unset.
    std::string Value(int object)
    {
        std::istringstream lines(ReadFileText(db));
        std::string line, prefix = "value " + std::to_string(object) + " 1 ";
        while (std::getline(lines, line))
            if (line.compare(0, prefix.size(), prefix) == 0)
                return line.substr(prefix.size());
        return "";
    }

    std::string Sets()
    {
        std::istringstream lines(ReadFileText(db));
        std::string line;
        while (std::getline(lines, line))
            if (line.compare(0, 5, "sets ") == 0)
                return line.substr(5);
        return "";
    }
};

TEST_F(Bridge, SetsTrueAndFalseAndPrintsOnlyTheHostNames)
{
    Seed({"alpha", "beta"});
    Run({"init", "update", "alpha", szFlag, "true", "update", "beta", szFlag, "false", "update", "alpha", szFlag,
         "false", "update", "beta", szFlag, "true", "done"});
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(out, "alphabetaalphabeta");
    EXPECT_EQ(err, "init=1\nupdate=1\nupdate=1\nupdate=1\nupdate=1\ndone=1\n");
    EXPECT_EQ(Value(1001), "0");
    EXPECT_EQ(Value(1002), "1");
    EXPECT_EQ(Sets(), "4");
}

TEST_F(Bridge, UnknownHostPrintsTheErrorTextAndStopsBeforeTheField)
{
    Seed({"alpha"});
    // The field is unknown too: its failure must not show, as it is never looked up.
    Run({"init", "update", "gamma", "noSuchField", "true", "update", "alpha", szFlag, "true"});
    EXPECT_EQ(out, std::string("gamma") + szNotFound + "alpha");
    EXPECT_EQ(err, "init=1\nupdate=0\nupdate=1\n");
    EXPECT_EQ(Sets(), "1");
}

TEST_F(Bridge, UnknownFieldPrintsNoErrorText)
{
    Seed({"alpha"});
    Run({"init", "update", "alpha", "noSuchField", "true"});
    EXPECT_EQ(out, "alphaOVwDbFieldNameToFieldId failed");
    EXPECT_EQ(err, "init=1\nupdate=0\n");
    EXPECT_EQ(Sets(), "0");
}

TEST_F(Bridge, RefusedSetIsReportedAsAFailure)
{
    Seed({"alpha"});
    Run({"init", "update", "alpha", "vendor", "true"});
    EXPECT_EQ(out, "alphaOVwDbSetFieldBooleanValue failed");
    EXPECT_EQ(err, "init=1\nupdate=0\n");
    EXPECT_EQ(Sets(), "0");
}

TEST_F(Bridge, NullNamesReturnZeroSilently)
{
    Seed({"alpha"});
    Run({"init", "update", "null", szFlag, "true", "update", "alpha", "null", "true", "update", "null", "null",
         "false"});
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "init=1\nupdate=0\nupdate=0\nupdate=0\n");
    EXPECT_EQ(Sets(), "0");
}

TEST_F(Bridge, NamesAreCutAfter127Bytes)
{
    std::string host127(127, 'h'), field127(127, 'f');
    Seed({host127}, field127);
    Run({"init", "update", "rep:h:127", "rep:f:127", "true", "update", "rep:h:128", "rep:f:128", "false", "update",
         "rep:h:300", "rep:f:300", "true", "update", "rep:h:126", "rep:f:127", "true"});
    EXPECT_EQ(out, host127 + host127 + host127 + std::string(126, 'h') + szNotFound);
    EXPECT_EQ(err, "init=1\nupdate=1\nupdate=1\nupdate=1\nupdate=0\n");
    EXPECT_EQ(Sets(), "3");
    EXPECT_EQ(Value(1001), "1");
}

TEST_F(Bridge, CutMayFallInsideACharacter)
{
    // 126 ASCII bytes and a two-byte character: the copy keeps its first byte.
    Seed({"alpha"});
    Run({"init", "update", "rep:a:126:\\u00e9", szFlag, "true"});
    EXPECT_EQ(out, std::string(126, 'a') + "\xc3" + szNotFound);
}

TEST_F(Bridge, HostNameIsPrintedVerbatim)
{
    Seed({"%s%n%d"});
    Run({"init", "update", "%s%n%d", szFlag, "true", "update", "%x%%\\u0025n", szFlag, "true"});
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(out, std::string("%s%n%d") + "%x%%%n" + szNotFound);
    EXPECT_EQ(err, "init=1\nupdate=1\nupdate=0\n");
}

TEST_F(Bridge, EmptyHostNameIsLookedUpAndPrintsNothing)
{
    Seed({"alpha"});
    Run({"init", "update", "", szFlag, "true"});
    EXPECT_EQ(out, szNotFound);
    EXPECT_EQ(err, "init=1\nupdate=0\n");
}

TEST_F(Bridge, NamesArriveInModifiedUtf8)
{
    // U+00E9 is two bytes; U+1F600 is a surrogate pair, three bytes each;
    // U+0000 is the two bytes C0 80.
    std::string accented = "h\xc3\xa9te", emoji = "\xed\xa0\xbd\xed\xb8\x80", zero = "n\xc0\x80l";
    Seed({accented, emoji, zero});
    Run({"init", "update", "h\\u00e9te", szFlag, "true", "update", "\\ud83d\\ude00", szFlag, "true", "update",
         "n\\u0000l", szFlag, "true"});
    EXPECT_EQ(out, accented + emoji + zero);
    EXPECT_EQ(err, "init=1\nupdate=1\nupdate=1\nupdate=1\n");
    EXPECT_EQ(Value(1001), "1");
    EXPECT_EQ(Value(1002), "1");
    EXPECT_EQ(Value(1003), "1");
}

TEST_F(Bridge, OrderOfCallsIsNotEnforced)
{
    Seed({"alpha"});
    // Close without open, update while closed, open twice.
    Run({"done", "update", "alpha", szFlag, "true", "init", "init", "update", "alpha", szFlag, "true", "done",
         "done"});
    EXPECT_EQ(out, "alpha1 Object database not open\nOVwDbHostnameToObjectId failedalpha");
    EXPECT_EQ(err, "done=1\nupdate=0\ninit=1\ninit=1\nupdate=1\ndone=1\ndone=1\n");
    EXPECT_EQ(Value(1001), "1");
}

TEST_F(Bridge, UpdateAfterFailedOpenStillAsksTheDatabase)
{
    // No database file at all.
    Run({"init", "update", "alpha", szFlag, "true", "done"});
    EXPECT_EQ(out, "OVwDBInit failedalpha1 Object database not open\nOVwDbHostnameToObjectId failed");
    EXPECT_EQ(err, "init=0\nupdate=0\ndone=1\n");
}

TEST_F(Bridge, NoOpMethodsAlwaysSucceed)
{
    Run({"createmenu", "initui", "uninitui", "init", "createmenu", "initui", "uninitui"});
    EXPECT_EQ(out, "OVwDBInit failed");
    EXPECT_EQ(err, "createmenu=1\ninitui=1\nuninitui=1\ninit=0\ncreatemenu=1\ninitui=1\nuninitui=1\n");
}

TEST_F(Bridge, SetIsInTheFileEvenWhenTheJvmDiesAtOnce)
{
    Seed({"alpha"});
    Run({"init", "update", "alpha", szFlag, "true", "halt"});
    EXPECT_EQ(status, 3);
    EXPECT_EQ(Value(1001), "1");
    EXPECT_EQ(Sets(), "1");
}

TEST_F(Bridge, EightThreadsUpdatingAtOnceLoseNothing)
{
    std::vector<std::string> hosts;
    for (int t = 0; t < 8; ++t)
        hosts.push_back("t" + std::to_string(t));
    Seed(hosts);
    Run({"init", "threads", "8", std::to_string(nPerThread), "t", szFlag, "done"});
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(err, "init=1\nthreads=" + std::to_string(8 * nPerThread) + "\ndone=1\n");
    EXPECT_EQ(Sets(), std::to_string(8 * nPerThread));
    ASSERT_EQ(out.size(), 8u * nPerThread * 2);
    int counts[8] = {};
    for (size_t i = 0; i < out.size(); i += 2) {
        ASSERT_EQ(out[i], 't') << "at " << i;
        ASSERT_TRUE(out[i + 1] >= '0' && out[i + 1] <= '7') << "at " << i;
        ++counts[out[i + 1] - '0'];
    }
    for (int t = 0; t < 8; ++t) {
        EXPECT_EQ(counts[t], nPerThread) << "host t" << t;
        // Calls alternate true and false: the last of an even number sets false.
        EXPECT_EQ(Value(1001 + t), "0") << "last value of t" << t;
    }
}

TEST_F(Bridge, DatabaseFileRemovedUnderEightThreads)
{
    std::vector<std::string> hosts;
    for (int t = 0; t < 8; ++t)
        hosts.push_back("t" + std::to_string(t));
    Seed(hosts);
    // The file goes once the database is open and the first set is in it,
    // and again whenever a set has written it anew.
    static int removals;
    removals = 0;
    Run({"init", "threads", "8", std::to_string(nPerThread), "t", szFlag, "done"}, [](const std::string &path) {
        std::string text = ReadFileText(path);
        if (!text.empty() && text.find("sets 0\n") == std::string::npos && unlink(path.c_str()) == 0)
            ++removals;
    });
    EXPECT_GE(removals, 1) << "the file must have gone while the threads ran";
    ASSERT_EQ(status, 0) << err;
    // Every call printed its host and returned 1, or added the set failure
    // text and returned 0: nothing else, no crash.
    std::string rest = out;
    size_t failed = 0, pos;
    const std::string failure = "OVwDbSetFieldBooleanValue failed";
    while ((pos = rest.find(failure)) != std::string::npos) {
        rest.erase(pos, failure.size());
        ++failed;
    }
    ASSERT_EQ(rest.size(), 8u * nPerThread * 2) << "only host names besides the failure texts";
    std::istringstream lines(err);
    std::string line, threads;
    while (std::getline(lines, line))
        if (line.compare(0, 8, "threads=") == 0)
            threads = line.substr(8);
    EXPECT_EQ(std::stoul(threads) + failed, 8u * nPerThread);
}
