#include "bridge_client.h"

#include <windows.h>

#include <jni.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

// A Java string as this stand-in hands it to the bridge: its modified UTF-8
// bytes (plain ASCII names are the same in UTF-8).
struct SimString {
    std::string utf;
};

static const char *JNICALL SimGetStringUTFChars(JNIEnv *, jstring string, jboolean *isCopy)
{
    if (isCopy)
        *isCopy = JNI_FALSE;
    return reinterpret_cast<SimString *>(string)->utf.c_str();
}

static void JNICALL SimReleaseStringUTFChars(JNIEnv *, jstring, const char *)
{
}

typedef jint(JNICALL *NoArgumentMethod)(JNIEnv *, jobject);
typedef jint(JNICALL *UpdateMenuMethod)(JNIEnv *, jobject, jstring, jstring, jstring, jboolean);

// A native method of the bridge by its JNI name, or null.
template <typename Method> static Method FindMethod(HMODULE hBridge, const char *name)
{
    return reinterpret_cast<Method>(reinterpret_cast<void *>(GetProcAddress(hBridge, name)));
}

void RunBridgeCalls(const std::string &callsPath, void (*record)(const char *, const std::string &))
{
    std::ifstream calls(callsPath);
    if (!calls)
        return;
    char szDirectory[MAX_PATH];
    GetCurrentDirectoryA(sizeof szDirectory, szDirectory);
    HMODULE hBridge = LoadLibraryA((std::string(szDirectory) + "\\nodeflags.dll").c_str());
    if (!hBridge) {
        record("bridge", "not loaded " + std::to_string(GetLastError()));
        return;
    }
    auto initialize = FindMethod<NoArgumentMethod>(hBridge, "Java_quorel_im_vesk_NNMMenuManager_InitializeDB");
    auto update = FindMethod<UpdateMenuMethod>(hBridge, "Java_quorel_im_vesk_NNMMenuManager_UpdateMenu");
    auto uninitialize = FindMethod<NoArgumentMethod>(hBridge, "Java_quorel_im_vesk_NNMMenuManager_UninitializeDB");
    if (!initialize || !update || !uninitialize) {
        record("bridge", "methods missing");
        return;
    }

    JNINativeInterface_ functions;
    memset(&functions, 0, sizeof functions);
    functions.GetStringUTFChars = SimGetStringUTFChars;
    functions.ReleaseStringUTFChars = SimReleaseStringUTFChars;
    JNIEnv env;
    env.functions = &functions;

    record("bridge", "InitializeDB " + std::to_string(initialize(&env, 0)));
    std::string line;
    while (std::getline(calls, line)) {
        std::istringstream words(line);
        SimString host, field;
        std::string value;
        if (!(words >> host.utf >> field.utf >> value))
            continue;
        SimString menu{"menu"};
        jint result = update(&env, 0, reinterpret_cast<jstring>(&host), reinterpret_cast<jstring>(&menu),
                             reinterpret_cast<jstring>(&field), value == "true" ? JNI_TRUE : JNI_FALSE);
        record("bridge", "UpdateMenu " + host.utf + " " + value + " " + std::to_string(result));
    }
    record("bridge", "UninitializeDB " + std::to_string(uninitialize(&env, 0)));
}
