// The exported settings text for any stored values: the serviceName line is
// always there, and every line ends in CR LF.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/ServiceSettingsText.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 12) {
        return 0;
    }
    auto number = [&](size_t at) {
        return static_cast<unsigned long>(data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) |
                                          (static_cast<unsigned long>(data[at + 3]) << 24));
    };
    // Values are separated by zero characters; a lone 0xFF byte marks a missing value.
    std::vector<std::wstring> values;
    std::vector<bool> present;
    std::wstring current;
    for (size_t at = 12; at <= size; ++at) {
        if (at == size || data[at] == 0) {
            present.push_back(current != L"\xFF");
            values.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<wchar_t>(data[at]));
        }
    }
    values.resize(14);
    present.resize(14, false);
    auto text = [&](size_t index) { return present[index] ? values[index].c_str() : nullptr; };

    CServiceSettings settings;
    settings.serviceName = values[0].c_str();
    settings.displayName = text(1);
    settings.type = number(0);
    settings.startType = number(4);
    settings.errorControl = number(8);
    settings.imagePath = text(2);
    settings.dependencies = text(3);
    settings.description = text(4);
    settings.jvmDll = text(5);
    settings.pravikClass = text(6);
    settings.commandLine = text(7);
    settings.verboseFile = text(8);
    settings.preInitCommand = text(9);
    settings.preInitHint = text(10);
    settings.workingDirectory = text(11);
    settings.standardOutput = text(12);
    settings.standardError = text(13);

    unsigned long capacity = 0;
    wchar_t* built = buildServiceSettingsText(settings, &capacity);
    if (built == nullptr) {
        __builtin_trap();
    }
    const std::wstring result(built);
    std::free(built);
    if (result.find(L"serviceName=" + values[0] + L"\r\n") == std::wstring::npos) {
        __builtin_trap();
    }
    if (result.size() < 2 || result.compare(result.size() - 2, 2, L"\r\n") != 0) {
        __builtin_trap();
    }
    return 0;
}
