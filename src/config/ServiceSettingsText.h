#pragma once
// The settings of an installed service turned back into configuration-file
// lines ("key=value\r\n"), in the order and by the rules of the settings export.
// Portable: the registry reads happen elsewhere and arrive here as values.
// The JVM options' value names (formatJvmOptionName) come from the registry layout.
#include "common/HeapText.h"
#include "common/RegistryLayout.h"
#include "config/ConfigKeys.h"

// What was read for one service; null text or kMissingNumber means the value is absent.
inline constexpr unsigned long kMissingNumber = 0xFFFFFFFFUL;

#include <cstddef>

// A Parameters value of a variable key: its stored name (env.NAME, secret.NAME)
// and, for env., its text; a secret's text is never read for the export.
struct CVariableSetting {
    const wchar_t* valueName = nullptr;
    const wchar_t* value = nullptr;
};

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
    // The env. and secret. values in the registry's order; each block of the
    // export takes those of its prefix, a secret as <protected>.
    const CVariableSetting* variables = nullptr;
    std::size_t variableCount = 0;
};

// Each key's value as the export writes it (null: no line), by the table's
// index; the numbered JVM options are left out. binaryPath owns the text of that key.
struct CExportedValues {
    const wchar_t* values[kConfigKeyCount] = {};
    CHeapText binaryPath;
};

// False when memory ran out.
bool exportedValuesOf(const CServiceSettings& settings, CExportedValues* exported);

// "key: installed -> wanted" for a setting whose two values differ; an absent
// value reads kAbsentSettingText. A new text that the caller releases with
// free(), or null when memory ran out.
inline constexpr const wchar_t* kAbsentSettingText = L"(none)";
wchar_t* describeSettingChange(const wchar_t* key, const wchar_t* installed, const wchar_t* wanted);

// Whether the two values (null: absent) are the same setting: equal texts, letter case included.
bool sameSetting(const wchar_t* installed, const wchar_t* wanted);

// Appends "key=value\r\n" to the text (appendText rules); an absent value appends
// nothing. Null when memory ran out (the old text is then released).
wchar_t* appendSettingLine(wchar_t* text, unsigned long* capacity, const wchar_t* key, const wchar_t* value);

// The lines from serviceDisplayName to logKeep, the env. and secret. lines
// after standardError (the JVM options follow,
// one appendSettingLine each). A new text that the caller releases with free(),
// or null when memory ran out.
wchar_t* buildServiceSettingsText(const CServiceSettings& settings, unsigned long* capacity);
