#include "service/PreinitCommand.h"

#include "common/DecimalText.h"
#include "common/HeapText.h"
#include "common/Win32Handle.h"
#include "config/ConfigKeys.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "registry/StartSettings.h"

namespace {

// Without it, CreateProcessW looks a program named without a folder up in the
// current directory (the service's working directory) before the system's.
const wchar_t kNoCurrentDirectoryInExePath[] = L"NoDefaultCurrentDirectoryInExePath";

// Starts the command hidden. The variable is set only for the lookup: the
// command gets the environment the process had before. No other thread
// starts a program meanwhile: the JVM, which could, does not exist yet.
BOOL startHidden(wchar_t* commandLine, PROCESS_INFORMATION* process) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    const CEnvironmentStrings environment(GetEnvironmentStringsW());
    const bool alreadySet = GetEnvironmentVariableW(kNoCurrentDirectoryInExePath, nullptr, 0) != 0;
    if (!alreadySet) {
        SetEnvironmentVariableW(kNoCurrentDirectoryInExePath, L"1");
    }
    const BOOL started = CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                                        environment.get(), nullptr, &startup, process);
    const DWORD error = GetLastError();
    if (!alreadySet) {
        SetEnvironmentVariableW(kNoCurrentDirectoryInExePath, nullptr);
    }
    SetLastError(error);
    return started;
}

}  // namespace

int runPreinitCommand(CLogger* logger, const CStartSettings& settings, PreinitWaitReport reportWait,
                      void* context) {
    CTraceScope trace(logger, L"CExecutor::executePreinitCommand");
    // CreateProcessW may write to the command line it is given.
    CHeapText command(duplicateText(settings.preinitCommand.get()));
    if (!command) {
        logger->logMessage(L"No preinit command specified.");
        return trace.exit(0);
    }
    if (reportWait != nullptr) {
        // The one report while the command runs tells the SCM how long to wait.
        const CHeapText& hint = settings.preinitWaitHint;
        reportWait(context, hint ? static_cast<DWORD>(parseLeadingInteger(hint.get())) : kDefaultPreinitWaitHintMs);
    }
    logger->logMessage(L"Executing command: ", command.get());
    PROCESS_INFORMATION process = {};
    if (!startHidden(command.get(), &process)) {
        logFailure(logger, L"Unable to create process. rc=", GetLastError());
        return trace.exit(kPreinitNotStarted);
    }
    const CProcessInformation started(process);
    WaitForSingleObject(started.process.get(), INFINITE);
    logger->logMessage(L"Command completed.");
    return trace.exit(0);
}
