#include "service/CExecutor.h"

#include "common/HeapText.h"
#include "common/RegistryLayout.h"
#include "common/RegistryReaders.h"
#include "common/SrwLockGuard.h"
#include "jvm/CJvm.h"
#include "jvm/JvmOwner.h"
#include "log/CLogger.h"
#include "registry/ServiceParameters.h"
#include "service/PreinitCommand.h"

CExecutor* g_pExecutor = nullptr;
SRWLOCK g_executorLock = SRWLOCK_INIT;

namespace {

const DWORD kOwnProcessService = SERVICE_WIN32_OWN_PROCESS;
// Wait hint of the report that opens the start.
const DWORD kStartPendingHint = 2000;

}  // namespace

void WINAPI g_serviceMain(DWORD argc, LPWSTR* argv) {
    (void)argc;
    (void)argv;
    g_pExecutor->startServiceMainThread();
}

void WINAPI g_ControlHandler(DWORD control) {
    CSrwSharedGuard held(&g_executorLock);
    if (g_pExecutor != nullptr) {
        g_pExecutor->serviceControlHandler(control);
    }
}

namespace {

// What the Java side reports and asks for, handed to the executor.
void reportJavaStatus(void* executor, DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode,
                      DWORD checkPoint, DWORD waitHint) {
    static_cast<CExecutor*>(executor)->setServiceStatus(currentState, controlsAccepted, serviceSpecificExitCode,
                                                        checkPoint, waitHint);
}

int relayJavaControl(void* executor, const wchar_t* serviceName, DWORD code) {
    return static_cast<CExecutor*>(executor)->sendControlSignal(serviceName, code);
}

}  // namespace

CExecutor::CExecutor(CLogger* logger, const wchar_t* serviceName) : serviceName(serviceName), logger(logger) {
    finishedEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

CExecutor::~CExecutor() { destroyJvmHost(); }

void CExecutor::execute(int consoleMode) {
    logger->logEntry(L"CExecutor::execute");
    devMode = consoleMode;
    {
        CSrwLockGuard held(&g_executorLock);
        g_pExecutor = this;
    }
    registerJvmOwner(CJvmOwner{this, reportJavaStatus, relayJavaControl});
    if (devMode == 0) {
        startSCMDispatcher();
    } else {
        startDevModeService();
    }
    // Java threads, the console's handler thread and the dispatcher outlive
    // the run: from here on none of them reaches this executor, and the calls
    // that had reached it have returned.
    clearJvmOwner();
    SetConsoleCtrlHandler(signal_handler, FALSE);
    {
        CSrwLockGuard held(&g_executorLock);
        g_pExecutor = nullptr;
    }
    logger->logExit(L"CExecutor::execute", 0);
}

void CExecutor::startSCMDispatcher() {
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(serviceName), g_serviceMain}, {nullptr, nullptr}};
    logger->logEntry(L"CExecutor::startSCMDispatcher");
    if (!StartServiceCtrlDispatcherW(table)) {
        logFailure(logger, L"StartServiceCtrlDispatcher failed", GetLastError());
    } else {
        // The dispatcher returns once SERVICE_STOPPED is reported; the service
        // thread still writes its last lines. It ends when the service does.
        WaitForSingleObject(finishedEvent.get(), INFINITE);
    }
    logger->logExit(L"CExecutor::startSCMDispatcher", 0);
}

void CExecutor::startServiceMainThread() {
    logger->logEntry(L"CExecutor::startServiceMainThread");
    // The service runs on the thread the SCM made for it: a thread of its own
    // would cost its creation and, under Wine, about 1 MiB of private memory.
    serviceMain();
    logger->logExit(L"CExecutor::startServiceMainThread", 0);
    // Last: once it is set the executor and the logger may go.
    SetEvent(finishedEvent.get());
}

void CExecutor::serviceMain() {
    logger->logEntry(L"CExecutor::serviceMain");
    int result = 0;
    statusHandle = RegisterServiceCtrlHandlerW(serviceName, g_ControlHandler);
    if (statusHandle == nullptr) {
        logFailure(logger, L"Register of control handler failed!", GetLastError());
        result = kControlHandlerNotRegistered;
    } else {
        const DWORD serviceType =
            getRegDwValue(HKEY_LOCAL_MACHINE, kServicesKeyPath, serviceName, kTypeValue, kOwnProcessService);
        {
            CSrwLockGuard held(&statusLock);
            serviceStatus.dwServiceType = serviceType;
            serviceStatus.dwWin32ExitCode = NO_ERROR;
        }
        // Some service control managers (Wine's) take a first report of
        // SERVICE_STOPPED for a start that never happened and discard its
        // exit code; opening with START_PENDING keeps a start failure's code.
        recordStatus(SERVICE_START_PENDING, 0, 0, 0, kStartPendingHint, false);

        CHeapText directory(getRegServiceParam(serviceName, kWorkingDirectoryValue, logger, 0, 1));
        if (directory && !SetCurrentDirectoryW(directory.get())) {
            const DWORD error = GetLastError();
            logger->logMessage(L"Cannot change to the working directory ", directory.get());
            logFailure(logger, L"SetCurrentDirectory failed ", error);
        }
        result = startServiceTask();

        // The host is gone by now: once SERVICE_STOPPED is reported the
        // dispatcher returns and the process may end.
        if (result != 0) {
            logger->logMessage(L"Service failed to start. ", static_cast<unsigned long>(result));
        }
        recordStatus(SERVICE_STOPPED, 0, static_cast<DWORD>(result), 0, 0, false);
    }
    logger->logExit(L"CExecutor::serviceMain", result);
}

void CExecutor::serviceControlHandler(DWORD control) {
    logger->logEntry(L"CExecutor::serviceControlHandler");
    forwardControl(control);
    logger->logExit(L"CExecutor::serviceControlHandler", 0);
}

void CExecutor::setServiceStatus(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode,
                                 DWORD checkPoint, DWORD waitHint) {
    logger->logEntry(L"CExecutor::setServiceStatus", static_cast<int>(currentState));
    recordStatus(currentState, controlsAccepted, serviceSpecificExitCode, checkPoint, waitHint, true);
    logger->logExit(L"CExecutor::setServiceStatus", static_cast<int>(currentState));
}

void CExecutor::recordStatus(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode,
                             DWORD checkPoint, DWORD waitHint, bool announce) {
    // The trace is written outside statusLock: a trace file that is slow to
    // take must not hold up the status reports of other threads.
    if (announce) {
        logger->logMessage(L"Set service to state ", getStatusDescription(currentState));
    }
    DWORD failure = NO_ERROR;
    {
        CSrwLockGuard held(&statusLock);
        // STOPPED is final: the SCM has let the service go, and a later report
        // (a Java thread's, or the executor's after Java's own) would revive it.
        if (stoppedReported) {
            return;
        }
        serviceStatus.dwCurrentState = currentState;
        serviceStatus.dwControlsAccepted = controlsAccepted;
        serviceStatus.dwServiceSpecificExitCode = serviceSpecificExitCode;
        // Windows reads the service-specific code only behind this one.
        serviceStatus.dwWin32ExitCode = serviceSpecificExitCode != 0 ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR;
        serviceStatus.dwCheckPoint = checkPoint;
        serviceStatus.dwWaitHint = waitHint;
        stoppedReported = currentState == SERVICE_STOPPED;
        if (devMode == 0 && !SetServiceStatus(statusHandle, &serviceStatus)) {
            failure = GetLastError();
        }
    }
    if (failure != NO_ERROR) {
        logFailure(logger, L"SetServiceStatus failed ", failure);
    }
}

int CExecutor::executePreinitCommand() {
    PreinitWaitReport reportWait = [](void* executor, DWORD waitHint) {
        static_cast<CExecutor*>(executor)->recordStatus(SERVICE_START_PENDING, 0, 0, 0, waitHint, false);
    };
    return runPreinitCommand(logger, serviceName, devMode == 0 ? reportWait : nullptr, this);
}

int CExecutor::startServiceTask() {
    logger->logEntry(L"CExecutor::startServiceTask");
    executePreinitCommand();
    // Only a service lacks a console. The pre-initialisation command has run
    // by now: its output is its own (name a redirection in the command).
    if (devMode == 0) {
        capture.start(logger, serviceName);
    }
    CJvm* host = new CJvm(serviceName, logger);
    {
        CSrwLockGuard held(&jvmLock);
        jvm.reset(host);
    }
    int code = host->initialize();
    if (code == 0) {
        {
            CSrwLockGuard held(&jvmLock);
            jvmReady = true;
        }
        SetConsoleCtrlHandler(signal_handler, TRUE);
        code = host->runServiceMain();
    }
    destroyJvmHost();
    logger->logExit(L"CExecutor::startServiceTask", code);
    return code;
}

CJvm* CExecutor::acquireReadyJvm() {
    CSrwLockGuard held(&jvmLock);
    CJvm* host = jvmReady ? jvm.get() : nullptr;
    if (host != nullptr) {
        ++forwardings;
    }
    return host;
}

void CExecutor::releaseJvm() {
    CSrwLockGuard held(&jvmLock);
    if (--forwardings == 0) {
        WakeAllConditionVariable(&forwardingsDone);
    }
}

void CExecutor::forwardControl(DWORD control) {
    CJvm* host = acquireReadyJvm();
    if (host != nullptr) {
        host->sendControlCommand(control);
        releaseJvm();
    }
}

void CExecutor::destroyJvmHost() {
    // Declared before the guard, so that the host is destroyed after the lock is released.
    std::unique_ptr<CJvm> host;
    CSrwLockGuard held(&jvmLock);
    jvmReady = false;
    while (forwardings > 0) {
        SleepConditionVariableSRW(&forwardingsDone, &jvmLock, INFINITE, 0);
    }
    host = std::move(jvm);
}
