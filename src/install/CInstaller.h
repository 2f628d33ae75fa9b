#pragma once
// Creates a service from a configuration file and removes services that this
// program created, through the service control manager.
#include "install/InstallRequest.h"

class CLogger;
class CConfigFile;
struct CConfigKey;
struct CScmSettings;

class CInstaller {
public:
    CInstaller(CLogger* logger, const CInstallRequest& request);
    ~CInstaller() = default;
    CInstaller(const CInstaller&) = delete;
    CInstaller& operator=(const CInstaller&) = delete;

    // 0, or the code of the first failure: the parser's, 5 (a safety-net word,
    // a log setting or an env./secret. key refused), 7 (required key missing), 8 (service not created),
    // 9 (memory), 12 (registry, or a setting the manager refused), 4.
    int install();
    // "-U": installs the service as install() does when it does not exist;
    // otherwise changes what differs from the file, printing each change
    // ("-n": only printing). 0, install()'s codes for the file, 11 (not a
    // service of this program), 12 (a change refused; those before it stay).
    int apply();
    // 0 (also when a step after the check is only logged), the parser's code,
    // 10 (no service named) or 11 (not a service of this program).
    int uninstall();
    // Grants the right to log on as a service, saying how that went; installation goes on either way.
    void grantLogonRight(const wchar_t* account);

protected:
    // Parses the file and checks every key that is checked before anything is
    // created or changed: 0, or the parser's code, 7 or 5. storedSecretsKept:
    // a secret may be the export's placeholder (for a service that exists).
    int readConfig(CConfigFile& config, CScmSettings* scmSettings, bool storedSecretsKept);
    int installChecked(CConfigFile& config, const CScmSettings& scmSettings);
    // The service exists and is this program's: compares and changes (ServiceUpdate.cpp).
    int updateService(CConfigFile& config, const CScmSettings& scmSettings);
    int requiredOptionsPresent(CConfigFile* config);
    // 1 when every env. and secret. key names a variable (and no secret is the
    // export's placeholder, unless storedSecretsKept); else says which is not.
    int variableKeysValid(CConfigFile* config, bool storedSecretsKept);
    // 1 when logRotateSize and logKeep are absent or whole numbers in range; else says which is not.
    int logSettingsValid(CConfigFile* config);
    int createMSService(CConfigFile* config);
    int installOtherProperties(CConfigFile* config);
    int addServiceDescription(CConfigFile* config);
    int saveJVMOptions(CConfigFile* config);
    // The file's env. or secret. keys as Parameters values; the first secret
    // restricts the key to the service's account. 0, 9 or 12.
    int saveVariables(CConfigFile* config, const CConfigKey& key);

private:
    CLogger* logger;
    CInstallRequest request;
};
