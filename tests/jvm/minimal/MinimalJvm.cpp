// A JVM library that runs no Java at all: it answers just the JNI calls that
// pravik makes to host a service, and its service class reports RUNNING at
// once, waits for SERVICE_CONTROL_STOP and reports STOPPED. With it a
// measurement of pravik sees pravik's own cost, not a JVM's.
//
// User control 200 sets the named event "PravikMinimalJvmControl200" when it
// exists, so that a sender can tell when the code arrived. Any JNI function
// outside that set ends the process: a run that needed more
// than this library offers must not pass for a measurement; the exit code is
// 9700 plus the function's slot in its table.
#include <windows.h>

#include <jni.h>

#include <cstdarg>
#include <cstring>
#include <utility>

namespace {

const jint kServiceStopped = 1;
const jint kServiceStopPending = 3;
const jint kServiceRunning = 4;
const jint kAcceptStop = 1;
const jint kControlStop = 1;
const jint kControlShutdown = 5;
const jint kControlProbe = 200;

using SetServiceStateProc = void(JNICALL*)(JNIEnv*, jclass, jint, jint, jint, jint, jint);

// Distinct non-null handles for the few objects the host asks for.
char serviceClassObject;
char managerClassObject;
char stringClassObject;
char someObject;
char serviceMainMethod;
char serviceControlMethod;

JNINativeInterface_ functions;
JNIInvokeInterface_ invokeFunctions;
JNIEnv_ environment;
JavaVM_ machine;
bool created = false;

SetServiceStateProc setServiceState = nullptr;
HANDLE stopEvent = nullptr;

template <std::size_t Slot>
void JNICALL unsupported() {
    ExitProcess(9700 + Slot);
}

jclass JNICALL findClass(JNIEnv*, const char* name) {
    if (std::strcmp(name, "com/velsor/core/orb/PravikManager") == 0) {
        return reinterpret_cast<jclass>(&managerClassObject);
    }
    if (std::strcmp(name, "java/lang/String") == 0) {
        return reinterpret_cast<jclass>(&stringClassObject);
    }
    return reinterpret_cast<jclass>(&serviceClassObject);
}

jmethodID JNICALL getStaticMethodId(JNIEnv*, jclass, const char* name, const char*) {
    if (std::strcmp(name, "serviceMain") == 0) {
        return reinterpret_cast<jmethodID>(&serviceMainMethod);
    }
    if (std::strcmp(name, "serviceControl") == 0) {
        return reinterpret_cast<jmethodID>(&serviceControlMethod);
    }
    return nullptr;
}

jint JNICALL registerNatives(JNIEnv*, jclass, const JNINativeMethod* methods, jint count) {
    for (jint index = 0; index < count; ++index) {
        if (std::strcmp(methods[index].name, "setServiceState") == 0) {
            setServiceState = reinterpret_cast<SetServiceStateProc>(methods[index].fnPtr);
        }
    }
    return setServiceState != nullptr ? 0 : -1;
}

void report(JNIEnv* env, jint state, jint accepted) {
    setServiceState(env, reinterpret_cast<jclass>(&managerClassObject), state, accepted, 0, 0, 0);
}

void serviceMain(JNIEnv* env) {
    report(env, kServiceRunning, kAcceptStop);
    WaitForSingleObject(stopEvent, INFINITE);
    report(env, kServiceStopped, 0);
}

void serviceControl(JNIEnv* env, jint control) {
    if (control == kControlStop || control == kControlShutdown) {
        report(env, kServiceStopPending, 0);
        SetEvent(stopEvent);
    } else if (control == kControlProbe) {
        HANDLE probe = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"PravikMinimalJvmControl200");
        if (probe != nullptr) {
            SetEvent(probe);
            CloseHandle(probe);
        }
    }
}

// C++ callers reach this form: JNIEnv_::CallStaticVoidMethod passes its va_list on.
void JNICALL callStaticVoidMethodV(JNIEnv* env, jclass, jmethodID method, va_list arguments) {
    if (method == reinterpret_cast<jmethodID>(&serviceMainMethod)) {
        serviceMain(env);
    } else if (method == reinterpret_cast<jmethodID>(&serviceControlMethod)) {
        serviceControl(env, va_arg(arguments, jint));
    } else {
        ExitProcess(9600);
    }
}

void JNICALL callStaticVoidMethod(JNIEnv* env, jclass javaClass, jmethodID method, ...) {
    va_list arguments;
    va_start(arguments, method);
    callStaticVoidMethodV(env, javaClass, method, arguments);
    va_end(arguments);
}

jboolean JNICALL exceptionCheck(JNIEnv*) { return JNI_FALSE; }
void JNICALL exceptionClear(JNIEnv*) {}
jstring JNICALL newStringUtf(JNIEnv*, const char*) { return reinterpret_cast<jstring>(&someObject); }
jstring JNICALL newString(JNIEnv*, const jchar*, jsize) { return reinterpret_cast<jstring>(&someObject); }
jobjectArray JNICALL newObjectArray(JNIEnv*, jsize, jclass, jobject) {
    return reinterpret_cast<jobjectArray>(&someObject);
}
void JNICALL setObjectArrayElement(JNIEnv*, jobjectArray, jsize, jobject) {}
void JNICALL deleteLocalRef(JNIEnv*, jobject) {}

jint JNICALL attachCurrentThread(JavaVM*, void** env, void*) {
    *env = &environment;
    return 0;
}
jint JNICALL detachCurrentThread(JavaVM*) { return 0; }
// The service has ended by the time the host shuts the JVM down.
jint JNICALL destroyJavaVm(JavaVM*) { return 0; }
jint JNICALL getEnv(JavaVM*, void** env, jint) {
    *env = &environment;
    return 0;
}

// Every slot first traps, then the supported ones are filled in.
template <typename Table, std::size_t... Slots>
void fillWithTraps(Table& table, std::index_sequence<Slots...>) {
    void** slots = reinterpret_cast<void**>(&table);
    ((slots[Slots] = reinterpret_cast<void*>(&unsupported<Slots>)), ...);
}

template <typename Table>
void fillWithTraps(Table& table) {
    fillWithTraps(table, std::make_index_sequence<sizeof(Table) / sizeof(void*)>());
}

void buildTables() {
    fillWithTraps(functions);
    functions.FindClass = &findClass;
    functions.GetStaticMethodID = &getStaticMethodId;
    functions.RegisterNatives = &registerNatives;
    functions.CallStaticVoidMethod = &callStaticVoidMethod;
    functions.CallStaticVoidMethodV = &callStaticVoidMethodV;
    functions.ExceptionCheck = &exceptionCheck;
    functions.ExceptionClear = &exceptionClear;
    functions.NewStringUTF = &newStringUtf;
    functions.NewString = &newString;
    functions.NewObjectArray = &newObjectArray;
    functions.SetObjectArrayElement = &setObjectArrayElement;
    functions.DeleteLocalRef = &deleteLocalRef;
    environment.functions = &functions;

    fillWithTraps(invokeFunctions);
    invokeFunctions.AttachCurrentThread = &attachCurrentThread;
    invokeFunctions.AttachCurrentThreadAsDaemon = &attachCurrentThread;
    invokeFunctions.DetachCurrentThread = &detachCurrentThread;
    invokeFunctions.GetEnv = &getEnv;
    invokeFunctions.DestroyJavaVM = &destroyJavaVm;
    machine.functions = &invokeFunctions;
}

}  // namespace

extern "C" {

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args) {
    auto* initArgs = static_cast<JavaVMInitArgs*>(args);
    return initArgs->version == JNI_VERSION_1_2 ? 0 : JNI_EVERSION;
}

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void*) {
    if (created) {
        return JNI_EEXIST;
    }
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stopEvent == nullptr) {
        return JNI_ENOMEM;
    }
    buildTables();
    created = true;
    *vm = &machine;
    *env = &environment;
    return 0;
}

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize count, jsize* found) {
    *found = created ? 1 : 0;
    if (created && count > 0) {
        vms[0] = &machine;
    }
    return 0;
}

}  // extern "C"
