#include "service/ControlRelay.h"

#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "service/OwnInstance.h"

int relayControl(CLogger* logger, const wchar_t* ownName, const wchar_t* targetName, DWORD code) {
    // The Exit line shows 0 whatever the sender's start answers.
    CTraceScope trace(logger, L"CExecutor::sendControlSignal((pServiceName, dwSignal))");
    const wchar_t* name = targetName != nullptr ? targetName : ownName;
    const long signedCode = static_cast<int>(code);
    return startOwnInstance(logger, L"-s", name, &signedCode, 0, SW_HIDE, L"Cannot signal process, binary not found.");
}
