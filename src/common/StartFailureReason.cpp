#include "common/StartFailureReason.h"

#include "common/ExitCodes.h"

const wchar_t* startFailureReason(int exitCode) {
    switch (exitCode) {
    case kJvmLibraryNotLoaded:
        return L"the JVM library cannot be loaded";
    case kJvmEntryPointMissing:
        return L"the JVM library lacks the JNI invocation entry points";
    case kJvmDefaultArgsFailed:
        return L"the JVM library refuses JNI 1.2";
    case kJvmCreationFailed:
        return L"the JVM cannot be created";
    case kJvmNoServiceClass:
        return L"no service class is installed";
    case kJvmClassNotFound:
        return L"the service class is not on the class path";
    case kJvmNoServiceMain:
        return L"the service class has no serviceMain method";
    case kJvmNoServiceControl:
        return L"the service class has no serviceControl method";
    case kJvmNoManagerClass:
        return L"PravikManager is not on the class path";
    case kJvmRegisterNativesFailed:
        return L"the native methods of PravikManager cannot be registered";
    case kControlHandlerNotRegistered:
        return L"the service control handler cannot be registered";
    case kSecretNotReadable:
        return L"a secret cannot be unprotected";
    default:
        return L"see the trace file";
    }
}
