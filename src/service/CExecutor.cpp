#include "service/CExecutor.h"

#include <memory>

#include "common/HeapText.h"
#include "common/RegistryLayout.h"
#include "common/RegistryReaders.h"
#include "common/ServiceNames.h"
#include "common/SrwLockGuard.h"
#include "jvm/CJvm.h"
#include "jvm/JvmOwner.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "registry/StartSettings.h"
#include "service/CControlPipeServer.h"
#include "service/ConsoleEvents.h"
#include "service/ConsoleMode.h"
#include "service/ControlRelay.h"
#include "service/PreinitCommand.h"
#include "service/ServiceEnvironment.h"

namespace {

const DWORD kOwnProcessService = SERVICE_WIN32_OWN_PROCESS;

// The process's executor while execute runs, else null; the dispatcher's
// threads use it only under executorLock, held shared.
CExecutor* g_pExecutor = nullptr;
SRWLOCK executorLock = SRWLOCK_INIT;

}  // namespace

void WINAPI CExecutor::serviceMainEntry(DWORD /*argc*/, LPWSTR* /*argv*/) {
    g_pExecutor->startServiceMainThread();
}

DWORD WINAPI CExecutor::controlHandler(DWORD control, DWORD /*eventType*/, LPVOID /*eventData*/, LPVOID /*context*/) {
    CSrwSharedGuard held(&executorLock);
    if (g_pExecutor != nullptr) {
        CTraceScope trace(g_pExecutor->logger, L"CExecutor::serviceControlHandler");
        g_pExecutor->forwardControl(control);
    }
    // Every control has gone to Java, which answers it with its reports.
    return NO_ERROR;
}

// What the Java side reports and asks for, handed to the executor.
void CExecutor::reportJavaStatus(void* executor, DWORD currentState, DWORD controlsAccepted,
                                 DWORD serviceSpecificExitCode, DWORD checkPoint, DWORD waitHint) {
    static_cast<CExecutor*>(executor)->setServiceStatus(currentState, controlsAccepted, serviceSpecificExitCode,
                                                        checkPoint, waitHint);
}

int CExecutor::relayJavaControl(void* executor, const wchar_t* serviceName, DWORD code) {
    CExecutor* self = static_cast<CExecutor*>(executor);
    return relayControl(self->logger, self->serviceName, serviceName, code);
}

void CExecutor::javaExits(void* executor, int code) { static_cast<CExecutor*>(executor)->lifecycle.javaExiting(code); }

void CExecutor::forwardFromPipe(void* executor, DWORD code) { static_cast<CExecutor*>(executor)->forwardControl(code); }

void CExecutor::reportPreinitWait(void* executor, DWORD waitHint) {
    static_cast<CExecutor*>(executor)->recordStatus(SERVICE_START_PENDING, 0, 0, 0, waitHint, false);
}

const wchar_t* CExecutor::getStatusDescription(DWORD state) { return describeServiceState(state); }

const wchar_t* CExecutor::getCtrlCodeDescription(DWORD code) { return describeControlCode(code); }

CExecutor::CExecutor(CLogger* logger, const wchar_t* serviceName)
    : serviceName(serviceName),
      finishedEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      logger(logger),
      status(logger),
      events(logger, serviceName),
      lifecycle(logger, &status, &jvm, &capture, &events) {}

CExecutor::~CExecutor() { jvm.destroy(); }

void CExecutor::execute(int consoleMode) {
    CTraceScope trace(logger, L"CExecutor::execute");
    devMode = consoleMode;
    {
        CSrwLockGuard held(&executorLock);
        g_pExecutor = this;
    }
    registerJvmOwner(CJvmOwner{this, reportJavaStatus, relayJavaControl, javaExits});
    if (devMode == 0) {
        events.enable();
        // Before the dispatcher: a thread made while the service starts
        // holds the start up for milliseconds under Wine.
        lifecycle.startWatch();
        startSCMDispatcher();
    } else {
        startDevModeService();
    }
    // Java threads, the console's handler thread and the dispatcher outlive
    // the run: from here on none of them reaches this executor, and the calls
    // that had reached it have returned.
    clearJvmOwner();
    withdrawConsoleEvents();
    {
        CSrwLockGuard held(&executorLock);
        g_pExecutor = nullptr;
    }
}

void CExecutor::startSCMDispatcher() {
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(serviceName), serviceMainEntry}, {nullptr, nullptr}};
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
    // The extended form, whose controls include SERVICE_CONTROL_PRESHUTDOWN.
    const SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerExW(serviceName, controlHandler, nullptr);
    if (handle == nullptr) {
        logFailure(logger, L"Register of control handler failed!", GetLastError());
        events.startFailed(trace.exit(kControlHandlerNotRegistered));
        return;
    }
    status.attach(handle,
                  getRegDwValue(HKEY_LOCAL_MACHINE, kServicesKeyPath, serviceName, kTypeValue, kOwnProcessService));
    CStartSettings settings = readStartSettings();
    const wchar_t* directory = settings.workingDirectory.get();
    if (directory != nullptr && !SetCurrentDirectoryW(directory)) {
        const DWORD error = GetLastError();
        logger->logMessage(L"Cannot change to the working directory ", directory);
        logFailure(logger, L"SetCurrentDirectory failed ", error);
    }
    const int result = trace.exit(startServiceTask(settings));

    // The host is gone and the output is in its files by now: once
    // SERVICE_STOPPED is reported the dispatcher returns and the process may end.
    if (result != 0) {
        logger->logMessage(L"Service failed to start. ", static_cast<unsigned long>(result));
        events.startFailed(result);
    }
    recordStatus(SERVICE_STOPPED, 0, status.runExitCode(static_cast<DWORD>(result)), 0, 0, false);
}

void CExecutor::setServiceStatus(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode,
                                 DWORD checkPoint, DWORD waitHint) {
    CTraceScope trace(logger, L"CExecutor::setServiceStatus", static_cast<int>(currentState));
    trace.exit(static_cast<int>(currentState));  // the Exit line repeats the state
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
    const DWORD stopHint = fromJava && currentState == SERVICE_STOPPED ? lifecycle.stopWaitHint() : 0;
    return status.record(currentState, controlsAccepted, serviceSpecificExitCode, checkPoint, waitHint, fromJava,
                         stopHint);
}

void CExecutor::startDevModeService() {
    // Made before the Entry line (its constructor only stores), so that it stops after the Exit line.
    CControlPipeServer pipeServer(logger, serviceName, forwardFromPipe, this);
    CTraceScope trace(logger, L"CExecutor::startDevModeService");
    if (startConsolePipe(logger, serviceName, &pipeServer)) {
        lifecycle.startWatch();
        // The exit code of a console-mode run is 0 whatever the service's result.
        CStartSettings settings = readStartSettings();
        startServiceTask(settings);
    }
}

CStartSettings CExecutor::readStartSettings() {
    CStartSettings settings(serviceName);
    settings.expandEarlyReferences();
    lifecycle.setStopBudget(stopBudgetMs(settings.stopTimeout.get()));
    return settings;
}

int CExecutor::startServiceTask(CStartSettings& settings) {
    CTraceScope trace(logger, L"CExecutor::startServiceTask");
    // The service's variables first: the pre-initialisation command and the
    // JVM inherit them, and the settings' references used from here on see them.
    const int environment = applyServiceEnvironment(logger, serviceName);
    if (environment != 0) {
        lifecycle.finish();
        return trace.exit(environment);
    }
    settings.expandReferences();
    runPreinitCommand(logger, settings, devMode == 0 ? reportPreinitWait : nullptr, this);
    // Only a service lacks a console. The pre-initialisation command has run
    // by now: its output is its own (name a redirection in the command).
    if (devMode == 0) {
        capture.start(logger, settings, &events);
        // Without the watch nothing reports a slow start: the report goes now.
        if (!lifecycle.watching()) {
            status.reportQuietStart();
        }
    }
    auto owned = std::make_unique<CJvm>(logger);
    CJvm* host = owned.get();
    jvm.hold(std::move(owned));
    int code = host->initialize(settings);
    if (code == 0) {
        jvmLibrary = host->libraryPath();
        jvm.ready();
        offerConsoleEvents(logger, &jvm);
        code = host->runServiceMain(settings);
        lifecycle.javaReturned(code);
    }
    lifecycle.finish();
    return trace.exit(code);
}

void CExecutor::forwardControl(DWORD control) {
    const CJvmLease host = jvm.lease();
    if (host) {
        if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN ||
            control == SERVICE_CONTROL_PRESHUTDOWN) {
            lifecycle.stopAsked();
        }
        host->sendControlCommand(control);
    }
}
