// JVM libraries that fail the way a broken installation does, one per build
// variant: BROKEN_JVM_NO_INIT_ARGS lacks JNI_GetDefaultJavaVMInitArgs,
// BROKEN_JVM_INIT_ARGS_FAIL rejects every version there. Every variant refuses
// to create a JVM with BROKEN_JVM_CREATE_STATUS (JNI_ERR unless the variant
// chooses another), after recording the creation arguments (into the file named
// by the option -Dfake.record=PATH) and writing two lines through the
// "vfprintf" hook when it is given.
#include <jni.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#if !defined(BROKEN_JVM_CREATE_STATUS)
#define BROKEN_JVM_CREATE_STATUS JNI_ERR
#endif

namespace {

using VfprintfHook = jint(JNICALL*)(FILE*, const char*, va_list);

jint callHook(VfprintfHook hook, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const jint written = hook(stdout, format, arguments);
    va_end(arguments);
    return written;
}

void recordArguments(const JavaVMInitArgs* init) {
    const char* recordPath = nullptr;
    for (jint index = 0; index < init->nOptions; ++index) {
        const char* option = init->options[index].optionString;
        if (std::strncmp(option, "-Dfake.record=", 14) == 0) {
            recordPath = option + 14;
        }
    }
    FILE* record = recordPath != nullptr ? std::fopen(recordPath, "w") : nullptr;
    if (record == nullptr) {
        return;
    }
    std::fprintf(record, "version=%lx ignoreUnrecognized=%d options=%ld\n", static_cast<long>(init->version),
                 static_cast<int>(init->ignoreUnrecognized), static_cast<long>(init->nOptions));
    for (jint index = 0; index < init->nOptions; ++index) {
        std::fprintf(record, "[%s] %s\n", init->options[index].optionString,
                     init->options[index].extraInfo != nullptr ? "hook" : "-");
    }
    std::fclose(record);
}

}  // namespace

extern "C" {

#if !defined(BROKEN_JVM_NO_INIT_ARGS)
JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args) {
#if defined(BROKEN_JVM_INIT_ARGS_FAIL)
    (void)args;
    return JNI_EVERSION;
#else
    return static_cast<JavaVMInitArgs*>(args)->version == JNI_VERSION_1_2 ? JNI_OK : JNI_EVERSION;
#endif
}
#endif

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* args) {
    *vm = nullptr;
    *env = nullptr;
    const auto* init = static_cast<const JavaVMInitArgs*>(args);
    recordArguments(init);
    for (jint index = 0; index < init->nOptions; ++index) {
        if (std::strcmp(init->options[index].optionString, "vfprintf") == 0) {
            auto hook = reinterpret_cast<VfprintfHook>(init->options[index].extraInfo);
            callHook(hook, "fake JVM says %s %d\n", "hello", 42);
            callHook(hook, "and once more\n");
        }
    }
    return BROKEN_JVM_CREATE_STATUS;
}

}  // extern "C"
