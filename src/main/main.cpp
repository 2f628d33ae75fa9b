// Entry point: creates the logger and the parser, performs the one action the
// command line asks for, and returns its result as the exit code.
#include "common/ExitCodes.h"
#include "config/CConfigFile.h"
#include "install/CInstaller.h"
#include "install/PasswordInput.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "main/CParameters.h"
#include "registry/ServiceListing.h"
#include "registry/TraceSwitch.h"
#include "service/CExecutor.h"
#include "service/ControlSender.h"
#include "service/ServiceStatusQuery.h"

namespace {

int dispatch(CParameters* parsed, CLogger* logger) {
    if (parsed->helpRequested()) {
        parsed->showParameterHelp();
        return 0;
    }
    if (parsed->displayRequested()) {
        CConfigFile::showServiceInfo(parsed->getServiceName(), parsed->getConfigFileName(), logger,
                                     parsed->isConfigFileUnicode());
        return 0;
    }
    if (parsed->statusRequested()) {
        // Standard output carries the JSON alone; the trace still gets its lines.
        logger->enableStdout(0);
        return queryServiceStatus(logger, parsed->getServiceName());
    }
    if (parsed->displayAllRequested()) {
        showPravikServices();
        return 0;
    }
    if (parsed->skeletonFileNeeded()) {
        CConfigFile skeleton(logger);
        skeleton.generateSkeletonFile(parsed->getConfigFileName(), parsed->isConfigFileUnicode());
        return 0;
    }
    const bool installing = parsed->installRequested() || parsed->applyRequested();
    if (installing && parsed->uninstallRequested()) {
        logger->logMessage(L"Cannot specify install and uninstall");
        return kSwitchError;
    }
    if (installing || parsed->uninstallRequested()) {
        CInstallRequest request = parsed->installRequest();
        CSecretText password;
        int result = 0;
        if (installing && request.accountName != nullptr && passwordFromInput(request.accountPassword)) {
            result = readPasswordFromInput(logger, &password);
            request.accountPassword = password.get();
        }
        if (result == 0) {
            CInstaller installer(logger, request);
            result = parsed->installRequested() ? installer.install()
                     : parsed->applyRequested() ? installer.apply()
                                                : installer.uninstall();
        }
        if (result != 0) {
            logger->logMessage(installing ? L"Installation failed" : L"Uninstall failed");
        }
        return result;
    }
    if (parsed->signalRequested()) {
        sendSignalText(logger, parsed->getServiceName(), parsed->getSignal());
        return 0;
    }
    if (parsed->startedBySCM()) {
        CExecutor executor(logger, parsed->getServiceName());
        executor.execute(0);
        return 0;
    }
    if (parsed->executeWithoutSCM()) {
        CExecutor executor(logger, parsed->getServiceName());
        executor.execute(1);
        return 0;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Outlives everything that writes to it; the parser goes first.
    CLogger logger;
    CTraceScope trace(&logger, L"main");
    CParameters parameters(&logger, enableTracing);
    int result = parameters.parseCommandLine(argc, argv);
    if (result == kUsageShown) {
        parameters.showParameterHelp();
    } else if (result == 0) {
        result = dispatch(&parameters, &logger);
    }
    return trace.exit(result);
}
