#include "ConsoleTestSupport.h"

#include <gtest/gtest.h>

#include "support/Polling.h"
#include "support/PravikRunner.h"

namespace {

const DWORD kPatienceMs = 120000;

// Each line of the raw record without its trailing " <id>".
std::string withoutIds(const std::string& raw) {
    std::string lines;
    std::size_t begin = 0;
    while (begin < raw.size()) {
        std::size_t end = raw.find('\n', begin);
        if (end == std::string::npos) {
            break;  // a line still being written
        }
        const std::string line = raw.substr(begin, end - begin);
        const std::size_t blank = line.rfind(' ');
        lines += (blank == std::string::npos ? line : line.substr(0, blank)) + "\n";
        begin = end + 1;
    }
    return lines;
}

}  // namespace

const wchar_t* const kConsoleService = L"com.velsor.test.ConsoleService";

std::wstring pipeNameOf(const std::wstring& serviceName) { return L"\\\\.\\pipe\\" + serviceName + L"_PravikPipe"; }

std::string rawRecordOf(const CTestService& service) { return readFileBytes(service.dir().file(L"record.txt")); }

std::string recordOf(const CTestService& service) { return withoutIds(rawRecordOf(service)); }

std::wstring recordArgument(const CTestService& service) { return unixPathOf(service.dir().file(L"record.txt")); }

std::vector<std::string> idsOf(const std::string& rawRecord, const std::string& prefix) {
    std::vector<std::string> ids;
    std::size_t begin = 0;
    while (begin < rawRecord.size()) {
        const std::size_t end = rawRecord.find('\n', begin);
        if (end == std::string::npos) {
            break;
        }
        const std::string line = rawRecord.substr(begin, end - begin);
        if (line.compare(0, prefix.size() + 1, prefix + " ") == 0 && line.find(' ', prefix.size() + 1) == std::string::npos) {
            ids.push_back(line.substr(prefix.size() + 1));
        }
        begin = end + 1;
    }
    return ids;
}

int countLines(const std::string& record, const std::string& line) {
    int count = 0;
    const std::string whole = line + "\n";
    for (std::size_t at = 0; (at = record.find(whole, at)) != std::string::npos; at += whole.size()) {
        if (at == 0 || record[at - 1] == '\n') {
            ++count;
        }
    }
    return count;
}

void waitUntil(const std::function<bool()>& done, const std::string& what) {
    if (!pollUntil(done)) {
        ADD_FAILURE() << "gave up waiting for " << what;
    }
}

ConfigKeys consoleConfig(const CTestService& service, const std::wstring& extraArguments) {
    ConfigKeys keys = service.baseConfig(kConsoleService);
    keys.push_back({L"commandLineParms", recordArgument(service) + extraArguments});
    return keys;
}

CConsoleInstance::CConsoleInstance(const std::wstring& program, const std::wstring& serviceName) {
    std::wstring commandLine = quoteArgument(program) + L" -x " + quoteArgument(serviceName);
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                        &startup, &info)) {
        ADD_FAILURE() << "CreateProcessW " << GetLastError();
        return;
    }
    CloseHandle(info.hThread);
    process = info.hProcess;
}

CConsoleInstance::~CConsoleInstance() {
    if (process != nullptr) {
        if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
            TerminateProcess(process, 99);
            WaitForSingleObject(process, kPatienceMs);
        }
        CloseHandle(process);
    }
}

DWORD CConsoleInstance::waitForEnd(DWORD patienceMs) {
    if (process == nullptr || WaitForSingleObject(process, patienceMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the console-mode instance did not end";
        return STILL_ACTIVE;
    }
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process, &exitCode);
    return exitCode;
}
