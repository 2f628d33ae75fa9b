#include "config/ScmSettingsQuery.h"

#include <windows.h>

#include "common/CTextBuilder.h"
#include "common/FailureActionsText.h"
#include "common/ServiceNames.h"
#include "common/Win32Handle.h"
#include "config/ServiceSettingsText.h"

namespace {

// The manager's answer for one level in a block of the size it asks for; null
// when it has none.
CHeapPtr<BYTE> queryLevel(SC_HANDLE service, DWORD level) {
    DWORD needed = 0;
    if (QueryServiceConfig2W(service, level, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return CHeapPtr<BYTE>();
    }
    CHeapPtr<BYTE> block = allocateZeroed<BYTE>(needed);
    if (block && !QueryServiceConfig2W(service, level, block.get(), needed, &needed)) {
        block.reset();
    }
    return block;
}

}  // namespace

CScmSettingsQuery::CScmSettingsQuery(const wchar_t* serviceName) {
    const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const CServiceHandle service(manager ? OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_CONFIG) : nullptr);
    if (!service) {
        return;
    }
    const CHeapPtr<BYTE> delayed = queryLevel(service.get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO);
    delayedAutoStart = delayed && reinterpret_cast<SERVICE_DELAYED_AUTO_START_INFO*>(delayed.get())->fDelayedAutostart;

    const CHeapPtr<BYTE> failure = queryLevel(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS);
    if (failure) {
        const auto* actions = reinterpret_cast<SERVICE_FAILURE_ACTIONSW*>(failure.get());
        if (actions->cActions != 0 && actions->lpsaActions != nullptr) {
            CHeapPtr<CFailureAction> table = allocateZeroed<CFailureAction>(actions->cActions);
            for (DWORD index = 0; table && index < actions->cActions; ++index) {
                table.get()[index] = {static_cast<unsigned long>(actions->lpsaActions[index].Type),
                                      actions->lpsaActions[index].Delay};
            }
            failureActions = table ? formatFailureActions(table.get(), actions->cActions) : CHeapText();
            CTextBuilder period;
            period.appendDecimal(actions->dwResetPeriod);
            failureResetPeriod.reset(period.release());
        }
        if (actions->lpCommand != nullptr && actions->lpCommand[0] != L'\0') {
            failureCommand = duplicateText(actions->lpCommand);
        }
    }

    const CHeapPtr<BYTE> flag = queryLevel(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS_FLAG);
    nonCrashFailures = flag && reinterpret_cast<SERVICE_FAILURE_ACTIONS_FLAG*>(flag.get())->fFailureActionsOnNonCrashFailures;

    const CHeapPtr<BYTE> sid = queryLevel(service.get(), SERVICE_CONFIG_SERVICE_SID_INFO);
    if (sid) {
        const DWORD type = reinterpret_cast<SERVICE_SID_INFO*>(sid.get())->dwServiceSidType;
        const CNamedValue* entry = type != SERVICE_SID_TYPE_NONE ? findValue(kServiceSidTypeNames, type) : nullptr;
        serviceSidType = entry != nullptr ? entry->name : nullptr;
    }
}

void CScmSettingsQuery::fill(CServiceSettings* settings) const {
    settings->delayedAutoStart = delayedAutoStart;
    settings->failureActions = failureActions.get();
    settings->failureResetPeriod = failureResetPeriod.get();
    settings->failureCommand = failureCommand.get();
    settings->nonCrashFailures = nonCrashFailures;
    settings->serviceSidType = serviceSidType;
}
