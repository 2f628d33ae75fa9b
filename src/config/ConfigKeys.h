#pragma once
// Every key of the configuration file in one table: its name, where an
// installed service keeps it, its default, its block in the skeleton template
// and its line in the settings export. The table's own order is the one in
// which installation writes the keys, grouped by where they are kept; README's
// "Configuration keys" follows it. Portable.
#include <cstddef>

struct CServiceSettings;

// The rows of the table, in its order.
enum class EConfigKey : unsigned char {
    serviceDisplayName,
    serviceName,
    interactiveService,
    startType,
    errorControl,
    binaryPath,
    serviceDependencies,
    description,
    jvmDll,
    jvmOption,
    commandLineParms,
    ipravikClass,
    verboseOutput,
    preinitCommand,
    preinitWaitHint,
    stopTimeout,
    preshutdownTimeout,
    workingDirectory,
    standardOutput,
    standardError,
    logRotateSize,
    logKeep,
    environment,
    secret,
    delayedAutoStart,
    failureActions,
    failureResetPeriod,
    failureCommand,
    failureActionsOnNonCrashFailures,
    serviceSidType,
};
inline constexpr std::size_t kConfigKeyCount = 30;

// Where an installed service keeps a key.
enum class EKeyPlace : unsigned char {
    // What CreateServiceW takes: the service control manager keeps it in the service key.
    serviceManager,
    // A value of the service key that this program writes.
    serviceKey,
    // A value of the service's Parameters subkey.
    parameters,
    // A setting of the service control manager, set with ChangeServiceConfig2W.
    managerSetting,
};

// The defaults that are numbers, for the code that applies them (those of
// logRotateSize and logKeep are in common/LogRotation.h).
inline constexpr unsigned long kDefaultPreinitWaitHintMs = 2000;
inline constexpr unsigned long kDefaultStopTimeoutMs = 30000;
inline constexpr unsigned long kDefaultFailureResetSeconds = 86400;

struct CConfigKey {
    EConfigKey id;
    // As written in the configuration file (matched without regard to letter case).
    const wchar_t* name;
    EKeyPlace place;
    // The registry value (common/RegistryLayout.h); null where the manager
    // keeps the setting its own way, and for serviceName, the service key's name.
    const wchar_t* valueName = nullptr;
    // Installation refuses a file without it.
    bool required = false;
    // Written as name1, name2, ... (jvmOption1, jvmOption2).
    bool numbered = false;
    // Any number of keys name followed by a variable's name (env.JAVA_HOME),
    // each kept as the value valueName followed by that name.
    bool prefixed = false;
    // The default in the template's words, ending in a full stop where the
    // template has one; where null, the default is defaultNumber. A required
    // key has neither.
    const char* defaultText = nullptr;
    unsigned long defaultNumber = 0;
    // The template's comment lines before "This is a ... config parameter.", each ending in CR LF.
    const char* help;
    // What stands between the "$$" of the template's key line ("OPTION": "OPTION1", "OPTION2").
    const char* placeholder;
    // The text the export shows as the key's value; null where the export derives it.
    const wchar_t* CServiceSettings::*exportedText = nullptr;
    unsigned char skeletonPosition;
    unsigned char exportPosition;
};

extern const CConfigKey kConfigKeys[kConfigKeyCount];

inline const CConfigKey& configKey(EConfigKey key) { return kConfigKeys[static_cast<std::size_t>(key)]; }
inline const wchar_t* keyName(EConfigKey key) { return configKey(key).name; }

// What the export writes for a secret's value, and what keeps a stored secret as it is.
inline constexpr const wchar_t* kProtectedValueText = L"<protected>";

// The prefixed row (env., secret.) whose name begins the key, letter case
// ignored, with *variable at the rest of the key; null for any other key.
const CConfigKey* prefixedKeyOf(const wchar_t* key, const wchar_t** variable);

// Whether a variable's name is one Windows can hold: not empty, no "=".
bool isVariableName(const wchar_t* variable);

// The key at position (below kConfigKeyCount) in the template's order and in the export's.
const CConfigKey& skeletonKey(std::size_t position);
const CConfigKey& exportedKey(std::size_t position);
