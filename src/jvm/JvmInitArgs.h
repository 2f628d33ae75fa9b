#pragma once
// The JVM's creation arguments, owning their option strings for as long as
// JNI_CreateJavaVM reads them (the JVM copies what it keeps).
#include <jni.h>

#include <vector>

#include "common/HeapText.h"

class CJvmInitArgs {
public:
    CJvmInitArgs() {
        args.version = JNI_VERSION_1_2;
        args.ignoreUnrecognized = JNI_TRUE;
    }
    CJvmInitArgs(const CJvmInitArgs&) = delete;
    CJvmInitArgs& operator=(const CJvmInitArgs&) = delete;

    // Appends one option; false when its text is missing (memory ran out).
    bool add(CHeapPtr<char> optionString, void* extraInfo) {
        if (!optionString) {
            return false;
        }
        options.push_back(JavaVMOption{optionString.get(), extraInfo});
        strings.push_back(std::move(optionString));
        return true;
    }
    // The record for JNI_CreateJavaVM, valid until the next add.
    JavaVMInitArgs* get() {
        args.nOptions = static_cast<jint>(options.size());
        args.options = options.data();
        return &args;
    }

private:
    std::vector<CHeapPtr<char>> strings;
    std::vector<JavaVMOption> options;
    JavaVMInitArgs args = {};
};
