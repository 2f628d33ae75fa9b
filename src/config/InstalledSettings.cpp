#include "config/InstalledSettings.h"

#include <windows.h>

#include "common/RegistryLayout.h"
#include "registry/ServiceParameters.h"

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
