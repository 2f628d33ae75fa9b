// JVM libraries that fail where a real one would not, one per build flavour:
// FAKE_NO_DEFAULT_ARGS lacks JNI_GetDefaultJavaVMInitArgs, FAKE_PROBE_FAILS
// rejects the version probe, FAKE_CREATE_FAILS records the creation
// arguments (into the file named by the option -Dfake.record=PATH), writes
// one line through the "vfprintf" hook and then refuses to create a JVM.
#include <jni.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

using VfprintfHook = jint(JNICALL*)(FILE*, const char*, va_list);

jint callHook(VfprintfHook hook, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const jint written = hook(stdout, format, arguments);
    va_end(arguments);
    return written;
}

}  // namespace

extern "C" {

#if !defined(FAKE_NO_DEFAULT_ARGS)
JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args) {
#if defined(FAKE_PROBE_FAILS)
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
#if defined(FAKE_CREATE_FAILS)
    const auto* init = static_cast<const JavaVMInitArgs*>(args);
    const char* recordPath = nullptr;
    for (jint index = 0; index < init->nOptions; ++index) {
        const char* option = init->options[index].optionString;
        if (std::strncmp(option, "-Dfake.record=", 14) == 0) {
            recordPath = option + 14;
        }
    }
    if (recordPath != nullptr) {
        if (FILE* record = std::fopen(recordPath, "w")) {
            std::fprintf(record, "version=%lx ignoreUnrecognized=%d options=%ld\n",
                         static_cast<long>(init->version), static_cast<int>(init->ignoreUnrecognized),
                         static_cast<long>(init->nOptions));
            for (jint index = 0; index < init->nOptions; ++index) {
                std::fprintf(record, "[%s] %s\n", init->options[index].optionString,
                             init->options[index].extraInfo != nullptr ? "hook" : "-");
            }
            std::fclose(record);
        }
    }
    for (jint index = 0; index < init->nOptions; ++index) {
        if (std::strcmp(init->options[index].optionString, "vfprintf") == 0) {
            auto hook = reinterpret_cast<VfprintfHook>(init->options[index].extraInfo);
            callHook(hook, "fake JVM says %s %d\n", "hello", 42);
            callHook(hook, "and once more\n");
        }
    }
    return JNI_ERR;
#else
    (void)args;
    return JNI_ERR;
#endif
}

}  // extern "C"
