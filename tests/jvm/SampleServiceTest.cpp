// The sample service class run as pravik runs a service class: serviceMain on
// the creating thread, controls and console events from other threads that
// attach for one call each, state reports through the registered natives.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "TestJvm.h"

namespace {

struct CReport {
    jint state, accepted, exitCode, checkPoint, waitHint;
    DWORD threadId;
};

std::mutex g_mutex;
std::condition_variable g_reported;
std::vector<CReport> g_reports;

void JNICALL setServiceState(JNIEnv*, jclass, jint state, jint accepted, jint exitCode, jint checkPoint,
                             jint waitHint) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_reports.push_back(CReport{state, accepted, exitCode, checkPoint, waitHint, GetCurrentThreadId()});
    g_reported.notify_all();
}

jboolean JNICALL sendServiceControl(JNIEnv*, jclass, jstring, jint) { return JNI_FALSE; }

// Waits until count reports have arrived (a minute at most); the last state, or 0.
jint waitForReports(size_t count) {
    std::unique_lock<std::mutex> lock(g_mutex);
    if (!g_reported.wait_for(lock, std::chrono::seconds(60), [count] { return g_reports.size() >= count; })) {
        return 0;
    }
    return g_reports[count - 1].state;
}

constexpr jint stopped = 1, startPending = 2, stopPending = 3, running = 4, paused = 7;
constexpr jint accepted = 1 | 2 | 4;  // stop, pause and continue, shutdown

// One call into the service class from a thread of its own, as pravik delivers controls.
struct CDelivery {
    JavaVM* vm;
    const char* method;
    const char* signature;
    jint argument;
    jboolean answer = JNI_FALSE;
    bool delivered = false;
};

DWORD WINAPI deliver(void* parameter) {
    auto* delivery = static_cast<CDelivery*>(parameter);
    JNIEnv* env = nullptr;
    JavaVMAttachArgs args{JNI_VERSION_1_2, nullptr, nullptr};
    if (delivery->vm->AttachCurrentThread(reinterpret_cast<void**>(&env), &args) != JNI_OK) {
        return 1;
    }
    jclass cls = env->FindClass("com/velsor/sample/SampleService");
    jmethodID method = cls != nullptr ? env->GetStaticMethodID(cls, delivery->method, delivery->signature) : nullptr;
    if (method != nullptr) {
        if (std::string(delivery->signature) == "(I)V") {
            env->CallStaticVoidMethod(cls, method, delivery->argument);
        } else {
            delivery->answer = env->CallStaticBooleanMethod(cls, method, delivery->argument);
        }
        delivery->delivered = !env->ExceptionCheck();
    }
    delivery->vm->DetachCurrentThread();
    return 0;
}

jboolean call(JavaVM* vm, const char* method, const char* signature, jint argument) {
    CDelivery delivery{vm, method, signature, argument};
    CKernelHandle thread(CreateThread(nullptr, 0, deliver, &delivery, 0, nullptr));
    EXPECT_TRUE(thread);
    EXPECT_EQ(WaitForSingleObject(thread.get(), 120000), WAIT_OBJECT_0);
    EXPECT_TRUE(delivery.delivered) << method << "(" << argument << ")";
    return delivery.answer;
}

void control(JavaVM* vm, jint code) { call(vm, "serviceControl", "(I)V", code); }
jboolean consoleSignal(JavaVM* vm, jint type) { return call(vm, "consoleSignal", "(I)Z", type); }

// The service side of a test: creates the JVM, binds the natives, runs
// serviceMain with args on this thread while driver runs on another.
class CSampleRun {
public:
    CSampleRun() {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_reports.clear();
    }

    void run(const std::vector<std::string>& args, DWORD(WINAPI* driver)(void*)) {
        ASSERT_EQ(jvm.status(), JNI_OK);
        JNIEnv* env = jvm.env();
        jclass manager = env->FindClass("com/velsor/core/orb/PravikManager");
        ASSERT_NE(manager, nullptr);
        JNINativeMethod natives[] = {
            {const_cast<char*>("setServiceState"), const_cast<char*>("(IIIII)V"),
             reinterpret_cast<void*>(&setServiceState)},
            {const_cast<char*>("sendServiceControl"), const_cast<char*>("(Ljava/lang/String;I)Z"),
             reinterpret_cast<void*>(&sendServiceControl)},
        };
        ASSERT_EQ(env->RegisterNatives(manager, natives, 2), 0);
        jclass sample = env->FindClass("com/velsor/sample/SampleService");
        ASSERT_NE(sample, nullptr);
        jmethodID serviceMain = env->GetStaticMethodID(sample, "serviceMain", "([Ljava/lang/String;)V");
        ASSERT_NE(serviceMain, nullptr);
        ASSERT_NE(env->GetStaticMethodID(sample, "serviceControl", "(I)V"), nullptr);

        jobjectArray array =
            env->NewObjectArray(static_cast<jsize>(args.size()), env->FindClass("java/lang/String"), env->NewStringUTF(""));
        for (size_t i = 0; i < args.size(); ++i) {
            env->SetObjectArrayElement(array, static_cast<jsize>(i), env->NewStringUTF(args[i].c_str()));
        }
        CKernelHandle thread(CreateThread(nullptr, 0, driver, jvm.vm(), 0, nullptr));
        ASSERT_TRUE(thread);
        env->CallStaticVoidMethod(sample, serviceMain, array);
        EXPECT_FALSE(env->ExceptionCheck());
        ASSERT_EQ(WaitForSingleObject(thread.get(), 120000), WAIT_OBJECT_0);
        DWORD driverResult = 1;
        GetExitCodeThread(thread.get(), &driverResult);
        EXPECT_EQ(driverResult, 0u) << "the driving thread saw an unexpected answer";
    }

    std::vector<CReport> reports() {
        std::lock_guard<std::mutex> lock(g_mutex);
        return g_reports;
    }

    DWORD mainThread = GetCurrentThreadId();

private:
    CTestJvm jvm;
};

// Each step waits for the report it causes before the next control goes out.
DWORD WINAPI driveControls(void* parameter) {
    JavaVM* vm = static_cast<JavaVM*>(parameter);
    if (waitForReports(2) != running) {
        control(vm, 1);
        return 1;
    }
    control(vm, 4);    // interrogate: the current state again
    waitForReports(3);
    control(vm, 2);    // pause
    waitForReports(4);
    control(vm, 200);  // a user code: no report
    control(vm, 3);    // continue
    waitForReports(5);
    control(vm, 1);    // stop
    return 0;
}

DWORD WINAPI driveConsoleSignals(void* parameter) {
    JavaVM* vm = static_cast<JavaVM*>(parameter);
    if (waitForReports(2) != running) {
        control(vm, 1);
        return 1;
    }
    const bool logoffHandled = consoleSignal(vm, 5) == JNI_TRUE;
    const bool ctrlCHandled = consoleSignal(vm, 0) == JNI_TRUE;
    return logoffHandled && ctrlCHandled ? 0 : 2;
}

DWORD WINAPI driveUnhandledConsoleSignal(void* parameter) {
    JavaVM* vm = static_cast<JavaVM*>(parameter);
    if (waitForReports(2) != running) {
        control(vm, 1);
        return 1;
    }
    const bool handled = consoleSignal(vm, 0) == JNI_TRUE;
    control(vm, 5);  // shutdown
    return handled ? 2 : 0;
}

void expectReport(const CReport& report, jint state, jint acceptedControls, jint exitCode) {
    EXPECT_EQ(report.state, state);
    EXPECT_EQ(report.accepted, acceptedControls);
    EXPECT_EQ(report.exitCode, exitCode);
}

}  // namespace

TEST(SampleService, ReportsEveryStateInOrderWhileControlsArriveFromAnotherThread) {
    CSampleRun run;
    run.run({"-exitcode", "3"}, driveControls);
    const std::vector<CReport> reports = run.reports();
    ASSERT_EQ(reports.size(), 7u);
    expectReport(reports[0], startPending, 0, 0);
    EXPECT_EQ(reports[0].checkPoint, 1);
    EXPECT_EQ(reports[0].waitHint, 3000);
    expectReport(reports[1], running, accepted, 0);
    expectReport(reports[2], running, accepted, 0);
    expectReport(reports[3], paused, accepted, 0);
    expectReport(reports[4], running, accepted, 0);
    expectReport(reports[5], stopPending, 0, 0);
    expectReport(reports[6], stopped, 0, 3);
    // serviceMain reports on its own thread, serviceControl on the delivering ones.
    EXPECT_EQ(reports[0].threadId, run.mainThread);
    EXPECT_EQ(reports[6].threadId, run.mainThread);
    EXPECT_NE(reports[3].threadId, run.mainThread);
}

TEST(SampleService, HandlesConsoleSignalsWhenAskedTo) {
    CSampleRun run;
    run.run({"-console"}, driveConsoleSignals);
    const std::vector<CReport> reports = run.reports();
    // Logoff is handled without a change; Ctrl+C stops the service.
    ASSERT_EQ(reports.size(), 4u);
    expectReport(reports[1], running, accepted, 0);
    expectReport(reports[2], stopPending, 0, 0);
    expectReport(reports[3], stopped, 0, 0);
}

TEST(SampleService, LeavesConsoleSignalsToOthersByDefault) {
    CSampleRun run;
    run.run({}, driveUnhandledConsoleSignal);
    const std::vector<CReport> reports = run.reports();
    ASSERT_EQ(reports.size(), 4u);
    expectReport(reports[1], running, accepted, 0);
    expectReport(reports[2], stopPending, 0, 0);
    expectReport(reports[3], stopped, 0, 0);
}
