#pragma once
// What the service control manager keeps for a service beyond its key's values
// (QueryServiceConfig2W), as the export's texts. A setting the manager does not
// answer, or a service it does not know, leaves the text absent, as a missing
// registry value does.
#include "common/HeapText.h"

struct CServiceSettings;

class CScmSettingsQuery {
public:
    explicit CScmSettingsQuery(const wchar_t* serviceName);
    // Points the settings' fields at this object's texts, which outlive them.
    void fill(CServiceSettings* settings) const;

private:
    bool delayedAutoStart = false;
    bool nonCrashFailures = false;
    CHeapText failureActions;
    CHeapText failureResetPeriod;
    CHeapText failureCommand;
    const wchar_t* serviceSidType = nullptr;
};
