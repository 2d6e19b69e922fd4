#include "bridge_client.h"

#include <windows.h>

#include <jni.h>

#include <fstream>
#include <sstream>

#include "mini_jni.h"

typedef jint(JNICALL *NoArgumentMethod)(JNIEnv *, jobject);
typedef jint(JNICALL *UpdateMenuMethod)(JNIEnv *, jobject, jstring, jstring, jstring, jboolean);

// A native method of the bridge by its JNI name, or null. A 32-bit JVM looks
// up the stdcall-decorated name first ("_<name>@<argument bytes>"), then
// the plain one; so does this.
template <typename Method> static Method FindMethod(HMODULE hBridge, const char *name, int argumentBytes)
{
    FARPROC found = 0;
#if defined(_WIN32) && !defined(_WIN64)
    found = GetProcAddress(hBridge, ("_" + std::string(name) + "@" + std::to_string(argumentBytes)).c_str());
#else
    (void)argumentBytes;
#endif
    if (!found)
        found = GetProcAddress(hBridge, name);
    return reinterpret_cast<Method>(reinterpret_cast<void *>(found));
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
    // Which object database the bridge reached: the ovw.dll the loader chose.
    char szOvw[MAX_PATH];
    HMODULE hOvw = GetModuleHandleA("ovw.dll");
    DWORD n = hOvw ? GetModuleFileNameA(hOvw, szOvw, sizeof szOvw) : 0;
    record("ovw.dll", n > 0 && n < sizeof szOvw ? szOvw : "none");
    // Arguments: the JNI environment and the object, then UpdateMenu's four
    // (three references and a jboolean widened to a stack slot).
    const int noArguments = 2 * (int)sizeof(void *);
    const int updateArguments = 6 * (int)sizeof(void *);
    auto initialize =
        FindMethod<NoArgumentMethod>(hBridge, "Java_quorel_im_vesk_NNMMenuManager_InitializeDB", noArguments);
    auto update =
        FindMethod<UpdateMenuMethod>(hBridge, "Java_quorel_im_vesk_NNMMenuManager_UpdateMenu", updateArguments);
    auto uninitialize =
        FindMethod<NoArgumentMethod>(hBridge, "Java_quorel_im_vesk_NNMMenuManager_UninitializeDB", noArguments);
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
        jint result =
            update(env, 0, MiniRef(host), MiniRef(menu), MiniRef(field), value == "true" ? JNI_TRUE : JNI_FALSE);
        record("bridge", "UpdateMenu " + host.utf + " " + value + " " + std::to_string(result));
    }
    record("bridge", "UninitializeDB " + std::to_string(uninitialize(env, 0)));
}
