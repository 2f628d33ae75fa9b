// The test JVM under Wine: a real JVM behind jvm.dll, reached through JNI.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>

#include "TestJvm.h"
#include "support/Polling.h"

namespace {

// Natives bound to Windows functions of this process.
struct CRecordedState {
    jint values[5] = {};
    DWORD threadId = 0;
    int calls = 0;
};
CRecordedState g_state;
CKernelHandle g_stateReported;
std::string g_controlName;
jint g_controlCode = 0;

void JNICALL recordState(JNIEnv*, jclass, jint a, jint b, jint c, jint d, jint e) {
    g_state = CRecordedState{{a, b, c, d, e}, GetCurrentThreadId(), g_state.calls + 1};
    SetEvent(g_stateReported.get());
}

jboolean JNICALL recordControl(JNIEnv* env, jclass, jstring name, jint code) {
    g_controlName = utf8Of(env, name);
    g_controlCode = code;
    return code == 200 ? JNI_TRUE : JNI_FALSE;
}

// Java -> native -> Java: calls BridgeProbe.countDown(n) from inside the native.
jint JNICALL countDownInNative(JNIEnv* env, jclass cls, jint n) {
    jmethodID countDown = env->GetStaticMethodID(cls, "countDown", "(I)I");
    return countDown == nullptr ? -1000 : env->CallStaticIntMethod(cls, countDown, n);
}

// Answers the Java thread's name next to the text, both read back through JNI.
jstring JNICALL echoInNative(JNIEnv* env, jclass cls, jstring text) {
    jmethodID threadName = env->GetStaticMethodID(cls, "currentThreadName", "()Ljava/lang/String;");
    const std::string name = utf8Of(env, static_cast<jstring>(env->CallStaticObjectMethod(cls, threadName)));
    return env->NewStringUTF((utf8Of(env, text) + "@" + name).c_str());
}

void registerManagerNatives(JNIEnv* env) {
    jclass manager = env->FindClass("com/velsor/core/orb/PravikManager");
    ASSERT_NE(manager, nullptr);
    JNINativeMethod methods[] = {
        {const_cast<char*>("setServiceState"), const_cast<char*>("(IIIII)V"), reinterpret_cast<void*>(&recordState)},
        {const_cast<char*>("sendServiceControl"), const_cast<char*>("(Ljava/lang/String;I)Z"),
         reinterpret_cast<void*>(&recordControl)},
    };
    ASSERT_EQ(env->RegisterNatives(manager, methods, 2), 0);
}

void registerProbeNatives(JNIEnv* env, jclass probe) {
    JNINativeMethod methods[] = {
        {const_cast<char*>("nativeCountDown"), const_cast<char*>("(I)I"), reinterpret_cast<void*>(&countDownInNative)},
        {const_cast<char*>("nativeEcho"), const_cast<char*>("(Ljava/lang/String;)Ljava/lang/String;"),
         reinterpret_cast<void*>(&echoInNative)},
    };
    ASSERT_EQ(env->RegisterNatives(probe, methods, 2), 0);
}

}  // namespace

TEST(JvmBridge, CallsStaticMethodsWithTheirArgumentsAndResults) {
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    JNIEnv* env = jvm.env();
    EXPECT_GE(env->GetVersion(), JNI_VERSION_1_2);
    jclass probe = jvm.probeClass();
    ASSERT_NE(probe, nullptr);

    jmethodID add = env->GetStaticMethodID(probe, "add", "(II)I");
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(env->CallStaticIntMethod(probe, add, 40, 2), 42);
    EXPECT_EQ(env->CallStaticIntMethod(probe, add, -7, 3), -4);
    jvalue addArgs[2];
    addArgs[0].i = 1000000;
    addArgs[1].i = 234567;
    EXPECT_EQ(env->CallStaticIntMethodA(probe, add, addArgs), 1234567);

    jmethodID twice = env->GetStaticMethodID(probe, "twice", "(J)J");
    EXPECT_EQ(env->CallStaticLongMethod(probe, twice, static_cast<jlong>(0x123456789LL)), 0x2468ACF12LL);
    jmethodID half = env->GetStaticMethodID(probe, "half", "(D)D");
    EXPECT_DOUBLE_EQ(env->CallStaticDoubleMethod(probe, half, 5.0), 2.5);

    jmethodID isPositive = env->GetStaticMethodID(probe, "isPositive", "(I)Z");
    EXPECT_EQ(env->CallStaticBooleanMethod(probe, isPositive, 5), JNI_TRUE);
    EXPECT_EQ(env->CallStaticBooleanMethod(probe, isPositive, -5), JNI_FALSE);

    jmethodID repeat = env->GetStaticMethodID(probe, "repeat", "(Ljava/lang/String;I)Ljava/lang/String;");
    jstring ab = env->NewStringUTF("ab");
    auto repeated = static_cast<jstring>(env->CallStaticObjectMethod(probe, repeat, ab, 3));
    EXPECT_EQ(utf8Of(env, repeated), "ababab");
    env->DeleteLocalRef(repeated);
    env->DeleteLocalRef(ab);
    EXPECT_FALSE(env->ExceptionCheck());
}

TEST(JvmBridge, StringsCrossAsModifiedUtf8AndUtf16) {
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    JNIEnv* env = jvm.env();

    const jchar text[] = {u'G', 0x00FC, u'n', u't', u'e', u'r', 0x20AC};
    jstring wide = env->NewString(text, 7);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(env->GetStringLength(wide), 7);
    EXPECT_EQ(env->GetStringUTFLength(wide), 10);  // 2 bytes for the umlaut, 3 for the euro sign
    EXPECT_EQ(utf8Of(env, wide), "G\xC3\xBCnter\xE2\x82\xAC");
    jboolean isCopy = JNI_FALSE;
    const jchar* chars = env->GetStringChars(wide, &isCopy);
    ASSERT_NE(chars, nullptr);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(chars), 7),
              std::u16string(reinterpret_cast<const char16_t*>(text), 7));
    env->ReleaseStringChars(wide, chars);

    jstring empty = env->NewStringUTF("");
    EXPECT_EQ(env->GetStringLength(empty), 0);
    EXPECT_EQ(utf8Of(env, empty), "");
}

TEST(JvmBridge, ArraysOfStringsGoBothWays) {
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    JNIEnv* env = jvm.env();
    jclass probe = jvm.probeClass();
    jclass stringClass = env->FindClass("java/lang/String");
    ASSERT_NE(stringClass, nullptr);

    jstring filler = env->NewStringUTF("");
    jobjectArray array = env->NewObjectArray(3, stringClass, filler);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(env->GetArrayLength(array), 3);
    env->SetObjectArrayElement(array, 0, env->NewStringUTF("-a"));
    env->SetObjectArrayElement(array, 2, env->NewStringUTF("b c"));
    jmethodID join = env->GetStaticMethodID(probe, "join", "([Ljava/lang/String;)Ljava/lang/String;");
    ASSERT_NE(join, nullptr);
    EXPECT_EQ(utf8Of(env, static_cast<jstring>(env->CallStaticObjectMethod(probe, join, array))), "3:-a||b c");

    jmethodID split = env->GetStaticMethodID(probe, "split", "(Ljava/lang/String;)[Ljava/lang/String;");
    auto parts = static_cast<jobjectArray>(env->CallStaticObjectMethod(probe, split, env->NewStringUTF("x,yz")));
    ASSERT_NE(parts, nullptr);
    ASSERT_EQ(env->GetArrayLength(parts), 2);
    EXPECT_EQ(utf8Of(env, static_cast<jstring>(env->GetObjectArrayElement(parts, 1))), "yz");

    // An empty array, as for a service without a command line.
    jobjectArray none = env->NewObjectArray(0, stringClass, filler);
    EXPECT_EQ(utf8Of(env, static_cast<jstring>(env->CallStaticObjectMethod(probe, join, none))), "0:");
}

TEST(JvmBridge, MissingClassesAndMethodsLeaveAPendingException) {
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    JNIEnv* env = jvm.env();

    EXPECT_EQ(env->FindClass("com/velsor/test/NoSuchClass"), nullptr);
    EXPECT_TRUE(env->ExceptionCheck());
    jthrowable thrown = env->ExceptionOccurred();
    ASSERT_NE(thrown, nullptr);
    env->ExceptionClear();
    EXPECT_FALSE(env->ExceptionCheck());
    EXPECT_EQ(env->ExceptionOccurred(), nullptr);
    jclass noClassDef = env->FindClass("java/lang/NoClassDefFoundError");
    ASSERT_NE(noClassDef, nullptr);
    jclass thrownClass = env->GetObjectClass(thrown);
    EXPECT_TRUE(env->IsSameObject(thrownClass, noClassDef));

    jclass probe = jvm.probeClass();
    EXPECT_EQ(env->GetStaticMethodID(probe, "serviceControl", "(I)V"), nullptr);
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
    // The right name with the wrong signature is missing too.
    EXPECT_EQ(env->GetStaticMethodID(probe, "add", "(I)I"), nullptr);
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
}

TEST(JvmBridge, SurvivesAJavaException) {
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    JNIEnv* env = jvm.env();
    jclass probe = jvm.probeClass();
    jmethodID fail = env->GetStaticMethodID(probe, "fail", "(Ljava/lang/String;)V");
    ASSERT_NE(fail, nullptr);

    env->CallStaticVoidMethod(probe, fail, env->NewStringUTF("on purpose"));
    ASSERT_TRUE(env->ExceptionCheck());
    jthrowable thrown = env->ExceptionOccurred();
    jclass illegalState = env->FindClass("java/lang/IllegalStateException");
    EXPECT_TRUE(env->IsSameObject(env->GetObjectClass(thrown), illegalState));
    env->ExceptionDescribe();  // prints and clears, as JNI says
    EXPECT_FALSE(env->ExceptionCheck());

    jmethodID add = env->GetStaticMethodID(probe, "add", "(II)I");
    EXPECT_EQ(env->CallStaticIntMethod(probe, add, 1, 2), 3);

    // A Java exception thrown into Java by a JNI call.
    jclass runtime = env->FindClass("java/lang/RuntimeException");
    EXPECT_EQ(env->ThrowNew(runtime, "from JNI"), 0);
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
}

TEST(JvmBridge, NativeCallbacksRunInThisProcessOnTheCallingThread) {
    g_stateReported.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    JNIEnv* env = jvm.env();
    registerManagerNatives(env);
    jclass probe = jvm.probeClass();
    registerProbeNatives(env, probe);

    jmethodID reportState = env->GetStaticMethodID(probe, "reportState", "(IIIII)V");
    env->CallStaticVoidMethod(probe, reportState, 4, 7, 0, 3, 3000);
    EXPECT_EQ(g_state.calls, 1);
    EXPECT_EQ(g_state.threadId, GetCurrentThreadId());
    EXPECT_EQ(g_state.values[0], 4);
    EXPECT_EQ(g_state.values[1], 7);
    EXPECT_EQ(g_state.values[2], 0);
    EXPECT_EQ(g_state.values[3], 3);
    EXPECT_EQ(g_state.values[4], 3000);

    // The native reads its string argument through JNI; the boolean answer reaches Java.
    jmethodID askControl = env->GetStaticMethodID(probe, "askControl", "(Ljava/lang/String;I)Z");
    EXPECT_EQ(env->CallStaticBooleanMethod(probe, askControl, env->NewStringUTF("OtherSvc"), 200), JNI_TRUE);
    EXPECT_EQ(g_controlName, "OtherSvc");
    EXPECT_EQ(g_controlCode, 200);
    EXPECT_EQ(env->CallStaticBooleanMethod(probe, askControl, nullptr, 1), JNI_FALSE);
    EXPECT_EQ(g_controlName, "<null>");

    // Java -> native -> Java -> native ..., five levels deep.
    jmethodID countDown = env->GetStaticMethodID(probe, "countDown", "(I)I");
    EXPECT_EQ(env->CallStaticIntMethod(probe, countDown, 5), 5);

    // JNI calls inside a native run on the Java thread that called it.
    jmethodID threadName = env->GetStaticMethodID(probe, "currentThreadName", "()Ljava/lang/String;");
    const std::string mainName = utf8Of(env, static_cast<jstring>(env->CallStaticObjectMethod(probe, threadName)));
    jmethodID echo = env->GetStaticMethodID(probe, "echoThroughNative", "(Ljava/lang/String;)Ljava/lang/String;");
    EXPECT_EQ(utf8Of(env, static_cast<jstring>(env->CallStaticObjectMethod(probe, echo, env->NewStringUTF("hi")))),
              "hi@" + mainName);
    EXPECT_FALSE(env->ExceptionCheck());
}

TEST(JvmBridge, AJavaThreadOfItsOwnCallsNativesOnAThreadOfThisProcess) {
    g_stateReported.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    JNIEnv* env = jvm.env();
    registerManagerNatives(env);
    jclass probe = jvm.probeClass();

    jmethodID fromNewThread = env->GetStaticMethodID(probe, "reportStateFromNewThread", "(I)Ljava/lang/String;");
    ASSERT_NE(fromNewThread, nullptr);
    for (jint state = 1; state <= 2; ++state) {
        EXPECT_EQ(utf8Of(env, static_cast<jstring>(env->CallStaticObjectMethod(probe, fromNewThread, state))),
                  "probe-worker");
        EXPECT_FALSE(env->ExceptionCheck());
        // The worker was joined, so its native call has returned.
        EXPECT_EQ(g_state.calls, state);
        EXPECT_EQ(g_state.values[0], state);
        EXPECT_NE(g_state.threadId, GetCurrentThreadId());
    }
    // That thread's native reads its string argument through JNI, on that thread.
    jmethodID askFromNewThread = env->GetStaticMethodID(probe, "askControlFromNewThread", "(Ljava/lang/String;I)Z");
    ASSERT_NE(askFromNewThread, nullptr);
    EXPECT_EQ(env->CallStaticBooleanMethod(probe, askFromNewThread, env->NewStringUTF("WorkerSvc"), 200), JNI_TRUE);
    EXPECT_EQ(g_controlName, "WorkerSvc");
    EXPECT_EQ(g_controlCode, 200);
    EXPECT_FALSE(env->ExceptionCheck());
}

namespace {

struct CAttachResult {
    JavaVM* vm = nullptr;
    jint attach = JNI_ERR;
    jint again = JNI_ERR;
    bool sameEnvAgain = false;
    jint getEnv = JNI_ERR;
    bool getEnvSame = false;
    jint sum = 0;
    std::string threadName;
    jint detach = JNI_ERR;
    jint getEnvAfter = JNI_OK;
};

DWORD WINAPI attachAndCall(void* parameter) {
    auto* result = static_cast<CAttachResult*>(parameter);
    JNIEnv* env = nullptr;
    char name[] = "windows-second";
    JavaVMAttachArgs args{JNI_VERSION_1_2, name, nullptr};
    result->attach = result->vm->AttachCurrentThread(reinterpret_cast<void**>(&env), &args);
    if (result->attach != JNI_OK) {
        return 1;
    }
    JNIEnv* again = nullptr;
    result->again = result->vm->AttachCurrentThread(reinterpret_cast<void**>(&again), nullptr);
    result->sameEnvAgain = again == env;
    JNIEnv* current = nullptr;
    result->getEnv = result->vm->GetEnv(reinterpret_cast<void**>(&current), JNI_VERSION_1_2);
    result->getEnvSame = current == env;
    jclass probe = env->FindClass("com/velsor/test/BridgeProbe");
    if (probe != nullptr) {
        jmethodID add = env->GetStaticMethodID(probe, "add", "(II)I");
        result->sum = env->CallStaticIntMethod(probe, add, 20, 22);
        jmethodID threadName = env->GetStaticMethodID(probe, "currentThreadName", "()Ljava/lang/String;");
        result->threadName = utf8Of(env, static_cast<jstring>(env->CallStaticObjectMethod(probe, threadName)));
    }
    result->detach = result->vm->DetachCurrentThread();
    result->getEnvAfter = result->vm->GetEnv(reinterpret_cast<void**>(&current), JNI_VERSION_1_2);
    return 0;
}

}  // namespace

TEST(JvmBridge, ASecondThreadAttachesCallsAndDetaches) {
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    JavaVM* vm = jvm.vm();
    JavaVM* fromEnv = nullptr;
    ASSERT_EQ(jvm.env()->GetJavaVM(&fromEnv), JNI_OK);
    EXPECT_EQ(fromEnv, vm);
    JavaVM* created[2] = {};
    jsize count = 0;
    using GetCreatedProc = jint(JNICALL*)(JavaVM**, jsize, jsize*);
    auto getCreated = reinterpret_cast<GetCreatedProc>(
        reinterpret_cast<void*>(GetProcAddress(jvm.library(), "JNI_GetCreatedJavaVMs")));
    ASSERT_NE(getCreated, nullptr);
    EXPECT_EQ(getCreated(created, 2, &count), JNI_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(created[0], vm);

    for (int round = 0; round < 2; ++round) {
        CAttachResult result;
        result.vm = vm;
        CKernelHandle thread(CreateThread(nullptr, 0, attachAndCall, &result, 0, nullptr));
        ASSERT_TRUE(thread);
        ASSERT_EQ(WaitForSingleObject(thread.get(), 120000), WAIT_OBJECT_0);
        EXPECT_EQ(result.attach, JNI_OK);
        EXPECT_EQ(result.again, JNI_OK);
        EXPECT_TRUE(result.sameEnvAgain);
        EXPECT_EQ(result.getEnv, JNI_OK);
        EXPECT_TRUE(result.getEnvSame);
        EXPECT_EQ(result.sum, 42);
        EXPECT_EQ(result.threadName, "windows-second");
        EXPECT_EQ(result.detach, JNI_OK);
        EXPECT_EQ(result.getEnvAfter, JNI_EDETACHED);
    }

    // The creating thread still has its own environment.
    JNIEnv* mine = nullptr;
    EXPECT_EQ(vm->GetEnv(reinterpret_cast<void**>(&mine), JNI_VERSION_1_2), JNI_OK);
    EXPECT_EQ(mine, jvm.env());
}

TEST(JvmBridge, JvmOutputGoesThroughTheVfprintfHook) {
    CTestJvm jvm({"-XX:+PrintCommandLineFlags"});
    ASSERT_EQ(jvm.status(), JNI_OK);
    // The JVM printed its flags while it started; the hook has seen them before creation returned.
    EXPECT_NE(CTestJvm::output().find("-XX:+PrintCommandLineFlags"), std::string::npos) << CTestJvm::output();
}

TEST(JvmBridge, RaiseSignal21MakesTheJvmPrintAThreadDump) {
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    EXPECT_EQ(CTestJvm::output().find("Full thread dump"), std::string::npos);
    // Found under the name a 32-bit Windows JVM exports it by, too.
    using RaiseProc = jboolean(JNICALL*)(jint);
    auto raise = reinterpret_cast<RaiseProc>(
        reinterpret_cast<void*>(GetProcAddress(jvm.library(), "_JVM_RaiseSignal@4")));
    ASSERT_NE(raise, nullptr);
    EXPECT_EQ(raise(21), JNI_TRUE);
    EXPECT_TRUE(CTestJvm::waitForOutput("Full thread dump")) << CTestJvm::output();
    EXPECT_TRUE(CTestJvm::waitForOutput("\"main\"")) << CTestJvm::output();
    // Let the rest of the dump arrive before the process ends: ending while the
    // JVM still streams it through the hook has hung the process's exit.
    // Quiet means unchanged over a dozen polls (about 600 ms).
    std::string::size_type seen = 0;
    int quiet = 0;
    pollUntil([&] {
        const std::string::size_type now = CTestJvm::output().size();
        quiet = now == seen ? quiet + 1 : 0;
        seen = now;
        return quiet >= 12;
    });
}

TEST(JvmBridge, AFunctionTheBridgeDoesNotForwardFailsLoudly) {
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    JNIEnv* env = jvm.env();
    jclass probe = jvm.probeClass();
    EXPECT_EQ(env->MonitorEnter(probe), JNI_ERR);
    EXPECT_NE(CTestJvm::output().find("MonitorEnter"), std::string::npos) << CTestJvm::output();
    EXPECT_EQ(env->GetStaticFieldID(probe, "x", "I"), nullptr);
    EXPECT_NE(CTestJvm::output().find("GetStaticFieldID"), std::string::npos) << CTestJvm::output();
}

TEST(JvmBridge, JavaSeesTheWindowsEnvironmentAsItWasWhenTheJvmWasCreated) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"PRAVIK_BRIDGE_ENV", L"gr\u00fc\u00dfe C:\\x"));
    // Wine gives a Linux program it starts the Linux PATH, not this one.
    ASSERT_TRUE(SetEnvironmentVariableW(L"PATH", L"C:\\pravik-bridge;C:\\windows\\system32"));
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    SetEnvironmentVariableW(L"PRAVIK_BRIDGE_ENV", L"later");
    SetEnvironmentVariableW(L"PRAVIK_BRIDGE_LATE", L"later");
    JNIEnv* env = jvm.env();
    jclass system = env->FindClass("java/lang/System");
    ASSERT_NE(system, nullptr);
    jmethodID getenv = env->GetStaticMethodID(system, "getenv", "(Ljava/lang/String;)Ljava/lang/String;");
    ASSERT_NE(getenv, nullptr);
    auto valueOf = [&](const char* name) {
        auto value = static_cast<jstring>(env->CallStaticObjectMethod(system, getenv, env->NewStringUTF(name)));
        return value != nullptr ? utf8Of(env, value) : std::string("<null>");
    };
    EXPECT_EQ(valueOf("PRAVIK_BRIDGE_ENV"), "gr\xc3\xbc\xc3\x9f" "e C:\\x");
    EXPECT_EQ(valueOf("PRAVIK_BRIDGE_LATE"), "<null>");
    EXPECT_EQ(valueOf("PATH"), "C:\\pravik-bridge;C:\\windows\\system32");
    // The locale the JVM was created in is not left behind in its environment.
    wchar_t locale[256] = {};
    const DWORD localeLength = GetEnvironmentVariableW(L"LC_ALL", locale, 256);
    const std::string windowsLocale = localeLength == 0 ? "<null>" : std::string(locale, locale + localeLength);
    EXPECT_EQ(valueOf("LC_ALL"), windowsLocale);
}

TEST(JvmBridge, ASecondJvmInTheSameProcessIsRefused) {
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    CTestJvm second;
    EXPECT_EQ(second.status(), JNI_EEXIST);
}

namespace {

struct CBusyThread {
    JavaVM* vm = nullptr;
    jint base = 0;
    int wrong = -1;
};

// Many calls, and natives that call back into Java, on a thread of its own.
DWORD WINAPI callMany(void* parameter) {
    auto* work = static_cast<CBusyThread*>(parameter);
    JNIEnv* env = nullptr;
    if (work->vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) {
        return 1;
    }
    jclass probe = env->FindClass("com/velsor/test/BridgeProbe");
    jmethodID add = probe != nullptr ? env->GetStaticMethodID(probe, "add", "(II)I") : nullptr;
    jmethodID countDown = probe != nullptr ? env->GetStaticMethodID(probe, "countDown", "(I)I") : nullptr;
    if (add != nullptr && countDown != nullptr) {
        work->wrong = 0;
        for (jint i = 0; i < 100; ++i) {
            if (env->CallStaticIntMethod(probe, add, work->base, i) != work->base + i) {
                ++work->wrong;
            }
            if (i % 10 == 0 && env->CallStaticIntMethod(probe, countDown, 3) != 3) {
                ++work->wrong;
            }
        }
    }
    work->vm->DetachCurrentThread();
    return 0;
}

}  // namespace

TEST(JvmBridge, ThreadsCallingAtOnceKeepTheirOwnConversations) {
    CTestJvm jvm;
    ASSERT_EQ(jvm.status(), JNI_OK);
    jclass probe = jvm.probeClass();
    registerProbeNatives(jvm.env(), probe);
    CBusyThread work[4];
    CKernelHandle threads[4];
    for (int i = 0; i < 4; ++i) {
        work[i].vm = jvm.vm();
        work[i].base = (i + 1) * 1000;
        threads[i].reset(CreateThread(nullptr, 0, callMany, &work[i], 0, nullptr));
        ASSERT_TRUE(threads[i]);
    }
    // The creating thread goes on calling meanwhile.
    JNIEnv* env = jvm.env();
    jmethodID countDown = env->GetStaticMethodID(probe, "countDown", "(I)I");
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(env->CallStaticIntMethod(probe, countDown, 2), 2);
    }
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(WaitForSingleObject(threads[i].get(), 120000), WAIT_OBJECT_0);
        EXPECT_EQ(work[i].wrong, 0) << "thread " << i;
    }
}
