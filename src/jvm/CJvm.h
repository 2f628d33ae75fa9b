#pragma once
// The JVM host: loads the JVM library named in the service's settings, creates
// the JVM, runs the Java service class in it and carries service controls and
// console events into it. One per service run; the JVM itself, once created,
// lives until the process ends.
#include <windows.h>

#include <jni.h>

#include <atomic>

#include "common/ExitCodes.h"
#include "common/HeapText.h"
#include "common/Win32Handle.h"
#include "jvm/JniAttachment.h"

class CLogger;
class CJvmInitArgs;
class CStartSettings;

using JniCreateJavaVmProc = jint(JNICALL*)(JavaVM** vm, void** env, void* args);
using JniGetDefaultJavaVmInitArgsProc = jint(JNICALL*)(void* args);

class CJvm {
public:
    explicit CJvm(CLogger* logger);
    ~CJvm();
    CJvm(const CJvm&) = delete;
    CJvm& operator=(const CJvm&) = delete;

    // Loads the library and creates the JVM as the start's settings say: 0, or 13 to 16.
    int initialize(const CStartSettings& settings);
    // The full path of the JVM library that initialize loaded; null before.
    CHeapText libraryPath() const;
    // Runs the service class's serviceMain on this (the creating) thread until
    // it returns: 0, or 17 to 22 when the class or its contract is missing.
    int runServiceMain(const CStartSettings& settings);
    // Hands a control to the service class's serviceControl on the calling
    // thread; 250 and 251 become console events instead.
    void sendControlCommand(DWORD control);
    // Offers a console event to the service class's consoleSignal: 1 when it
    // handled it, 0 otherwise.
    int sendConsoleSignal(DWORD type);

protected:
    void destroyJVM();
    int loadJVMDll(const CStartSettings& settings);
    int getDefaultArgs();
    // The options of the settings and the hooks; false (said) when memory ran out.
    bool createInitArgs(const CStartSettings& settings, CJvmInitArgs* args);
    // The CommandLine value split into arguments (a block of terminated
    // strings, owned by the result) and their number; null and 0 when there is no value.
    CHeapText getCommandLineArgs(const wchar_t* commandLine, int* count);
    wchar_t* dotsToSlashes(wchar_t* text);
    int registerNativeMethods(JNIEnv* environment);
    // The Java String[] of serviceMain from a block of count arguments.
    jobjectArray makeArguments(const wchar_t* block, int count);
    // A JNI call with an exception pending is undefined: after every call into
    // Java and every failed JNI step the exception is traced and cleared.
    // describe: print Java's stack trace on System.err first (for an exception
    // out of Java's own code, the one clue a service without a console leaves).
    bool clearPendingException(JNIEnv* environment, const wchar_t* step, bool describe = false);
    // A JNI environment for the calling thread, attached for one call.
    CJniAttachment attachThread();
    // A static method of the service class, for one call from the calling
    // thread, attached for it.
    struct CServiceMethodCall {
        CJniAttachment attachment;
        jclass javaClass = nullptr;
        // Null after saying why, with failure kJvmClassNotFound (the class not
        // known yet or not found), kJvmNoServiceControl (no such method: the
        // message missing, missing2) or 0 (the thread could not attach).
        jmethodID method = nullptr;
        int failure = 0;
    };
    CServiceMethodCall findServiceMethod(const char* name, const char* signature, const wchar_t* missing,
                                         const wchar_t* missing2 = nullptr);

private:
    CLogger* logger;
    CModule jvmLibrary;
    // The invocation entry points of the loaded library.
    JniCreateJavaVmProc createJavaVm = nullptr;
    JniGetDefaultJavaVmInitArgsProc getDefaultJavaVmInitArgs = nullptr;
    JavaVM* jvm = nullptr;
    JNIEnv* environment = nullptr;
    // Slash-separated service class in modified UTF-8, owned by
    // serviceClassName; set once by runServiceMain, when its natives are bound,
    // while other threads may already be forwarding (and drop what comes
    // before): they read only className, published atomically.
    CHeapPtr<char> serviceClassName;
    std::atomic<const char*> className{nullptr};
};
