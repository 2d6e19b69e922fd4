// Floors for the bridge benchmark, with UpdateMenu's signature.
// UpdateMenu: borrows and releases the two strings, and nothing else.
// DatabaseOnly: the same plus the three database calls on the borrowed
// characters, to show how much of the bridge's time is the database's.
#include <jni.h>

#include "ovw.h"

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

extern "C" JNIEXPORT jint JNICALL Java_NodeflagsFloor_DatabaseOnly(JNIEnv *env, jobject, jstring hostName, jstring,
                                                                    jstring fieldName, jboolean value)
{
    if (hostName == 0 || fieldName == 0)
        return 0;
    const char *host = env->GetStringUTFChars(hostName, 0);
    if (!host)
        return 0;
    OVwObjectId object = OVwDbHostnameToObjectId(const_cast<char *>(host));
    env->ReleaseStringUTFChars(hostName, host);
    const char *field = env->GetStringUTFChars(fieldName, 0);
    if (!field)
        return 0;
    OVwFieldId id = OVwDbFieldNameToFieldId(const_cast<char *>(field));
    env->ReleaseStringUTFChars(fieldName, field);
    return OVwDbSetFieldBooleanValue(object, id, value) < 0 ? 0 : 1;
}
