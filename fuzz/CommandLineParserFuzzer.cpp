// The command-line parser on any argument vector: it never reads past the
// vector, its answer is 0, 1 or 2, and every stored value is one of the arguments.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "log/CLogger.h"
#include "main/CParameters.h"
#include "support/LogRecorder.h"

namespace {

// The trace switch writes the registry in the program; here it does nothing.
void ignoreTraceSwitch(const wchar_t*, CLogger*) {}

bool pointsIntoArguments(const wchar_t* value, const std::vector<wchar_t*>& pointers) {
    if (value == nullptr) {
        return true;
    }
    for (const wchar_t* pointer : pointers) {
        if (pointer == value) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Arguments are separated by zero characters; a few common switches are
    // spelled by single bytes so that the fuzzer reaches them quickly.
    static const wchar_t* const kSwitches[] = {L"-?", L"-i", L"-u", L"-r", L"-a", L"-p", L"-Z", L"-x",
                                               L"-w", L"-c", L"-b", L"-t", L"-d", L"-e", L"-s"};
    std::vector<std::wstring> arguments = {L"pravik.exe"};
    std::wstring current;
    for (size_t at = 0; at < size; ++at) {
        const uint8_t byte = data[at];
        if (byte == 0) {
            arguments.push_back(current);
            current.clear();
        } else if (byte >= 0xF0 && byte - 0xF0u < sizeof(kSwitches) / sizeof(kSwitches[0])) {
            arguments.push_back(kSwitches[byte - 0xF0]);
        } else {
            current.push_back(static_cast<wchar_t>(byte));
        }
    }
    if (!current.empty()) {
        arguments.push_back(current);
    }
    std::vector<wchar_t*> pointers;
    for (auto& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);

    clearLoggerRecord();
    CLogger logger{recordingLogSink(), kRecordedTrace};
    CParameters parameters(&logger, ignoreTraceSwitch);
    const int result = parameters.parseCommandLine(static_cast<int>(arguments.size()), pointers.data());
    if (result < 0 || result > 2) {
        __builtin_trap();
    }
    for (const wchar_t* value : {parameters.getConfigFileName(), parameters.getServiceName(), parameters.getAccountName(),
                                 parameters.getAccountPassword(), parameters.getSignal()}) {
        if (!pointsIntoArguments(value, pointers)) {
            __builtin_trap();
        }
    }
    return 0;
}
