// JVM libraries that fail the way a broken installation does, one per build
// variant: BROKEN_JVM_NO_INIT_ARGS lacks JNI_GetDefaultJavaVMInitArgs,
// BROKEN_JVM_INIT_ARGS_FAIL rejects every version there. Every variant refuses
// to create a JVM with BROKEN_JVM_CREATE_STATUS (JNI_ERR unless the variant
// chooses another), after recording the creation arguments (into the file named
// by the option -Dfake.record=PATH) and writing two lines through the
// "vfprintf" hook when it is given. Options ask for more, as HotSpot does it:
// -Dfake.load=PATH loads a library as a JNI library is loaded (a plain
// LoadLibrary of its path) and records the outcome; -Dfake.flood=N writes N
// lines to standard error while other threads write standard output without
// pause, each through its standard handle as Java's System.out and System.err,
// and records whether the lines went out before the flood's end;
// -Dfake.exit=N ends the process with _exit(N) right after the hook's lines,
// as -XX:+ExitOnOutOfMemoryError does after its message.
#include <windows.h>

#include <jni.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

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

// The value of the option that starts with prefix, or null.
const char* optionValue(const JavaVMInitArgs* init, const char* prefix) {
    const char* value = nullptr;
    for (jint index = 0; index < init->nOptions; ++index) {
        const char* option = init->options[index].optionString;
        if (std::strncmp(option, prefix, std::strlen(prefix)) == 0) {
            value = option + std::strlen(prefix);
        }
    }
    return value;
}

void recordArguments(const JavaVMInitArgs* init) {
    const char* recordPath = optionValue(init, "-Dfake.record=");
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

void loadAsJniLibrary(const JavaVMInitArgs* init) {
    const char* path = optionValue(init, "-Dfake.load=");
    const char* recordPath = optionValue(init, "-Dfake.record=");
    if (path == nullptr || recordPath == nullptr) {
        return;
    }
    const HMODULE library = LoadLibraryA(path);
    const unsigned long error = GetLastError();
    FILE* record = std::fopen(recordPath, "a");
    if (record != nullptr) {
        std::fprintf(record, library != nullptr ? "loaded\n" : "not loaded %lu\n", error);
        std::fclose(record);
    }
}

// Writes count lines to standard error while two threads write standard
// output in large blocks, one of them always waiting behind the full pipe,
// until the lines are written or 32 MiB of output are. Records which came first.
void writeErrorLinesWhileOutputFloods(unsigned long count, const char* recordPath) {
    static char block[1024 * 1024];
    std::memset(block, 'o', sizeof block);
    block[sizeof block - 1] = '\n';
    std::atomic<int> blocksLeft{32};
    auto flood = [&blocksLeft] {
        DWORD written = 0;
        while (blocksLeft-- > 0 && WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), block, sizeof block, &written, nullptr)) {
        }
    };
    std::thread first(flood);
    std::thread second(flood);
    // A hundred lines a write: the pipe fills in few writes.
    std::string lines;
    for (unsigned long number = 1; number <= count; ++number) {
        lines += "error line " + std::to_string(number) + "\n";
        if (number % 100 == 0 || number == count) {
            DWORD written = 0;
            WriteFile(GetStdHandle(STD_ERROR_HANDLE), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
            lines.clear();
        }
    }
    const bool whileFlooding = blocksLeft > 0;
    blocksLeft = 0;
    first.join();
    second.join();
    FILE* record = recordPath != nullptr ? std::fopen(recordPath, "a") : nullptr;
    if (record != nullptr) {
        std::fputs(whileFlooding ? "error lines written while output flooded\n" : "output flood ended first\n", record);
        std::fclose(record);
    }
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
    loadAsJniLibrary(init);
    if (const char* count = optionValue(init, "-Dfake.flood=")) {
        writeErrorLinesWhileOutputFloods(std::strtoul(count, nullptr, 10), optionValue(init, "-Dfake.record="));
    }
    for (jint index = 0; index < init->nOptions; ++index) {
        if (std::strcmp(init->options[index].optionString, "vfprintf") == 0) {
            auto hook = reinterpret_cast<VfprintfHook>(init->options[index].extraInfo);
            callHook(hook, "fake JVM says %s %d\n", "hello", 42);
            callHook(hook, "and once more\n");
        }
    }
    if (const char* code = optionValue(init, "-Dfake.exit=")) {
        _exit(std::atoi(code));
    }
    return BROKEN_JVM_CREATE_STATUS;
}

}  // extern "C"
