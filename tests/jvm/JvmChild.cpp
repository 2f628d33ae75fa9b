// A program that creates the test JVM, prints the process id of its Linux
// host ("host <pid>") and waits to be killed.
#include <windows.h>

#include <cstdio>

#include "TestJvm.h"

int main() {
    CTestJvm jvm;
    if (jvm.status() != JNI_OK) {
        std::printf("create failed %ld\n", static_cast<long>(jvm.status()));
        return 1;
    }
    JNIEnv* env = jvm.env();
    jclass probe = env->FindClass("com/velsor/test/BridgeProbe");
    jmethodID pid = probe != nullptr ? env->GetStaticMethodID(probe, "processId", "()J") : nullptr;
    if (pid == nullptr) {
        std::printf("no BridgeProbe.processId\n");
        return 1;
    }
    std::printf("host %lld\n", static_cast<long long>(env->CallStaticLongMethod(probe, pid)));
    std::fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
