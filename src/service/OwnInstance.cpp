#include "service/OwnInstance.h"

#include <cwchar>

#include "common/CTextBuilder.h"
#include "common/CommandLineQuote.h"
#include "common/HeapText.h"
#include "common/OwnProgramPath.h"
#include "common/Win32Handle.h"
#include "log/CLogger.h"

int startOwnInstance(CLogger* logger, const wchar_t* switchText, const wchar_t* serviceName, const long* code,
                     DWORD creationFlags, WORD showWindow, const wchar_t* noLineMessage) {
    DWORD error = 0;
    CHeapText ownPath = ownProgramPath(&error);
    CTextBuilder line;
    if (ownPath) {
        // Quoted, so that neither a blank in the path nor one in the name
        // changes which program runs or which service it addresses.
        appendQuotedArgument(line, ownPath.get());
        line.appendChar(L' ').append(switchText).appendChar(L' ');
        appendQuotedArgument(line, serviceName);
        if (code != nullptr) {
            line.appendChar(L' ').appendDecimal(*code);
        }
    }
    CHeapText commandLine(line.length() != 0 ? line.release() : nullptr);
    if (!commandLine) {
        logger->logMessage(noLineMessage);
        return 0;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showWindow;
    PROCESS_INFORMATION process = {};
    // The application name pins the program to this very file. Wine fails on
    // an application name of MAX_PATH characters or more; such a path goes in
    // the quoted command line alone.
    const wchar_t* application = std::wcslen(ownPath.get()) < MAX_PATH ? ownPath.get() : nullptr;
    if (!CreateProcessW(application, commandLine.get(), nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr,
                        &startup, &process)) {
        logFailure(logger, L"Unable to create process. rc=", GetLastError());
        return 0;
    }
    // Not waited for: the new instance runs on its own.
    const CProcessInformation started(process);
    return 1;
}
