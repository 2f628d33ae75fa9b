// Changing an installed service of this program to what a configuration file
// describes ("-U"). Both sides are put in the export's words (what "-e" writes
// and "-d" shows), so that a file and the export of the service it made agree;
// each setting that differs is printed as "key: installed -> wanted" and
// changed on its own, so that a refusal names the one setting it stopped at.
#include <windows.h>

#include <cwchar>

#include "common/AsciiCase.h"
#include "common/CTextBuilder.h"
#include "common/ExitCodes.h"
#include "common/HeapText.h"
#include "common/OwnProgramPath.h"
#include "common/RegistryLayout.h"
#include "common/ServiceConfigQuery.h"
#include "common/ServiceNames.h"
#include "common/Win32Handle.h"
#include "config/CConfigFile.h"
#include "config/CConfigOption.h"
#include "config/ConfigKeys.h"
#include "config/InstalledSettings.h"
#include "config/ServiceSettingsText.h"
#include "install/CInstaller.h"
#include "install/EventSource.h"
#include "install/ParametersKeySecurity.h"
#include "install/ScmSettings.h"
#include "install/ServiceSettings.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "registry/ParameterValues.h"
#include "registry/SecretProtection.h"
#include "registry/ServiceParameters.h"

namespace {

const std::size_t kOptionNameCharacters = 32;

std::size_t index(EConfigKey key) { return static_cast<std::size_t>(key); }

// The file's settings as the installer would make them, in the export's words.
class CWantedSettings {
public:
    CWantedSettings(const CConfigFile& config, const CScmSettings& scm, const wchar_t* serviceName) {
        values.serviceName = serviceName;
        values.displayName = config.getStrOptionValue(EConfigKey::serviceDisplayName, nullptr);
        values.type =
            config.getBoolOptionValue(EConfigKey::interactiveService, 0) ? kInteractiveOwnProcessType : kOwnProcessType;
        int recognised = 1;
        values.startType = startTypeFromWord(config.getStrOptionValue(EConfigKey::startType, nullptr), &recognised);
        values.errorControl =
            errorControlFromWord(config.getStrOptionValue(EConfigKey::errorControl, nullptr), &recognised);
        const wchar_t* programPath = config.getStrOptionValue(EConfigKey::binaryPath, nullptr);
        if (programPath == nullptr) {
            DWORD error = 0;
            ownPath = ownProgramPath(&error);
            programPath = ownPath ? ownPath.get() : L"";
        }
        imagePath = buildImagePath(programPath, serviceName);
        values.imagePath = imagePath.get();
        values.dependencies = config.getStrOptionValue(EConfigKey::serviceDependencies, nullptr);
        values.description = config.getStrOptionValue(EConfigKey::description, nullptr);
        for (const CConfigKey& key : kConfigKeys) {
            if (key.place == EKeyPlace::parameters && !key.numbered && !key.prefixed) {
                values.*key.exportedText = config.getStrOptionValue(key.name, nullptr);
            }
        }
        values.delayedAutoStart = scm.delayedAutoStart;
        // The manager answers a reset period only together with actions.
        if (scm.failureActions.count != 0) {
            failureActions = formatFailureActions(scm.failureActions.actions.get(), scm.failureActions.count);
            values.failureActions = failureActions.get();
            resetPeriod.appendDecimal(scm.resetPeriod);
            values.failureResetPeriod = resetPeriod.text();
        }
        values.failureCommand = scm.command;
        values.nonCrashFailures = scm.nonCrashFailures;
        const CNamedValue* sidType = scm.sidTypeGiven && scm.sidType != 0
                                         ? findValue(kServiceSidTypeNames, scm.sidType)
                                         : nullptr;
        values.serviceSidType = sidType != nullptr ? sidType->name : nullptr;
        ready = imagePath && (scm.failureActions.count == 0 || (failureActions && !resetPeriod.failed()));
    }
    CWantedSettings(const CWantedSettings&) = delete;
    CWantedSettings& operator=(const CWantedSettings&) = delete;

    bool isReady() const { return ready; }
    const CServiceSettings& settings() const { return values; }

private:
    CHeapText ownPath;
    CHeapText imagePath;
    CHeapText failureActions;
    CTextBuilder resetPeriod;
    CServiceSettings values;
    bool ready = false;
};

// The account the service logs on as; null when it cannot be asked.
CHeapText logonAccountOf(SC_HANDLE service) {
    DWORD error = 0;
    const CHeapPtr<QUERY_SERVICE_CONFIGW> config = queryServiceConfig(service, &error);
    return config ? duplicateText(config->lpServiceStartName) : CHeapText();
}

// One update: the service, the file's settings, and what has been changed so far.
class CServiceUpdate {
public:
    CServiceUpdate(CInstaller& installer, CLogger* logger, const CInstallRequest& request, const CConfigFile& config,
                   const CScmSettings& scm, const wchar_t* serviceName, const CVariableSettings& variables)
        : installer(installer),
          logger(logger),
          request(request),
          config(config),
          scm(scm),
          serviceName(serviceName),
          variables(variables) {}

    // 0, kRegistryWriteError when a change was refused, kMemoryError.
    int run(const CServiceSettings& installed, const CServiceSettings& wanted) {
        CExportedValues before;
        CExportedValues after;
        if (!exportedValuesOf(installed, &before) || !exportedValuesOf(wanted, &after)) {
            logger->logMessage(L"Memory error!");
            return kMemoryError;
        }
        wantedSettings = &wanted;
        int result = placeholdersKeepStoredSecrets();
        if (result != 0) {
            return result;
        }
        for (std::size_t position = 0; position < kConfigKeyCount && result == 0; ++position) {
            const CConfigKey& key = exportedKey(position);
            if (key.prefixed) {
                result = settleVariables(key);
            } else if (!key.numbered && key.id != EConfigKey::serviceName) {
                result = settle(key.name, before.values[index(key.id)], after.values[index(key.id)], key, 0);
            }
        }
        if (result == 0) {
            result = settleJvmOptions();
        }
        if (result == 0 && request.accountName != nullptr) {
            result = settleAccount();
        }
        return result == 0 ? report() : result;
    }

private:
    // Prints and (unless only printing) makes one change when the two differ.
    int settle(const wchar_t* name, const wchar_t* installed, const wchar_t* wanted, const CConfigKey& key,
               int option) {
        if (sameSetting(installed, wanted)) {
            return 0;
        }
        return record(name, installed, wanted,
                      [&] { return option != 0 ? setJvmOption(option, wanted) : change(key, wanted); });
    }

    // Prints one change as "name: installed -> wanted" and counts it; unless
    // only printing, makes it and, when it is refused, names where the update stopped.
    template <typename Change>
    int record(const wchar_t* name, const wchar_t* shownInstalled, const wchar_t* shownWanted, Change makeChange) {
        const CHeapText line(describeSettingChange(name, shownInstalled, shownWanted));
        if (!line) {
            logger->logMessage(L"Memory error!");
            return kMemoryError;
        }
        logger->logMessage(line.get());
        ++changed;
        if (request.dryRun) {
            return 0;
        }
        const int result = makeChange();
        if (result != 0) {
            logger->logMessage(name, L" was not changed: the changes above it are made, none after it.");
        }
        return result;
    }

    // The file's first option of each env. or secret. key (the first of two equal keys wins).
    const CConfigOption* fileVariable(const CConfigKey& key, const wchar_t* variable) const {
        for (const auto& option : config.options()) {
            const wchar_t* named = nullptr;
            if (prefixedKeyOf(option->getName(), &named) == &key && equalsIgnoringAsciiCase(named, variable)) {
                return option.get();
            }
        }
        return nullptr;
    }

    static const CParameterValue* storedVariable(const CParameterValues& values, const wchar_t* prefix,
                                                 const wchar_t* variable) {
        for (std::size_t index = 0; index < values.count(); ++index) {
            const wchar_t* named = afterPrefixIgnoringAsciiCase(values.at(index).name.get(), prefix);
            if (named != nullptr && equalsIgnoringAsciiCase(named, variable)) {
                return &values.at(index);
            }
        }
        return nullptr;
    }

    bool fileHasSecrets() const {
        for (const auto& option : config.options()) {
            const wchar_t* variable = nullptr;
            if (prefixedKeyOf(option->getName(), &variable) == &configKey(EConfigKey::secret)) {
                return true;
            }
        }
        return false;
    }

    // secret.NAME=<protected> keeps what is stored; with nothing stored there is nothing to keep.
    int placeholdersKeepStoredSecrets() const {
        const CConfigKey& key = configKey(EConfigKey::secret);
        for (const auto& option : config.options()) {
            const wchar_t* variable = nullptr;
            if (prefixedKeyOf(option->getName(), &variable) == &key &&
                std::wcscmp(option->getValue(), kProtectedValueText) == 0 &&
                storedVariable(variables.secretValues(), key.valueName, variable) == nullptr) {
                logger->logMessage(L"Bad value of \"", option->getName(),
                                   L"\": <protected> stands for a stored secret, and the service has none; give the secret");
                return kConfigLineWithoutValue;
            }
        }
        return 0;
    }

    // The stored values of the key in the registry's order, then the file's new ones in the file's.
    int settleVariables(const CConfigKey& key) {
        const bool secrets = key.id == EConfigKey::secret;
        const CParameterValues& stored = secrets ? variables.secretValues() : variables.environmentValues();
        int result = 0;
        for (std::size_t index = 0; index < stored.count() && result == 0; ++index) {
            const CParameterValue& value = stored.at(index);
            const wchar_t* variable = afterPrefixIgnoringAsciiCase(value.name.get(), key.valueName);
            const CConfigOption* option = variable != nullptr ? fileVariable(key, variable) : nullptr;
            const wchar_t* wanted = option != nullptr ? option->getValue() : nullptr;
            if (!secrets) {
                const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ;
                result = settleVariable(value.name.get(), text ? value.text() : L"", wanted, false);
            } else if (wanted == nullptr || !sameSecret(value, wanted)) {
                result = settleVariable(value.name.get(), kProtectedValueText, wanted, true);
            }
        }
        if (result != 0) {
            return result;
        }
        return config.forEachVariable(key, [&](const CConfigOption& option, const wchar_t* variable,
                                               const wchar_t* valueName) {
            return storedVariable(stored, key.valueName, variable) != nullptr
                       ? 0
                       : settleVariable(valueName, nullptr, option.getValue(), secrets);
        });
    }

    // The placeholder keeps the stored secret; any other text is compared with what it protects.
    static bool sameSecret(const CParameterValue& stored, const wchar_t* wanted) {
        if (std::wcscmp(wanted, kProtectedValueText) == 0) {
            return true;
        }
        CSecretText text;
        return stored.type == REG_BINARY && unprotectSecret(stored.data.get(), stored.size, &text) == 0 &&
               std::wcscmp(text.get(), wanted) == 0;
    }

    // One env. or secret. value; a secret's texts are never shown.
    int settleVariable(const wchar_t* valueName, const wchar_t* installed, const wchar_t* wanted, bool secret) {
        const wchar_t* shownWanted = secret && wanted != nullptr ? kProtectedValueText : wanted;
        if (!secret && sameSetting(installed, wanted)) {
            return 0;
        }
        return record(valueName, installed, shownWanted, [&] {
            return secret && wanted != nullptr ? storeSecret(valueName, wanted)
                                               : setRegServiceParameter(serviceName, valueName, wanted, logger);
        });
    }

    // Lets the service's account read the secrets, the one given with -a, else the one it logs on as;
    // before the update's first secret, since the account may have changed since the last one was written.
    int storeSecret(const wchar_t* valueName, const wchar_t* text) {
        if (!secretsKeyRestricted) {
            const wchar_t* account = request.accountName;
            CHeapText loggedOnAs;
            if (account == nullptr) {
                const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
                const CServiceHandle service(
                    manager ? OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_CONFIG) : nullptr);
                loggedOnAs = service ? logonAccountOf(service.get()) : CHeapText();
                const bool system = !loggedOnAs || equalsIgnoringAsciiCase(loggedOnAs.get(), L"LocalSystem");
                account = system ? nullptr : loggedOnAs.get();
            }
            const int restricted = restrictParametersKeyForSecrets(serviceName, account, logger);
            if (restricted != 0) {
                return restricted;
            }
            secretsKeyRestricted = true;
        }
        return writeProtectedSecret(serviceName, valueName, text, logger);
    }

    int settleJvmOptions() {
        wchar_t installedName[kOptionNameCharacters];
        wchar_t fileName[kOptionNameCharacters];
        bool fileEnded = false;
        int result = 0;
        for (int number = 1; result == 0; ++number) {
            formatJvmOptionName(installedName, kOptionNameCharacters, number);
            std::swprintf(fileName, kOptionNameCharacters, L"%ls%d", keyName(EConfigKey::jvmOption), number);
            const CHeapText installed(getRegServiceParam(serviceName, installedName, logger, 0, 0));
            // The file's options end at its first gap, as installation numbers them.
            const wchar_t* wanted = fileEnded ? nullptr : config.getStrOptionValue(fileName, nullptr);
            fileEnded = wanted == nullptr;
            if (!installed && wanted == nullptr) {
                break;
            }
            result = settle(fileName, installed.get(), wanted, configKey(EConfigKey::jvmOption), number);
        }
        return result;
    }

    int setJvmOption(int number, const wchar_t* value) {
        wchar_t name[kOptionNameCharacters];
        std::swprintf(name, kOptionNameCharacters, L"%ls%d", keyName(EConfigKey::jvmOption), number);
        return setRegServiceParameter(serviceName, name, value, logger);
    }

    // The account is compared by name (letter case ignored); a password cannot
    // be read back, so with the same account it is stored again, uncounted.
    int settleAccount() {
        const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        const CServiceHandle service(
            manager ? OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG) : nullptr);
        if (!service) {
            logFailure(logger, L"Cannot open the service to change its account", GetLastError());
            return kRegistryWriteError;
        }
        const CHeapText installed = logonAccountOf(service.get());
        const wchar_t* account = request.accountName;
        const EAccountKind kind = accountKindOf(account);
        const wchar_t* password = kind == EAccountKind::ordinary ? request.accountPassword : nullptr;
        if (installed && equalsIgnoringAsciiCase(installed.get(), account)) {
            if (password != nullptr && !request.dryRun &&
                !ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, password, nullptr)) {
                logFailure(logger, L"The service control manager did not take the account's password", GetLastError());
                return kRegistryWriteError;
            }
            return 0;
        }
        const CHeapText line(describeSettingChange(L"account", installed.get(), account));
        logger->logMessage(line ? line.get() : account);
        ++changed;
        if (request.dryRun) {
            return 0;
        }
        if (kind == EAccountKind::groupManaged || password != nullptr) {
            grantLogonRight(account);
        }
        if (!ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr,
                                  nullptr, nullptr, nullptr, account, password != nullptr ? password : L"", nullptr)) {
            logFailure(logger, L"The service control manager did not take the account", GetLastError());
            logger->logMessage(L"account was not changed: the changes above it are made, none after it.");
            return kRegistryWriteError;
        }
        if (kind == EAccountKind::virtualAccount) {
            grantLogonRight(account);
        }
        // The secrets' key lets only the service's account read it: the new one now.
        if (variables.secretValues().count() != 0 || fileHasSecrets()) {
            const DWORD restricted = restrictParametersKey(serviceName, account);
            if (restricted != 0) {
                logFailure(logger, L"Cannot let the new account read the secrets of the Parameters key", restricted);
                return kRegistryWriteError;
            }
        }
        return 0;
    }

    void grantLogonRight(const wchar_t* account) { installer.grantLogonRight(account); }

    int change(const CConfigKey& key, const wchar_t* wanted) {
        switch (key.place) {
            case EKeyPlace::serviceManager:
                return changeManagerField(key, wanted);
            case EKeyPlace::serviceKey:
                return setServiceDescription(serviceName, wanted, logger);
            case EKeyPlace::parameters: {
                const int result = setRegServiceParameter(serviceName, key.valueName, wanted, logger);
                // Also the manager's timeout, which the export does not show.
                return result == 0 && key.id == EConfigKey::preshutdownTimeout
                           ? changeScmSetting(serviceName, key.id, scm, logger)
                           : result;
            }
            case EKeyPlace::managerSetting:
                return changeScmSetting(serviceName, key.id, scm, logger);
        }
        return 0;
    }

    // One field of what CreateServiceW took, the others left as they are.
    int changeManagerField(const CConfigKey& key, const wchar_t* wanted) {
        const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        const CServiceHandle service(manager ? OpenServiceW(manager.get(), serviceName, SERVICE_CHANGE_CONFIG)
                                             : nullptr);
        if (!service) {
            logFailure(logger, L"Cannot open the service to change it", GetLastError());
            return kRegistryWriteError;
        }
        DWORD type = SERVICE_NO_CHANGE;
        DWORD start = SERVICE_NO_CHANGE;
        DWORD errorControl = SERVICE_NO_CHANGE;
        const wchar_t* imagePath = nullptr;
        const wchar_t* displayName = nullptr;
        CHeapText dependencies;
        // An empty list (two terminators) removes every dependency.
        static const wchar_t kNoDependencies[2] = {L'\0', L'\0'};
        const wchar_t* dependencyList = nullptr;
        switch (key.id) {
            case EConfigKey::serviceDisplayName:
                displayName = wanted;
                break;
            case EConfigKey::interactiveService:
                type = wantedSettings->type;
                break;
            case EConfigKey::startType:
                start = wantedSettings->startType;
                break;
            case EConfigKey::errorControl:
                errorControl = wantedSettings->errorControl;
                break;
            case EConfigKey::binaryPath:
                imagePath = wantedSettings->imagePath;
                break;
            case EConfigKey::serviceDependencies:
                if (wanted != nullptr) {
                    dependencies = buildDependencyList(wanted);
                    if (!dependencies) {
                        logger->logMessage(L"Could not allocate memory for dependency list.");
                        return kMemoryError;
                    }
                }
                dependencyList = dependencies ? dependencies.get() : kNoDependencies;
                break;
            default:
                return 0;
        }
        if (!ChangeServiceConfigW(service.get(), type, start, errorControl, imagePath, nullptr, nullptr,
                                  dependencyList, nullptr, nullptr, displayName)) {
            CTextBuilder message;
            message.append(L"The service control manager did not take ").append(key.name);
            logFailure(logger, message.failed() ? key.name : message.text(), GetLastError());
            return kRegistryWriteError;
        }
        if (key.id == EConfigKey::binaryPath) {
            // The program the service runs holds the texts of its events.
            registerEventSource(logger, serviceName, config.getStrOptionValue(EConfigKey::binaryPath, nullptr));
        }
        return 0;
    }

    int report() {
        CTextBuilder line;
        line.append(L"Service ").append(serviceName);
        if (changed == 0) {
            line.append(L" is up to date.");
        } else if (request.dryRun) {
            line.append(L" would be updated: ").appendDecimal(changed).append(L" settings would change.");
        } else {
            line.append(L" updated: ").appendDecimal(changed).append(L" settings changed.");
        }
        logger->logMessage(line.failed() ? serviceName : line.text());
        if (changed != 0 && !request.dryRun && isRunning()) {
            logger->logMessage(L"Restart the service to apply them.");
        }
        return 0;
    }

    bool isRunning() const {
        const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        const CServiceHandle service(manager ? OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_STATUS)
                                             : nullptr);
        SERVICE_STATUS status = {};
        return service && QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED;
    }

    CInstaller& installer;
    CLogger* logger;
    const CInstallRequest& request;
    const CConfigFile& config;
    const CScmSettings& scm;
    const wchar_t* serviceName;
    const CVariableSettings& variables;
    const CServiceSettings* wantedSettings = nullptr;
    long long changed = 0;
    // The Parameters key's access list is set once, before the first secret this update writes.
    bool secretsKeyRestricted = false;
};

}  // namespace

int CInstaller::updateService(CConfigFile& config, const CScmSettings& scmSettings) {
    CTraceScope trace(logger, L"CInstaller::updateService");
    const wchar_t* serviceName = config.getStrOptionValue(EConfigKey::serviceName, nullptr);
    CServiceKeyReader reader(serviceName);
    const CWantedSettings wanted(config, scmSettings, serviceName);
    if (!reader.isReady() || !wanted.isReady()) {
        logger->logMessage(L"Memory error!");
        return trace.exit(kMemoryError);
    }
    // As a file holds them: references unexpanded.
    const CInstalledSettings installed(serviceName, reader, logger, 0);
    if (!installed.isReady()) {
        logger->logMessage(L"Memory error!");
        return trace.exit(kMemoryError);
    }
    CServiceUpdate update(*this, logger, request, config, scmSettings, serviceName, installed.variableSettings());
    return trace.exit(update.run(installed.settings(), wanted.settings()));
}
