// How long the real JVM behind the test jvm.dll lives.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <utility>

#include "BridgeWire.h"
#include "TestJvm.h"
#include "support/Polling.h"
#include "support/TestFiles.h"

namespace {

// True while the Linux process runs (a zombie counts as ended).
bool linuxProcessRuns(long long pid) {
    const std::wstring stat = L"Z:\\proc\\" + std::to_wstring(pid) + L"\\stat";
    CFileHandle file(CreateFileW(stat.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return false;
    }
    char buffer[512] = {};
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer - 1, &read, nullptr)) {
        return false;
    }
    const std::string text(buffer, read);
    const size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

// How many JVMs the library's JNI_GetCreatedJavaVMs counts; the call must succeed.
jsize createdJvms(HMODULE library) {
    using GetCreatedProc = jint(JNICALL*)(JavaVM**, jsize, jsize*);
    auto getCreated = reinterpret_cast<GetCreatedProc>(
        reinterpret_cast<void*>(GetProcAddress(library, "JNI_GetCreatedJavaVMs")));
    jsize count = 1;
    EXPECT_EQ(getCreated(nullptr, 0, &count), JNI_OK);
    return count;
}

// Waits up to a minute for the process to end.
bool waitUntilEnded(long long pid) {
    return pollUntil([pid] { return !linuxProcessRuns(pid); });
}

// The test JVM's child program in a mode (JvmChild.cpp), its output and errors in one pipe.
struct CChild {
    CKernelHandle process;
    CFileHandle output;
};

CChild startChild(const std::wstring& mode) {
    CChild child;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    CFileHandle writeEnd;
    if (!CreatePipe(child.output.put(), writeEnd.put(), &inherit, 0)) {
        ADD_FAILURE() << "CreatePipe: " << GetLastError();
        return child;
    }
    SetHandleInformation(child.output.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = L"\"" + std::wstring(JVM_CHILD_EXE) + L"\" " + mode;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        ADD_FAILURE() << "CreateProcessW: " << GetLastError();
        return child;
    }
    child.process.reset(info.hProcess);
    CKernelHandle thread(info.hThread);
    return child;
}

// Runs the child in a mode that ends it: its exit code and everything it printed.
std::pair<DWORD, std::string> runChild(const std::wstring& mode) {
    CChild child = startChild(mode);
    std::string output;
    char buffer[4096];
    DWORD read = 0;
    // The pipe ends with the child and its host, which the ctest timeout bounds.
    while (child.output && ReadFile(child.output.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        output.append(buffer, read);
    }
    DWORD exitCode = 0;
    EXPECT_EQ(WaitForSingleObject(child.process.get(), 60000), WAIT_OBJECT_0);
    GetExitCodeProcess(child.process.get(), &exitCode);
    return {exitCode, output};
}

}  // namespace

TEST(JvmLifetime, TheHostEndsWhenTheProgramIsKilled) {
    CChild child = startChild(L"");
    ASSERT_TRUE(child.process);
    std::string line;
    char ch = 0;
    DWORD read = 0;
    while (ReadFile(child.output.get(), &ch, 1, &read, nullptr) && read == 1 && ch != '\n') {
        line += ch;
    }
    ASSERT_EQ(line.rfind("host ", 0), 0u) << line;
    const long long pid = std::stoll(line.substr(5));
    EXPECT_TRUE(linuxProcessRuns(pid));

    ASSERT_TRUE(TerminateProcess(child.process.get(), 9));
    ASSERT_EQ(WaitForSingleObject(child.process.get(), 60000), WAIT_OBJECT_0);
    EXPECT_TRUE(waitUntilEnded(pid)) << "jvmhost " << pid << " outlived its program";
}

// Where HotSpot crashes, aborts or refuses, the test JVM ends the program loudly.
TEST(StrictJvm, RaiseSignalOnAThreadThatIsNotAttachedEndsTheProcess) {
    const auto [exitCode, output] = runChild(L"raise-unattached");
    EXPECT_EQ(exitCode, bridge::fatalExitCode) << output;
    EXPECT_NE(output.find("JVM_RaiseSignal(21) was called on a thread that is not attached"), std::string::npos)
        << output;
}

TEST(StrictJvm, AJniEnvUsedOnAnotherThreadEndsTheProcess) {
    const auto [exitCode, output] = runChild(L"foreign-env");
    EXPECT_EQ(exitCode, bridge::fatalExitCode) << output;
    EXPECT_NE(output.find("was used on thread"), std::string::npos) << output;
}

TEST(StrictJvm, AJniCallWithAWrongTypeAbortsThroughTheAbortHook) {
    const auto [exitCode, output] = runChild(L"wrong-type");
    EXPECT_EQ(exitCode, bridge::fatalExitCode) << output;
    // HotSpot's -Xcheck:jni said why, through the output hook, before the abort hook ran.
    EXPECT_NE(output.find("abort hook"), std::string::npos) << output;
    EXPECT_NE(output.find("JNI string operation received a non-string"), std::string::npos) << output;
}

TEST(StrictJvm, SystemExitRunsTheExitHookAndEndsTheProcessWithItsCode) {
    const auto [exitCode, output] = runChild(L"exit");
    EXPECT_EQ(exitCode, 3u) << output;
    EXPECT_NE(output.find("exit hook 3"), std::string::npos) << output;
    EXPECT_EQ(output.find("survived"), std::string::npos) << output;
}

TEST(JvmLifetime, DestroyJavaVmEndsTheJvm) {
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    JNIEnv* env = jvm.env();
    jclass probe = jvm.probeClass();
    const long long pid = env->CallStaticLongMethod(probe, env->GetStaticMethodID(probe, "processId", "()J"));
    EXPECT_TRUE(linuxProcessRuns(pid));
    EXPECT_EQ(jvm.vm()->DestroyJavaVM(), JNI_OK);
    EXPECT_TRUE(waitUntilEnded(pid));
    EXPECT_EQ(createdJvms(jvm.library()), 0);
}

TEST(JvmLifetime, ClassPathEntriesOnAnyDriveAreMapped) {
    // A copy of the test classes under the prefix's C: drive, named by a relative path too.
    CTempDir directory;
    const std::wstring jar = directory.file(L"copy.jar");
    std::wstring testClasses(TEST_CLASSES_JAR, TEST_CLASSES_JAR + std::strlen(TEST_CLASSES_JAR));
    ASSERT_TRUE(CopyFileW(testClasses.c_str(), jar.c_str(), FALSE)) << GetLastError();
    ASSERT_TRUE(SetCurrentDirectoryW(directory.path().c_str()));
    CTestJvm jvm({}, std::string(PRAVIK_JAR) + ";copy.jar");
    ASSERT_EQ(jvm.status(), JNI_OK);
    EXPECT_NE(jvm.env()->FindClass("com/velsor/test/BridgeProbe"), nullptr);
    jvm.env()->ExceptionClear();
    EXPECT_EQ(jvm.env()->FindClass("com/velsor/sample/SampleService"), nullptr);  // not on this class path
    jvm.env()->ExceptionClear();
}

TEST(JvmLifetime, ARejectedOptionFailsCreationWithANegativeStatus) {
    // The hook first: HotSpot takes options in order, so the complaint goes through it.
    CTestJvm jvm({"-XX:MaxHeapSize=notanumber"}, {}, true);
    EXPECT_EQ(jvm.status(), JNI_EINVAL);
    EXPECT_EQ(jvm.vm(), nullptr);
    EXPECT_NE(CTestJvm::output().find("Invalid maximum heap size"), std::string::npos) << CTestJvm::output();
    EXPECT_EQ(createdJvms(jvm.library()), 0);
}

TEST(JvmLifetime, OptionsBeforeTheHookAreReadBeforeItTakesEffect) {
    // As with any HotSpot: a complaint about an option before "vfprintf" does not reach the hook.
    CTestJvm jvm({"-XX:MaxHeapSize=notanumber"}, {}, false);
    EXPECT_EQ(jvm.status(), JNI_EINVAL);
    EXPECT_EQ(CTestJvm::output().find("Invalid maximum heap size"), std::string::npos) << CTestJvm::output();
}
