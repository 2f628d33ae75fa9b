#include "registry/StartSettings.h"

#include "common/RegistryLayout.h"
#include "common/Win32Handle.h"
#include "registry/TextExpansion.h"

namespace {

void expandInPlace(CHeapText& text) {
    if (text) {
        text = expandEnvStrings(text.get());
    }
}

}  // namespace

CStartSettings::CStartSettings(const wchar_t* serviceName) : serviceName(serviceName) {
    CRegKey key;
    const CParameterRead failure = openParametersKey(serviceName, &key);
    if (!key) {
        // The two values whose absence is said get the key's failure.
        jvmLibrary.failedStep = serviceClass.failedStep = failure.failedStep;
        jvmLibrary.failure = serviceClass.failure = failure.failure;
        return;
    }
    auto read = [&key](const wchar_t* valueName) { return readParameter(key.get(), valueName).text; };
    workingDirectory = read(kWorkingDirectoryValue);
    preinitCommand = read(kPreInitCmdValue);
    preinitWaitHint = read(kPreInitHintValue);
    standardOutput = read(kStandardOutputValue);
    standardError = read(kStandardErrorValue);
    logRotateSize = read(kLogRotateSizeValue);
    logKeep = read(kLogKeepValue);
    verboseFile = read(kVerboseFileValue);
    jvmLibrary = readParameter(key.get(), kJvmDllValue);
    for (int index = 1;; ++index) {
        wchar_t valueName[32];
        formatJvmOptionName(valueName, 32, index);
        CHeapText option = read(valueName);
        if (!option) {
            break;
        }
        jvmOptions.push_back(std::move(option));
    }
    preshutdownTimeout = read(kPreshutdownTimeoutValue);
    commandLine = read(kCommandLineValue);
    serviceClass = readParameter(key.get(), kPravikClassValue);
    stopTimeout = read(kStopTimeoutValue);
}

void CStartSettings::expandEarlyReferences() {
    expandInPlace(workingDirectory);
    expandInPlace(stopTimeout);
}

void CStartSettings::expandReferences() {
    for (CHeapText* text : {&preinitCommand, &preinitWaitHint, &standardOutput, &standardError, &logRotateSize,
                            &logKeep, &verboseFile, &jvmLibrary.text, &preshutdownTimeout, &serviceClass.text}) {
        expandInPlace(*text);
    }
    for (CHeapText& option : jvmOptions) {
        expandInPlace(option);
    }
}
