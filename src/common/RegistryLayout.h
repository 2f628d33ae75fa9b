#pragma once
// Where an installed service keeps its settings, all below HKEY_LOCAL_MACHINE:
// the service key (written by the service control manager, plus Description),
// its Parameters subkey (written by this program) and the program's own key.

inline constexpr const wchar_t* kServicesKeyPath = L"SYSTEM\\CurrentControlSet\\Services";
inline constexpr const wchar_t* kParametersSubkey = L"Parameters";
inline constexpr const wchar_t* kProgramKeyPath = L"SOFTWARE\\Ulmarq\\Pravik";

class CTextBuilder;

// Appends "SYSTEM\CurrentControlSet\Services\<service name>", as long as the name makes it.
void appendServiceKeyPath(CTextBuilder& path, const wchar_t* serviceName);
// Appends the service key's path and "\Parameters".
void appendParametersKeyPath(CTextBuilder& path, const wchar_t* serviceName);

// Values of the program key.
inline constexpr const wchar_t* kTraceValue = L"Trace";

// Values of the service key.
inline constexpr const wchar_t* kTypeValue = L"Type";
inline constexpr const wchar_t* kStartValue = L"Start";
inline constexpr const wchar_t* kErrorControlValue = L"ErrorControl";
inline constexpr const wchar_t* kImagePathValue = L"ImagePath";
inline constexpr const wchar_t* kDisplayNameValue = L"DisplayName";
inline constexpr const wchar_t* kDependOnServiceValue = L"DependOnService";
inline constexpr const wchar_t* kDescriptionValue = L"Description";

// Values of the Parameters subkey, all REG_SZ.
inline constexpr const wchar_t* kJvmDllValue = L"JVMdll";
// Followed by the decimal index, from 1 without gaps ("%s%d").
inline constexpr const wchar_t* kJvmOptionValuePrefix = L"JVMOption";
// "JVMOption" and the decimal number into name (capacity in characters, at least 32).
void formatJvmOptionName(wchar_t* name, unsigned long capacity, int number);
inline constexpr const wchar_t* kCommandLineValue = L"CommandLine";
inline constexpr const wchar_t* kPravikClassValue = L"IPravikClass";
inline constexpr const wchar_t* kVerboseFileValue = L"VerboseFile";
inline constexpr const wchar_t* kPreInitCmdValue = L"PreInitCmd";
inline constexpr const wchar_t* kPreInitHintValue = L"PreInitHint";
inline constexpr const wchar_t* kWorkingDirectoryValue = L"WorkingDirectory";
// Milliseconds Java has to stop (decimal text; 0: no limit).
inline constexpr const wchar_t* kStopTimeoutValue = L"StopTimeout";
// Milliseconds the system waits for the service at shutdown (decimal text), as
// the user set it: the manager's own value always exists, 180000 by default,
// and its presence here is what makes the service accept preshutdown.
inline constexpr const wchar_t* kPreshutdownTimeoutValue = L"PreshutdownTimeout";
inline constexpr const wchar_t* kStandardOutputValue = L"StandardOutput";
inline constexpr const wchar_t* kStandardErrorValue = L"StandardError";
// Size in MiB past which the standard output and error files rotate (decimal text; 0: never).
inline constexpr const wchar_t* kLogRotateSizeValue = L"LogRotateSize";
// How many rotated generations of those files are kept (decimal text).
inline constexpr const wchar_t* kLogKeepValue = L"LogKeep";
// Followed by the variable's name, one value each: env.NAME as REG_SZ (as
// written, unexpanded) and secret.NAME as REG_BINARY, the DPAPI blob of the
// UTF-16 text (machine scope).
inline constexpr const wchar_t* kEnvironmentValuePrefix = L"env.";
inline constexpr const wchar_t* kSecretValuePrefix = L"secret.";
