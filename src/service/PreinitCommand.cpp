#include "service/PreinitCommand.h"

#include "common/DecimalText.h"
#include "common/HeapText.h"
#include "common/RegistryLayout.h"
#include "common/Win32Handle.h"
#include "log/CLogger.h"
#include "registry/ServiceParameters.h"

namespace {

const DWORD kDefaultPreinitHint = 2000;

}  // namespace

int runPreinitCommand(CLogger* logger, const wchar_t* serviceName, PreinitWaitReport reportWait, void* context) {
    logger->logEntry(L"CExecutor::executePreinitCommand");
    int result = 0;
    CHeapText command(getRegServiceParam(serviceName, kPreInitCmdValue, logger, 0, 1));
    if (!command) {
        logger->logMessage(L"No preinit command specified.");
    } else {
        if (reportWait != nullptr) {
            // The one report while the command runs tells the SCM how long to wait.
            CHeapText hint(getRegServiceParam(serviceName, kPreInitHintValue, logger, 0, 1));
            reportWait(context, hint ? static_cast<DWORD>(parseLeadingInteger(hint.get())) : kDefaultPreinitHint);
        }
        logger->logMessage(L"Executing command: ", command.get());
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(nullptr, command.get(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process)) {
            const CProcessInformation started(process);
            WaitForSingleObject(started.process.get(), INFINITE);
            logger->logMessage(L"Command completed.");
        } else {
            logFailure(logger, L"Unable to create process. rc=", GetLastError());
            result = kPreinitNotStarted;
        }
    }
    logger->logExit(L"CExecutor::executePreinitCommand", result);
    return result;
}
