// Carrying service controls and console events into Java: the calling thread
// attaches to the JVM for the one call and detaches again.
#include "jvm/CJvm.h"

#include "common/ServiceNames.h"
#include "jvm/JvmThreadDump.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"

CJniAttachment CJvm::attachThread() {
    CJniAttachment attachment(jvm);
    if (!attachment) {
        logger->logMessage(L"Could not attach the thread.");
    }
    return attachment;
}

CJvm::CServiceMethodCall CJvm::findServiceMethod(const char* name, const char* signature, const wchar_t* missing,
                                                 const wchar_t* missing2) {
    // The service class is known once runServiceMain has stored its name.
    const char* serviceClass = className.load();
    CServiceMethodCall call{serviceClass != nullptr ? attachThread() : CJniAttachment(nullptr)};
    JNIEnv* env = call.attachment.get();
    if (serviceClass == nullptr) {
        logger->logMessage(L"Cannot find the PravikManager class");
        call.failure = kJvmClassNotFound;
        return call;
    }
    if (env == nullptr) {
        return call;
    }
    call.javaClass = env->FindClass(serviceClass);
    if (call.javaClass == nullptr) {
        clearPendingException(env, L"FindClass");
        logger->logMessage(L"Cannot find the PravikManager class");
        call.failure = kJvmClassNotFound;
        return call;
    }
    call.method = env->GetStaticMethodID(call.javaClass, name, signature);
    if (call.method == nullptr) {
        clearPendingException(env, L"GetStaticMethodID");
        logger->logMessage(missing, missing2);
        call.failure = kJvmNoServiceControl;
    }
    return call;
}

void CJvm::sendControlCommand(DWORD control) {
    CTraceScope trace(logger, L"CJvm::sendControlCommand", static_cast<int>(control));
    if (control == 251) {
        logger->logMessage(L"Generating control break event.");
        RaiseSignalProc raiseSignal = findRaiseSignal(jvmLibrary.get());
        if (raiseSignal != nullptr) {
            // The JVM takes the calling thread's Java thread first: on a thread
            // that is not attached (the SCM's, the pipe's) it would crash.
            const CJniAttachment attachment = attachThread();
            if (attachment) {
                raiseSignal(kSignalBreak);
            }
        } else if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0)) {
            logFailure(logger, L"Failed to generate control break event. ", GetLastError());
        }
        return;
    }
    if (control == 250) {
        logger->logMessage(L"Generating control c event.");
        if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
            logFailure(logger, L"Failed to generate control c event. ", GetLastError());
        }
        return;
    }
    const CServiceMethodCall call =
        findServiceMethod("serviceControl", "(I)V", L"serviceControl", L" method does not exist.");
    if (call.method == nullptr) {
        trace.exit(call.failure);
        return;
    }
    JNIEnv* env = call.attachment.get();
    logger->logMessage(L"Sending service control : ", describeControlCode(control));
    env->CallStaticVoidMethod(call.javaClass, call.method, static_cast<jint>(control));
    clearPendingException(env, L"serviceControl", true);
}

int CJvm::sendConsoleSignal(DWORD type) {
    CTraceScope trace(logger, L"CJvm::sendConsoleSignal", static_cast<int>(type));
    const CServiceMethodCall call = findServiceMethod("consoleSignal", "(I)Z", L"No console signal handler found.");
    if (call.method == nullptr) {
        // The event is not handled, whatever the reason.
        return trace.exit(0);
    }
    JNIEnv* env = call.attachment.get();
    const jboolean handled = env->CallStaticBooleanMethod(call.javaClass, call.method, static_cast<jint>(type));
    // A throwing handler has not handled the event.
    const bool threw = clearPendingException(env, L"consoleSignal");
    return trace.exit(!threw && handled == 1 ? 1 : 0);
}
