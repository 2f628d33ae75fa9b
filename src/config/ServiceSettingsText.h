#pragma once
// The settings of an installed service turned back into configuration-file
// lines ("key=value\r\n"), in the order and by the rules of the settings export.
// Portable: the registry reads happen elsewhere and arrive here as values.
// The JVM options' value names (formatJvmOptionName) come from the registry layout.
#include "common/RegistryLayout.h"

// What was read for one service; null text or kMissingNumber means the value is absent.
inline constexpr unsigned long kMissingNumber = 0xFFFFFFFFUL;

struct CServiceSettings {
    const wchar_t* serviceName = nullptr;
    const wchar_t* displayName = nullptr;
    unsigned long type = kMissingNumber;
    unsigned long startType = kMissingNumber;
    unsigned long errorControl = kMissingNumber;
    const wchar_t* imagePath = nullptr;
    // The DependOnService entries already joined with ",".
    const wchar_t* dependencies = nullptr;
    const wchar_t* description = nullptr;
    const wchar_t* jvmDll = nullptr;
    const wchar_t* pravikClass = nullptr;
    const wchar_t* commandLine = nullptr;
    const wchar_t* verboseFile = nullptr;
    const wchar_t* preInitCommand = nullptr;
    const wchar_t* preInitHint = nullptr;
    const wchar_t* stopTimeout = nullptr;
    const wchar_t* preshutdownTimeout = nullptr;
    const wchar_t* workingDirectory = nullptr;
    const wchar_t* standardOutput = nullptr;
    const wchar_t* standardError = nullptr;
    // What the service control manager answers beyond the service key's values.
    bool delayedAutoStart = false;
    const wchar_t* failureActions = nullptr;
    const wchar_t* failureResetPeriod = nullptr;
    const wchar_t* failureCommand = nullptr;
    bool nonCrashFailures = false;
    const wchar_t* serviceSidType = nullptr;
    const wchar_t* logRotateSize = nullptr;
    const wchar_t* logKeep = nullptr;
};

// Appends "key=value\r\n" to the text (appendText rules); an absent value appends
// nothing. Null when memory ran out (the old text is then released).
wchar_t* appendSettingLine(wchar_t* text, unsigned long* capacity, const wchar_t* key, const wchar_t* value);

// The lines from serviceDisplayName to logKeep (the JVM options follow,
// one appendSettingLine each). A new text that the caller releases with free(),
// or null when memory ran out.
wchar_t* buildServiceSettingsText(const CServiceSettings& settings, unsigned long* capacity);
