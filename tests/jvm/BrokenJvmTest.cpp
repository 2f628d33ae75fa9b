// The JVM libraries of the failure paths, and the invocation entry points of jvm.dll.
#include <gtest/gtest.h>

#include <windows.h>

#include "TestJvm.h"

namespace {

using CreateProc = jint(JNICALL*)(JavaVM**, void**, void*);
using DefaultArgsProc = jint(JNICALL*)(void*);

template <typename Proc>
Proc entry(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

jint probeDefaultArgs(DefaultArgsProc proc, jint version) {
    JavaVMInitArgs args{version, 0, nullptr, JNI_FALSE};
    return proc(&args);
}

jint create(CreateProc proc) {
    JavaVM* vm = reinterpret_cast<JavaVM*>(1);
    JNIEnv* env = reinterpret_cast<JNIEnv*>(1);
    JavaVMInitArgs args{JNI_VERSION_1_2, 0, nullptr, JNI_TRUE};
    const jint status = proc(&vm, reinterpret_cast<void**>(&env), &args);
    EXPECT_EQ(vm, nullptr);
    EXPECT_EQ(env, nullptr);
    return status;
}

struct CAnswers {
    jint defaultArgs = JNI_OK;  // to version 1.2
    jint create = JNI_OK;
};

// What the library answers to both entry points, which must be there.
void askBoth(const wchar_t* file, CAnswers& answers) {
    CModule module(LoadLibraryW(testJvmFile(file).c_str()));
    ASSERT_TRUE(module) << GetLastError();
    auto defaultArgs = entry<DefaultArgsProc>(module.get(), "JNI_GetDefaultJavaVMInitArgs");
    ASSERT_NE(defaultArgs, nullptr);
    answers.defaultArgs = probeDefaultArgs(defaultArgs, JNI_VERSION_1_2);
    auto createProc = entry<CreateProc>(module.get(), "JNI_CreateJavaVM");
    ASSERT_NE(createProc, nullptr);
    answers.create = create(createProc);
}

}  // namespace

TEST(BrokenJvm, WithoutDefaultArgsEntryPointHasOnlyCreate) {
    CModule module(LoadLibraryW(testJvmFile(L"jvm-no-init-args.dll").c_str()));
    ASSERT_TRUE(module) << GetLastError();
    EXPECT_NE(entry<CreateProc>(module.get(), "JNI_CreateJavaVM"), nullptr);
    EXPECT_EQ(entry<DefaultArgsProc>(module.get(), "JNI_GetDefaultJavaVMInitArgs"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

TEST(BrokenJvm, DefaultArgsRejectsVersion12) {
    CAnswers answers;
    ASSERT_NO_FATAL_FAILURE(askBoth(L"jvm-init-args-fail.dll", answers));
    EXPECT_EQ(answers.defaultArgs, JNI_EVERSION);
    EXPECT_LT(answers.create, 0);
}

TEST(BrokenJvm, CreateAnswersANegativeStatus) {
    CAnswers answers;
    ASSERT_NO_FATAL_FAILURE(askBoth(L"jvm-create-fails.dll", answers));
    EXPECT_EQ(answers.defaultArgs, JNI_OK);
    EXPECT_EQ(answers.create, JNI_ENOMEM);
}

TEST(BrokenJvm, TheWorkingJvmAcceptsVersion12AndRejectsUnknownVersions) {
    CModule module(LoadLibraryW(testJvmFile(L"jvm.dll").c_str()));
    ASSERT_TRUE(module) << GetLastError();
    auto defaultArgs = entry<DefaultArgsProc>(module.get(), "JNI_GetDefaultJavaVMInitArgs");
    ASSERT_NE(defaultArgs, nullptr);
    EXPECT_EQ(probeDefaultArgs(defaultArgs, JNI_VERSION_1_2), JNI_OK);
    EXPECT_EQ(probeDefaultArgs(defaultArgs, JNI_VERSION_1_8), JNI_OK);
    EXPECT_NE(probeDefaultArgs(defaultArgs, 0x00070007), JNI_OK);
    EXPECT_NE(entry<void*>(module.get(), "JVM_RaiseSignal"), nullptr);
    EXPECT_NE(entry<void*>(module.get(), "_JVM_RaiseSignal@4"), nullptr);
    EXPECT_NE(entry<void*>(module.get(), "JNI_GetCreatedJavaVMs"), nullptr);
}
