#include "config/ServiceSettingsText.h"

#include <cstdlib>
#include <cwchar>

#include "common/HeapText.h"
#include "common/RegistryLayout.h"
#include "common/ServiceNames.h"
#include "registry/TextExpansion.h"

namespace {

const unsigned long kInteractiveProcess = 0x100;

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
    const struct {
        const wchar_t* key;
        const wchar_t* value;
    } lines[] = {
        {L"serviceDisplayName", settings.displayName},
        {L"serviceName", settings.serviceName != nullptr ? settings.serviceName : L""},
        {L"interactiveService", interactive ? L"TRUE" : nullptr},
        {L"startType", nameOf(kStartTypeNames, settings.startType)},
        {L"errorControl", nameOf(kErrorControlNames, settings.errorControl)},
        {L"binaryPath", binaryPath.get()},
        {L"serviceDependencies", settings.dependencies},
        {L"description", settings.description},
        {L"jvmDLL", settings.jvmDll},
        {L"ipravikClass", settings.pravikClass},
        {L"commandLineParms", settings.commandLine},
        {L"verboseOutput", settings.verboseFile},
        {L"preinitCommand", settings.preInitCommand},
        {L"preinitWaitHint", settings.preInitHint},
        {L"stopTimeout", settings.stopTimeout},
        {L"preshutdownTimeout", settings.preshutdownTimeout},
        {L"workingDirectory", settings.workingDirectory},
        {L"standardOutput", settings.standardOutput},
        {L"standardError", settings.standardError},
        {L"delayedAutoStart", settings.delayedAutoStart ? L"TRUE" : nullptr},
        {L"failureActions", settings.failureActions},
        {L"failureResetPeriod", settings.failureResetPeriod},
        {L"failureCommand", settings.failureCommand},
        {L"failureActionsOnNonCrashFailures", settings.nonCrashFailures ? L"TRUE" : nullptr},
        {L"serviceSidType", settings.serviceSidType},
    };
    wchar_t* text = nullptr;
    *capacity = 0;
    for (const auto& line : lines) {
        text = appendSettingLine(text, capacity, line.key, line.value);
        if (text == nullptr && line.value != nullptr) {
            return nullptr;
        }
    }
    return text;
}

void formatJvmOptionName(wchar_t* name, unsigned long capacity, int number) {
    std::swprintf(name, capacity, L"%ls%d", kJvmOptionValuePrefix, number);
}
