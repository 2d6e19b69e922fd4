// Floors for the bridge benchmark, with UpdateMenu's signature.
// UpdateMenu: what the bridge's UpdateMenu cannot do without, and nothing
// more: borrows and releases the two strings and makes the same three
// database calls, on the borrowed characters (no copy, nothing printed).
// StringsOnly: borrows and releases the two strings, so that the database's
// share of the floor can be told apart.
#include <jni.h>

#include "ovw.h"

extern "C" JNIEXPORT jint JNICALL Java_NodeflagsFloor_UpdateMenu(JNIEnv *env, jobject, jstring hostName, jstring,
                                                                 jstring fieldName, jboolean value)
{
    if (hostName == 0 || fieldName == 0)
        return 0;
    const char *host = env->GetStringUTFChars(hostName, 0);
    if (!host)
        return 0;
    OVwObjectId object = OVwDbHostnameToObjectId(const_cast<char *>(host));
    env->ReleaseStringUTFChars(hostName, host);
    if (object == 0)
        return 0;
    const char *field = env->GetStringUTFChars(fieldName, 0);
    if (!field)
        return 0;
    OVwFieldId id = OVwDbFieldNameToFieldId(const_cast<char *>(field));
    env->ReleaseStringUTFChars(fieldName, field);
    if (id == 0)
        return 0;
    return OVwDbSetFieldBooleanValue(object, id, value) < 0 ? 0 : 1;
}

extern "C" JNIEXPORT jint JNICALL Java_NodeflagsFloor_StringsOnly(JNIEnv *env, jobject, jstring hostName, jstring,
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
