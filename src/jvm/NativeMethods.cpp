#include "jvm/NativeMethods.h"

#include <windows.h>

#include <cwchar>

#include "common/HeapText.h"
#include "jvm/JvmOwner.h"

static_assert(sizeof(jchar) == sizeof(wchar_t), "Java characters are UTF-16 units, as wide characters are");

const JNINativeMethod native_methods[kNativeMethodCount] = {
    {const_cast<char*>("setServiceState"), const_cast<char*>("(IIIII)V"),
     reinterpret_cast<void*>(&Java_com_velsor_core_orb_PravikManager_setServiceState)},
    {const_cast<char*>("sendServiceControl"), const_cast<char*>("(Ljava/lang/String;I)Z"),
     reinterpret_cast<void*>(&Java_com_velsor_core_orb_PravikManager_sendServiceControl)},
};

CHeapText allocGetTstrFromJstr(JNIEnv* environment, jstring text) {
    // The UTF-16 characters, not the modified UTF-8 form: that one encodes
    // characters outside the basic plane as surrogates, which a UTF-8 decoder rejects.
    jboolean isCopy = JNI_FALSE;
    const jsize length = environment->GetStringLength(text);
    const jchar* characters = environment->GetStringChars(text, &isCopy);
    if (characters == nullptr || length < 0) {
        if (environment->ExceptionCheck()) {
            environment->ExceptionClear();
        }
        return duplicateText(L"");
    }
    CHeapText copy = allocateZeroed<wchar_t>(static_cast<std::size_t>(length) + 1);
    if (copy) {
        std::wmemcpy(copy.get(), reinterpret_cast<const wchar_t*>(characters), static_cast<std::size_t>(length));
    }
    environment->ReleaseStringChars(text, characters);
    return copy;
}

extern "C" {

JNIEXPORT jboolean JNICALL Java_com_velsor_core_orb_PravikManager_sendServiceControl(JNIEnv* environment,
                                                                                    jclass reference,
                                                                                    jstring serviceName,
                                                                                    jint control) {
    (void)reference;
    const CHeapText name = serviceName != nullptr ? allocGetTstrFromJstr(environment, serviceName) : nullptr;
    if (serviceName != nullptr && !name) {
        return JNI_FALSE;
    }
    return sendControlThroughOwner(name.get(), static_cast<DWORD>(control)) != 0 ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT void JNICALL Java_com_velsor_core_orb_PravikManager_setServiceState(JNIEnv* environment, jclass reference,
                                                                             jint currentState,
                                                                             jint controlsAccepted,
                                                                             jint serviceSpecificExitCode,
                                                                             jint checkPoint, jint waitHint) {
    (void)environment;
    (void)reference;
    reportStatusToOwner(static_cast<DWORD>(currentState), static_cast<DWORD>(controlsAccepted),
                        static_cast<DWORD>(serviceSpecificExitCode), static_cast<DWORD>(checkPoint),
                        static_cast<DWORD>(waitHint));
}

}  // extern "C"
