#pragma once
// What an installed service holds, read from its key, its Parameters subkey and
// the service control manager into the export's settings: what "-d" and "-e"
// show and what "-U" compares a configuration file with.
#include <cstddef>
#include <memory>

#include "common/HeapText.h"
#include "config/ConfigKeys.h"
#include "config/ScmSettingsQuery.h"
#include "config/ServiceSettingsText.h"
#include "registry/ParameterValues.h"

class CLogger;

// Service-key values and the trace path are read with a stated size of 4000
// bytes into one scratch buffer, which keeps one more character so that a value
// stored without its terminator still ends in one. A longer value counts as missing.
class CServiceKeyReader {
public:
    explicit CServiceKeyReader(const wchar_t* serviceName);

    bool isReady() const { return static_cast<bool>(buffer); }

    // A copy of the text of keyPath\subkey:valueName, or null when it is missing.
    CHeapText readText(const wchar_t* keyPath, const wchar_t* subkey, const wchar_t* valueName);
    CHeapText readServiceText(const wchar_t* valueName);
    // A multi-string value of the service key, its entries joined with ",".
    CHeapText readServiceList(const wchar_t* valueName);
    unsigned long readServiceNumber(const wchar_t* valueName);

private:
    void clear();

    const wchar_t* serviceName;
    CHeapText buffer;
};

// The env. and secret. values as the export takes them: an env. value's text
// (expanded on the console), a secret's name alone. Its lists hold the
// registry's memory: a secret's stored blob among it.
class CVariableSettings {
public:
    // False when memory ran out; a key that cannot be read has no values.
    bool read(const wchar_t* serviceName, int expand);
    void fill(CServiceSettings* target) const;

    const CParameterValues& environmentValues() const { return environment; }
    const CParameterValues& secretValues() const { return secrets; }

private:
    CParameterValues environment;
    CParameterValues secrets;
    std::size_t count = 0;
    std::unique_ptr<CVariableSetting[]> settings;
    std::unique_ptr<CHeapText[]> expanded;
};

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
