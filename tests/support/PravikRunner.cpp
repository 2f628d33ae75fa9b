#include "support/PravikRunner.h"

#include <windows.h>

#include <gtest/gtest.h>

std::wstring pravikExe() { return PRAVIK_EXE_PATH; }

std::wstring quoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    for (auto it = argument.begin();; ++it) {
        size_t backslashes = 0;
        while (it != argument.end() && *it == L'\\') {
            ++it;
            ++backslashes;
        }
        if (it == argument.end()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        if (*it == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        quoted.push_back(*it);
    }
    quoted.push_back(L'"');
    return quoted;
}

namespace {

// Standard input: the bytes of input through a pipe, closed after them; NUL without input.
CRunResult run(const std::wstring& program, const std::vector<std::wstring>& args, unsigned long timeoutMs,
               const std::string* input) {
    CRunResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        ADD_FAILURE() << "CreatePipe failed " << GetLastError();
        return result;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = nullptr;
    HANDLE inputEnd = nullptr;
    if (input == nullptr) {
        nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    } else if (CreatePipe(&nul, &inputEnd, &inherit, 0)) {
        SetHandleInformation(inputEnd, HANDLE_FLAG_INHERIT, 0);
    } else {
        ADD_FAILURE() << "CreatePipe failed " << GetLastError();
    }

    std::wstring commandLine = quoteArgument(program);
    for (const auto& argument : args) {
        commandLine += L" " + quoteArgument(argument);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    const BOOL started = CreateProcessW(program.c_str(), mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    const DWORD startError = GetLastError();
    CloseHandle(writeEnd);
    CloseHandle(nul);
    if (inputEnd != nullptr) {
        // Small enough for the pipe's buffer: written whole before the output is read.
        DWORD written = 0;
        if (started) {
            WriteFile(inputEnd, input->data(), static_cast<DWORD>(input->size()), &written, nullptr);
        }
        CloseHandle(inputEnd);
    }
    if (!started) {
        CloseHandle(readEnd);
        ADD_FAILURE() << "CreateProcessW failed " << startError;
        return result;
    }
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got != 0) {
        result.output.append(chunk, got);
    }
    CloseHandle(readEnd);
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 999);
        ADD_FAILURE() << "process did not end in time";
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exitCode = code;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

}  // namespace

CRunResult runProgram(const std::wstring& program, const std::vector<std::wstring>& args, unsigned long timeoutMs) {
    return run(program, args, timeoutMs, nullptr);
}

CRunResult runPravik(const std::vector<std::wstring>& args, unsigned long timeoutMs) {
    return runProgram(pravikExe(), args, timeoutMs);
}

CRunResult runPravikWithInput(const std::vector<std::wstring>& args, const std::string& input) {
    return run(pravikExe(), args, 60000, &input);
}

std::string crlf(const std::string& text) {
    std::string converted;
    for (char character : text) {
        if (character == '\n') {
            converted += '\r';
        }
        converted += character;
    }
    return converted;
}

std::vector<std::string> outputLines(const std::string& output) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = output.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(output.substr(start, end - start));
    }
    if (start < output.size()) {
        lines.push_back(output.substr(start));
    }
    return lines;
}

std::vector<std::string> nonEmptyLines(const std::string& output) {
    std::vector<std::string> lines;
    for (const auto& line : outputLines(output)) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}
