#pragma once
// The executor runs one installed service: under the service control manager
// it connects to the dispatcher, runs the service on the thread the dispatcher starts for it,
// hands every control to the JVM host and reports the states Java sends.
#include <windows.h>

#include <memory>

#include "common/ExitCodes.h"
#include "common/HeapText.h"
#include "common/Win32Handle.h"
#include "service/CRunWatch.h"
#include "service/OutputCapture.h"
#include "service/ServiceEvents.h"

class CJvm;
class CLogger;

class CExecutor {
public:
    CExecutor(CLogger* logger, const wchar_t* serviceName);
    ~CExecutor();
    CExecutor(const CExecutor&) = delete;
    CExecutor& operator=(const CExecutor&) = delete;

    // 0: run under the service control manager until the service has ended.
    void execute(int devMode);
    void startServiceMainThread();
    void serviceMain();
    void serviceControlHandler(DWORD control);
    void setServiceStatus(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode,
                          DWORD checkPoint, DWORD waitHint);
    // Java called System.exit: the last report, before the JVM ends the process.
    void javaExiting(int code);
    // A START_PENDING report unless some report has been made.
    void reportQuietStart();
    // The stop budget ran out: a thread dump, STOPPED with 26, the end of the process.
    void stopTimedOut();
    // The executor's own SERVICE_STOPPED report with this service-specific code.
    void reportStopped(DWORD serviceSpecificExitCode);
    // The same when the process ends right after: waits for the report at most a few seconds.
    void reportStoppedBeforeTheEnd(DWORD serviceSpecificExitCode);
    // Offers a console event to the Java side; nonzero when it was handled.
    int consoleSignalHandler(DWORD event);
    // The relay for the Java side: starts a hidden sender instance of this
    // program for the service (this one when null). 1 when it was started.
    int sendControlSignal(const wchar_t* serviceName, DWORD code);

    static const wchar_t* getStatusDescription(DWORD state);
    static const wchar_t* getCtrlCodeDescription(DWORD code);

protected:
    void startSCMDispatcher();
    void startDevModeService();
    int startServiceTask();
    int executePreinitCommand();

    // Forwarding reaches the JVM host only while it is ready (its JVM created,
    // its destruction not begun); the host is not destroyed while a
    // forwarding is in progress. acquireReadyJvm answers the host or null; a
    // host answered must be given back with releaseJvm.
    CJvm* acquireReadyJvm();
    void releaseJvm();
    void forwardControl(DWORD control);
    // Starts the run's watch with StopTimeout as the stop budget, saying so when it cannot.
    void startRunWatch();
    // Ends readiness, waits for the forwardings in progress, then destroys the host.
    void destroyJvmHost();

    // Records the status fields and reports them (under the SCM only);
    // announce: also say so in a message, as for the states Java reports.
    // False when the report came after STOPPED and was dropped.
    bool recordStatus(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode, DWORD checkPoint,
                      DWORD waitHint, bool announce);

private:
    // Sets the status fields and reports them (under the SCM only); with
    // statusLock held. The report's error, or NO_ERROR.
    DWORD reportLocked(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode, DWORD checkPoint,
                       DWORD waitHint);

    int devMode = 0;
    const wchar_t* serviceName;
    // Declared before jvm: the JVM host goes first, the files it writes to after it.
    COutputCapture capture;
    std::unique_ptr<CJvm> jvm;
    CKernelHandle finishedEvent;
    SERVICE_STATUS_HANDLE statusHandle = nullptr;  // under statusLock
    SERVICE_STATUS serviceStatus = {};
    CLogger* logger;

    // The start's first report when Java is slow to make one, and the stop
    // budget: from a forwarded stop, shutdown or preshutdown (or the return of
    // serviceMain) to the end of the JVM.
    CRunWatch runWatch;
    CServiceEvents events;
    // The JVM library loaded, for the started event: written by the service
    // thread before Java runs, only read once Java reports.
    CHeapText jvmLibrary;

    SRWLOCK jvmLock = SRWLOCK_INIT;
    CONDITION_VARIABLE forwardingsDone = CONDITION_VARIABLE_INIT;
    bool jvmReady = false;
    int forwardings = 0;
    // Java threads and the service thread update serviceStatus field by field.
    SRWLOCK statusLock = SRWLOCK_INIT;
    bool stoppedReported = false;  // under statusLock
    bool reported = false;         // under statusLock: any report made
    bool quietStartDue = false;    // under statusLock: the watch's report waits for the handler
};

// The process's executor while execute runs, else null; the dispatcher's and
// the console's threads use it only under g_executorLock, held shared.
extern CExecutor* g_pExecutor;
extern SRWLOCK g_executorLock;

void WINAPI g_serviceMain(DWORD argc, LPWSTR* argv);
DWORD WINAPI g_ControlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);
BOOL WINAPI signal_handler(DWORD event);
