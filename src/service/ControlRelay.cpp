// The Java side asks for a control through a hidden sender instance of this
// program, which outlives the service it stops.
#include "log/CLogger.h"
#include "service/CExecutor.h"
#include "service/OwnInstance.h"

int CExecutor::sendControlSignal(const wchar_t* targetName, DWORD code) {
    logger->logEntry(L"CExecutor::sendControlSignal((pServiceName, dwSignal))");
    const wchar_t* name = targetName != nullptr ? targetName : serviceName;
    const long signedCode = static_cast<int>(code);
    const int result = startOwnInstance(logger, L"-s", name, &signedCode, 0, SW_HIDE,
                                        L"Cannot signal process, binary not found.");
    logger->logExit(L"CExecutor::sendControlSignal((pServiceName, dwSignal))", 0);
    return result;
}
