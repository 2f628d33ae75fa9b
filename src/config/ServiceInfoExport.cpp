// Showing an installed service's settings on the console ("-d") or writing them
// as a new configuration file ("-e").
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "common/HeapText.h"
#include "common/MbcsConversion.h"
#include "common/RegistryLayout.h"
#include "common/RegistryReaders.h"
#include "common/Win32Handle.h"
#include "config/CConfigFile.h"
#include "config/ConfigKeys.h"
#include "config/ScmSettingsQuery.h"
#include "config/ServiceSettingsText.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "registry/ParameterValues.h"
#include "registry/ServiceParameters.h"
#include "registry/TextExpansion.h"

namespace {

const wchar_t* const kOperation = L"CConfigFile::showServiceInfo";
// Service-key values and the trace path are read with a stated size of 4000
// bytes; the buffer keeps one more character so that a value stored without its
// terminator still ends in one. A longer value counts as missing.
const unsigned long kValueReadBytes = 4000;
const std::size_t kValueBufferCharacters = kValueReadBytes / sizeof(wchar_t) + 1;
const std::size_t kOptionNameCharacters = 32;

// Reads values of the service key into one scratch buffer and hands out copies.
class CServiceKeyReader {
public:
    explicit CServiceKeyReader(const wchar_t* serviceName)
        : serviceName(serviceName), buffer(allocateZeroed<wchar_t>(kValueBufferCharacters)) {}

    bool isReady() const { return static_cast<bool>(buffer); }

    // A copy of the text of keyPath\subkey:valueName, or null when it is missing.
    CHeapText readText(const wchar_t* keyPath, const wchar_t* subkey, const wchar_t* valueName) {
        clear();
        return duplicateText(
            getRegStrValue(HKEY_LOCAL_MACHINE, keyPath, subkey, valueName, buffer.get(), kValueReadBytes));
    }

    CHeapText readServiceText(const wchar_t* valueName) { return readText(kServicesKeyPath, serviceName, valueName); }

    CHeapText readServiceList(const wchar_t* valueName) {
        clear();
        return duplicateText(getRegStrListValue(HKEY_LOCAL_MACHINE, kServicesKeyPath, serviceName, valueName,
                                                buffer.get(), kValueReadBytes, L','));
    }

    unsigned long readServiceNumber(const wchar_t* valueName) {
        return getRegDwValue(HKEY_LOCAL_MACHINE, kServicesKeyPath, serviceName, valueName, kMissingNumber);
    }

private:
    void clear() { std::wmemset(buffer.get(), L'\0', kValueBufferCharacters); }

    const wchar_t* serviceName;
    CHeapText buffer;
};

// Writes the text to a file that must not exist yet, as UTF-16 without a
// byte-order mark or in the ANSI code page.
void writeSettingsFile(const wchar_t* text, const wchar_t* fileName, CLogger* logger, int unicode) {
    CFileHandle file(CreateFileW(fileName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!file) {
        const unsigned long code = GetLastError();
        logger->logMessage(L"Cannot open file ", fileName);
        logger->logSystemError(code);
        return;
    }
    logger->logMessage(L"Generating file ", fileName, unicode ? L" using unicode." : L" ");
    DWORD written = 0;
    if (unicode) {
        WriteFile(file.get(), text, static_cast<DWORD>(std::wcslen(text) * sizeof(wchar_t)), &written, nullptr);
        return;
    }
    // Sized by the conversion itself, so that text in a double-byte code page is whole.
    CHeapPtr<char> narrow(convertToMBCS(text));
    if (!narrow) {
        logger->logMessage(L"Memory error");
        return;
    }
    WriteFile(file.get(), narrow.get(), static_cast<DWORD>(std::strlen(narrow.get())), &written, nullptr);
}

// The env. and secret. values as the export takes them: an env. value's text
// (expanded on the console), a secret's name alone. Its lists hold the registry's memory.
class CVariableSettings {
public:
    // False when memory ran out; a key that cannot be read has no values.
    bool read(const wchar_t* serviceName, int expand) {
        environment.read(serviceName, kEnvironmentValuePrefix);
        secrets.read(serviceName, kSecretValuePrefix);
        count = environment.count() + secrets.count();
        if (count == 0) {
            return true;
        }
        settings.reset(new (std::nothrow) CVariableSetting[count]);
        expanded.reset(new (std::nothrow) CHeapText[count]);
        if (!settings || !expanded) {
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

    void fill(CServiceSettings* target) const {
        target->variables = settings.get();
        target->variableCount = count;
    }

private:
    CParameterValues environment;
    CParameterValues secrets;
    std::size_t count = 0;
    std::unique_ptr<CVariableSetting[]> settings;
    std::unique_ptr<CHeapText[]> expanded;
};

wchar_t* buildSettingsText(const wchar_t* serviceName, CServiceKeyReader& reader, CLogger* logger, int expand) {
    CHeapText displayName(reader.readServiceText(kDisplayNameValue));
    CHeapText imagePath(reader.readServiceText(kImagePathValue));
    CHeapText dependencies(reader.readServiceList(kDependOnServiceValue));
    CHeapText description(reader.readServiceText(kDescriptionValue));

    CServiceSettings settings;
    settings.serviceName = serviceName;
    settings.displayName = displayName.get();
    settings.type = reader.readServiceNumber(kTypeValue);
    settings.startType = reader.readServiceNumber(kStartValue);
    settings.errorControl = reader.readServiceNumber(kErrorControlValue);
    settings.imagePath = imagePath.get();
    settings.dependencies = dependencies.get();
    settings.description = description.get();
    // The Parameters values but the JVM options and the variables; only a missing
    // required one (the service class) is worth a message.
    CHeapText parameters[kConfigKeyCount];
    for (std::size_t index = 0; index < kConfigKeyCount; ++index) {
        const CConfigKey& key = kConfigKeys[index];
        if (key.place == EKeyPlace::parameters && !key.numbered && !key.prefixed) {
            parameters[index] = getRegServiceParam(serviceName, key.valueName, logger, key.required ? 1 : 0, expand);
            settings.*key.exportedText = parameters[index].get();
        }
    }

    const CScmSettingsQuery scmSettings(serviceName);
    scmSettings.fill(&settings);
    CVariableSettings variables;
    if (!variables.read(serviceName, expand)) {
        return nullptr;
    }
    variables.fill(&settings);

    unsigned long capacity = 0;
    wchar_t* text = buildServiceSettingsText(settings, &capacity);
    // JVMOption1, JVMOption2, ... up to the first number without a value.
    wchar_t optionName[kOptionNameCharacters];
    for (int number = 1; text != nullptr; ++number) {
        formatJvmOptionName(optionName, kOptionNameCharacters, number);
        CHeapText option(getRegServiceParam(serviceName, optionName, logger, 0, expand));
        if (!option) {
            break;
        }
        text = appendSettingLine(text, &capacity, optionName, option.get());
    }
    return text;
}

}  // namespace

void CConfigFile::showServiceInfo(const wchar_t* serviceName, const wchar_t* fileName, CLogger* logger, int unicode) {
    CTraceScope trace(logger, kOperation);
    // References are expanded only for the console; a file keeps them as stored.
    const int expand = fileName == nullptr ? 1 : 0;
    CServiceKeyReader reader(serviceName);
    if (!reader.isReady()) {
        logger->logMessage(L"Memory error");
        return;
    }
    CHeapText tracePath(reader.readText(kProgramKeyPath, nullptr, kTraceValue));
    if (tracePath) {
        logger->logMessage(L"Tracing enabled to file ", tracePath.get());
    } else {
        logger->logMessage(L"Tracing not enabled");
    }

    CHeapText text(buildSettingsText(serviceName, reader, logger, expand));
    if (!text) {
        logger->logMessage(L"Memory error");
    } else if (fileName == nullptr) {
        logger->logMessage(text.get());
    } else {
        writeSettingsFile(text.get(), fileName, logger, unicode);
    }
}
