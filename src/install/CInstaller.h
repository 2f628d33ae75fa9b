#pragma once
// Creates a service from a configuration file and removes services that this
// program created, through the service control manager.
#include <windows.h>

class CLogger;
class CParameters;
class CConfigFile;

class CInstaller {
public:
    CInstaller(CLogger* logger, CParameters* parameters);
    ~CInstaller() = default;
    CInstaller(const CInstaller&) = delete;
    CInstaller& operator=(const CInstaller&) = delete;

    // 0, or the code of the first failure: the parser's, 7 (required key
    // missing), 8 (service not created), 9 (memory), 12 (registry), 4.
    int install();
    // 0 (also when a step after the check is only logged), the parser's code,
    // 10 (no service named) or 11 (not a service of this program).
    int uninstall();
    // 1 when the service stopped, was not running or could not be opened; 0
    // when stopping it failed.
    int stopService(SC_HANDLE manager, const wchar_t* serviceName);

protected:
    int requiredOptionsPresent(CConfigFile* config);
    int createMSService(CConfigFile* config);
    int installOtherProperties(CConfigFile* config);
    int addServiceDescription(CConfigFile* config);
    int saveJVMOptions(CConfigFile* config);

private:
    CLogger* logger;
    CParameters* parameters;
};
