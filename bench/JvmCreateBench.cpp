// JNI_CreateJavaVM of the test JVM library (a real JVM behind it), timed from
// LoadLibraryW to the created JVM. One JVM per process, so one figure per
// run; the caller runs it repeatedly.
//
// Arguments: the JVM library, the class path.
#include <windows.h>

#include <jni.h>

#include <cstdio>
#include <string>

#include "BenchSupport.h"

using CreateProc = jint(JNICALL*)(JavaVM**, void**, void*);

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: jvmcreatebench jvm.dll classpath\n");
        return 2;
    }
    const double began = nowMs();
    HMODULE library = LoadLibraryW(argv[1]);
    if (library == nullptr) {
        std::fprintf(stderr, "LoadLibraryW: %lu\n", GetLastError());
        return 1;
    }
    auto create = reinterpret_cast<CreateProc>(reinterpret_cast<void (*)()>(GetProcAddress(library, "JNI_CreateJavaVM")));
    if (create == nullptr) {
        return 1;
    }
    char classPath[2048];
    std::snprintf(classPath, sizeof classPath, "-Djava.class.path=%ls", argv[2]);
    JavaVMOption option = {};
    option.optionString = classPath;
    JavaVMInitArgs args = {};
    args.version = JNI_VERSION_1_2;
    args.nOptions = 1;
    args.options = &option;
    args.ignoreUnrecognized = JNI_TRUE;
    JavaVM* jvm = nullptr;
    JNIEnv* env = nullptr;
    if (create(&jvm, reinterpret_cast<void**>(&env), &args) != 0 || env->FindClass("java/lang/String") == nullptr) {
        std::fprintf(stderr, "JNI_CreateJavaVM failed\n");
        return 1;
    }
    std::printf("%.3f\n", nowMs() - began);
    std::fflush(stdout);
    // The JVM lives until the process ends, as in the service.
    ExitProcess(0);
}
