// The test jvm.dll: a JVM library for Windows programs under Wine whose JVM is
// real, running in jvmhost, a Linux program that embeds the installed OpenJDK.
// Every JNI function that a careful JVM host calls is forwarded over loopback
// TCP (JniFunctions.cpp); the rest print their name and answer an error value.
//
// One connection per attached Windows thread (a conversation, Conversation.h).
// A Java thread of the service's own making that calls a native opens a
// conversation to this DLL's listener and a DLL thread serves it.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <jni.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Conversation.h"
#include "JniFunctions.h"
#include "common/Win32Handle.h"

using namespace bridge;

static_assert(sizeof(void*) == 8, "references cross the wire as 64-bit ids");

extern "C" {
JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args);
JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void* args);
JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize size, jsize* count);
JNIEXPORT jboolean JNICALL JVM_RaiseSignal(jint signal);
}

namespace {

JNIInvokeInterface_ g_invoke;
std::mutex g_createMutex;
std::atomic<bool> g_created{false};

// ---- the invocation interface

jint JNICALL vmAttach(JavaVM*, void** penv, void* vargs, bool daemon) {
    if (t_conversation != nullptr) {
        *penv = &t_conversation->env;
        return JNI_OK;
    }
    SOCKET s = connectToHost();
    if (s == INVALID_SOCKET) {
        complain("cannot reach jvmhost to attach a thread");
        *penv = nullptr;
        return JNI_ERR;
    }
    const auto* args = static_cast<const JavaVMAttachArgs*>(vargs);
    CConversation* c = newConversation(s);
    CWireWriter w;
    w.u8(daemon ? 1 : 0).str(args != nullptr && args->name != nullptr ? args->name : "");
    CMessage reply;
    jint status = JNI_ERR;
    if (sendMessage(s, opAttach, w.bytes) && recvMessage(s, reply) && reply.op == opReply) {
        CWireReader in(reply.payload);
        status = in.i32();
    }
    if (status != JNI_OK) {
        deleteConversation(c);
        *penv = nullptr;
        return status;
    }
    t_conversation = c;
    *penv = &c->env;
    return JNI_OK;
}

jint JNICALL vmAttachCurrentThread(JavaVM* vm, void** penv, void* args) { return vmAttach(vm, penv, args, false); }

jint JNICALL vmAttachCurrentThreadAsDaemon(JavaVM* vm, void** penv, void* args) {
    return vmAttach(vm, penv, args, true);
}

jint JNICALL vmDetachCurrentThread(JavaVM*) {
    CConversation* c = t_conversation;
    if (c == nullptr) {
        return JNI_OK;
    }
    if (c->callbackDepth > 0) {
        // As in HotSpot: a thread with Java frames on its stack cannot detach.
        return JNI_ERR;
    }
    const jint status = askI32(&c->env, opDetach, CWireWriter());
    t_conversation = nullptr;
    deleteConversation(c);
    return status;
}

jint JNICALL vmGetEnv(JavaVM*, void** penv, jint version) {
    if (version != JNI_VERSION_1_1 && version != JNI_VERSION_1_2 && version != JNI_VERSION_1_4 &&
        version != JNI_VERSION_1_6 && version != JNI_VERSION_1_8 && version != JNI_VERSION_9 &&
        version != JNI_VERSION_10) {
        *penv = nullptr;
        return JNI_EVERSION;
    }
    if (t_conversation == nullptr) {
        *penv = nullptr;
        return JNI_EDETACHED;
    }
    *penv = &t_conversation->env;
    return JNI_OK;
}

jint JNICALL vmDestroyJavaVM(JavaVM* vm) {
    JNIEnv* env = nullptr;
    const jint attached = vmAttachCurrentThread(vm, reinterpret_cast<void**>(&env), nullptr);
    if (attached != JNI_OK) {
        return attached;
    }
    // HotSpot's DestroyJavaVM waits for the non-daemon threads and runs the
    // shutdown hooks; then jvmhost ends, as it may now.
    g_hostMayEnd = true;
    const jint status = askI32(env, opDestroy, CWireWriter());
    std::lock_guard<std::mutex> lock(g_createMutex);
    g_created = false;
    return status;
}

void setUpInvokeInterface() {
    g_invoke = JNIInvokeInterface_{nullptr,
                                   nullptr,
                                   nullptr,
                                   vmDestroyJavaVM,
                                   vmAttachCurrentThread,
                                   vmDetachCurrentThread,
                                   vmGetEnv,
                                   vmAttachCurrentThreadAsDaemon};
    g_vm.functions = &g_invoke;
}

// ---- start-up

std::wstring widen(const char* text, UINT codePage) {
    const int size = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (size <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, wide.data(), size);
    wide.resize(static_cast<size_t>(size - 1));
    return wide;
}

std::string narrow(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return std::string();
    }
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size - 1));
    return result;
}

// The process's environment as it is now, one "NAME=value" in UTF-8 each: a
// JVM on Windows sees in System.getenv what its process had when it was created.
std::vector<std::string> windowsEnvironment() {
    std::vector<std::string> entries;
    const CEnvironmentStrings block(GetEnvironmentStringsW());
    for (const wchar_t* entry = block.get(); entry != nullptr && *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        entries.push_back(narrow(entry));
    }
    return entries;
}

// A Windows path as the Linux host sees it: Wine's own mapping when it has
// one, else Z:\ as the root.
std::string unixPath(const std::string& windowsPath) {
    const std::wstring wide = widen(windowsPath.c_str(), CP_ACP);
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length + 1);
        length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    full.resize(length);
    using ToUnix = char*(CDECL*)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix != nullptr && !full.empty()) {
        if (char* mapped = toUnix(full.c_str())) {
            std::string result(mapped);
            HeapFree(GetProcessHeap(), 0, mapped);
            return result;
        }
    }
    std::string result = windowsPath;
    if (result.size() >= 2 && (result[0] == 'Z' || result[0] == 'z') && result[1] == ':') {
        result.erase(0, 2);
    }
    for (char& ch : result) {
        if (ch == '\\') {
            ch = '/';
        }
    }
    return result;
}

// The entries of a ;-separated Windows class path as Linux paths. The host
// resolves them further: Wine's drive links ("dosdevices/c:") hold the
// character that separates a Linux class path.
std::vector<std::string> mapClassPath(const std::string& value) {
    std::vector<std::string> mapped;
    size_t start = 0;
    for (;;) {
        const size_t end = value.find(';', start);
        const std::string entry = value.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!entry.empty()) {
            mapped.push_back(unixPath(entry));
        }
        if (end == std::string::npos) {
            return mapped;
        }
        start = end + 1;
    }
}

std::wstring defaultHostPath() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&JNI_CreateJavaVM)), &self);
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    while (length == path.size()) {
        path.resize(path.size() * 2);
        length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    }
    path.resize(length);
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"jvmhost";
}

bool startHost(const std::wstring& hostPath, uint16_t port) {
    std::wstring commandLine = L"\"" + hostPath + L"\" " + std::to_wstring(port);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        complain("cannot start " + narrow(hostPath) + ": error " +
                 std::to_string(GetLastError()));
        return false;
    }
    CKernelHandle processHandle(process.hProcess);
    CKernelHandle threadHandle(process.hThread);
    return true;
}

// Waits for the host's control connection; the JVM may take a while to load on a busy machine.
SOCKET acceptControl() {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(g_listener, &readable);
    timeval timeout{60, 0};
    if (::select(0, &readable, nullptr, nullptr, &timeout) != 1) {
        return INVALID_SOCKET;
    }
    return ::accept(g_listener, nullptr, nullptr);
}

void closeSocket(SOCKET& s) {
    if (s != INVALID_SOCKET) {
        ::closesocket(s);
        s = INVALID_SOCKET;
    }
}
}  // namespace

extern "C" {

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* vargs) {
    auto* args = static_cast<JavaVMInitArgs*>(vargs);
    if (args->version == JNI_VERSION_1_1) {
        args->version = JNI_VERSION_1_2;
        return JNI_OK;
    }
    switch (args->version) {
        case JNI_VERSION_1_2:
        case JNI_VERSION_1_4:
        case JNI_VERSION_1_6:
        case JNI_VERSION_1_8:
        case JNI_VERSION_9:
        case JNI_VERSION_10: return JNI_OK;
        default: return JNI_ERR;
    }
}

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void* vargs) {
    std::lock_guard<std::mutex> lock(g_createMutex);
    if (g_created) {
        return JNI_EEXIST;
    }
    // Threads of this library outlive the call: it must never be unloaded.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&JNI_CreateJavaVM)), &self);
    const auto* args = static_cast<const JavaVMInitArgs*>(vargs);
    static const std::string classPath = "-Djava.class.path=";
    static const std::string hostOption = "-Dpravik.test.jvmhost=";
    std::vector<std::string> options;
    std::vector<std::string> classPathEntries;
    // Where the options that the host rebuilds stand in the final list: HotSpot reads them in order.
    int32_t classPathPosition = -1;
    int32_t hookPosition = -1;
    std::wstring hostPath = defaultHostPath();
    OutputHook hook = nullptr;
    for (jint i = 0; i < args->nOptions; ++i) {
        const std::string option = args->options[i].optionString != nullptr ? args->options[i].optionString : "";
        if (option == "vfprintf") {
            hook = reinterpret_cast<OutputHook>(args->options[i].extraInfo);
            hookPosition = static_cast<int32_t>(options.size()) + (classPathPosition >= 0 ? 1 : 0);
        } else if (option == "exit") {
            // jvmhost's JVM has hooks of its own that hand these over (serveOutput).
            g_exitHook = reinterpret_cast<ExitHook>(args->options[i].extraInfo);
        } else if (option == "abort") {
            g_abortHook = reinterpret_cast<AbortHook>(args->options[i].extraInfo);
        } else if (option.compare(0, hostOption.size(), hostOption) == 0) {
            hostPath = widen(option.c_str() + hostOption.size(), CP_ACP);
        } else if (option.compare(0, classPath.size(), classPath) == 0) {
            classPathEntries = mapClassPath(option.substr(classPath.size()));
            classPathPosition = static_cast<int32_t>(options.size()) + (hookPosition >= 0 ? 1 : 0);
        } else {
            options.push_back(option);
        }
    }
    g_hook = hook;
    setUpJniFunctions();
    setUpInvokeInterface();

    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        complain("WSAStartup failed");
        return JNI_ERR;
    }
    g_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (g_listener == INVALID_SOCKET || ::bind(g_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(g_listener, 16) != 0 || ::getsockname(g_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        complain("cannot listen on the loopback interface: error " + std::to_string(WSAGetLastError()));
        closeSocket(g_listener);
        return JNI_ERR;
    }
    // Until the JVM is created, jvmhost ending is a failed creation, not a crash.
    g_hostMayEnd = true;
    if (!startHost(hostPath, ntohs(address.sin_port))) {
        closeSocket(g_listener);
        return JNI_ERR;
    }
    g_control = acceptControl();
    CMessage hello;
    if (g_control == INVALID_SOCKET || !recvMessage(g_control, hello) || hello.op != opHello) {
        complain("jvmhost did not report back");
        closeSocket(g_control);
        closeSocket(g_listener);
        return JNI_ERR;
    }
    CWireReader helloIn(hello.payload);
    g_hostPort = static_cast<uint16_t>(helloIn.u32());
    std::thread(serveOutput).detach();
    // Java threads may call natives while the JVM is still starting.
    std::thread(acceptJavaThreads).detach();

    SOCKET s = connectToHost();
    if (s == INVALID_SOCKET) {
        complain("cannot reach jvmhost");
        closeSocket(g_control);
        closeSocket(g_listener);
        return JNI_ERR;
    }
    CConversation* c = newConversation(s);
    CWireWriter w;
    w.i32(args->version).u8(args->ignoreUnrecognized ? 1 : 0).i32(hook != nullptr ? hookPosition : -1);
    w.u32(static_cast<uint32_t>(options.size()));
    for (const std::string& option : options) {
        w.str(option);
    }
    w.i32(classPathPosition).u32(static_cast<uint32_t>(classPathEntries.size()));
    for (const std::string& entry : classPathEntries) {
        w.str(entry);
    }
    const std::vector<std::string> environment = windowsEnvironment();
    w.u32(static_cast<uint32_t>(environment.size()));
    for (const std::string& entry : environment) {
        w.str(entry);
    }
    CMessage reply;
    jint status = JNI_ERR;
    if (sendMessage(s, opCreate, w.bytes) && recvMessage(s, reply) && reply.op == opReply) {
        CWireReader in(reply.payload);
        status = in.i32();
    }
    if (status != JNI_OK) {
        // The host cannot make a second JVM; closing the control connection ends it.
        deleteConversation(c);
        closeSocket(g_control);
        closeSocket(g_listener);
        *pvm = nullptr;
        *penv = nullptr;
        return status < 0 ? status : JNI_ERR;
    }
    g_created = true;
    g_hostMayEnd = false;
    t_conversation = c;
    *pvm = &g_vm;
    *penv = &c->env;
    return JNI_OK;
}

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize size, jsize* count) {
    std::lock_guard<std::mutex> lock(g_createMutex);
    const jsize created = g_created ? 1 : 0;
    if (created != 0 && size > 0 && vms != nullptr) {
        vms[0] = &g_vm;
    }
    if (count != nullptr) {
        *count = created;
    }
    return JNI_OK;
}

JNIEXPORT jboolean JNICALL JVM_RaiseSignal(jint signal) {
    // HotSpot's JVM_RaiseSignal starts from the calling thread's Java thread;
    // on a thread that is not attached there is none and the JVM crashes.
    if (t_conversation == nullptr) {
        fatal("JVM_RaiseSignal(" + std::to_string(signal) +
              ") was called on a thread that is not attached to the JVM; HotSpot crashes here (SIGSEGV)");
    }
    CWireWriter w;
    w.i32(signal);
    CMessage reply;
    if (!exchange(&t_conversation->env, opRaiseSignal, w, reply)) {
        return JNI_FALSE;
    }
    return CWireReader(reply.payload).u8() != 0 ? JNI_TRUE : JNI_FALSE;
}

}  // extern "C"
