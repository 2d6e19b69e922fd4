#include "bridge_client.h"

#include <windows.h>

#include <jni.h>

#include <fstream>
#include <sstream>

#include "mini_jni.h"

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

    JNIEnv *env = MiniJniEnv();
    record("bridge", "InitializeDB " + std::to_string(initialize(env, 0)));
    std::string line;
    while (std::getline(calls, line)) {
        std::istringstream words(line);
        MiniString host, field, menu;
        std::string value;
        if (!(words >> host.utf >> field.utf >> value))
            continue;
        menu.utf = "menu";
        jint result = update(env, 0, MiniRef(host), MiniRef(menu), MiniRef(field),
                             value == "true" ? JNI_TRUE : JNI_FALSE);
        record("bridge", "UpdateMenu " + host.utf + " " + value + " " + std::to_string(result));
    }
    record("bridge", "UninitializeDB " + std::to_string(uninitialize(env, 0)));
}
