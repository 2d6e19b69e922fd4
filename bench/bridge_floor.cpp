// Floor native method for the bridge benchmark: borrows and releases the
// two strings as UpdateMenu does, and nothing else.
#include <jni.h>

extern "C" JNIEXPORT jint JNICALL Java_NodeflagsFloor_UpdateMenu(JNIEnv *env, jobject, jstring hostName, jstring,
                                                                  jstring fieldName, jboolean)
{
    if (hostName == 0 || fieldName == 0)
        return 0;
    const char *host = env->GetStringUTFChars(hostName, 0);
    if (host)
        env->ReleaseStringUTFChars(hostName, host);
    const char *field = env->GetStringUTFChars(fieldName, 0);
    if (field)
        env->ReleaseStringUTFChars(fieldName, field);
    return 1;
}
