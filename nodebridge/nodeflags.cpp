// nodeflags: native methods of quorel.im.vesk.NNMMenuManager. Opens and
// closes the NNM object database and sets one boolean field of the object of
// a host name, through ovw.dll. No state is kept between calls, no lock is
// taken and nothing is allocated: each call works on its own 128-byte name
// buffer, and every borrowed Java string is released right after its lookup.
#include <jni.h>

#include <cstdio>
#include <cstring>

#include "ovw.h"
#include "quorel_im_vesk_NNMMenuManager.h" // the Java declarations: every signature is checked

enum { NAME_BUFFER_SIZE = 128 };

// Looks a Java string up by name: borrows its modified UTF-8 characters,
// zeroes the buffer and copies at most 127 bytes into it (a longer name is
// cut after its 127th byte, even inside a multi-byte character), calls
// lookUp on the copy and releases the characters before returning, so that
// no path holds them. False, with nothing looked up, when the characters
// cannot be had; the JVM's pending exception, if any, is left to the caller.
static bool LookUpJavaName(JNIEnv *env, jstring name, char *buffer, unsigned int (*lookUp)(char *),
                           unsigned int &id)
{
    const char *chars = env->GetStringUTFChars(name, 0);
    if (chars == 0)
        return false;
    memset(buffer, 0, NAME_BUFFER_SIZE);
    for (size_t i = 0; i < NAME_BUFFER_SIZE - 1 && chars[i] != '\0'; ++i)
        buffer[i] = chars[i];
    id = lookUp(buffer);
    env->ReleaseStringUTFChars(name, chars);
    return true;
}

extern "C" {

JNIEXPORT jint JNICALL Java_quorel_im_vesk_NNMMenuManager_InitializeDB(JNIEnv *, jobject)
{
    if (OVwDbInit() == 0)
        return 1;
    fputs("OVwDBInit failed", stdout);
    return 0;
}

JNIEXPORT jint JNICALL Java_quorel_im_vesk_NNMMenuManager_UpdateMenu(JNIEnv *env, jobject, jstring hostName,
                                                                     jstring, jstring fieldName, jboolean value)
{
    char szName[NAME_BUFFER_SIZE];
    if (hostName == 0 || fieldName == 0)
        return 0;

    OVwObjectId objectId = 0;
    if (!LookUpJavaName(env, hostName, szName, OVwDbHostnameToObjectId, objectId))
        return 0;
    fputs(szName, stdout);
    if (objectId == 0) {
        printf("1 %s\n", OVwErrorMsg(OVwError()));
        fputs("OVwDbHostnameToObjectId failed", stdout);
        return 0;
    }

    OVwFieldId fieldId = 0;
    if (!LookUpJavaName(env, fieldName, szName, OVwDbFieldNameToFieldId, fieldId))
        return 0;
    if (fieldId == 0) {
        fputs("OVwDbFieldNameToFieldId failed", stdout);
        return 0;
    }

    // A set the database refuses is reported, not passed off as done.
    if (OVwDbSetFieldBooleanValue(objectId, fieldId, (unsigned int)value) < 0) {
        fputs("OVwDbSetFieldBooleanValue failed", stdout);
        return 0;
    }
    return 1;
}

JNIEXPORT jint JNICALL Java_quorel_im_vesk_NNMMenuManager_UninitializeDB(JNIEnv *, jobject)
{
    OVwDbDone();
    return 1;
}

// Also exported as InitializeUI and UninitializeUI: the three do nothing.
JNIEXPORT jint JNICALL Java_quorel_im_vesk_NNMMenuManager_CreateMenu(JNIEnv *, jobject)
{
    return 1;
}

} // extern "C"
