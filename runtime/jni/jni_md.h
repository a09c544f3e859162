// Windows flavour of the JNI machine-dependent header: the platform's jni.h includes it.
// Windows runtimes use the stdcall convention and a 32-bit jint on every architecture.
#ifndef KORVO_JNI_MD_H
#define KORVO_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
