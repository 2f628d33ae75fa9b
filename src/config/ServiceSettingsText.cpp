#include "config/ServiceSettingsText.h"

#include <cstdlib>
#include <cwchar>

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

wchar_t* buildServiceSettingsText(const CServiceSettings& settings, unsigned long* capacity) {
    CHeapText binaryPath;
    if (settings.imagePath != nullptr) {
        binaryPath = binaryPathOf(settings.imagePath);
        if (!binaryPath) {
            return nullptr;
        }
    }
    const bool interactive = settings.type != kMissingNumber && (settings.type & kInteractiveProcess) != 0;
    // Each key's value: the stored text, or what the export makes of the others.
    const wchar_t* values[kConfigKeyCount] = {};
    for (const CConfigKey& key : kConfigKeys) {
        values[index(key.id)] = key.exportedText != nullptr ? settings.*key.exportedText : nullptr;
    }
    if (settings.serviceName == nullptr) {
        values[index(EConfigKey::serviceName)] = L"";
    }
    values[index(EConfigKey::interactiveService)] = interactive ? L"TRUE" : nullptr;
    values[index(EConfigKey::startType)] = nameOf(kStartTypeNames, settings.startType);
    values[index(EConfigKey::errorControl)] = nameOf(kErrorControlNames, settings.errorControl);
    values[index(EConfigKey::binaryPath)] = binaryPath.get();
    values[index(EConfigKey::delayedAutoStart)] = settings.delayedAutoStart ? L"TRUE" : nullptr;
    values[index(EConfigKey::failureActionsOnNonCrashFailures)] = settings.nonCrashFailures ? L"TRUE" : nullptr;
    wchar_t* text = nullptr;
    *capacity = 0;
    for (std::size_t position = 0; position < kConfigKeyCount; ++position) {
        const CConfigKey& key = exportedKey(position);
        // The numbered JVM options follow, written by the caller.
        if (key.numbered) {
            continue;
        }
        const wchar_t* value = values[index(key.id)];
        text = appendSettingLine(text, capacity, key.name, value);
        if (text == nullptr && value != nullptr) {
            return nullptr;
        }
    }
    return text;
}
