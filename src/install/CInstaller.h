#pragma once
// Creates a service from a configuration file and removes services that this
// program created, through the service control manager.
#include "install/InstallRequest.h"

class CLogger;
class CConfigFile;

class CInstaller {
public:
    CInstaller(CLogger* logger, const CInstallRequest& request);
    ~CInstaller() = default;
    CInstaller(const CInstaller&) = delete;
    CInstaller& operator=(const CInstaller&) = delete;

    // 0, or the code of the first failure: the parser's, 5 (a safety-net word
    // refused), 7 (required key missing), 8 (service not created), 9 (memory),
    // 12 (registry, or a setting the manager refused), 4.
    int install();
    // 0 (also when a step after the check is only logged), the parser's code,
    // 10 (no service named) or 11 (not a service of this program).
    int uninstall();

protected:
    int requiredOptionsPresent(CConfigFile* config);
    int createMSService(CConfigFile* config);
    int installOtherProperties(CConfigFile* config);
    int addServiceDescription(CConfigFile* config);
    int saveJVMOptions(CConfigFile* config);

private:
    // Grants the right to log on as a service, saying how that went; installation goes on either way.
    void grantLogonRight(const wchar_t* account);

    CLogger* logger;
    CInstallRequest request;
};
