/* The machine-dependent part of the JNI headers, for the two targets this tree builds: the
 * launcher and its fixtures for 64-bit Windows (MinGW-w64), and the JNI steps compiled for
 * the Linux host so that they can be run against a real JVM. jni.h itself comes from the
 * JDK; its own jni_md.h is per platform and the JDK on this machine only carries Linux's. */
#ifndef VKR_JNI_MD_H
#define VKR_JNI_MD_H

#ifdef _WIN32
#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall
/* LLP64: long is 32 bits, as the Windows JDK declares jint. */
typedef long jint;
typedef __int64 jlong;
#else
#define JNIEXPORT __attribute__((visibility("default")))
#define JNIIMPORT __attribute__((visibility("default")))
#define JNICALL
typedef int jint;
#ifdef _LP64
typedef long jlong;
#else
typedef long long jlong;
#endif
#endif

typedef signed char jbyte;

#endif
