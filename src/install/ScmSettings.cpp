#include "install/ScmSettings.h"

#include <windows.h>

#include "common/DecimalText.h"
#include "common/CTextBuilder.h"
#include "common/ExitCodes.h"
#include "common/ServiceNames.h"
#include "common/Win32Handle.h"
#include "config/CConfigFile.h"
#include "config/ConfigKeys.h"
#include "log/CLogger.h"

namespace {

const unsigned long kAutoStart = 2;

int refuseWord(CLogger* logger, EConfigKey configKey, const wchar_t* word, const wchar_t* advice) {
    const wchar_t* key = keyName(configKey);
    CTextBuilder message;
    message.append(L"Bad ").append(key).append(L" value \"").append(word).append(L"\": ").append(advice);
    logger->logMessage(message.failed() ? key : message.text());
    return kConfigLineWithoutValue;
}

bool hasAction(const CFailureActionList& list, unsigned long type) {
    for (unsigned long index = 0; index < list.count; ++index) {
        if (list.actions.get()[index].type == type) {
            return true;
        }
    }
    return false;
}

// The SCM takes a reboot action only from a caller whose token has the shutdown
// privilege enabled; a failure here shows as the SCM's refusal that follows.
void enableShutdownPrivilege() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken)) {
        return;
    }
    const CKernelHandle token(rawToken);
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
        AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
}

bool changeConfig(SC_HANDLE service, DWORD level, void* info, EConfigKey configKey, CLogger* logger) {
    if (ChangeServiceConfig2W(service, level, info)) {
        return true;
    }
    const DWORD code = GetLastError();
    const wchar_t* key = keyName(configKey);
    CTextBuilder message;
    message.append(L"The service control manager did not take ").append(key).append(L"; the service stays installed without it");
    logFailure(logger, message.failed() ? key : message.text(), code);
    return false;
}

// The failure block: actions, reset period and command. With replace, what the
// file lacks is deleted (no actions, no command) rather than left as it was.
int setFailureActions(SC_HANDLE service, const CScmSettings& settings, bool replace, CLogger* logger) {
    const unsigned long count = settings.failureActions.count;
    CHeapPtr<SC_ACTION> table = allocateZeroed<SC_ACTION>(count);
    if (!table) {
        logger->logMessage(L"Memory error!");
        return kMemoryError;
    }
    for (unsigned long index = 0; index < count; ++index) {
        table.get()[index].Type = static_cast<SC_ACTION_TYPE>(settings.failureActions.actions.get()[index].type);
        table.get()[index].Delay = settings.failureActions.actions.get()[index].delay;
    }
    if (hasAction(settings.failureActions, kActionReboot)) {
        enableShutdownPrivilege();
    }
    // A null table or command leaves the manager's as it is; an empty one deletes it.
    SERVICE_FAILURE_ACTIONSW failure = {};
    failure.dwResetPeriod = settings.resetPeriod;
    failure.lpCommand = const_cast<wchar_t*>(settings.command != nullptr ? settings.command : replace ? L"" : nullptr);
    failure.cActions = count;
    failure.lpsaActions = count != 0 || replace ? table.get() : nullptr;
    return changeConfig(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure, EConfigKey::failureActions, logger)
               ? 0
               : kRegistryWriteError;
}

CServiceHandle openServiceToChange(const wchar_t* serviceName, CLogger* logger) {
    const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle service(
        manager ? OpenServiceW(manager.get(), serviceName, SERVICE_CHANGE_CONFIG | SERVICE_START) : nullptr);
    if (!service) {
        logFailure(logger, L"Cannot open the service to set its failure and start settings", GetLastError());
    }
    return service;
}

// Sets the key's setting as settings has it; with replace, a setting the file
// lacks is cleared rather than left as it was.
int changeSetting(SC_HANDLE service, EConfigKey key, const CScmSettings& settings, bool replace, CLogger* logger) {
    bool taken = true;
    switch (key) {
        case EConfigKey::delayedAutoStart: {
            SERVICE_DELAYED_AUTO_START_INFO delayed = {settings.delayedAutoStart ? TRUE : FALSE};
            taken = changeConfig(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed, key, logger);
            break;
        }
        case EConfigKey::failureActions:
        case EConfigKey::failureResetPeriod:
        case EConfigKey::failureCommand:
            return setFailureActions(service, settings, replace, logger);
        case EConfigKey::failureActionsOnNonCrashFailures: {
            SERVICE_FAILURE_ACTIONS_FLAG flag = {settings.nonCrashFailures ? TRUE : FALSE};
            taken = changeConfig(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag, key, logger);
            break;
        }
        case EConfigKey::serviceSidType: {
            SERVICE_SID_INFO sid = {settings.sidTypeGiven ? settings.sidType : SERVICE_SID_TYPE_NONE};
            taken = changeConfig(service, SERVICE_CONFIG_SERVICE_SID_INFO, &sid, key, logger);
            break;
        }
        case EConfigKey::preshutdownTimeout:
            // Without the key the service does not take the control, so the manager's timeout stays as it is.
            if (settings.preshutdownGiven) {
                SERVICE_PRESHUTDOWN_INFO preshutdown = {settings.preshutdownTimeout};
                taken = changeConfig(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown, key, logger);
            }
            break;
        default:
            break;
    }
    return taken ? 0 : kRegistryWriteError;
}

}  // namespace

int readScmSettings(const CConfigFile& config, unsigned long startType, CLogger* logger, CScmSettings* settings) {
    settings->delayedAutoStart = config.getBoolOptionValue(EConfigKey::delayedAutoStart, 0) != 0;
    if (settings->delayedAutoStart && startType != kAutoStart) {
        logger->logMessage(L"delayedAutoStart=TRUE applies only to startType=SERVICE_AUTO_START: it is stored, "
                           L"and takes effect once the start type is SERVICE_AUTO_START");
    }
    settings->nonCrashFailures = config.getBoolOptionValue(EConfigKey::failureActionsOnNonCrashFailures, 0) != 0;

    const wchar_t* actions = config.getStrOptionValue(EConfigKey::failureActions, nullptr);
    const wchar_t* period = config.getStrOptionValue(EConfigKey::failureResetPeriod, nullptr);
    settings->command = config.getStrOptionValue(EConfigKey::failureCommand, nullptr);
    settings->failureActionsGiven = actions != nullptr || period != nullptr || settings->command != nullptr;
    if (actions != nullptr) {
        const int parsed = parseFailureActions(actions, &settings->failureActions);
        if (parsed == kUnknownFailureAction) {
            return refuseWord(logger, EConfigKey::failureActions, settings->failureActions.refused.get(),
                              L"the actions are restart, reboot, run and none");
        }
        if (parsed == kMalformedFailureDelay) {
            return refuseWord(logger, EConfigKey::failureActions, settings->failureActions.refused.get(),
                              L"each action takes its delay in milliseconds, as in restart/60000");
        }
        if (parsed != 0) {
            logger->logMessage(L"Memory error!");
            return kMemoryError;
        }
        if (hasAction(settings->failureActions, kActionRunCommand) && settings->command == nullptr) {
            logger->logMessage(L"failureActions has a run action but no failureCommand to run");
            return kConfigLineWithoutValue;
        }
    }
    if (period != nullptr && !parseDecimalDword(period, &settings->resetPeriod)) {
        return refuseWord(logger, EConfigKey::failureResetPeriod, period,
                          L"give the seconds as digits, as in 86400");
    }

    const wchar_t* sidWord = config.getStrOptionValue(EConfigKey::serviceSidType, nullptr);
    settings->sidTypeGiven = sidWord != nullptr;
    if (sidWord != nullptr) {
        const CNamedValue* entry = findNamedValue(kServiceSidTypeNames, sidWord);
        if (entry == nullptr) {
            return refuseWord(logger, EConfigKey::serviceSidType, sidWord,
                              L"the types are NONE, UNRESTRICTED and RESTRICTED");
        }
        settings->sidType = entry->value;
    }

    const wchar_t* preshutdown = config.getStrOptionValue(EConfigKey::preshutdownTimeout, nullptr);
    settings->preshutdownGiven = preshutdown != nullptr;
    if (preshutdown != nullptr && !parseDecimalDword(preshutdown, &settings->preshutdownTimeout)) {
        return refuseWord(logger, EConfigKey::preshutdownTimeout, preshutdown,
                          L"give the milliseconds as digits, as in 180000");
    }
    return 0;
}

int applyScmSettings(const wchar_t* serviceName, const CScmSettings& settings, CLogger* logger) {
    // The settings a new service takes from its file, in the order they are set.
    const struct {
        bool given;
        EConfigKey key;
    } steps[] = {
        {settings.delayedAutoStart, EConfigKey::delayedAutoStart},
        {settings.failureActionsGiven, EConfigKey::failureActions},
        {settings.nonCrashFailures, EConfigKey::failureActionsOnNonCrashFailures},
        {settings.sidTypeGiven, EConfigKey::serviceSidType},
        {settings.preshutdownGiven, EConfigKey::preshutdownTimeout},
    };
    bool anyGiven = false;
    for (const auto& step : steps) {
        anyGiven = anyGiven || step.given;
    }
    if (!anyGiven) {
        return 0;
    }
    const CServiceHandle service = openServiceToChange(serviceName, logger);
    if (!service) {
        return kRegistryWriteError;
    }
    for (const auto& step : steps) {
        const int result = step.given ? changeSetting(service.get(), step.key, settings, false, logger) : 0;
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

int changeScmSetting(const wchar_t* serviceName, EConfigKey key, const CScmSettings& settings, CLogger* logger) {
    const CServiceHandle service = openServiceToChange(serviceName, logger);
    return service ? changeSetting(service.get(), key, settings, true, logger) : kRegistryWriteError;
}

int setServiceDescription(const wchar_t* serviceName, const wchar_t* text, CLogger* logger) {
    const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const CServiceHandle service(manager ? OpenServiceW(manager.get(), serviceName, SERVICE_CHANGE_CONFIG) : nullptr);
    if (!service) {
        logFailure(logger, L"Cannot add description field to service", GetLastError());
        return kRegistryWriteError;
    }
    // An empty text deletes the description.
    SERVICE_DESCRIPTIONW description = {const_cast<wchar_t*>(text != nullptr ? text : L"")};
    if (!ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &description)) {
        logFailure(logger, L"Error writing description to service entry.", GetLastError());
        return kRegistryWriteError;
    }
    return 0;
}
