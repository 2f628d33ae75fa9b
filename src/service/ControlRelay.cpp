// The Java side asks for a control through a hidden sender instance of this
// program, which outlives the service it stops.
#include "common/CTextBuilder.h"
#include "common/CommandLineQuote.h"
#include "common/HeapText.h"
#include "log/CLogger.h"
#include "service/CExecutor.h"

namespace {

// The longest path GetModuleFileNameW can answer.
const DWORD kModulePathCapacity = 32768;

}  // namespace

int CExecutor::sendControlSignal(const wchar_t* targetName, DWORD code) {
    logger->logEntry(L"CExecutor::sendControlSignal((pServiceName, dwSignal))");
    int result = 1;
    const wchar_t* name = targetName != nullptr ? targetName : serviceName;
    CHeapText ownPath = allocateZeroed<wchar_t>(kModulePathCapacity);
    CTextBuilder line;
    if (ownPath) {
        const DWORD length = GetModuleFileNameW(nullptr, ownPath.get(), kModulePathCapacity);
        // Quoted, so that neither a blank in the path nor one in the name
        // changes which program runs or which service it addresses.
        if (length != 0 && length < kModulePathCapacity) {
            appendQuotedArgument(line, ownPath.get());
            line.append(L" -s ");
            appendQuotedArgument(line, name);
            line.appendChar(L' ').appendDecimal(static_cast<int>(code));
        }
    }
    CHeapText commandLine(line.length() != 0 ? line.release() : nullptr);
    if (!commandLine) {
        logger->logMessage(L"Cannot signal process, binary not found.");
        result = 0;
    } else {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(nullptr, commandLine.get(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process)) {
            // Not waited for: the sender runs on its own.
            CKernelHandle threadHandle(process.hThread);
            CKernelHandle processHandle(process.hProcess);
        } else {
            logFailure(logger, L"Unable to create process. rc=", GetLastError());
            result = 0;
        }
    }
    logger->logExit(L"CExecutor::sendControlSignal((pServiceName, dwSignal))", 0);
    return result;
}
