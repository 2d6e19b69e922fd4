// UpdateMenu allocates nothing on its call path: every heap allocation of
// the process is counted while the bridge runs, once the C runtime's own
// one-time buffers exist. The database stand-in keeps its sets in memory
// here, so that only the bridge's path is measured.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "mini_jni.h"
#include "quorel_im_vesk_NNMMenuManager.h"
#include "test_support.h"

extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);

static bool counting;
static int allocations;

extern "C" void *malloc(size_t size)
{
    allocations += counting;
    return __libc_malloc(size);
}

extern "C" void *calloc(size_t count, size_t size)
{
    allocations += counting;
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *block, size_t size)
{
    allocations += counting;
    return __libc_realloc(block, size);
}

TEST(BridgeAllocation, UpdateMenuAllocatesNothing)
{
    std::string db = FreshTestDir() + "ovw-db.txt";
    WriteFileText(db, "sets 0\nfield 1 boolean flag\nfield 2 string vendor\nobject 1001 alpha\n");
    setenv("OVW_SIM_DB", db.c_str(), 1);
    setenv("OVW_SIM_PERSIST", "0", 1);
    JNIEnv *env = MiniJniEnv();
    ASSERT_EQ(Java_quorel_im_vesk_NNMMenuManager_InitializeDB(env, 0), 1);

    MiniString alpha, nobody, flag, vendor, missing;
    alpha.utf = "alpha";
    nobody.utf = std::string(300, 'n');
    flag.utf = "flag";
    vendor.utf = "vendor";
    missing.utf = "missing";
    // The bridge's output goes to /dev/null for the time of the calls.
    fflush(stdout);
    int saved = dup(1);
    int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 1);
    auto calls = [&]() {
        int ones = 0;
        for (int i = 0; i < 1000; ++i) {
            ones += Java_quorel_im_vesk_NNMMenuManager_UpdateMenu(env, 0, MiniRef(alpha), 0, MiniRef(flag), i & 1);
            ones += Java_quorel_im_vesk_NNMMenuManager_UpdateMenu(env, 0, MiniRef(nobody), 0, MiniRef(flag), 1);
            ones += Java_quorel_im_vesk_NNMMenuManager_UpdateMenu(env, 0, MiniRef(alpha), 0, MiniRef(missing), 1);
            ones += Java_quorel_im_vesk_NNMMenuManager_UpdateMenu(env, 0, MiniRef(alpha), 0, MiniRef(vendor), 1);
        }
        return ones;
    };
    int warm = calls(); // the runtime's stdout buffer and the like
    counting = true;
    int measured = calls();
    counting = false;
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(devNull);
    Java_quorel_im_vesk_NNMMenuManager_UninitializeDB(env, 0);

    EXPECT_EQ(warm, 1000);
    EXPECT_EQ(measured, 1000);
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(alpha.borrowed + nobody.borrowed + flag.borrowed + vendor.borrowed + missing.borrowed, 0);
}
