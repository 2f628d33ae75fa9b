#include "service/ControlSender.h"

#include "common/CTextBuilder.h"
#include "common/HeapText.h"
#include "common/ServiceNames.h"
#include "common/Win32Handle.h"
#include "install/ServiceStop.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "service/ControlPipe.h"
#include "service/ControlPipeSecurity.h"
#include "service/CRunWatch.h"
#include "service/OwnInstance.h"
#include "service/SignalText.h"

namespace {

const DWORD kRestartCode = 128;
const DWORD kRestartPollMs = 1000;
// The stop budget a restart assumes for stopTimeout=0 (no limit): it waits
// the console-mode instance's budget (kDefaultStopTimeoutMs when none is set)
// and kAfterStopMs more for what follows the budget (the thread dump, the
// output files, the JVM's end), for the old instance to let go of its pipe.
const DWORD kUnlimitedStopBudgetMs = 600000;
const DWORD kAfterStopMs = 10000;

enum class EPipeRoute {
    // A console-mode instance of ours listens: the handle is open.
    pipe,
    // No such pipe: no console-mode instance runs.
    absent,
    // The pipe is there but no code may go to it; reported, nothing else is done.
    refused,
};

// Only "no such pipe" means that no console-mode instance runs: a pipe busy
// with other clients is waited for a while and then reported, since the code
// must not go to the service control manager (or a second instance start)
// while an instance listens. A pipe that opens must be served by a process
// that may be trusted with the code.
EPipeRoute openControlPipe(CLogger* logger, const wchar_t* serviceName, const wchar_t* pipeName, CFileHandle* pipe) {
    const DWORD error = openControlPipeClient(pipeName, pipe);
    if (error == ERROR_FILE_NOT_FOUND) {
        return EPipeRoute::absent;
    }
    if (error == ERROR_PIPE_BUSY) {
        logger->logMessage(L"The control pipe of ", serviceName, L" is busy; nothing sent");
        return EPipeRoute::refused;
    }
    if (error != 0) {
        logFailure(logger, L"Could not open the control pipe rc=", error);
        return EPipeRoute::refused;
    }
    ULONG server = 0;
    if (!isTrustedPipeServer(pipe->get(), &server)) {
        CTextBuilder text;
        text.append(L"The control pipe of ").append(serviceName).append(L" is served by an unexpected process ");
        text.appendDecimal(static_cast<long long>(server)).append(L"; nothing sent");
        logger->logMessage(text.failed() ? L"Memory error." : text.text());
        pipe->reset();
        return EPipeRoute::refused;
    }
    return EPipeRoute::pipe;
}

// Whether the control goes through the service control manager: unless the
// manager shows the service STOPPED (a console-mode run, or none) or knows no
// such service, whatever holds the pipe's name. A state that cannot be read
// (a user given only the right for one control) sends it there too: that
// route reports its own failures.
bool managerRoute(const wchar_t* serviceName) {
    const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const CServiceHandle service(manager ? OpenServiceW(manager.get(), serviceName, SERVICE_QUERY_STATUS) : nullptr);
    SERVICE_STATUS status = {};
    if (!service) {
        return GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
    }
    return !QueryServiceStatus(service.get(), &status) || status.dwCurrentState != SERVICE_STOPPED;
}

// How long a restart waits for a console-mode instance's pipe to go: see kAfterStopMs.
DWORD pipePatienceMs(CLogger* logger, const wchar_t* serviceName) {
    const DWORD budget = configuredStopBudgetMs(serviceName, logger);
    return (budget == 0 || budget > kUnlimitedStopBudgetMs ? kUnlimitedStopBudgetMs : budget) + kAfterStopMs;
}

// Waits, a probe a second, until the pipe is gone (no such pipe); one that
// opens or answers anything else is still there. False after the patience.
// Each probe is a connection without a code, which the old instance forwards nowhere.
bool awaitPipeGone(const wchar_t* pipeName, DWORD patienceMs) {
    const ULONGLONG deadline = GetTickCount64() + patienceMs;
    while (GetTickCount64() < deadline) {
        Sleep(kRestartPollMs);
        const CFileHandle probe(openControlPipeOnce(pipeName));
        if (!probe && GetLastError() == ERROR_FILE_NOT_FOUND) {
            return true;
        }
    }
    return false;
}

void writeCode(HANDLE pipe, DWORD code) {
    unsigned char bytes[4];
    encodeControlCode(code, bytes);
    DWORD written = 0;
    WriteFile(pipe, bytes, sizeof(bytes), &written, nullptr);
}

// The one right that sending the code needs: a user given exactly that right may send it.
DWORD controlRight(DWORD code) {
    switch (code) {
        case SERVICE_CONTROL_STOP:
            return SERVICE_STOP;
        case SERVICE_CONTROL_INTERROGATE:
            return SERVICE_INTERROGATE;
        case SERVICE_CONTROL_PAUSE:
        case SERVICE_CONTROL_CONTINUE:
        case SERVICE_CONTROL_PARAMCHANGE:
        case SERVICE_CONTROL_NETBINDADD:
        case SERVICE_CONTROL_NETBINDREMOVE:
        case SERVICE_CONTROL_NETBINDENABLE:
        case SERVICE_CONTROL_NETBINDDISABLE:
            return SERVICE_PAUSE_CONTINUE;
        default:
            // The codes of the service's own (128 to 255); the manager refuses the others itself.
            return SERVICE_USER_DEFINED_CONTROL;
    }
}

int sendThroughManager(CLogger* logger, const wchar_t* serviceName, DWORD code) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        logFailure(logger, L"Failed to open service control manager ", GetLastError());
        return 0;
    }
    CServiceHandle service(OpenServiceW(manager.get(), serviceName, controlRight(code)));
    if (!service) {
        logFailure(logger, L"Failed to open service ", GetLastError());
        return 0;
    }
    SERVICE_STATUS answer = {};
    if (!ControlService(service.get(), code, &answer)) {
        logFailure(logger, L"Failed to send control ", GetLastError());
        return 0;
    }
    logger->logMessage(L"Control sent OK, current service state : ",
                       describeServiceState(answer.dwCurrentState));
    return 1;
}

int restartInstalledService(CLogger* logger, const wchar_t* serviceName) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        logFailure(logger, L"Unable to open SCM. rc=", GetLastError());
        return 0;
    }
    // The stop reports its own failures; a service still running is not started twice.
    if (!stopService(logger, manager.get(), serviceName)) {
        return 0;
    }
    CServiceHandle service(OpenServiceW(manager.get(), serviceName, SERVICE_START));
    if (!service) {
        logFailure(logger, L"Unable to open service. rc=", GetLastError());
        return 0;
    }
    if (!StartServiceW(service.get(), 0, nullptr)) {
        logFailure(logger, L"Unable to start service. rc=", GetLastError());
        return 0;
    }
    return 1;
}

}  // namespace

void sendSignalText(CLogger* logger, const wchar_t* serviceName, const wchar_t* signalText) {
    CHeapText pipeName(controlPipeName(serviceName));
    CTraceScope trace(logger, L"CExecutor::sendControlSignal");
    if (!pipeName) {
        logger->logMessage(L"Memory error.");
        return;
    }
    if (signalText == nullptr) {
        logger->logMessage(L"Error, signal is NULL");
        return;
    }
    unsigned long code = 0;
    switch (parseSignalText(signalText, &code)) {
        case ESignalText::unknownServiceControl:
            logger->logMessage(L"Unrecognized signal : ", signalText);
            break;
        case ESignalText::unknownControlSignal:
            logger->logMessage(L"Unrecognized control signal : ", signalText);
            break;
        case ESignalText::code:
            // Delivered or not, the sender's exit code is 0: failures were reported.
            sendControlCode(logger, serviceName, static_cast<DWORD>(code), pipeName.get());
            break;
    }
}

bool consoleInstanceServes(const wchar_t* serviceName) {
    const CHeapText pipeName(controlPipeName(serviceName));
    CFileHandle pipe;
    ULONG server = 0;
    return pipeName && openControlPipeClient(pipeName.get(), &pipe) == 0 && isTrustedPipeServer(pipe.get(), &server);
}

int sendControlCode(CLogger* logger, const wchar_t* serviceName, DWORD code, const wchar_t* pipeName) {
    // The Exit line shows 0 whatever the outcome.
    CTraceScope trace(logger, L"CExecutor::sendControlSignal(DWORD,LPTSTR)", static_cast<int>(code));
    int result = 1;
    if (code == kRestartCode) {
        result = restartService(logger, serviceName);
    } else {
        CHeapText ownPipeName(pipeName == nullptr ? controlPipeName(serviceName) : nullptr);
        const wchar_t* name = pipeName != nullptr ? pipeName : ownPipeName.get();
        if (name == nullptr) {
            logger->logMessage(L"Memory error.");
            result = 0;
        } else {
            // The code counts as delivered once written to the pipe.
            CFileHandle pipe;
            const EPipeRoute route =
                managerRoute(serviceName) ? EPipeRoute::absent : openControlPipe(logger, serviceName, name, &pipe);
            switch (route) {
                case EPipeRoute::pipe:
                    writeCode(pipe.get(), code);
                    break;
                case EPipeRoute::absent:
                    result = sendThroughManager(logger, serviceName, code);
                    break;
                case EPipeRoute::refused:
                    result = 0;
                    break;
            }
        }
    }
    return result;
}

int restartService(CLogger* logger, const wchar_t* serviceName) {
    CHeapText pipeName(controlPipeName(serviceName));
    // The Exit line shows 0 whatever the outcome.
    CTraceScope trace(logger, L"CExecutor::doRestart");
    int result = 1;
    if (!pipeName) {
        logger->logMessage(L"Memory error.");
        result = 0;
    } else {
        CFileHandle pipe;
        const EPipeRoute route = managerRoute(serviceName)
                                     ? EPipeRoute::absent
                                     : openControlPipe(logger, serviceName, pipeName.get(), &pipe);
        if (route == EPipeRoute::absent) {
            result = restartInstalledService(logger, serviceName);
        } else if (route == EPipeRoute::refused) {
            result = 0;
        } else {
            writeCode(pipe.get(), SERVICE_CONTROL_STOP);
            pipe.reset();
            // A second instance must not start while the old one still holds
            // the pipe, which it does until its Java service has ended.
            const DWORD patienceMs = pipePatienceMs(logger, serviceName);
            if (awaitPipeGone(pipeName.get(), patienceMs)) {
                result = startOwnInstance(logger, L"-x", serviceName, nullptr, CREATE_NEW_CONSOLE, SW_SHOW,
                                          L"Cannot start process, binary not found.");
            } else {
                CTextBuilder text;
                text.append(L"The control pipe of ").append(serviceName).append(L" did not close within ");
                text.appendDecimal(static_cast<long long>(patienceMs)).append(L" ms; no new instance started");
                logger->logMessage(text.failed() ? L"Memory error." : text.text());
                result = 0;
            }
        }
    }
    return result;
}
