#pragma once
// Creates a service from a configuration file and removes services that this
// program created, through the service control manager.
#include "install/InstallRequest.h"

class CLogger;
class CConfigFile;
struct CConfigKey;

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
    // 0 (also when a step after the check is only logged), the parser's code,
    // 10 (no service named) or 11 (not a service of this program).
    int uninstall();

protected:
    int requiredOptionsPresent(CConfigFile* config);
    // 1 when every env. and secret. key names a variable (and no secret is the
    // export's placeholder); else says which is not.
    int variableKeysValid(CConfigFile* config);
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
    // Grants the right to log on as a service, saying how that went; installation goes on either way.
    void grantLogonRight(const wchar_t* account);

    CLogger* logger;
    CInstallRequest request;
};
