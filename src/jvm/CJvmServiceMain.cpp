// Running the Java service class: its arguments, the class lookup, the native
// methods of the manager class and the call of serviceMain.
#include <cstdlib>
#include <cwchar>

#include "common/RegistryLayout.h"
#include "jvm/CJvm.h"
#include "jvm/CommandLineSplit.h"
#include "jvm/ModifiedUtf8.h"
#include "jvm/NativeMethods.h"
#include "log/CLogger.h"
#include "registry/ServiceParameters.h"

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

CHeapText CJvm::getCommandLineArgs(int* count) {
    // References stay unexpanded: they reach Java as written.
    CHeapText value(getRegServiceParam(serviceName, kCommandLineValue, logger, 0, 0));
    logger->logEntry(L"CJvm::getCommandLineArgs");
    *count = 0;
    if (!value) {
        logger->logExit(L"CJvm::getCommandLineArgs", 0);
        return nullptr;
    }
    CHeapText block = allocateZeroed<wchar_t>(commandLineBlockCapacity(std::wcslen(value.get())));
    if (!block) {
        logger->logMessage(L"Memory error in CJvm::getCommandLineArgs");
        logger->logExit(L"CJvm::getCommandLineArgs", 0);
        return nullptr;
    }
    *count = splitCommandLine(value.get(), block.get());
    logger->logExit(L"CJvm::getCommandLineArgs", *count);
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

int CJvm::runServiceMain() {
    int count = 0;
    CHeapText arguments(getCommandLineArgs(&count));
    logger->logEntry(L"CJvm::runServiceMain");
    int result = 0;
    CHeapText serviceClass(getRegServiceParameter(serviceName, kPravikClassValue, logger));
    jclass javaClass = nullptr;
    jobjectArray javaArguments = nullptr;
    CHeapPtr<char> name;
    if (!serviceClass) {
        logger->logMessage(L"No Java class implementing service routines was specified.");
        result = kJvmNoServiceClass;
    }
    if (result == 0) {
        javaArguments = makeArguments(arguments.get(), arguments ? count : 0);
        dotsToSlashes(serviceClass.get());
        // JNI reads class names as modified UTF-8, not in the ANSI code page.
        name = toModifiedUtf8(serviceClass.get());
        if (name) {
            javaClass = environment->FindClass(name.get());
        }
        if (javaClass == nullptr) {
            clearPendingException(environment, L"FindClass");
            logger->logMessage(L"Cannot find the class ", serviceClass.get());
            result = kJvmClassNotFound;
        }
    }
    if (result == 0) {
        result = registerNativeMethods(environment);
    }
    if (result == 0) {
        // Controls reach serviceControl from now on: its natives are bound.
        std::free(className.exchange(name.release()));
    }
    if (result == 0) {
        jmethodID serviceMainId = environment->GetStaticMethodID(javaClass, "serviceMain", "([Ljava/lang/String;)V");
        clearPendingException(environment, L"GetStaticMethodID");
        jmethodID serviceControlId = environment->GetStaticMethodID(javaClass, "serviceControl", "(I)V");
        clearPendingException(environment, L"GetStaticMethodID");
        if (serviceMainId == nullptr) {
            logger->logMessage(L"serviceMain", L" method does not exist in class ", serviceClass.get());
            result = kJvmNoServiceMain;
        } else if (serviceControlId == nullptr) {
            logger->logMessage(L"serviceControl", L" method does not exist in class ", serviceClass.get());
            result = kJvmNoServiceControl;
        } else {
            environment->CallStaticVoidMethod(javaClass, serviceMainId, javaArguments);
            // An exception out of serviceMain ends the run like a return.
            clearPendingException(environment, L"serviceMain", true);
        }
    }
    logger->logExit(L"CJvm::runServiceMain", result);
    return result;
}
