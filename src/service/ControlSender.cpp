#include "service/ControlSender.h"

#include "common/HeapText.h"
#include "common/ServiceNames.h"
#include "common/Win32Handle.h"
#include "install/ServiceStop.h"
#include "log/CLogger.h"
#include "service/ControlPipe.h"
#include "service/OwnInstance.h"
#include "service/SignalText.h"

namespace {

const DWORD kRestartCode = 128;
const DWORD kRestartPollMs = 1000;
// A busy pipe is waited for this often, this long each time, before the
// instance counts as absent.
const int kBusyPipeTries = 10;
const DWORD kBusyPipeWaitMs = 500;

// SECURITY_IDENTIFICATION: a server squatting on the pipe's name learns who
// sent the code but cannot act as the sender. A pipe busy with another client
// still means a console-mode instance listens: the code must not go to the
// service control manager instead, so the sender waits for it a while.
HANDLE openControlPipe(const wchar_t* pipeName) {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < kBusyPipeTries; ++tries) {
        pipe = CreateFileW(pipeName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (pipe != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PIPE_BUSY) {
            break;
        }
        WaitNamedPipeW(pipeName, kBusyPipeWaitMs);
    }
    return pipe;
}

void writeCode(HANDLE pipe, DWORD code) {
    unsigned char bytes[4];
    encodeControlCode(code, bytes);
    DWORD written = 0;
    WriteFile(pipe, bytes, sizeof(bytes), &written, nullptr);
}

int sendThroughManager(CLogger* logger, const wchar_t* serviceName, DWORD code) {
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        logFailure(logger, L"Failed to open service control manager ", GetLastError());
        return 0;
    }
    // GENERIC_EXECUTE covers every control but the interrogation, which
    // would otherwise always be refused with ERROR_ACCESS_DENIED.
    CServiceHandle service(OpenServiceW(manager.get(), serviceName, GENERIC_EXECUTE | SERVICE_INTERROGATE));
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
    CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_WRITE | GENERIC_EXECUTE));
    if (!manager) {
        logFailure(logger, L"Unable to open SCM. rc=", GetLastError());
        return 0;
    }
    // The stop reports its own failures; a service still running is not started twice.
    if (!stopService(logger, manager.get(), serviceName)) {
        return 0;
    }
    CServiceHandle service(OpenServiceW(manager.get(), serviceName, GENERIC_EXECUTE));
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
    logger->logEntry(L"CExecutor::sendControlSignal");
    if (!pipeName) {
        logger->logMessage(L"Memory error.");
    } else if (signalText == nullptr) {
        logger->logMessage(L"Error, signal is NULL");
    } else {
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
    logger->logExit(L"CExecutor::sendControlSignal", 0);
}

int sendControlCode(CLogger* logger, const wchar_t* serviceName, DWORD code, const wchar_t* pipeName) {
    logger->logEntry(L"CExecutor::sendControlSignal(DWORD,LPTSTR)", static_cast<int>(code));
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
            // A console-mode instance listens when its pipe opens; the code
            // counts as delivered once written.
            CFileHandle pipe(openControlPipe(name));
            if (pipe) {
                writeCode(pipe.get(), code);
            } else {
                result = sendThroughManager(logger, serviceName, code);
            }
        }
    }
    logger->logExit(L"CExecutor::sendControlSignal(DWORD,LPTSTR)", 0);
    return result;
}

int restartService(CLogger* logger, const wchar_t* serviceName) {
    CHeapText pipeName(controlPipeName(serviceName));
    logger->logEntry(L"CExecutor::doRestart");
    int result = 1;
    if (!pipeName) {
        logger->logMessage(L"Memory error.");
        result = 0;
    } else {
        CFileHandle pipe(openControlPipe(pipeName.get()));
        if (!pipe) {
            result = restartInstalledService(logger, serviceName);
        } else {
            writeCode(pipe.get(), SERVICE_CONTROL_STOP);
            // However long it takes: a second instance must not start while
            // the old one still holds the pipe. Each probe is a connection
            // without a code, which the old instance forwards nowhere.
            while (pipe) {
                pipe.reset();
                Sleep(kRestartPollMs);
                pipe.reset(openControlPipe(pipeName.get()));
            }
            result = startOwnInstance(logger, L"-x", serviceName, nullptr, CREATE_NEW_CONSOLE, SW_SHOW,
                                      L"Cannot start process, binary not found.");
        }
    }
    logger->logExit(L"CExecutor::doRestart", 0);
    return result;
}
