#pragma once
// The executor runs one installed service: under the service control manager
// it connects to the dispatcher, runs the service on the thread the dispatcher starts for it,
// hands every control to the JVM host and reports the states Java sends,
// SERVICE_STOPPED only once the JVM and the output are done (CRunLifecycle.h).
// In console mode it runs the service on the calling thread instead.
#include <windows.h>

#include "common/HeapText.h"
#include "common/Win32Handle.h"
#include "service/CJvmHostSlot.h"
#include "service/CRunLifecycle.h"
#include "service/CStatusReporter.h"
#include "service/OutputCapture.h"
#include "service/ServiceEvents.h"

class CLogger;
class CStartSettings;

class CExecutor {
public:
    CExecutor(CLogger* logger, const wchar_t* serviceName);
    ~CExecutor();
    CExecutor(const CExecutor&) = delete;
    CExecutor& operator=(const CExecutor&) = delete;

    // 0: run under the service control manager until the service has ended;
    // otherwise in console mode.
    void execute(int devMode);

    // The names of service states and control codes that the trace shows.
    static const wchar_t* getStatusDescription(DWORD state);
    static const wchar_t* getCtrlCodeDescription(DWORD code);

private:
    // What the dispatcher, Java, the pipe server and the pre-initialisation
    // command call: plain functions that find the executor.
    static void WINAPI serviceMainEntry(DWORD argc, LPWSTR* argv);
    static DWORD WINAPI controlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);
    static void reportJavaStatus(void* executor, DWORD currentState, DWORD controlsAccepted,
                                 DWORD serviceSpecificExitCode, DWORD checkPoint, DWORD waitHint);
    static int relayJavaControl(void* executor, const wchar_t* serviceName, DWORD code);
    static void javaExits(void* executor, int code);
    static void forwardFromPipe(void* executor, DWORD code);
    static void reportPreinitWait(void* executor, DWORD waitHint);

    void startSCMDispatcher();
    void startDevModeService();
    void startServiceMainThread();
    void serviceMain();
    // The start's settings, read once for the whole start, the stop budget set from them.
    CStartSettings readStartSettings();
    // Sets the service's variables, then expands the settings' other references and runs the start.
    int startServiceTask(CStartSettings& settings);
    void forwardControl(DWORD control);
    // A state Java reports: recorded, reported and said in a message.
    void setServiceStatus(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode,
                          DWORD checkPoint, DWORD waitHint);
    // Records the status fields and reports them (service/CStatusReporter.h).
    // fromJava: a state Java reports, also said in a message. False when the
    // report was dropped.
    bool recordStatus(DWORD currentState, DWORD controlsAccepted, DWORD serviceSpecificExitCode, DWORD checkPoint,
                      DWORD waitHint, bool fromJava);

    int devMode = 0;
    const wchar_t* serviceName;
    // Declared before jvm: the JVM host goes first, the files it writes to after it.
    COutputCapture capture;
    CJvmHostSlot jvm;
    CKernelHandle finishedEvent;
    CLogger* logger;
    CStatusReporter status;
    CServiceEvents events;
    // The JVM library loaded, for the started event: written by the service
    // thread before Java runs, only read once Java reports.
    CHeapText jvmLibrary;
    // Declared last, so that its watch ends first: it uses the owners above.
    CRunLifecycle lifecycle;
};
