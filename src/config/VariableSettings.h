#pragma once
// The env. and secret. values as the export takes them: an env. value's text
// (expanded on the console), a secret's name alone. Its lists hold the
// registry's memory: a secret's stored blob among it.
#include <cstddef>
#include <memory>

#include "common/HeapText.h"
#include "config/ServiceSettingsText.h"
#include "registry/ParameterValues.h"

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
