// A minimal JNI environment, standing in for the JVM's when the bridge is
// called without one (the Java stand-in, fuzzing, tests): it gives
// only GetStringUTFChars and ReleaseStringUTFChars, the two functions the
// bridge uses, and checks that each borrow is paid back with the same
// characters. Any other JNI function is a null pointer: calling it crashes.
// A string can be made unavailable: GetStringUTFChars then gives null, as a
// JVM does when it cannot make the copy.
#ifndef SIM_JNI_MINI_JNI_H
#define SIM_JNI_MINI_JNI_H

#include <jni.h>

#include <cstdlib>
#include <string>

struct MiniString {
    std::string utf;          // the modified UTF-8 bytes the bridge is given
    bool unavailable = false; // GetStringUTFChars gives null
    int borrowed = 0;
};

inline jstring MiniRef(MiniString &s)
{
    return reinterpret_cast<jstring>(&s);
}

inline const char *JNICALL MiniBorrow(JNIEnv *, jstring string, jboolean *isCopy)
{
    if (isCopy)
        abort(); // the bridge passes no is-copy pointer
    MiniString *s = reinterpret_cast<MiniString *>(string);
    if (s->unavailable)
        return 0;
    ++s->borrowed;
    return s->utf.c_str();
}

inline void JNICALL MiniRelease(JNIEnv *, jstring string, const char *chars)
{
    MiniString *s = reinterpret_cast<MiniString *>(string);
    if (chars != s->utf.c_str() || s->borrowed <= 0)
        abort();
    --s->borrowed;
}

inline JNIEnv *MiniJniEnv()
{
    static JNINativeInterface_ functions;
    static JNIEnv env;
    functions.GetStringUTFChars = MiniBorrow;
    functions.ReleaseStringUTFChars = MiniRelease;
    env.functions = &functions;
    return &env;
}

#endif
