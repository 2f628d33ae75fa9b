/*
 * Machine-dependent JNI types for 64-bit and 32-bit Windows, used with the
 * JDK's portable jni.h when cross-building (the Linux JDK ships only the
 * Linux variant of this header).
 */
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#ifndef _WIN32
#error "This jni_md.h is for Windows builds; native builds use the JDK's own."
#endif

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;

#endif
