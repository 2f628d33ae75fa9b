// A program that creates the test JVM and then, by its one argument:
//   (none)            prints the process id of its Linux host ("host <pid>") and waits to be killed;
//   raise-unattached  calls JVM_RaiseSignal on a thread that is not attached;
//   foreign-env       uses the creating thread's JNIEnv on another thread;
//   wrong-type        hands a class to a JNI string function;
//   exit              calls System.exit(3).
// Its exit hook prints "exit hook <code>", its abort hook "abort hook" and the JVM's output.
// Each forbidden call must end the process; "survived" says it did not.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "TestJvm.h"

namespace {

JNIEnv* g_env = nullptr;
HMODULE g_library = nullptr;

DWORD WINAPI raiseUnattached(void*) {
    using RaiseProc = jboolean(JNICALL*)(jint);
    auto raise = reinterpret_cast<RaiseProc>(reinterpret_cast<void*>(GetProcAddress(g_library, "JVM_RaiseSignal")));
    raise(21);
    return 0;
}

DWORD WINAPI useForeignEnv(void*) {
    g_env->FindClass("java/lang/String");
    return 0;
}

void JNICALL printExit(jint code) {
    std::printf("exit hook %ld\n", static_cast<long>(code));
    std::fflush(stdout);
}

void JNICALL printAbort() {
    std::printf("abort hook\n%s\n", CTestJvm::output().c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    CTestJvm jvm({}, {}, false,
                 {{const_cast<char*>("exit"), reinterpret_cast<void*>(&printExit)},
                  {const_cast<char*>("abort"), reinterpret_cast<void*>(&printAbort)}});
    if (jvm.status() != JNI_OK) {
        std::printf("create failed %ld\n", static_cast<long>(jvm.status()));
        return 1;
    }
    g_env = jvm.env();
    g_library = jvm.library();
    jclass probe = g_env->FindClass("com/velsor/test/BridgeProbe");
    if (probe == nullptr) {
        std::printf("no BridgeProbe\n");
        return 1;
    }
    if (std::strcmp(mode, "raise-unattached") == 0 || std::strcmp(mode, "foreign-env") == 0) {
        HANDLE thread = CreateThread(nullptr, 0, mode[0] == 'r' ? raiseUnattached : useForeignEnv, nullptr, 0, nullptr);
        WaitForSingleObject(thread, 60000);
    } else if (std::strcmp(mode, "wrong-type") == 0) {
        g_env->GetStringUTFLength(static_cast<jstring>(static_cast<jobject>(probe)));
    } else if (std::strcmp(mode, "exit") == 0) {
        g_env->CallStaticVoidMethod(probe, g_env->GetStaticMethodID(probe, "exit", "(I)V"), 3);
    } else {
        jmethodID pid = g_env->GetStaticMethodID(probe, "processId", "()J");
        std::printf("host %lld\n", static_cast<long long>(g_env->CallStaticLongMethod(probe, pid)));
        std::fflush(stdout);
        Sleep(INFINITE);
    }
    std::printf("survived\n");
    return 0;
}
