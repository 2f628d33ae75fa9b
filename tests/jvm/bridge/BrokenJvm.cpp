// JVM libraries that fail the way a broken installation does, one per build
// variant: BROKEN_JVM_NO_INIT_ARGS lacks JNI_GetDefaultJavaVMInitArgs,
// BROKEN_JVM_INIT_ARGS_FAIL rejects every version there, BROKEN_JVM_CREATE_FAILS
// answers JNI_ENOMEM from JNI_CreateJavaVM.
#include <jni.h>

#include <cstdio>

extern "C" {

#if !defined(BROKEN_JVM_NO_INIT_ARGS)
JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void*) {
#if defined(BROKEN_JVM_INIT_ARGS_FAIL)
    return JNI_EVERSION;
#else
    return JNI_OK;
#endif
}
#endif

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void*) {
    *pvm = nullptr;
    *penv = nullptr;
#if defined(BROKEN_JVM_CREATE_FAILS)
    return JNI_ENOMEM;
#else
    // Programs that check the default arguments first never get here.
    std::fprintf(stderr, "broken test JVM: JNI_CreateJavaVM called\n");
    return JNI_ERR;
#endif
}

}  // extern "C"
