// The configuration parser on any text, read as UTF-16 (first byte odd) or as
// ANSI bytes (first byte even): every accepted option has a trimmed, non-empty
// value, and the lookups find what the list holds.
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <string>

#include "config/CConfigFile.h"
#include "config/CConfigOption.h"
#include "fuzz/FuzzInput.h"
#include "log/CLogger.h"
#include "support/LogRecorder.h"

namespace {

bool isBlank(wchar_t character) { return character == L' ' || character == L'\t'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    std::wstring text = (data[0] & 1) != 0 ? wideFromUtf16Bytes(data + 1, size - 1) : wideFromBytes(data + 1, size - 1);
    clearLoggerRecord();
    CLogger logger{recordingLogSink(), kRecordedTrace};
    CConfigFile file(&logger);
    const int result = file.parseBuffer(text.data());
    if (result != 0 && result != 5) {
        __builtin_trap();
    }
    int counted = 0;
    for (const auto& option : file.options()) {
        const wchar_t* name = option->getName();
        const wchar_t* value = option->getValue();
        if (name == nullptr || value == nullptr || value[0] == L'\0' || std::wcschr(name, L'=') != nullptr) {
            __builtin_trap();
        }
        ++counted;
    }
    if (counted != file.getOptionCount()) {
        __builtin_trap();
    }
    const wchar_t* keys[] = {L"serviceName", L"serviceDisplayName", L"ipravikClass", L"jvmOption1", L"a"};
    for (const wchar_t* key : keys) {
        CConfigOption* option = file.getOption(key);
        if (option == nullptr) {
            if (file.getStrOptionValue(key, key) != key) {
                __builtin_trap();
            }
            continue;
        }
        const wchar_t* value = option->getValue();
        const size_t length = value != nullptr ? std::wcslen(value) : 0;
        if (length == 0 || isBlank(value[0]) || isBlank(value[length - 1])) {
            __builtin_trap();
        }
        if (file.getStrOptionValue(key, nullptr) != value) {
            __builtin_trap();
        }
        file.getBoolOptionValue(key, 1);
    }
    return 0;
}
