#include "config/InstalledSettings.h"

#include <windows.h>

#include <cwchar>
#include <new>

#include "common/RegistryLayout.h"
#include "common/RegistryReaders.h"
#include "registry/ServiceParameters.h"
#include "registry/TextExpansion.h"

namespace {

const unsigned long kValueReadBytes = 4000;
const std::size_t kValueBufferCharacters = kValueReadBytes / sizeof(wchar_t) + 1;

}  // namespace

CServiceKeyReader::CServiceKeyReader(const wchar_t* serviceName)
    : serviceName(serviceName), buffer(allocateZeroed<wchar_t>(kValueBufferCharacters)) {}

CHeapText CServiceKeyReader::readText(const wchar_t* keyPath, const wchar_t* subkey, const wchar_t* valueName) {
    clear();
    return duplicateText(getRegStrValue(HKEY_LOCAL_MACHINE, keyPath, subkey, valueName, buffer.get(), kValueReadBytes));
}

CHeapText CServiceKeyReader::readServiceText(const wchar_t* valueName) {
    return readText(kServicesKeyPath, serviceName, valueName);
}

CHeapText CServiceKeyReader::readServiceList(const wchar_t* valueName) {
    clear();
    return duplicateText(getRegStrListValue(HKEY_LOCAL_MACHINE, kServicesKeyPath, serviceName, valueName,
                                            buffer.get(), kValueReadBytes, L','));
}

unsigned long CServiceKeyReader::readServiceNumber(const wchar_t* valueName) {
    return getRegDwValue(HKEY_LOCAL_MACHINE, kServicesKeyPath, serviceName, valueName, kMissingNumber);
}

void CServiceKeyReader::clear() { std::wmemset(buffer.get(), L'\0', kValueBufferCharacters); }

CInstalledSettings::CInstalledSettings(const wchar_t* serviceName, CServiceKeyReader& reader, CLogger* logger,
                                       int expand)
    : displayName(reader.readServiceText(kDisplayNameValue)),
      imagePath(reader.readServiceText(kImagePathValue)),
      dependencies(reader.readServiceList(kDependOnServiceValue)),
      description(reader.readServiceText(kDescriptionValue)),
      scmSettings(serviceName) {
    values.serviceName = serviceName;
    values.displayName = displayName.get();
    values.type = reader.readServiceNumber(kTypeValue);
    values.startType = reader.readServiceNumber(kStartValue);
    values.errorControl = reader.readServiceNumber(kErrorControlValue);
    values.imagePath = imagePath.get();
    values.dependencies = dependencies.get();
    values.description = description.get();
    // The Parameters values but the JVM options and the variables; only a missing
    // required one (the service class) is worth a message.
    for (std::size_t index = 0; index < kConfigKeyCount; ++index) {
        const CConfigKey& key = kConfigKeys[index];
        if (key.place == EKeyPlace::parameters && !key.numbered && !key.prefixed) {
            parameters[index] = getRegServiceParam(serviceName, key.valueName, logger, key.required ? 1 : 0, expand);
            values.*key.exportedText = parameters[index].get();
        }
    }
    scmSettings.fill(&values);
    ready = variables.read(serviceName, expand);
    variables.fill(&values);
}

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
