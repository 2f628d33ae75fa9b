#include "TestJvm.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "HookText.h"

namespace {

std::mutex g_outputMutex;
std::condition_variable g_outputGrew;
std::string g_output;

jint JNICALL collectOutput(FILE*, const char* format, va_list args) {
    std::string text;
    const int length = formatHookText(format, args, text);
    if (length < 0) {
        return length;
    }
    std::lock_guard<std::mutex> lock(g_outputMutex);
    g_output += text;
    g_outputGrew.notify_all();
    return length;
}

}  // namespace

std::wstring testJvmFile(const wchar_t* name) { return std::wstring(TEST_JVM_DIR) + L"\\" + name; }

std::string testClassPath() { return std::string(PRAVIK_JAR) + ";" + SAMPLE_JAR + ";" + TEST_CLASSES_JAR; }

CTestJvm::CTestJvm(const std::vector<std::string>& extraOptions, const std::string& classPath, bool hookFirst,
                   const std::vector<JavaVMOption>& hooks) {
    module.reset(LoadLibraryW(testJvmFile(L"jvm.dll").c_str()));
    if (!module) {
        ADD_FAILURE() << "LoadLibraryW of jvm.dll failed: " << GetLastError();
        return;
    }
    using CreateProc = jint(JNICALL*)(JavaVM**, void**, void*);
    auto create = reinterpret_cast<CreateProc>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), "JNI_CreateJavaVM")));
    if (create == nullptr) {
        ADD_FAILURE() << "jvm.dll lacks JNI_CreateJavaVM";
        return;
    }
    std::vector<std::string> texts{"-Djava.class.path=" + (classPath.empty() ? testClassPath() : classPath)};
    texts.insert(texts.end(), extraOptions.begin(), extraOptions.end());
    std::vector<JavaVMOption> options;
    const JavaVMOption hook{const_cast<char*>("vfprintf"), reinterpret_cast<void*>(&collectOutput)};
    if (hookFirst) {
        options.push_back(hook);
    }
    for (std::string& text : texts) {
        options.push_back(JavaVMOption{text.data(), nullptr});
    }
    if (!hookFirst) {
        options.push_back(hook);
    }
    options.insert(options.end(), hooks.begin(), hooks.end());
    JavaVMInitArgs args{JNI_VERSION_1_2, static_cast<jint>(options.size()), options.data(), JNI_TRUE};
    createStatus = create(&javaVm, reinterpret_cast<void**>(&mainEnv), &args);
}

std::string CTestJvm::output() {
    std::lock_guard<std::mutex> lock(g_outputMutex);
    return g_output;
}

bool CTestJvm::waitForOutput(const std::string& text) {
    std::unique_lock<std::mutex> lock(g_outputMutex);
    return g_outputGrew.wait_for(lock, std::chrono::seconds(60),
                                 [&text] { return g_output.find(text) != std::string::npos; });
}

jclass CTestJvm::probeClass() {
    jclass cls = mainEnv->FindClass("com/velsor/test/BridgeProbe");
    EXPECT_NE(cls, nullptr) << "BridgeProbe not on the class path";
    return cls;
}

std::string utf8Of(JNIEnv* env, jstring string) {
    if (string == nullptr) {
        return "<null>";
    }
    jboolean isCopy = JNI_FALSE;
    const char* chars = env->GetStringUTFChars(string, &isCopy);
    if (chars == nullptr) {
        return "<no chars>";
    }
    std::string text(chars);
    env->ReleaseStringUTFChars(string, chars);
    return text;
}
