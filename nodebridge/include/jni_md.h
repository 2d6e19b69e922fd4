/* Machine-dependent JNI types for Windows builds: JNI entry points use the
 * stdcall convention (the only one on x64; decorated names on x86) and
 * jlong is 64 bits although long is 32 there. The library's exports are
 * listed in its .def file, so JNIEXPORT adds none of its own. */
#ifndef NODEFLAGS_WINDOWS_JNI_MD_H
#define NODEFLAGS_WINDOWS_JNI_MD_H

#define JNIEXPORT
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef int jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
