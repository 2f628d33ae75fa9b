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

void CJvm::sendControlCommand(DWORD control) {
    CTraceScope trace(logger, L"CJvm::sendControlCommand", static_cast<int>(control));
    int result = 0;
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
    } else if (control == 250) {
        logger->logMessage(L"Generating control c event.");
        if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
            logFailure(logger, L"Failed to generate control c event. ", GetLastError());
        }
    } else {
        // The service class is known once runServiceMain has stored its name.
        const char* serviceClass = className.load();
        const CJniAttachment attachment = serviceClass != nullptr ? attachThread() : CJniAttachment(nullptr);
        JNIEnv* env = attachment.get();
        if (serviceClass == nullptr) {
            logger->logMessage(L"Cannot find the PravikManager class");
            result = kJvmClassNotFound;
        } else if (env != nullptr) {
            jclass javaClass = env->FindClass(serviceClass);
            if (javaClass == nullptr) {
                clearPendingException(env, L"FindClass");
                logger->logMessage(L"Cannot find the PravikManager class");
                result = kJvmClassNotFound;
            } else {
                jmethodID method = env->GetStaticMethodID(javaClass, "serviceControl", "(I)V");
                if (method == nullptr) {
                    clearPendingException(env, L"GetStaticMethodID");
                    logger->logMessage(L"serviceControl", L" method does not exist.");
                    result = kJvmNoServiceControl;
                } else {
                    logger->logMessage(L"Sending service control : ", describeControlCode(control));
                    env->CallStaticVoidMethod(javaClass, method, static_cast<jint>(control));
                    clearPendingException(env, L"serviceControl", true);
                }
            }
        }
    }
    trace.exit(result);
}

int CJvm::sendConsoleSignal(DWORD type) {
    CTraceScope trace(logger, L"CJvm::sendConsoleSignal", static_cast<int>(type));
    int result = 0;
    const char* serviceClass = className.load();
    const CJniAttachment attachment = serviceClass != nullptr ? attachThread() : CJniAttachment(nullptr);
    JNIEnv* env = attachment.get();
    if (serviceClass == nullptr) {
        logger->logMessage(L"Cannot find the PravikManager class");
    } else if (env != nullptr) {
        jclass javaClass = env->FindClass(serviceClass);
        if (javaClass == nullptr) {
            clearPendingException(env, L"FindClass");
            logger->logMessage(L"Cannot find the PravikManager class");
        } else {
            jmethodID method = env->GetStaticMethodID(javaClass, "consoleSignal", "(I)Z");
            if (method == nullptr) {
                clearPendingException(env, L"GetStaticMethodID");
                logger->logMessage(L"No console signal handler found.");
            } else {
                const jboolean handled = env->CallStaticBooleanMethod(javaClass, method, static_cast<jint>(type));
                // A throwing handler has not handled the event.
                const bool threw = clearPendingException(env, L"consoleSignal");
                result = (!threw && handled == 1) ? 1 : 0;
            }
        }
    }
    return trace.exit(result);
}
