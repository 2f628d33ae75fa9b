#include "service/ConsoleMode.h"

#include "log/CLogger.h"
#include "service/CControlPipeServer.h"

bool startConsolePipe(CLogger* logger, const wchar_t* serviceName, CControlPipeServer* server) {
    const EPipeServerStart pipe = server->start();
    if (pipe == EPipeServerStart::nameTaken) {
        // The one message of this mode that the console shows: the run ends before it began.
        logger->enableStdout(1);
        logger->logMessage(L"The control pipe of ", serviceName, L" is in use by another process");
        return false;
    }
    if (pipe == EPipeServerStart::withoutThreads) {
        logger->logMessage(L"Error creating pipe thread, signalling is not available.");
    }
    return true;
}
