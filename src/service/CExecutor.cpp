#include "service/CExecutor.h"

#include "common/HeapText.h"
#include "common/RegistryLayout.h"
#include "common/RegistryReaders.h"
#include "common/SrwLockGuard.h"
#include "jvm/CJvm.h"
#include "jvm/JvmOwner.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "registry/ServiceParameters.h"
#include "service/PreinitCommand.h"
#include "service/ServiceEnvironment.h"

CExecutor* g_pExecutor = nullptr;
SRWLOCK g_executorLock = SRWLOCK_INIT;

namespace {

const DWORD kOwnProcessService = SERVICE_WIN32_OWN_PROCESS;

}  // namespace

void WINAPI g_serviceMain(DWORD argc, LPWSTR* argv) {
    (void)argc;
    (void)argv;
    g_pExecutor->startServiceMainThread();
}

DWORD WINAPI g_ControlHandler(DWORD control, DWORD /*eventType*/, LPVOID /*eventData*/, LPVOID /*context*/) {
    CSrwSharedGuard held(&g_executorLock);
    if (g_pExecutor != nullptr) {
        g_pExecutor->serviceControlHandler(control);
    }
    // Every control has gone to Java, which answers it with its reports.
    return NO_ERROR;
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

void javaExits(void* executor, int code) { static_cast<CExecutor*>(executor)->javaExiting(code); }

void quietStart(void* executor) { static_cast<CExecutor*>(executor)->reportQuietStart(); }

void stopBudgetSpent(void* executor) { static_cast<CExecutor*>(executor)->stopTimedOut(); }

}  // namespace

CExecutor::CExecutor(CLogger* logger, const wchar_t* serviceName)
    : serviceName(serviceName),
      logger(logger),
      status(logger),
      runWatch(quietStart, stopBudgetSpent, this),
      events(logger, serviceName) {
    finishedEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

CExecutor::~CExecutor() { jvm.destroy(); }

void CExecutor::execute(int consoleMode) {
    CTraceScope trace(logger, L"CExecutor::execute");
    devMode = consoleMode;
    {
        CSrwLockGuard held(&g_executorLock);
        g_pExecutor = this;
    }
    registerJvmOwner(CJvmOwner{this, reportJavaStatus, relayJavaControl, javaExits});
    if (devMode == 0) {
        events.enable();
        // Before the dispatcher: a thread made while the service starts
        // holds the start up for milliseconds under Wine.
        startRunWatch();
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
}

void CExecutor::startSCMDispatcher() {
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(serviceName), g_serviceMain}, {nullptr, nullptr}};
    CTraceScope trace(logger, L"CExecutor::startSCMDispatcher");
    if (!StartServiceCtrlDispatcherW(table)) {
        logFailure(logger, L"StartServiceCtrlDispatcher failed", GetLastError());
    } else {
        // The dispatcher returns once SERVICE_STOPPED is reported; the service
        // thread still writes its last lines. It ends when the service does.
        WaitForSingleObject(finishedEvent.get(), INFINITE);
    }
}

void CExecutor::startServiceMainThread() {
    {
        CTraceScope trace(logger, L"CExecutor::startServiceMainThread");
        // The service runs on the thread the SCM made for it: a thread of its own
        // would cost its creation and, under Wine, about 1 MiB of private memory.
        serviceMain();
    }
    // Last, after the Exit line: once it is set the executor and the logger may go.
    SetEvent(finishedEvent.get());
}

void CExecutor::serviceMain() {
    CTraceScope trace(logger, L"CExecutor::serviceMain");
    // The start reads the service's settings on this thread, one after another.
    const CParametersKeyScope settings(serviceName);
    // The extended form, whose controls include SERVICE_CONTROL_PRESHUTDOWN.
    const SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerExW(serviceName, g_ControlHandler, nullptr);
    if (handle == nullptr) {
        logFailure(logger, L"Register of control handler failed!", GetLastError());
        events.startFailed(trace.exit(kControlHandlerNotRegistered));
        return;
    }
    const DWORD serviceType =
        getRegDwValue(HKEY_LOCAL_MACHINE, kServicesKeyPath, serviceName, kTypeValue, kOwnProcessService);
    status.attach(handle, serviceType);
    CHeapText directory(getRegServiceParam(serviceName, kWorkingDirectoryValue, logger, 0, 1));
    if (directory && !SetCurrentDirectoryW(directory.get())) {
        const DWORD error = GetLastError();
        logger->logMessage(L"Cannot change to the working directory ", directory.get());
        logFailure(logger, L"SetCurrentDirectory failed ", error);
    }
    const int result = trace.exit(startServiceTask());

    // The host is gone and the output is in its files by now: once
    // SERVICE_STOPPED is reported the dispatcher returns and the process may end.
    if (result != 0) {
        logger->logMessage(L"Service failed to start. ", static_cast<unsigned long>(result));
        events.startFailed(result);
    }
    recordStatus(SERVICE_STOPPED, 0, status.runExitCode(static_cast<DWORD>(result)), 0, 0, false);
}

void CExecutor::serviceControlHandler(DWORD control) {
    CTraceScope trace(logger, L"CExecutor::serviceControlHandler");
    forwardControl(control);
}

void CExecutor::setServiceStatus(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode,
                                 DWORD checkPoint, DWORD waitHint) {
    CTraceScope trace(logger, L"CExecutor::setServiceStatus", static_cast<int>(currentState));
    // The Exit line repeats the state.
    trace.exit(static_cast<int>(currentState));
    if (recordStatus(currentState, controlsAccepted, serviceSpecificExitCode, checkPoint, waitHint, true)) {
        if (currentState == SERVICE_RUNNING) {
            events.started(jvmLibrary.get());
        } else if (currentState == SERVICE_STOPPED && serviceSpecificExitCode != 0) {
            events.stoppedWithCode(serviceSpecificExitCode);
        }
    }
}

bool CExecutor::recordStatus(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode,
                             DWORD checkPoint, DWORD waitHint, bool fromJava) {
    // The trace is written outside the reporter's lock: a trace file that is
    // slow to take must not hold up the status reports of other threads.
    if (fromJava) {
        logger->logMessage(L"Set service to state ", getStatusDescription(currentState));
    }
    const DWORD stopHint = fromJava && currentState == SERVICE_STOPPED ? stopWaitHint() : 0;
    return status.record(currentState, controlsAccepted, serviceSpecificExitCode, checkPoint, waitHint, fromJava,
                         stopHint);
}

void CExecutor::reportQuietStart() { status.reportQuietStart(); }

void CExecutor::startRunWatch() {
    if (!runWatch.start(configuredStopBudgetMs(serviceName, logger))) {
        logFailure(logger, L"Error creating the run watch thread, stops are not bounded.", GetLastError());
    }
}

int CExecutor::executePreinitCommand() {
    PreinitWaitReport reportWait = [](void* executor, DWORD waitHint) {
        static_cast<CExecutor*>(executor)->recordStatus(SERVICE_START_PENDING, 0, 0, 0, waitHint, false);
    };
    return runPreinitCommand(logger, serviceName, devMode == 0 ? reportWait : nullptr, this);
}

int CExecutor::startServiceTask() {
    CTraceScope trace(logger, L"CExecutor::startServiceTask");
    const int environment = applyServiceEnvironment(logger, serviceName);
    if (environment != 0) {
        finishRun();
        return trace.exit(environment);
    }
    executePreinitCommand();
    // Only a service lacks a console. The pre-initialisation command has run
    // by now: its output is its own (name a redirection in the command).
    if (devMode == 0) {
        capture.start(logger, serviceName, &events);
        // Without the watch nothing reports a slow start: the report goes now.
        if (!runWatch.watching()) {
            reportQuietStart();
        }
    }
    auto owned = std::make_unique<CJvm>(serviceName, logger);
    CJvm* host = owned.get();
    jvm.hold(std::move(owned));
    int code = host->initialize();
    if (code == 0) {
        jvmLibrary = host->libraryPath();
        jvm.ready();
        SetConsoleCtrlHandler(signal_handler, TRUE);
        code = host->runServiceMain();
        endJavaRun(code);
    }
    finishRun();
    return trace.exit(code);
}

void CExecutor::forwardControl(DWORD control) {
    const CJvmLease host = jvm.lease();
    if (host) {
        if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN ||
            control == SERVICE_CONTROL_PRESHUTDOWN) {
            runWatch.arm();
        }
        host->sendControlCommand(control);
    }
}
