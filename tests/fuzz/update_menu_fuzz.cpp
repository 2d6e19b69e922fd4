// UpdateMenu with arbitrary host and field bytes and value, through the
// minimal JNI environment and the database stand-in. Every borrowed string
// must be released, with the characters it was given, before the call ends.
#include <jni.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_dir.h"
#include "mini_jni.h"
#include "quorel_im_vesk_NNMMenuManager.h"

static std::string dir;

static void RemoveDir()
{
    remove((dir + "/ovw-db.txt").c_str());
    rmdir(dir.c_str());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static JNIEnv *env;
    if (!env) {
        dir = FuzzDir("update-menu-fuzz");
        atexit(RemoveDir);
        std::string db = dir + "/ovw-db.txt";
        FILE *f = fopen(db.c_str(), "w");
        fputs("sets 0\nfield 1 boolean flag\nfield 2 string vendor\nobject 1001 alpha\nobject 1002 \n", f);
        fclose(f);
        setenv("OVW_SIM_DB", db.c_str(), 1);
        if (!freopen("/dev/null", "w", stdout))
            abort();
        env = MiniJniEnv();
        Java_quorel_im_vesk_NNMMenuManager_InitializeDB(env, 0);
    }
    if (size < 1)
        return 0;
    // First byte: value and which references are null; then "host\0field".
    unsigned char control = data[0];
    std::string rest(reinterpret_cast<const char *>(data + 1), size - 1);
    size_t split = rest.find('\0');
    MiniString host, field;
    host.utf = rest.substr(0, split);
    field.utf = split == std::string::npos ? "flag" : rest.substr(split + 1);
    jstring hostRef = (control & 0x80) ? 0 : MiniRef(host);
    jstring fieldRef = (control & 0x40) ? 0 : MiniRef(field);
    jint result =
        Java_quorel_im_vesk_NNMMenuManager_UpdateMenu(env, 0, hostRef, 0, fieldRef, (jboolean)(control & 0x3F));
    if (host.borrowed != 0 || field.borrowed != 0 || (result != 0 && result != 1))
        abort();
    return 0;
}
