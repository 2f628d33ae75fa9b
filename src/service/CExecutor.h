#pragma once
// The executor runs one installed service: under the service control manager
// it connects to the dispatcher, runs the service on the thread the dispatcher starts for it,
// hands every control to the JVM host and reports the states Java sends,
// SERVICE_STOPPED only once the JVM and the output are done (RunEnd.cpp).
#include <windows.h>

#include <atomic>
#include <memory>

#include "common/ExitCodes.h"
#include "common/HeapText.h"
#include "common/Win32Handle.h"
#include "service/CJvmHostSlot.h"
#include "service/CRunWatch.h"
#include "service/CStatusReporter.h"
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
    // The stop budget ran out: a thread dump, STOPPED with 26, the end of the
    // process; after a failed start, endFailedStart instead.
    void stopTimedOut();
    // The JVM did not shut down soon after a failed start: STOPPED with its code, the end of the process.
    void endFailedStart(DWORD serviceSpecificExitCode);
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

    void forwardControl(DWORD control);
    // Starts the run's watch with StopTimeout as the stop budget, saying so when it cannot.
    void startRunWatch();
    // serviceMain has returned with pravik's result: the stop budget runs (cut
    // short after a failed start) and the SCM sees the stop go on.
    void endJavaRun(int result);
    // The JVM host goes and the output reaches its files, within the budget; then the watch ends.
    void finishRun();

    // Records the status fields and reports them (service/CStatusReporter.h).
    // fromJava: a state Java reports, also said in a message. False when the
    // report was dropped.
    bool recordStatus(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode, DWORD checkPoint,
                      DWORD waitHint, bool fromJava);
    // A STOP_PENDING report of the executor's with a higher check point.
    void reportStopProgress();
    // The wait hint of a report of the stop: what the budget has left and the end's own patience.
    DWORD stopWaitHint();

private:
    int devMode = 0;
    const wchar_t* serviceName;
    // Declared before jvm: the JVM host goes first, the files it writes to after it.
    COutputCapture capture;
    CJvmHostSlot jvm;
    CKernelHandle finishedEvent;
    CLogger* logger;
    CStatusReporter status;

    // The start's first report when Java is slow to make one, and the stop
    // budget: from a forwarded stop, shutdown or preshutdown (or the return of
    // serviceMain) to the JVM's end and the last output in its files.
    CRunWatch runWatch;
    CServiceEvents events;
    // The JVM library loaded, for the started event: written by the service
    // thread before Java runs, only read once Java reports.
    CHeapText jvmLibrary;

    // A failed start's exit code once serviceMain has returned, else 0: set
    // before the watch is armed for it, read by the watch's handler.
    std::atomic<DWORD> failedStartCode{0};
};

// The process's executor while execute runs, else null; the dispatcher's and
// the console's threads use it only under g_executorLock, held shared.
extern CExecutor* g_pExecutor;
extern SRWLOCK g_executorLock;

void WINAPI g_serviceMain(DWORD argc, LPWSTR* argv);
DWORD WINAPI g_ControlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);
BOOL WINAPI signal_handler(DWORD event);
