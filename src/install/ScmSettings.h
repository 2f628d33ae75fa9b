#pragma once
// The settings that the service control manager keeps beyond CreateServiceW,
// set with ChangeServiceConfig2W: delayed automatic start, the failure actions
// with their reset period and command, whether a stop with a nonzero exit code
// counts as a failure, the service SID type and the preshutdown timeout.
#include "common/FailureActionsText.h"
#include "config/ConfigKeys.h"

class CConfigFile;
class CLogger;

struct CScmSettings {
    bool delayedAutoStart = false;
    // failureActions, failureResetPeriod or failureCommand is in the file.
    bool failureActionsGiven = false;
    CFailureActionList failureActions;
    // Seconds without a failure after which the count starts again: one day unless the file says.
    unsigned long resetPeriod = kDefaultFailureResetSeconds;
    const wchar_t* command = nullptr;
    bool nonCrashFailures = false;
    bool sidTypeGiven = false;
    unsigned long sidType = 0;
    bool preshutdownGiven = false;
    unsigned long preshutdownTimeout = 0;
};

// The configuration's keys into settings, before anything is created: 0, or
// kConfigLineWithoutValue after a message naming the key and the refused word,
// or kMemoryError. delayedAutoStart with another start type is only reported.
int readScmSettings(const CConfigFile& config, unsigned long startType, CLogger* logger, CScmSettings* settings);

// Sets what the file gave on the created service: 0, or kRegistryWriteError after
// a message naming the key and the system's reason (the service stays as it is).
int applyScmSettings(const wchar_t* serviceName, const CScmSettings& settings, CLogger* logger);

// Sets the one setting of key (delayedAutoStart, the three failure keys as one
// block, failureActionsOnNonCrashFailures, serviceSidType or preshutdownTimeout)
// to what settings hold, turning it off or deleting it where the file has none:
// 0, or kRegistryWriteError after a message naming the key and the system's
// reason, or kMemoryError.
int changeScmSetting(const wchar_t* serviceName, EConfigKey key, const CScmSettings& settings, CLogger* logger);

// Sets the service's description, or deletes it when text is null, through the
// manager: Wine's keeps its own copy of the text and writes it back over the
// registry value whenever it saves the service (a later setting would undo a
// value written beside it). 0, or kRegistryWriteError after logging why.
int setServiceDescription(const wchar_t* serviceName, const wchar_t* text, CLogger* logger);
