// The bridge called directly through the minimal JNI environment, for what
// a JVM does not readily provoke: strings whose characters cannot be had,
// and value bytes other than 0 and 1. The database stand-in keeps its file
// in the test's own folder and writes every set to it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "mini_jni.h"
#include "quorel_im_vesk_NNMMenuManager.h"
#include "test_support.h"

static const char szSeed[] = "sets 0\nfield 1 boolean flag\nobject 1001 alpha\n";

class BridgeCalls : public ::testing::Test {
protected:
    std::string dir, db;
    JNIEnv *env = MiniJniEnv();
    MiniString host, field;

    void SetUp() override
    {
        dir = FreshTestDir();
        db = dir + "ovw-db.txt";
        WriteFileText(db, szSeed);
        setenv("OVW_SIM_DB", db.c_str(), 1);
        unsetenv("OVW_SIM_PERSIST");
        host.utf = "alpha";
        field.utf = "flag";
        ASSERT_EQ(Java_quorel_im_vesk_NNMMenuManager_InitializeDB(env, 0), 1);
    }

    void TearDown() override { Java_quorel_im_vesk_NNMMenuManager_UninitializeDB(env, 0); }

    // UpdateMenu on host and field; out receives what it printed.
    jint Update(jboolean value, std::string &out)
    {
        std::string path = dir + "stdout";
        fflush(stdout);
        int saved = dup(1);
        int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(file, 1);
        close(file);
        jint result =
            Java_quorel_im_vesk_NNMMenuManager_UpdateMenu(env, 0, MiniRef(host), 0, MiniRef(field), value);
        fflush(stdout);
        dup2(saved, 1);
        close(saved);
        out = ReadFileText(path);
        return result;
    }
};

TEST_F(BridgeCalls, NameWithoutCharactersEndsTheCallWithoutABorrow)
{
    // Host: nothing printed, nothing looked up. Field: the host name is
    // already printed; the set is not made. Nothing stays borrowed (a
    // release of the null would abort the test).
    const struct {
        bool hostUnavailable;
        const char *printed;
    } cases[] = {{true, ""}, {false, "alpha"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.hostUnavailable ? "host" : "field");
        host.unavailable = c.hostUnavailable;
        field.unavailable = !c.hostUnavailable;
        std::string out;
        EXPECT_EQ(Update(JNI_TRUE, out), 0);
        EXPECT_EQ(out, c.printed);
        EXPECT_EQ(host.borrowed, 0);
        EXPECT_EQ(field.borrowed, 0);
        EXPECT_EQ(ReadFileText(db), szSeed) << "no set may be made";
    }
}

TEST_F(BridgeCalls, ValueByteReachesTheDatabaseUnchanged)
{
    // The jboolean byte is passed on as it is, not folded to 0 or 1.
    for (int value : {1, 0, 2, 0x80, 0xFF}) {
        SCOPED_TRACE(value);
        std::string out;
        EXPECT_EQ(Update((jboolean)value, out), 1);
        EXPECT_EQ(out, "alpha");
        EXPECT_NE(ReadFileText(db).find("\nvalue 1001 1 " + std::to_string(value) + "\n"), std::string::npos)
            << ReadFileText(db);
    }
}
