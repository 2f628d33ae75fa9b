#include "config/ServiceSettingsText.h"

#include <cstdlib>
#include <cwchar>

#include "common/AsciiCase.h"
#include "common/CTextBuilder.h"
#include "common/HeapText.h"
#include "common/RegistryLayout.h"
#include "common/ServiceNames.h"
#include "config/ConfigKeys.h"
#include "registry/TextExpansion.h"

namespace {

const unsigned long kInteractiveProcess = 0x100;

std::size_t index(EConfigKey key) { return static_cast<std::size_t>(key); }

// The name of value in the table; null for a value it does not name.
template <std::size_t Count>
const wchar_t* nameOf(const CNamedValue (&table)[Count], unsigned long value) {
    const CNamedValue* entry = findValue(table, value);
    return entry != nullptr ? entry->name : nullptr;
}

// The executable of an image path: the text between the opening character and
// the next double quote when there is one, else the whole path.
CHeapText binaryPathOf(const wchar_t* imagePath) {
    if (imagePath[0] != L'\0') {
        const wchar_t* quote = std::wcschr(imagePath + 1, L'"');
        if (quote != nullptr) {
            const std::size_t length = static_cast<std::size_t>(quote - imagePath - 1);
            CHeapText path = allocateZeroed<wchar_t>(length + 1);
            if (path) {
                std::wmemcpy(path.get(), imagePath + 1, length);
            }
            return path;
        }
    }
    return duplicateText(imagePath);
}

// The key's lines: "env.NAME=value" for each of its values, "secret.NAME=<protected>".
wchar_t* appendVariableLines(wchar_t* text, unsigned long* capacity, const CConfigKey& key,
                             const CServiceSettings& settings) {
    const bool secret = key.id == EConfigKey::secret;
    for (std::size_t index = 0; index < settings.variableCount; ++index) {
        const CVariableSetting& variable = settings.variables[index];
        const wchar_t* name = afterPrefixIgnoringAsciiCase(variable.valueName, key.valueName);
        const wchar_t* value = secret ? kProtectedValueText : variable.value;
        if (name == nullptr || value == nullptr) {
            continue;
        }
        for (const wchar_t* piece : {key.name, name, L"=", value, L"\r\n"}) {
            text = appendText(text, capacity, piece);
            if (text == nullptr) {
                return nullptr;
            }
        }
    }
    return text;
}

}  // namespace

wchar_t* appendSettingLine(wchar_t* text, unsigned long* capacity, const wchar_t* key, const wchar_t* value) {
    if (value == nullptr) {
        return text;
    }
    for (const wchar_t* piece : {key, L"=", value, L"\r\n"}) {
        text = appendText(text, capacity, piece);
        if (text == nullptr) {
            return nullptr;
        }
    }
    return text;
}

bool exportedValuesOf(const CServiceSettings& settings, CExportedValues* exported) {
    if (settings.imagePath != nullptr) {
        exported->binaryPath = binaryPathOf(settings.imagePath);
        if (!exported->binaryPath) {
            return false;
        }
    }
    const bool interactive = settings.type != kMissingNumber && (settings.type & kInteractiveProcess) != 0;
    // Each key's value: the stored text, or what the export makes of the others.
    const wchar_t** values = exported->values;
    for (const CConfigKey& key : kConfigKeys) {
        values[index(key.id)] = key.exportedText != nullptr ? settings.*key.exportedText : nullptr;
    }
    if (settings.serviceName == nullptr) {
        values[index(EConfigKey::serviceName)] = L"";
    }
    values[index(EConfigKey::interactiveService)] = interactive ? L"TRUE" : nullptr;
    values[index(EConfigKey::startType)] = nameOf(kStartTypeNames, settings.startType);
    values[index(EConfigKey::errorControl)] = nameOf(kErrorControlNames, settings.errorControl);
    values[index(EConfigKey::binaryPath)] = exported->binaryPath.get();
    values[index(EConfigKey::delayedAutoStart)] = settings.delayedAutoStart ? L"TRUE" : nullptr;
    values[index(EConfigKey::failureActionsOnNonCrashFailures)] = settings.nonCrashFailures ? L"TRUE" : nullptr;
    return true;
}

wchar_t* buildServiceSettingsText(const CServiceSettings& settings, unsigned long* capacity) {
    CExportedValues exported;
    if (!exportedValuesOf(settings, &exported)) {
        return nullptr;
    }
    wchar_t* text = nullptr;
    *capacity = 0;
    for (std::size_t position = 0; position < kConfigKeyCount; ++position) {
        const CConfigKey& key = exportedKey(position);
        // The numbered JVM options follow, written by the caller.
        if (key.numbered) {
            continue;
        }
        if (key.prefixed) {
            text = appendVariableLines(text, capacity, key, settings);
            if (text == nullptr && settings.variableCount != 0) {
                return nullptr;
            }
            continue;
        }
        const wchar_t* value = exported.values[index(key.id)];
        text = appendSettingLine(text, capacity, key.name, value);
        if (text == nullptr && value != nullptr) {
            return nullptr;
        }
    }
    return text;
}

bool sameSetting(const wchar_t* installed, const wchar_t* wanted) {
    if (installed == nullptr || wanted == nullptr) {
        return installed == wanted;
    }
    return std::wcscmp(installed, wanted) == 0;
}

wchar_t* describeSettingChange(const wchar_t* key, const wchar_t* installed, const wchar_t* wanted) {
    CTextBuilder line;
    line.append(key).append(L": ").append(installed != nullptr ? installed : kAbsentSettingText);
    line.append(L" -> ").append(wanted != nullptr ? wanted : kAbsentSettingText);
    return line.release();
}
