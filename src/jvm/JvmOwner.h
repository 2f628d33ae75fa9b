#pragma once
// How the JVM host reports to its owner, the executor: plain functions and a
// context that the owner fills in. Java's native methods have no object to
// ask, so the owner registers once for the process (there is one JVM per
// process), before any JVM is created.
#include <windows.h>

#include <jni.h>

struct CJvmOwner {
    void* context = nullptr;
    // Java's setServiceState: the state the service reports.
    void (*reportStatus)(void* context, DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode,
                         DWORD checkPoint, DWORD waitHint) = nullptr;
    // Java's sendServiceControl: 1 when the control was set going. Null
    // serviceName means the owner's own service.
    int (*sendControl)(void* context, const wchar_t* serviceName, DWORD code) = nullptr;
    // Java called System.exit (or Runtime.halt): the JVM ends the process with
    // code as soon as this returns. Runs on a thread of the JVM while its Java
    // threads stand still, so it must not wait for Java.
    void (*exiting)(void* context, int code) = nullptr;
};

// Kept until clearJvmOwner.
void registerJvmOwner(const CJvmOwner& owner);
// Java threads outlive the owner: after this returns no call reaches it, and
// every call that had reached it has returned.
void clearJvmOwner();

// The owner's functions, called under the registration's lock; nothing
// (0) while no owner is registered.
void reportStatusToOwner(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode,
                         DWORD checkPoint, DWORD waitHint);
int sendControlThroughOwner(const wchar_t* serviceName, DWORD code);

// The JVM's "exit" hook: tells the owner.
void JNICALL jvmExitHook(jint code);
