#pragma once
// A JVM for one test process, made through the test jvm.dll: the class path
// holds pravik.jar, the sample and the test classes; JVM output is collected
// through the vfprintf hook.
#include <jni.h>

#include <string>
#include <vector>

#include "common/Win32Handle.h"

std::wstring testJvmFile(const wchar_t* name);
std::string testClassPath();

class CTestJvm {
public:
    // Loads jvm.dll and creates the JVM with the class path (testClassPath() when empty),
    // extraOptions and the hook, which comes first or last as a program may place it,
    // and then the hooks ("exit", "abort") given.
    explicit CTestJvm(const std::vector<std::string>& extraOptions = {}, const std::string& classPath = {},
                      bool hookFirst = false, const std::vector<JavaVMOption>& hooks = {});

    jint status() const { return createStatus; }
    JavaVM* vm() const { return javaVm; }
    JNIEnv* env() const { return mainEnv; }
    HMODULE library() const { return module.get(); }

    // What the JVM wrote through the hook so far.
    static std::string output();
    // Waits (up to a minute) until the output holds text; false if it never does.
    static bool waitForOutput(const std::string& text);

    // com/velsor/test/BridgeProbe, a failure of the test when missing.
    jclass probeClass();

private:
    CModule module;
    JavaVM* javaVm = nullptr;
    JNIEnv* mainEnv = nullptr;
    jint createStatus = JNI_ERR;
};

// The text of a Java string, through GetStringUTFChars.
std::string utf8Of(JNIEnv* env, jstring string);
