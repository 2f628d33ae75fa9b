#include "config/VariableSettings.h"

#include <windows.h>

#include <new>

#include "common/RegistryLayout.h"
#include "registry/TextExpansion.h"

bool CVariableSettings::read(const wchar_t* serviceName, int expand) {
    environment.read(serviceName, kEnvironmentValuePrefix);
    secrets.read(serviceName, kSecretValuePrefix);
    count = environment.count() + secrets.count();
    if (count == 0) {
        return true;
    }
    settings.reset(new (std::nothrow) CVariableSetting[count]);
    expanded.reset(new (std::nothrow) CHeapText[count]);
    if (!settings || !expanded) {
        count = 0;
        return false;
    }
    std::size_t at = 0;
    for (std::size_t index = 0; index < environment.count(); ++index, ++at) {
        const CParameterValue& value = environment.at(index);
        settings[at].valueName = value.name.get();
        if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) {
            continue;
        }
        settings[at].value = value.text();
        if (expand) {
            expanded[at] = expandEnvStrings(value.text());
            settings[at].value = expanded[at].get();
        }
    }
    for (std::size_t index = 0; index < secrets.count(); ++index, ++at) {
        settings[at].valueName = secrets.at(index).name.get();
    }
    return true;
}

void CVariableSettings::fill(CServiceSettings* target) const {
    target->variables = settings.get();
    target->variableCount = count;
}
