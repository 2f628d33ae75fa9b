#pragma once
// The native methods of com/velsor/core/orb/PravikManager: the Java side
// reports service states and asks for controls through them. Bound with
// RegisterNatives and also exported by name.
#include <jni.h>

#include "common/HeapText.h"

inline constexpr const char* kManagerClassName = "com/velsor/core/orb/PravikManager";
inline constexpr int kNativeMethodCount = 2;

// setServiceState "(IIIII)V" and sendServiceControl "(Ljava/lang/String;I)Z", in that order.
extern const JNINativeMethod native_methods[kNativeMethodCount];

// A newly allocated copy of the Java string's UTF-16 text, owned by the result; an
// empty string when the characters cannot be had, null only when memory ran out.
CHeapText allocGetTstrFromJstr(JNIEnv* environment, jstring text);

extern "C" {
JNIEXPORT jboolean JNICALL Java_com_velsor_core_orb_PravikManager_sendServiceControl(JNIEnv* environment,
                                                                                    jclass reference,
                                                                                    jstring serviceName,
                                                                                    jint control);
JNIEXPORT void JNICALL Java_com_velsor_core_orb_PravikManager_setServiceState(JNIEnv* environment, jclass reference,
                                                                             jint currentState,
                                                                             jint controlsAccepted,
                                                                             jint serviceSpecificExitCode,
                                                                             jint checkPoint, jint waitHint);
}
