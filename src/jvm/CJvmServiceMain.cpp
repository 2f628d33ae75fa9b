// Running the Java service class: its arguments, the class lookup, the native
// methods of the manager class and the call of serviceMain.
#include <cwchar>
#include <utility>

#include "common/RegistryLayout.h"
#include "jvm/CJvm.h"
#include "jvm/CommandLineSplit.h"
#include "jvm/ModifiedUtf8.h"
#include "jvm/NativeMethods.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "registry/StartSettings.h"

bool CJvm::clearPendingException(JNIEnv* env, const wchar_t* step, bool describe) {
    if (!env->ExceptionCheck()) {
        return false;
    }
    if (describe) {
        // Clears it too.
        env->ExceptionDescribe();
    }
    env->ExceptionClear();
    logger->writeEntry(L"Java exception cleared after ", step, nullptr);
    return true;
}

wchar_t* CJvm::dotsToSlashes(wchar_t* text) {
    for (wchar_t* at = text; *at != L'\0'; ++at) {
        if (*at == L'.') {
            *at = L'/';
        }
    }
    return text;
}

CHeapText CJvm::getCommandLineArgs(const wchar_t* commandLine, int* count) {
    CTraceScope trace(logger, L"CJvm::getCommandLineArgs");
    *count = 0;
    if (commandLine == nullptr) {
        return nullptr;
    }
    CHeapText block = allocateZeroed<wchar_t>(commandLineBlockCapacity(std::wcslen(commandLine)));
    if (!block) {
        logger->logMessage(L"Memory error in CJvm::getCommandLineArgs");
        return nullptr;
    }
    *count = splitCommandLine(commandLine, block.get());
    trace.exit(*count);
    return block;
}

int CJvm::registerNativeMethods(JNIEnv* env) {
    jclass manager = env->FindClass(kManagerClassName);
    if (manager == nullptr) {
        clearPendingException(env, L"FindClass");
        logger->logMessage(L"Cannot find PravikManager class.");
        return kJvmNoManagerClass;
    }
    if (env->RegisterNatives(manager, native_methods, kNativeMethodCount) != 0) {
        clearPendingException(env, L"RegisterNatives");
        logger->logMessage(L"Unable to register methods for PravikManager class.");
        return kJvmRegisterNativesFailed;
    }
    return 0;
}

jobjectArray CJvm::makeArguments(const wchar_t* block, int count) {
    JNIEnv* env = environment;
    jstring empty = env->NewStringUTF("");
    if (empty == nullptr) {
        clearPendingException(env, L"NewStringUTF");
    }
    jclass stringClass = env->FindClass("java/lang/String");
    if (stringClass == nullptr) {
        clearPendingException(env, L"FindClass");
        return nullptr;
    }
    jobjectArray array = env->NewObjectArray(count, stringClass, empty);
    if (array == nullptr) {
        clearPendingException(env, L"NewObjectArray");
        return nullptr;
    }
    // Java strings are made from the UTF-16 text itself, so no character is
    // lost to a narrow code page.
    const wchar_t* argument = block;
    for (int index = 0; index < count; ++index, argument = nextArgument(argument)) {
        jstring text =
            env->NewString(reinterpret_cast<const jchar*>(argument), static_cast<jsize>(std::wcslen(argument)));
        if (text == nullptr) {
            clearPendingException(env, L"NewString");
            continue;
        }
        env->SetObjectArrayElement(array, index, text);
        clearPendingException(env, L"SetObjectArrayElement");
        env->DeleteLocalRef(text);
    }
    return array;
}

int CJvm::runServiceMain(const CStartSettings& settings) {
    int count = 0;
    CHeapText arguments(getCommandLineArgs(settings.commandLine.get(), &count));
    CTraceScope trace(logger, L"CJvm::runServiceMain");
    logParameterReadFailure(logger, settings.serviceName, kPravikClassValue, settings.serviceClass);
    // Its dots become slashes here.
    CHeapText serviceClass(duplicateText(settings.serviceClass.text.get()));
    if (!serviceClass) {
        logger->logMessage(L"No Java class implementing service routines was specified.");
        return trace.exit(kJvmNoServiceClass);
    }
    jobjectArray javaArguments = makeArguments(arguments.get(), arguments ? count : 0);
    dotsToSlashes(serviceClass.get());
    // JNI reads class names as modified UTF-8, not in the ANSI code page.
    CHeapPtr<char> name = toModifiedUtf8(serviceClass.get());
    jclass javaClass = name ? environment->FindClass(name.get()) : nullptr;
    if (javaClass == nullptr) {
        clearPendingException(environment, L"FindClass");
        logger->logMessage(L"Cannot find the class ", serviceClass.get());
        return trace.exit(kJvmClassNotFound);
    }
    const int registered = registerNativeMethods(environment);
    if (registered != 0) {
        return trace.exit(registered);
    }
    // Controls reach serviceControl from now on: its natives are bound.
    serviceClassName = std::move(name);
    className.store(serviceClassName.get());
    jmethodID serviceMainId = environment->GetStaticMethodID(javaClass, "serviceMain", "([Ljava/lang/String;)V");
    clearPendingException(environment, L"GetStaticMethodID");
    jmethodID serviceControlId = environment->GetStaticMethodID(javaClass, "serviceControl", "(I)V");
    clearPendingException(environment, L"GetStaticMethodID");
    if (serviceMainId == nullptr) {
        logger->logMessage(L"serviceMain", L" method does not exist in class ", serviceClass.get());
        return trace.exit(kJvmNoServiceMain);
    }
    if (serviceControlId == nullptr) {
        logger->logMessage(L"serviceControl", L" method does not exist in class ", serviceClass.get());
        return trace.exit(kJvmNoServiceControl);
    }
    environment->CallStaticVoidMethod(javaClass, serviceMainId, javaArguments);
    // An exception out of serviceMain ends the run like a return.
    clearPendingException(environment, L"serviceMain", true);
    return trace.exit(0);
}
