#pragma once
// What an installed service holds, read from its key, its Parameters subkey and
// the service control manager into the export's settings: what "-d" and "-e"
// show and what "-U" compares a configuration file with.
#include "common/HeapText.h"
#include "config/ConfigKeys.h"
#include "config/ScmSettingsQuery.h"
#include "config/ServiceKeyReader.h"
#include "config/ServiceSettingsText.h"
#include "config/VariableSettings.h"

class CLogger;

class CInstalledSettings {
public:
    // expand: Parameters values with their references expanded (the console's view).
    CInstalledSettings(const wchar_t* serviceName, CServiceKeyReader& reader, CLogger* logger, int expand);
    CInstalledSettings(const CInstalledSettings&) = delete;
    CInstalledSettings& operator=(const CInstalledSettings&) = delete;

    // False when memory ran out.
    bool isReady() const { return ready; }
    // The settings point into this object, which must outlive their use.
    const CServiceSettings& settings() const { return values; }
    const CVariableSettings& variableSettings() const { return variables; }

private:
    CHeapText displayName;
    CHeapText imagePath;
    CHeapText dependencies;
    CHeapText description;
    CHeapText parameters[kConfigKeyCount];
    CScmSettingsQuery scmSettings;
    CVariableSettings variables;
    CServiceSettings values;
    bool ready = false;
};
