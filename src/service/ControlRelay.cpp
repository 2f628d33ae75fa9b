// The Java side asks for a control through a hidden sender instance of this
// program, which outlives the service it stops.
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "service/CExecutor.h"
#include "service/OwnInstance.h"

int CExecutor::sendControlSignal(const wchar_t* targetName, DWORD code) {
    // The Exit line shows 0 whatever the sender's start answers.
    CTraceScope trace(logger, L"CExecutor::sendControlSignal((pServiceName, dwSignal))");
    const wchar_t* name = targetName != nullptr ? targetName : serviceName;
    const long signedCode = static_cast<int>(code);
    return startOwnInstance(logger, L"-s", name, &signedCode, 0, SW_HIDE, L"Cannot signal process, binary not found.");
}
