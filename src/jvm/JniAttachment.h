#pragma once
// The calling thread's JNI environment for one scope. A thread that is not
// attached is attached for the scope and detached at its end; a thread that
// already is (a Java thread calling a native, the thread that created the
// JVM) is left attached, as HotSpot refuses to detach a thread in Java code.
#include <jni.h>

#include <utility>

class CJniAttachment {
public:
    explicit CJniAttachment(JavaVM* vm) : vm(vm) {
        if (vm == nullptr || vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_2) == JNI_OK) {
            return;
        }
        JavaVMAttachArgs args{JNI_VERSION_1_2, nullptr, nullptr};
        if (vm->AttachCurrentThread(reinterpret_cast<void**>(&env), &args) == JNI_OK) {
            attached = true;
        } else {
            env = nullptr;
        }
    }
    CJniAttachment(CJniAttachment&& other) noexcept
        : vm(other.vm), env(std::exchange(other.env, nullptr)), attached(std::exchange(other.attached, false)) {}
    CJniAttachment(const CJniAttachment&) = delete;
    CJniAttachment& operator=(const CJniAttachment&) = delete;
    CJniAttachment& operator=(CJniAttachment&&) = delete;
    ~CJniAttachment() {
        if (attached) {
            vm->DetachCurrentThread();
        }
    }

    // Null when the thread could not be attached.
    JNIEnv* get() const { return env; }
    explicit operator bool() const { return env != nullptr; }

private:
    JavaVM* vm;
    JNIEnv* env = nullptr;
    bool attached = false;
};
