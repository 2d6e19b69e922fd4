// The object-database stand-in's file: saves from two processes at once
// leave one whole database and every save succeeds; no save leaves its new
// file behind.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ovw_store.h"
#include "test_support.h"

// What writer n saves on its round-th save.
static OvwStore Store(int n, int round)
{
    OvwStore store;
    store.sets = (unsigned long long)round;
    store.fields[1] = OvwField{"flag", true};
    for (unsigned int id = 1001; id <= 1050; ++id) {
        store.objects[id] = "writer-" + std::to_string(n) + "-host-" + std::to_string(id);
        store.values[std::make_pair(id, 1u)] = (unsigned int)((round + n) & 1);
    }
    return store;
}

// The names in dir.
static std::vector<std::string> Names(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

TEST(OvwStore, TwoProcessesSavingOneFileLeaveOneWholeDatabase)
{
    std::string dir = FreshTestDir();
    std::string db = dir + "ovw-db.txt";
    const int rounds = 300;
    std::vector<pid_t> writers;
    for (int n = 0; n < 2; ++n) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int failed = 0;
            for (int round = 1; round <= rounds; ++round)
                failed += !OvwSave(db, Store(n, round));
            _exit(failed == 0 ? 0 : 1);
        }
        writers.push_back(child);
    }
    for (pid_t writer : writers) {
        int status = -1;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed in writer " << writer;
    }
    OvwStore loaded;
    ASSERT_TRUE(OvwLoad(db, loaded));
    std::string text = OvwFormat(loaded);
    EXPECT_TRUE(text == OvwFormat(Store(0, rounds)) || text == OvwFormat(Store(1, rounds))) << text;
    EXPECT_EQ(Names(dir), std::vector<std::string>{"ovw-db.txt"});
}

TEST(OvwStore, FailedSaveLeavesNoNewFile)
{
    // A folder with something in it where the file should be: the rename
    // over it fails.
    std::string dir = FreshTestDir();
    std::filesystem::create_directories(dir + "ovw-db.txt/inside");
    EXPECT_FALSE(OvwSave(dir + "ovw-db.txt", Store(0, 1)));
    EXPECT_EQ(Names(dir), std::vector<std::string>{"ovw-db.txt"});
}
