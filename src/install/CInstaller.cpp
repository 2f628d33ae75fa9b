#include "install/CInstaller.h"

#include <cstdio>
#include <cwchar>

#include "common/CTextBuilder.h"
#include "common/ExitCodes.h"
#include "common/HeapText.h"
#include "common/LogRotation.h"
#include "common/OwnProgramPath.h"
#include "common/RegistryLayout.h"
#include "common/RegistryReaders.h"
#include "common/Win32Handle.h"
#include "config/CConfigFile.h"
#include "config/CConfigOption.h"
#include "config/ConfigKeys.h"
#include "config/ServiceSettingsText.h"
#include "install/EventSource.h"
#include "install/ParametersKeySecurity.h"
#include "install/ScmSettings.h"
#include "install/ServiceLogonRight.h"
#include "install/ServiceSettings.h"
#include "install/ServiceStop.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "registry/ServiceListing.h"
#include "registry/ServiceParameters.h"

namespace {

// saveJVMOptions without a service name, which the required options exclude.
const int kNoServiceName = 4;

}  // namespace

CInstaller::CInstaller(CLogger* logger, const CInstallRequest& request) : logger(logger), request(request) {}

int CInstaller::install() {
    CTraceScope trace(logger, L"CInstaller::install");
    CConfigFile config(logger);
    CScmSettings scmSettings;
    int result = readConfig(config, &scmSettings, false);
    if (result == 0) {
        result = installChecked(config, scmSettings);
    }
    return trace.exit(result);
}

int CInstaller::apply() {
    CTraceScope trace(logger, L"CInstaller::apply");
    CConfigFile config(logger);
    CScmSettings scmSettings;
    const int checked = readConfig(config, &scmSettings, true);
    if (checked != 0) {
        return trace.exit(checked);
    }
    const wchar_t* serviceName = config.getStrOptionValue(EConfigKey::serviceName, nullptr);
    const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        logFailure(logger, L"Could not open the service control manager", GetLastError());
        return trace.exit(kServiceNotCreated);
    }
    const CServiceHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_STATUS));
    const DWORD openError = service ? 0 : GetLastError();
    // A name the manager cannot hold is refused by the installation, with its own message.
    if (openError == ERROR_SERVICE_DOES_NOT_EXIST || openError == ERROR_INVALID_NAME) {
        if (!variableKeysValid(&config, false)) {
            return trace.exit(kConfigLineWithoutValue);
        }
        if (request.dryRun) {
            logger->logMessage(L"Service ", serviceName, L" would be installed.");
            return trace.exit(0);
        }
        const int result = installChecked(config, scmSettings);
        if (result == 0) {
            logger->logMessage(L"Service ", serviceName, L" installed.");
        }
        return trace.exit(result);
    }
    if (!isPravikService(serviceName)) {
        logger->logMessage(L"The service ", serviceName,
                           L" is not a service created by Pravik.  Therefore it will not be changed.");
        return trace.exit(kNotOurService);
    }
    return trace.exit(updateService(config, scmSettings));
}

int CInstaller::readConfig(CConfigFile& config, CScmSettings* scmSettings, bool storedSecretsKept) {
    const int parsed = config.parseConfigFile(request.configFileName, request.configFileUnicode);
    if (parsed != 0) {
        return parsed;
    }
    if (!requiredOptionsPresent(&config)) {
        return kMissingOption;
    }
    if (!variableKeysValid(&config, storedSecretsKept) || !logSettingsValid(&config)) {
        return kConfigLineWithoutValue;
    }
    // Checked before anything is created or changed.
    int recognised = 1;
    const unsigned long startType =
        startTypeFromWord(config.getStrOptionValue(EConfigKey::startType, nullptr), &recognised);
    return readScmSettings(config, startType, logger, scmSettings);
}

int CInstaller::installChecked(CConfigFile& config, const CScmSettings& scmSettings) {
    int result = createMSService(&config);
    if (result != 0) {
        return result;
    }
    // The program the service runs holds the texts of its events.
    registerEventSource(logger, config.getStrOptionValue(EConfigKey::serviceName, nullptr),
                        config.getStrOptionValue(EConfigKey::binaryPath, nullptr));
    result = installOtherProperties(&config);
    if (result != 0) {
        return result;
    }
    // Set last, so that a setting the manager refuses leaves a service that runs, only without it.
    result = applyScmSettings(config.getStrOptionValue(EConfigKey::serviceName, nullptr), scmSettings, logger);
    if (result != 0) {
        return result;
    }
    logger->logMessage(L"Service successfully installed.");
    return 0;
}

int CInstaller::requiredOptionsPresent(CConfigFile* config) {
    for (const CConfigKey& key : kConfigKeys) {
        if (key.required && config->getOption(key.name) == nullptr) {
            logger->logMessage(L"Missing config option : ", key.name);
            return 0;
        }
    }
    return 1;
}

int CInstaller::variableKeysValid(CConfigFile* config, bool storedSecretsKept) {
    for (const auto& option : config->options()) {
        const wchar_t* key = option->getName();
        const wchar_t* variable = nullptr;
        const CConfigKey* row = prefixedKeyOf(key, &variable);
        if (row == nullptr) {
            continue;
        }
        if (!isVariableName(variable)) {
            logger->logMessage(L"Bad key \"", key, L"\": write the variable's name after the dot, without \"=\"");
            return 0;
        }
        // The placeholder keeps a stored secret; a new service has none to keep.
        if (!storedSecretsKept && row->id == EConfigKey::secret && std::wcscmp(option->getValue(), kProtectedValueText) == 0) {
            logger->logMessage(L"Bad value of \"", key, L"\": <protected> stands for a stored secret; give the secret");
            return 0;
        }
    }
    return 1;
}

int CInstaller::logSettingsValid(CConfigFile* config) {
    const struct {
        const wchar_t* key;
        unsigned long maximum;
    } settings[] = {{keyName(EConfigKey::logRotateSize), kMaxLogRotateMiB},
                    {keyName(EConfigKey::logKeep), kMaxLogKeep}};
    for (const auto& setting : settings) {
        const wchar_t* value = config->getStrOptionValue(setting.key, nullptr);
        unsigned long number = 0;
        if (value != nullptr && !parseLogSetting(value, setting.maximum, &number)) {
            CTextBuilder text;
            text.append(setting.key).append(L" must be a whole number from 0 to ").appendDecimal(setting.maximum);
            text.append(L", not ").append(value);
            logger->logMessage(text.text());
            return 0;
        }
    }
    return 1;
}

int CInstaller::createMSService(CConfigFile* config) {
    CTraceScope trace(logger, L"CInstaller::createMSService");
    const wchar_t* serviceName = config->getStrOptionValue(EConfigKey::serviceName, nullptr);
    const wchar_t* displayName = config->getStrOptionValue(EConfigKey::serviceDisplayName, nullptr);
    if (serviceName == nullptr || displayName == nullptr) {
        logger->logMessage(L"Bad config file: displayName or serviceName is missing");
        return trace.exit(kMissingOption);
    }
    // The name becomes a registry key and a path part: refuse what the manager
    // cannot hold before anything is granted or created.
    if (std::wcslen(serviceName) > kMaxServiceNameLength) {
        logger->logMessage(L"The service name is longer than the 256 characters a service name can have: ",
                           serviceName);
        return trace.exit(kServiceNotCreated);
    }
    // The image path quotes the name: a quote inside it would end the argument early.
    if (std::wcschr(serviceName, L'"') != nullptr) {
        logger->logMessage(L"The service name cannot hold a double quote: ", serviceName);
        return trace.exit(kServiceNotCreated);
    }

    const unsigned long serviceType =
        config->getBoolOptionValue(EConfigKey::interactiveService, 0) ? kInteractiveOwnProcessType : kOwnProcessType;

    int recognised = 1;
    const wchar_t* startWord = config->getStrOptionValue(EConfigKey::startType, nullptr);
    const unsigned long startType = startTypeFromWord(startWord, &recognised);
    if (!recognised) {
        logger->logMessage(startWord, L" unreconized for startType; assuming SERVICE_DEMAND_START");
    }
    const wchar_t* errorWord = config->getStrOptionValue(EConfigKey::errorControl, nullptr);
    const unsigned long errorControl = errorControlFromWord(errorWord, &recognised);
    if (!recognised) {
        logger->logMessage(errorWord, L" unreconized for errorControl; assuming SERVICE_ERROR_NORMAL");
    }

    CHeapText ownPath;
    const wchar_t* programPath = config->getStrOptionValue(EConfigKey::binaryPath, nullptr);
    if (programPath == nullptr) {
        DWORD error = 0;
        ownPath = ownProgramPath(&error);
        if (!ownPath) {
            logFailure(logger, L"Cannot get the file name of the executable.", error);
        }
        programPath = ownPath ? ownPath.get() : L"";
    }
    const CHeapText imagePath = buildImagePath(programPath, serviceName);
    if (!imagePath) {
        logger->logMessage(L"Memory error!");
        return trace.exit(kMemoryError);
    }
    const std::size_t imagePathLength = std::wcslen(imagePath.get());
    if (imagePathLength > kMaxImagePathLength) {
        logger->logMessage(L"The image path is longer than the 32766 characters a service can have:",
                           static_cast<unsigned long>(imagePathLength));
        return trace.exit(kServiceNotCreated);
    }

    const wchar_t* accountName = request.accountName;
    const EAccountKind accountKind = accountName != nullptr ? accountKindOf(accountName) : EAccountKind::ordinary;
    // Virtual and group managed accounts have no password of their own to give.
    const wchar_t* password = accountKind == EAccountKind::ordinary ? request.accountPassword : nullptr;
    if (accountKind == EAccountKind::groupManaged || (accountName != nullptr && password != nullptr)) {
        grantLogonRight(accountName);
    }

    CHeapText dependencies;
    const wchar_t* dependencyValue = config->getStrOptionValue(EConfigKey::serviceDependencies, nullptr);
    if (dependencyValue != nullptr) {
        dependencies = buildDependencyList(dependencyValue);
        if (!dependencies) {
            logger->logMessage(L"Could not allocate memory for dependency list.");
            return trace.exit(kMemoryError);
        }
    }

    int result = 0;
    const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        logFailure(logger, L"Could not open the service control manager", GetLastError());
        result = kServiceNotCreated;
    } else {
        const CServiceHandle service(CreateServiceW(manager.get(), serviceName, displayName, SERVICE_ALL_ACCESS,
                                                    serviceType, startType, errorControl, imagePath.get(), nullptr,
                                                    nullptr, dependencies.get(), accountName, password));
        if (!service) {
            logFailure(logger, L"Could create service", GetLastError());
            result = kServiceNotCreated;
        } else if (accountKind == EAccountKind::virtualAccount) {
            // A virtual account exists from the creation of its service on.
            grantLogonRight(accountName);
        }
    }
    return trace.exit(result);
}

void CInstaller::grantLogonRight(const wchar_t* account) {
    logger->logMessage(L"Setting logon as a service right on account ", account);
    CLocalMemory sid;
    const long granted = SetServiceRightW(account, nullptr, &sid);
    if (granted == 0) {
        logger->logMessage(L"Logon as a service right set successfullly.");
        // The trace names the very account that holds the right now.
        if (sid) {
            logger->writeEntry(L"The logon right went to SID ", static_cast<const wchar_t*>(sid.get()), nullptr);
        }
    } else {
        logger->logMessage(L"Failed to set logon as a service right.", static_cast<unsigned long>(granted));
    }
}

int CInstaller::installOtherProperties(CConfigFile* config) {
    CTraceScope trace(logger, L"CInstaller::installOtherProperties");
    const wchar_t* serviceName = config->getStrOptionValue(EConfigKey::serviceName, nullptr);
    int result = addServiceDescription(config);
    // The Parameters values in the table's order, the JVM options in their place among them.
    for (const CConfigKey& key : kConfigKeys) {
        if (result != 0) {
            break;
        }
        if (key.place == EKeyPlace::parameters) {
            result = key.numbered   ? saveJVMOptions(config)
                     : key.prefixed ? saveVariables(config, key)
                                    : setRegServiceParameter(serviceName, key.valueName,
                                                             config->getStrOptionValue(key.name, nullptr), logger);
        }
    }
    return trace.exit(result);
}

int CInstaller::addServiceDescription(CConfigFile* config) {
    // Reported, not fatal: the service runs without its description.
    setServiceDescription(config->getStrOptionValue(EConfigKey::serviceName, nullptr),
                          config->getStrOptionValue(EConfigKey::description, nullptr), logger);
    return 0;
}

int CInstaller::saveJVMOptions(CConfigFile* config) {
    const wchar_t* serviceName = config->getStrOptionValue(EConfigKey::serviceName, nullptr);
    if (serviceName == nullptr) {
        logger->logMessage(L"CInstaller::saveJVMOptions has no service name!");
        return kNoServiceName;
    }
    // "jvmOption" or "JVMOption", a decimal int: always fits.
    wchar_t name[32];
    int index = 1;
    for (;; ++index) {
        std::swprintf(name, sizeof(name) / sizeof(name[0]), L"%ls%d", keyName(EConfigKey::jvmOption), index);
        if (config->getOption(name) == nullptr) {
            break;
        }
        // A single option that cannot be written is reported and skipped.
        setRegServiceParameter(serviceName, name, config->getStrOptionValue(name, nullptr), logger);
    }
    // Options beyond the last one of this file are left from an earlier installation.
    for (;; ++index) {
        formatJvmOptionName(name, sizeof(name) / sizeof(name[0]), index);
        const CHeapText stale(getRegServiceParam(serviceName, name, logger, 0, 0));
        if (!stale) {
            break;
        }
        setRegServiceParameter(serviceName, name, nullptr, logger);
    }
    return 0;
}

int CInstaller::saveVariables(CConfigFile* config, const CConfigKey& key) {
    const wchar_t* serviceName = config->getStrOptionValue(EConfigKey::serviceName, nullptr);
    const bool secrets = key.id == EConfigKey::secret;
    bool restricted = false;
    return config->forEachVariable(key, [&](const CConfigOption& option, const wchar_t*, const wchar_t* valueName) {
        if (!secrets) {
            return setRegServiceParameter(serviceName, valueName, option.getValue(), logger);
        }
        if (!restricted) {
            const int result = restrictParametersKeyForSecrets(serviceName, request.accountName, logger);
            if (result != 0) {
                return result;
            }
            restricted = true;
        }
        return writeProtectedSecret(serviceName, valueName, option.getValue(), logger);
    });
}

int CInstaller::uninstall() {
    CTraceScope trace(logger, L"CInstaller::uninstall");
    CConfigFile config(logger);
    const wchar_t* serviceName = request.serviceName;
    if (serviceName == nullptr) {
        const wchar_t* fileName = request.configFileName;
        if (fileName == nullptr) {
            logger->logMessage(L"Uninstall requires a config file name or service name.");
            return trace.exit(kNothingToRemove);
        }
        const int parsed = config.parseConfigFile(fileName, request.configFileUnicode);
        serviceName = config.getStrOptionValue(EConfigKey::serviceName, nullptr);
        if (parsed != 0 || serviceName == nullptr) {
            return trace.exit(parsed);
        }
    }
    if (!isPravikService(serviceName)) {
        logger->logMessage(L"The service ", serviceName,
                           L" is not a service created by Pravik.  Therefore it will not be removed.");
        return trace.exit(kNotOurService);
    }
    const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_WRITE | GENERIC_EXECUTE));
    if (!manager) {
        logFailure(logger, L"Cannot open the service control manager.", GetLastError());
        return trace.exit(kNotRemoved);
    }
    if (!stopService(logger, manager.get(), serviceName)) {
        return trace.exit(kNotRemoved);
    }
    // Read first: the service's key goes with the service.
    const CHeapText serviceKey = buildServiceKeyPath(serviceName);
    const CHeapText imagePath =
        serviceKey ? readRegString(HKEY_LOCAL_MACHINE, serviceKey.get(), kImagePathValue) : nullptr;
    const CServiceHandle service(OpenServiceW(manager.get(), serviceName, DELETE));
    if (!service) {
        logFailure(logger, L"Cannot open service for deletion.", GetLastError());
        return trace.exit(kNotRemoved);
    }
    if (!DeleteService(service.get())) {
        logFailure(logger, L"Cannot delete service.", GetLastError());
        return trace.exit(kNotRemoved);
    }
    logger->logMessage(L"Service ", serviceName, L" deleted successfully.");
    removeEventSource(logger, serviceName, imagePath.get());
    return trace.exit(0);
}
