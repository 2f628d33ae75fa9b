// Console mode: the service runs on the main thread, and the control pipe's
// server takes the controls that other instances send.
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "registry/ServiceParameters.h"
#include "service/CControlPipeServer.h"
#include "service/CExecutor.h"

void CExecutor::startDevModeService() {
    // Made before the Entry line (its constructor only stores), so that it stops after the Exit line.
    CControlPipeServer pipeServer(
        logger, serviceName, [](void* executor, DWORD code) { static_cast<CExecutor*>(executor)->forwardControl(code); },
        this);
    {
        CTraceScope trace(logger, L"CExecutor::startDevModeService");
        const EPipeServerStart pipe = pipeServer.start();
        if (pipe == EPipeServerStart::nameTaken) {
            // The one message of this mode that the console shows: the run ends before it began.
            logger->enableStdout(1);
            logger->logMessage(L"The control pipe of ", serviceName, L" is in use by another process");
            return;
        }
        if (pipe == EPipeServerStart::withoutThreads) {
            logger->logMessage(L"Error creating pipe thread, signalling is not available.");
        }
        startRunWatch();
        // The exit code of a console-mode run is 0 whatever the service's result.
        const CParametersKeyScope settings(serviceName);
        startServiceTask();
    }
    pipeServer.stop();
}
