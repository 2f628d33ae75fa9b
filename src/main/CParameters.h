#pragma once
// The parsed command line of the process. Values point into the argument
// vector, which outlives the parser; nothing is copied.
#include "install/InstallRequest.h"

class CLogger;

// Sets or clears the trace file setting for "-t" (registry/TraceSwitch.h in the
// program); handed in, so that the parser itself stays free of the registry.
using TraceSwitchFunction = void (*)(const wchar_t* path, CLogger* logger);

class CParameters {
public:
    CParameters(CLogger* logger, TraceSwitchFunction traceSwitch);

    // 0: act on it; 1: a switch lacked its value (reported); 2: no arguments.
    int parseCommandLine(int argc, wchar_t** argv);
    void showParameterHelp();

    int helpRequested() const { return helpFlag; }
    int installRequested() const { return installFlag; }
    int uninstallRequested() const { return uninstallFlag; }
    int startedBySCM() const { return scmFlag; }
    int executeWithoutSCM() const { return consoleFlag; }
    int isConfigFileUnicode() const { return unicodeFlag; }
    int skeletonFileNeeded() const { return skeletonFlag; }
    int displayAllRequested() const { return displayAllFlag; }
    int displayRequested() const { return displayFlag; }
    const wchar_t* getConfigFileName() const { return configFileName; }
    const wchar_t* getServiceName() const { return serviceName; }
    const wchar_t* getAccountName() const { return accountName; }
    const wchar_t* getAccountPassword() const { return accountPassword; }
    int signalRequested() const { return signalFlag; }
    const wchar_t* getSignal() const { return signal; }
    int statusRequested() const { return statusFlag; }
    // The installer's part: "-i", "-u" or "-r" with "-w", "-a" and "-p".
    // "-U": install the service, or change the installed one to match the file; "-n": only print the changes.
    int applyRequested() const { return applyFlag; }
    int dryRunRequested() const { return dryRunFlag; }
    // The installer's part: "-i", "-U", "-u" or "-r" with "-w", "-a", "-p" and "-n".
    CInstallRequest installRequest() const;
    const wchar_t* getBuildDate() const;
    const wchar_t* getBuildTime() const;

private:
    CLogger* logger;
    TraceSwitchFunction traceSwitch;
    int helpFlag = 0;
    int installFlag = 0;
    int uninstallFlag = 0;
    int scmFlag = 0;
    int consoleFlag = 0;
    int unicodeFlag = 0;
    int skeletonFlag = 0;
    int displayAllFlag = 0;
    int displayFlag = 0;
    const wchar_t* configFileName = nullptr;
    const wchar_t* serviceName = nullptr;
    const wchar_t* accountName = nullptr;
    const wchar_t* accountPassword = nullptr;
    int signalFlag = 0;
    const wchar_t* signal = nullptr;
    int statusFlag = 0;
    int applyFlag = 0;
    int dryRunFlag = 0;
};
