// Service start, stop, control latency and memory of pravik hosting the
// minimal JVM, against two floors under the same service control manager in
// the same run: the bare service, and the bare service that makes pravik's
// JNI calls into the same library. Runs rotate between the subjects so that
// drift of the machine hits all alike. Starts and stops are timed in a loop of
// their own, with nothing else between them; controls and memory are measured
// afterwards on services that stay running.
//
// Arguments: pravik.exe, the floor service exe, the floor sender exe, the
// minimal JVM library, a scratch directory, the number of runs, the floor
// pipe server and client exes, the JVM floor service exe.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

const wchar_t* const kFloorName = L"PravikBenchFloor";
const wchar_t* const kPravikName = L"PravikBenchPravik";
const wchar_t* const kJvmFloorName = L"PravikBenchJvmFloor";
const DWORD kControlProbe = 200;

struct CSamples {
    std::vector<double> start;
    std::vector<double> stop;
    std::vector<double> control;
    std::vector<double> peakPrivate;
    std::vector<double> peakWorkingSet;
    double threads = -1;
    bool controlFailed = false;
};

struct CSubject {
    const wchar_t* name;
    std::wstring senderCommand;
    const wchar_t* probeEvent;
    CSamples samples;
};

// Runs a command line to its end; its exit code, or ~0 when it could not start.
DWORD runToEnd(std::wstring commandLine, DWORD timeoutMs, double* elapsedUntilEvent, HANDLE event) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const double began = nowMs();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process)) {
        return ~DWORD{0};
    }
    if (event != nullptr) {
        const DWORD waited = WaitForSingleObject(event, timeoutMs);
        *elapsedUntilEvent = waited == WAIT_OBJECT_0 ? nowMs() - began : -1;
    }
    WaitForSingleObject(process.hProcess, timeoutMs);
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

SERVICE_STATUS_PROCESS queryStatus(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status, &needed);
    return status;
}

// Polls until the state is visible; false after a minute.
bool waitForState(SC_HANDLE service, DWORD state) {
    const double began = nowMs();
    for (DWORD current = queryStatus(service).dwCurrentState; current != state;
         current = queryStatus(service).dwCurrentState) {
        if (nowMs() - began > 20000 || (current == SERVICE_STOPPED && state == SERVICE_RUNNING)) {
            return false;
        }
        Sleep(1);
    }
    return true;
}

// Threads of a process now, or -1.
double countThreads(DWORD processId) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    double count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == processId ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}

// One start and stop. Timed alone, the start runs until RUNNING shows and the
// stop until STOPPED shows; with extras, the running service also takes one
// control through its sender and has its memory read, and nothing is timed
// but the control.
bool runOnce(SC_HANDLE manager, CSubject& subject, bool extras) {
    SC_HANDLE service = OpenServiceW(manager, subject.name, SERVICE_ALL_ACCESS);
    if (service == nullptr) {
        std::fprintf(stderr, "OpenServiceW %ls: %lu\n", subject.name, GetLastError());
        return false;
    }
    bool ok = true;
    double began = nowMs();
    if (!StartServiceW(service, 0, nullptr)) {
        std::fprintf(stderr, "StartServiceW %ls: %lu\n", subject.name, GetLastError());
        ok = false;
    } else if (!waitForState(service, SERVICE_RUNNING)) {
        const SERVICE_STATUS_PROCESS status = queryStatus(service);
        DWORD exitCode = STILL_ACTIVE;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, status.dwProcessId);
        if (process != nullptr) {
            GetExitCodeProcess(process, &exitCode);
            CloseHandle(process);
        }
        std::fprintf(stderr, "%ls never ran: state %lu, service-specific code %lu, process %lu exit code %lu\n",
                     subject.name, status.dwCurrentState, status.dwServiceSpecificExitCode, status.dwProcessId,
                     exitCode);
        ok = false;
    }
    if (ok) {
        if (!extras) {
            subject.samples.start.push_back(nowMs() - began);
        }
        const DWORD processId = queryStatus(service).dwProcessId;
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, processId);

        if (extras && !subject.samples.controlFailed) {
            HANDLE probe = CreateEventW(nullptr, FALSE, FALSE, subject.probeEvent);
            double latency = -1;
            runToEnd(subject.senderCommand, 10000, &latency, probe);
            CloseHandle(probe);
            if (latency < 0) {
                subject.samples.controlFailed = true;
            } else {
                subject.samples.control.push_back(latency);
            }
        }
        PROCESS_MEMORY_COUNTERS_EX memory = {};
        memory.cb = sizeof memory;
        if (extras && process != nullptr &&
            GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
            subject.samples.peakPrivate.push_back(static_cast<double>(memory.PeakPagefileUsage) / 1024.0);
            subject.samples.peakWorkingSet.push_back(static_cast<double>(memory.PeakWorkingSetSize) / 1024.0);
            subject.samples.threads = countThreads(processId);
        }

        SERVICE_STATUS answer = {};
        began = nowMs();
        if (!ControlService(service, SERVICE_CONTROL_STOP, &answer) || !waitForState(service, SERVICE_STOPPED)) {
            std::fprintf(stderr, "stop of %ls failed: %lu\n", subject.name, GetLastError());
            ok = false;
        } else if (!extras) {
            subject.samples.stop.push_back(nowMs() - began);
        }
        if (process != nullptr) {
            WaitForSingleObject(process, 30000);
            CloseHandle(process);
        }
    }
    CloseServiceHandle(service);
    return ok;
}

// A floor service: its exe, its name and what follows.
bool installFloor(SC_HANDLE manager, const wchar_t* name, const wchar_t* floorExe, const std::wstring& more) {
    const std::wstring imagePath = L"\"" + std::wstring(floorExe) + L"\" " + name + more;
    SC_HANDLE service = CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, imagePath.c_str(), nullptr,
                                       nullptr, nullptr, nullptr, nullptr);
    if (service == nullptr) {
        std::fprintf(stderr, "CreateServiceW %ls: %lu\n", name, GetLastError());
        return false;
    }
    CloseServiceHandle(service);
    return true;
}

bool installPravik(const wchar_t* pravikExe, const wchar_t* minimalJvm, const std::wstring& directory) {
    const std::wstring configFile = directory + L"\\bench-service.cfg";
    FILE* file = _wfopen(configFile.c_str(), L"wb");
    if (file == nullptr) {
        return false;
    }
    std::fprintf(file, "serviceName=%ls\r\nserviceDisplayName=%ls\r\nipravikClass=bench.Minimal\r\njvmDLL=%ls\r\n",
                 kPravikName, kPravikName, minimalJvm);
    std::fclose(file);
    const DWORD exitCode =
        runToEnd(L"\"" + std::wstring(pravikExe) + L"\" -i \"" + configFile + L"\"", 60000, nullptr, nullptr);
    if (exitCode != 0) {
        std::fprintf(stderr, "pravik -i ended with %lu\n", exitCode);
    }
    return exitCode == 0;
}

void removeService(SC_HANDLE manager, const wchar_t* name) {
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_ALL_ACCESS);
    if (service != nullptr) {
        DeleteService(service);
        CloseServiceHandle(service);
    }
}

struct CConsoleSubject {
    std::wstring pipeName;
    std::wstring serverCommand;
    std::wstring senderCommand;
    std::wstring stopCommand;
    const wchar_t* probeEvent;
    HANDLE probe = nullptr;
    HANDLE server = nullptr;
    std::vector<double> samples;
    std::vector<double> inProcess;
    bool ready = false;
};

HANDLE startProcess(std::wstring commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

// Starts the listener and sends codes until one gets through: then its pipe is up.
void bringUp(CConsoleSubject& subject) {
    subject.probe = CreateEventW(nullptr, FALSE, FALSE, subject.probeEvent);
    subject.server = startProcess(subject.serverCommand);
    for (int attempt = 0; subject.server != nullptr && attempt < 40 && !subject.ready; ++attempt) {
        double latency = -1;
        runToEnd(subject.senderCommand, 2000, &latency, subject.probe);
        subject.ready = latency >= 0;
        if (!subject.ready) {
            Sleep(250);
        }
    }
}

void sendOnce(CConsoleSubject& subject) {
    double latency = -1;
    runToEnd(subject.senderCommand, 10000, &latency, subject.probe);
    if (latency < 0) {
        subject.ready = false;
    } else {
        subject.samples.push_back(latency);
    }
}

void takeDown(CConsoleSubject& subject) {
    if (subject.server != nullptr) {
        runToEnd(subject.stopCommand, 10000, nullptr, nullptr);
        if (WaitForSingleObject(subject.server, 15000) != WAIT_OBJECT_0) {
            std::fprintf(stderr, "a console listener did not end on code 1\n");
            TerminateProcess(subject.server, 1);
        }
        CloseHandle(subject.server);
    }
    if (subject.probe != nullptr) {
        CloseHandle(subject.probe);
    }
}

// "-s NAME 200" to pravik in console mode ("-x") against the floor pipe client
// and server; pending while no console-mode instance answers.
// The pipe alone: this process connects and writes the code as pravik's
// sender does, and the time runs until the code has arrived.
void sendInProcess(CConsoleSubject& subject) {
    const double began = nowMs();
    HANDLE pipe = CreateFileW(subject.pipeName.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        subject.ready = false;
        return;
    }
    const DWORD code = 200;
    DWORD written = 0;
    WriteFile(pipe, &code, sizeof code, &written, nullptr);
    CloseHandle(pipe);
    if (WaitForSingleObject(subject.probe, 10000) != WAIT_OBJECT_0) {
        subject.ready = false;
        return;
    }
    subject.inProcess.push_back(nowMs() - began);
    // The server goes back to listening before the next client comes.
    Sleep(5);
}

void measureConsoleRoute(const wchar_t* pravikExe, const wchar_t* pipeServer, const wchar_t* pipeClient, int runs) {
    const std::wstring pravik = L"\"" + std::wstring(pravikExe) + L"\" ";
    const std::wstring floorPipe = L"\\\\.\\pipe\\PravikBenchFloorPipe";
    const std::wstring client = L"\"" + std::wstring(pipeClient) + L"\" " + floorPipe;
    CConsoleSubject floor{floorPipe, L"\"" + std::wstring(pipeServer) + L"\" " + floorPipe, client + L" 200",
                          client + L" 1", L"PravikBenchFloorPipe200", nullptr, nullptr, {}, {}, false};
    CConsoleSubject console{L"\\\\.\\pipe\\" + std::wstring(kPravikName) + L"_PravikPipe",
                            pravik + L"-x " + kPravikName, pravik + L"-s " + kPravikName + L" 200",
                            pravik + L"-s " + kPravikName + L" 1", L"PravikMinimalJvmControl200", nullptr, nullptr,
                            {}, {}, false};
    bringUp(floor);
    bringUp(console);
    for (int run = 0; run < runs && floor.ready && console.ready; ++run) {
        sendOnce(run % 2 == 0 ? floor : console);
        sendOnce(run % 2 == 0 ? console : floor);
    }
    for (int run = 0; run < runs * 3 && floor.ready && console.ready; ++run) {
        sendInProcess(run % 2 == 0 ? floor : console);
        sendInProcess(run % 2 == 0 ? console : floor);
    }
    takeDown(console);
    takeDown(floor);
    printFigure("control 200 through the pipe, console-mode instance (ms)", median(floor.samples),
                console.ready ? median(console.samples) : -1, "ms");
    printFigure("control 200 through the pipe, sent from the bench (ms)", median(floor.inProcess),
                console.ready ? median(console.inProcess) : -1, "ms");
}

DWORD WINAPI idleThread(void*) {
    Sleep(INFINITE);
    return 0;
}

// What one more idle thread adds to this process's private bytes, in KiB: the
// platform's price of a thread's stack and bookkeeping, measured here so that
// memory figures can be read apart from the threads a design needs.
double privateBytesPerThread() {
    const int threads = 8;
    PROCESS_MEMORY_COUNTERS_EX before = {};
    before.cb = sizeof before;
    PROCESS_MEMORY_COUNTERS_EX after = before;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&before), sizeof before);
    for (int index = 0; index < threads; ++index) {
        // They idle until the benchmark ends.
        HANDLE thread = CreateThread(nullptr, 0, idleThread, nullptr, 0, nullptr);
        if (thread == nullptr) {
            return -1;
        }
        CloseHandle(thread);
    }
    Sleep(200);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&after), sizeof after);
    return static_cast<double>(after.PagefileUsage - before.PagefileUsage) / 1024.0 / threads;
}

void printFigures(const CSubject& floor, const CSubject& jvmFloor, const CSubject& pravik) {
    printFigure("service start (ms)", median(floor.samples.start), median(pravik.samples.start), "ms");
    printFigure("service start against the JVM floor (ms)", median(jvmFloor.samples.start),
                median(pravik.samples.start), "ms");
    printFigure("service stop (ms)", median(floor.samples.stop), median(pravik.samples.stop), "ms");
    printFigure("service stop against the JVM floor (ms)", median(jvmFloor.samples.stop), median(pravik.samples.stop),
                "ms");
    printFigure("control 200 through the SCM, installed service (ms)", median(floor.samples.control),
                pravik.samples.controlFailed ? -1 : median(pravik.samples.control), "ms");
    printFigure("peak private bytes of the service process (KiB)", median(floor.samples.peakPrivate),
                median(pravik.samples.peakPrivate), "KiB");
    printFigure("peak working set of the service process (KiB)", median(floor.samples.peakWorkingSet),
                median(pravik.samples.peakWorkingSet), "KiB");
    printFigure("threads of the service process", floor.samples.threads, pravik.samples.threads, "");
    const double perThread = privateBytesPerThread();
    printFigure("private bytes one idle thread adds here (KiB)", -1, perThread, "KiB");
    if (perThread >= 0 && floor.samples.threads >= 0 && pravik.samples.threads >= 0) {
        printFigure("peak private bytes apart from thread stacks (KiB)",
                    median(floor.samples.peakPrivate) - floor.samples.threads * perThread,
                    median(pravik.samples.peakPrivate) - pravik.samples.threads * perThread, "KiB");
        printFigure("peak working set apart from thread stacks (KiB)",
                    median(floor.samples.peakWorkingSet) - floor.samples.threads * perThread,
                    median(pravik.samples.peakWorkingSet) - pravik.samples.threads * perThread, "KiB");
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 10) {
        std::fprintf(stderr, "usage: servicebench pravik.exe floor.exe floorsender.exe jvm-minimal.dll dir runs "
                             "floorpipeserver.exe floorpipeclient.exe floorjvmservice.exe\n");
        return 2;
    }
    const int runs = static_cast<int>(std::wcstol(argv[6], nullptr, 10));
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) {
        std::fprintf(stderr, "OpenSCManagerW: %lu\n", GetLastError());
        return 1;
    }
    for (const wchar_t* name : {kFloorName, kJvmFloorName, kPravikName}) {
        removeService(manager, name);
    }
    int result = 0;
    if (!installFloor(manager, kFloorName, argv[2], L"") ||
        !installFloor(manager, kJvmFloorName, argv[9], L" \"" + std::wstring(argv[4]) + L"\"") ||
        !installPravik(argv[1], argv[4], argv[5])) {
        result = 1;
    }
    CSubject floor{kFloorName, L"\"" + std::wstring(argv[3]) + L"\" " + kFloorName + L" 200",
                   L"PravikBenchFloorControl200", {}};
    CSubject jvmFloor{kJvmFloorName, L"", L"", {}};
    CSubject pravik{kPravikName, L"\"" + std::wstring(argv[1]) + L"\" -s " + kPravikName + L" 200",
                    L"PravikMinimalJvmControl200", {}};
    CSubject* const subjects[] = {&floor, &jvmFloor, &pravik};
    // One unmeasured round each: the first start of an image loads it from disk.
    for (CSubject* subject : subjects) {
        if (result == 0 && !runOnce(manager, *subject, false)) {
            result = 1;
        }
        subject->samples = {};
    }
    // Each run starts with the next subject, so that each follows each alike.
    for (int run = 0; run < runs && result == 0; ++run) {
        for (int turn = 0; turn < 3 && result == 0; ++turn) {
            if (!runOnce(manager, *subjects[(run + turn) % 3], false)) {
                result = 1;
            }
        }
    }
    for (int run = 0; run < runs && result == 0; ++run) {
        CSubject& first = run % 2 == 0 ? floor : pravik;
        CSubject& second = run % 2 == 0 ? pravik : floor;
        if (!runOnce(manager, first, true) || !runOnce(manager, second, true)) {
            result = 1;
        }
    }
    if (result == 0) {
        printFigures(floor, jvmFloor, pravik);
        measureConsoleRoute(argv[1], argv[7], argv[8], runs);
    }
    for (const wchar_t* name : {kFloorName, kJvmFloorName, kPravikName}) {
        removeService(manager, name);
    }
    CloseServiceHandle(manager);
    return result;
}
