// The floor of a service that hosts a JVM library: the floor service plus the
// JNI calls pravik makes to run a service class, written straight down with
// nothing else. It loads the JVM library, creates the JVM on the service-main
// thread, registers the native setServiceState, finds serviceMain and
// serviceControl, calls serviceMain, which reports through the native, and
// shuts the JVM down when it returns; a control is handed to serviceControl
// on the dispatcher's thread, attached for the call. Against the minimal JVM
// library it shows what pravik costs apart from what the library costs.
//
// Arguments: the service name and the JVM library's path.
#include <windows.h>

#include <jni.h>

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
JavaVM* machine = nullptr;
const wchar_t* libraryPath = nullptr;

using CreateJavaVmProc = jint(JNICALL*)(JavaVM**, void**, void*);
using DefaultArgsProc = jint(JNICALL*)(void*);

void JNICALL setServiceState(JNIEnv*, jclass, jint state, jint accepted, jint exitCode, jint checkPoint,
                             jint waitHint) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = static_cast<DWORD>(state);
    status.dwControlsAccepted = static_cast<DWORD>(accepted);
    status.dwServiceSpecificExitCode = static_cast<DWORD>(exitCode);
    status.dwWin32ExitCode = exitCode != 0 ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR;
    status.dwCheckPoint = static_cast<DWORD>(checkPoint);
    status.dwWaitHint = static_cast<DWORD>(waitHint);
    SetServiceStatus(statusHandle, &status);
}

// As pravik does: the thread's environment (attached for the call when it has
// none), the class and method looked up, the call.
void WINAPI controlHandler(DWORD control) {
    JNIEnv* env = nullptr;
    bool attached = false;
    if (machine->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_2) != JNI_OK) {
        attached = machine->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) == JNI_OK;
        if (!attached) {
            return;
        }
    }
    jclass javaClass = env->FindClass("bench/Minimal");
    jmethodID method = env->GetStaticMethodID(javaClass, "serviceControl", "(I)V");
    env->CallStaticVoidMethod(javaClass, method, static_cast<jint>(control));
    if (attached) {
        machine->DetachCurrentThread();
    }
}

void reportStopped(DWORD exitCode) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = SERVICE_STOPPED;
    status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = exitCode;
    SetServiceStatus(statusHandle, &status);
}

void WINAPI serviceMain(DWORD argc, wchar_t** argv) {
    statusHandle = RegisterServiceCtrlHandlerW(argc > 0 ? argv[0] : L"", controlHandler);
    if (statusHandle == nullptr) {
        return;
    }
    HMODULE library = LoadLibraryExW(libraryPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const auto create = reinterpret_cast<CreateJavaVmProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "JNI_CreateJavaVM")));
    const auto defaults = reinterpret_cast<DefaultArgsProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "JNI_GetDefaultJavaVMInitArgs")));
    JavaVMInitArgs probe = {JNI_VERSION_1_2, 0, nullptr, JNI_FALSE};
    JavaVMInitArgs args = {JNI_VERSION_1_2, 0, nullptr, JNI_TRUE};
    JNIEnv* env = nullptr;
    if (create == nullptr || defaults == nullptr || defaults(&probe) != JNI_OK ||
        create(&machine, reinterpret_cast<void**>(&env), &args) != JNI_OK) {
        reportStopped(1);
        return;
    }
    jclass manager = env->FindClass("com/velsor/core/orb/PravikManager");
    JNINativeMethod natives[] = {{const_cast<char*>("setServiceState"), const_cast<char*>("(IIIII)V"),
                                  reinterpret_cast<void*>(&setServiceState)}};
    jclass serviceClass = env->FindClass("bench/Minimal");
    jmethodID main = env->GetStaticMethodID(serviceClass, "serviceMain", "([Ljava/lang/String;)V");
    jmethodID control = env->GetStaticMethodID(serviceClass, "serviceControl", "(I)V");
    jobjectArray arguments = env->NewObjectArray(0, env->FindClass("java/lang/String"), nullptr);
    if (manager == nullptr || env->RegisterNatives(manager, natives, 1) != 0 || main == nullptr ||
        control == nullptr) {
        reportStopped(2);
        return;
    }
    env->CallStaticVoidMethod(serviceClass, main, arguments);
    machine->DestroyJavaVM();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    libraryPath = argv[2];
    SERVICE_TABLE_ENTRYW table[] = {{argv[1], serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
