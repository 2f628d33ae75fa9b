// The test jvm.dll: a JVM library for Windows programs under Wine whose JVM is
// real, running in jvmhost, a Linux program that embeds the installed OpenJDK.
// Every JNI function that a careful JVM host calls is forwarded over loopback
// TCP; the rest print their name and answer an error value.
//
// One connection per attached Windows thread (a "conversation"): a request
// waits for its reply, and while it waits the thread runs the native callbacks
// that Java makes on the paired Java thread, so re-entrant calls stay on the
// right threads. A Java thread of the service's own making that calls a native
// opens a conversation to this DLL's listener and a DLL thread serves it.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <jni.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "BridgeWire.h"
#include "JniFunctionNames.h"
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

using OutputHook = jint(JNICALL*)(FILE*, const char*, va_list);

struct CConversation {
    JNIEnv_ env;  // first: a JNIEnv* is the address of its conversation
    SOCKET socket = INVALID_SOCKET;
    int callbackDepth = 0;
};

CConversation* conversationOf(JNIEnv* env) { return reinterpret_cast<CConversation*>(env); }

thread_local CConversation* t_conversation = nullptr;

JNINativeInterface_ g_functions;
JNIInvokeInterface_ g_invoke;
JavaVM_ g_vm;

std::mutex g_createMutex;
bool g_created = false;
SOCKET g_listener = INVALID_SOCKET;
SOCKET g_control = INVALID_SOCKET;
std::mutex g_controlSendMutex;
uint16_t g_hostPort = 0;
OutputHook g_hook = nullptr;

jint callHook(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const jint result = g_hook(stdout, format, args);
    va_end(args);
    return result;
}

// Problems of the bridge itself go to stderr and, when the program gave one, its output hook.
void complain(const std::string& text) {
    std::fprintf(stderr, "test JVM: %s\n", text.c_str());
    std::fflush(stderr);
    if (g_hook != nullptr) {
        callHook("%s", ("test JVM: " + text + "\n").c_str());
    }
}

// ---- sockets

bool sendAll(SOCKET s, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const int n = ::send(s, p, static_cast<int>(size), 0);
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool recvAll(SOCKET s, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const int n = ::recv(s, p, static_cast<int>(size), 0);
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool sendMessage(SOCKET s, uint32_t op, const std::vector<uint8_t>& payload) {
    uint8_t header[8];
    encodeHeader(header, op, static_cast<uint32_t>(payload.size()));
    return sendAll(s, header, sizeof header) && sendAll(s, payload.data(), payload.size());
}

bool recvMessage(SOCKET s, CMessage& message) {
    uint8_t header[8];
    uint32_t size = 0;
    if (!recvAll(s, header, sizeof header)) {
        return false;
    }
    decodeHeader(header, message.op, size);
    if (size > maxMessageSize) {
        return false;
    }
    message.payload.resize(size);
    return recvAll(s, message.payload.data(), size);
}

SOCKET connectToHost() {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        return s;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(g_hostPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    const BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return s;
}

CConversation* newConversation(SOCKET s) {
    auto* conversation = new CConversation;
    conversation->env.functions = &g_functions;
    conversation->socket = s;
    return conversation;
}

void deleteConversation(CConversation* conversation) {
    ::closesocket(conversation->socket);
    delete conversation;
}

// ---- references and method ids

jobject toObject(uint64_t id) { return reinterpret_cast<jobject>(id); }
uint64_t toId(const void* object) { return reinterpret_cast<uint64_t>(object); }

// A method id here remembers its signature, so that the variable-argument
// call forms know the types of their arguments.
struct CMethod {
    uint64_t id = 0;
    std::string parameters;
};

std::mutex g_methodsMutex;
std::map<uint64_t, std::unique_ptr<CMethod>> g_methods;

jmethodID internMethod(uint64_t id, const std::string& signature) {
    if (id == 0) {
        return nullptr;
    }
    std::string parameters;
    char result = 'V';
    if (!parameterTypes(signature, parameters, result)) {
        complain("cannot read the method signature " + signature);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_methodsMutex);
    auto& method = g_methods[id];
    if (!method) {
        method = std::make_unique<CMethod>(CMethod{id, parameters});
    }
    return reinterpret_cast<jmethodID>(method.get());
}

// ---- native callbacks from Java

CValue intResult(jint value) { return CValue{'I', static_cast<uint64_t>(static_cast<uint32_t>(value))}; }

void runCallback(CConversation* c, const CMessage& message) {
    CWireReader in(message.payload);
    const uint64_t function = in.u64();
    const uint32_t family = in.u32();
    jclass self = static_cast<jclass>(toObject(in.u64()));
    const uint32_t count = in.u32();
    std::vector<CValue> args;
    for (uint32_t i = 0; i < count && !in.failed; ++i) {
        args.push_back(in.value());
    }
    auto intArg = [&args](size_t i) { return i < args.size() ? static_cast<jint>(args[i].bits) : 0; };
    auto stringArg = [&args](size_t i) { return static_cast<jstring>(toObject(i < args.size() ? args[i].bits : 0)); };
    JNIEnv* env = &c->env;
    CValue result;
    ++c->callbackDepth;
    switch (family) {
        case 0:
            reinterpret_cast<void(JNICALL*)(JNIEnv*, jclass, jint, jint, jint, jint, jint)>(function)(
                env, self, intArg(0), intArg(1), intArg(2), intArg(3), intArg(4));
            break;
        case 1:
            result = intResult(
                reinterpret_cast<jboolean(JNICALL*)(JNIEnv*, jclass, jstring, jint)>(function)(env, self, stringArg(0),
                                                                                             intArg(1)));
            break;
        case 2: reinterpret_cast<void(JNICALL*)(JNIEnv*, jclass)>(function)(env, self); break;
        case 3: reinterpret_cast<void(JNICALL*)(JNIEnv*, jclass, jint)>(function)(env, self, intArg(0)); break;
        case 4:
            result = intResult(reinterpret_cast<jint(JNICALL*)(JNIEnv*, jclass, jint)>(function)(env, self, intArg(0)));
            break;
        case 5:
            result =
                intResult(reinterpret_cast<jboolean(JNICALL*)(JNIEnv*, jclass, jint)>(function)(env, self, intArg(0)));
            break;
        case 6: reinterpret_cast<void(JNICALL*)(JNIEnv*, jclass, jstring)>(function)(env, self, stringArg(0)); break;
        case 7:
            result = CValue{'L', toId(reinterpret_cast<jstring(JNICALL*)(JNIEnv*, jclass, jstring)>(function)(
                                     env, self, stringArg(0)))};
            break;
        default: complain("native callback of unknown family " + std::to_string(family)); break;
    }
    --c->callbackDepth;
    CWireWriter out;
    out.value(result);
    sendMessage(c->socket, opCallbackReturn, out.bytes);
}

// Sends a request on the thread's conversation and waits for its reply,
// running the native callbacks that arrive meanwhile.
bool exchange(JNIEnv* env, uint32_t op, const CWireWriter& request, CMessage& reply) {
    CConversation* c = conversationOf(env);
    if (!sendMessage(c->socket, op, request.bytes)) {
        complain("the connection to jvmhost is lost");
        return false;
    }
    for (;;) {
        if (!recvMessage(c->socket, reply)) {
            complain("the connection to jvmhost is lost");
            return false;
        }
        if (reply.op == opReply) {
            return true;
        }
        if (reply.op != opCallback) {
            complain("unexpected message " + std::to_string(reply.op) + " from jvmhost");
            return false;
        }
        runCallback(c, reply);
    }
}

// A request whose reply is one u64 (0 when the exchange fails).
uint64_t askU64(JNIEnv* env, uint32_t op, const CWireWriter& request) {
    CMessage reply;
    if (!exchange(env, op, request, reply)) {
        return 0;
    }
    CWireReader in(reply.payload);
    return in.u64();
}

jint askI32(JNIEnv* env, uint32_t op, const CWireWriter& request, jint failure = JNI_ERR) {
    CMessage reply;
    if (!exchange(env, op, request, reply)) {
        return failure;
    }
    CWireReader in(reply.payload);
    return in.i32();
}

// Serves the callbacks of one Java thread that called a native without a conversation.
void serveJavaThread(SOCKET s) {
    CConversation* c = newConversation(s);
    t_conversation = c;
    CMessage message;
    while (recvMessage(s, message) && message.op == opCallback) {
        runCallback(c, message);
    }
    t_conversation = nullptr;
    deleteConversation(c);
}

void acceptJavaThreads() {
    for (;;) {
        SOCKET s = ::accept(g_listener, nullptr, nullptr);
        if (s == INVALID_SOCKET) {
            return;
        }
        const BOOL one = TRUE;
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
        std::thread(serveJavaThread, s).detach();
    }
}

// JVM output, for the program's vfprintf hook, in the order the JVM wrote it.
void serveOutput() {
    CMessage message;
    while (recvMessage(g_control, message)) {
        if (message.op == opOutput) {
            CWireReader in(message.payload);
            const std::string text = in.str();
            if (g_hook != nullptr) {
                callHook("%s", text.c_str());
            }
            std::lock_guard<std::mutex> lock(g_controlSendMutex);
            sendMessage(g_control, opOutputDone, {});
        }
    }
}

// ---- the JNI functions

jint JNICALL jniGetVersion(JNIEnv* env) { return askI32(env, opGetVersion, CWireWriter()); }

jclass JNICALL jniFindClass(JNIEnv* env, const char* name) {
    CWireWriter w;
    w.str(name != nullptr ? name : "");
    return static_cast<jclass>(toObject(askU64(env, opFindClass, w)));
}

jmethodID getMethodId(JNIEnv* env, uint32_t op, jclass cls, const char* name, const char* signature) {
    CWireWriter w;
    w.u64(toId(cls)).str(name != nullptr ? name : "").str(signature != nullptr ? signature : "");
    return internMethod(askU64(env, op, w), signature != nullptr ? signature : "");
}

jmethodID JNICALL jniGetStaticMethodID(JNIEnv* env, jclass cls, const char* name, const char* signature) {
    return getMethodId(env, opGetStaticMethodId, cls, name, signature);
}

jmethodID JNICALL jniGetMethodID(JNIEnv* env, jclass cls, const char* name, const char* signature) {
    return getMethodId(env, opGetMethodId, cls, name, signature);
}

// Reads the arguments of a call from a va_list or a jvalue array, by the method's signature.
// array is null for the va_list forms.
uint64_t callStatic(JNIEnv* env, char type, jclass cls, jmethodID methodId, const jvalue* array, va_list list) {
    const CMethod* method = reinterpret_cast<const CMethod*>(methodId);
    if (method == nullptr) {
        complain("a static method call with a null method id");
        return 0;
    }
    CWireWriter w;
    w.u8(static_cast<uint8_t>(type)).u64(toId(cls)).u64(method->id).u32(static_cast<uint32_t>(method->parameters.size()));
    for (size_t i = 0; i < method->parameters.size(); ++i) {
        CValue value;
        value.type = method->parameters[i];
        switch (value.type) {
            case 'J':
                value.bits = static_cast<uint64_t>(array != nullptr ? array[i].j : va_arg(list, jlong));
                break;
            case 'F': {
                const jfloat f = array != nullptr ? array[i].f : static_cast<jfloat>(va_arg(list, double));
                uint32_t bits;
                std::memcpy(&bits, &f, sizeof bits);
                value.bits = bits;
                break;
            }
            case 'D': {
                const jdouble d = array != nullptr ? array[i].d : va_arg(list, double);
                std::memcpy(&value.bits, &d, sizeof d);
                break;
            }
            case 'L': value.bits = toId(array != nullptr ? array[i].l : va_arg(list, jobject)); break;
            case 'Z': value.bits = array != nullptr ? array[i].z : static_cast<jboolean>(va_arg(list, int)); break;
            case 'B':
                value.bits = static_cast<uint8_t>(array != nullptr ? array[i].b : static_cast<jbyte>(va_arg(list, int)));
                break;
            case 'C': value.bits = array != nullptr ? array[i].c : static_cast<jchar>(va_arg(list, int)); break;
            case 'S':
                value.bits =
                    static_cast<uint16_t>(array != nullptr ? array[i].s : static_cast<jshort>(va_arg(list, int)));
                break;
            default:
                value.bits = static_cast<uint32_t>(array != nullptr ? array[i].i : static_cast<jint>(va_arg(list, int)));
                break;
        }
        w.value(value);
    }
    return askU64(env, opCallStatic, w);
}

template <typename T>
T fromBits(uint64_t bits) {
    if constexpr (std::is_void_v<T>) {
        (void)bits;
    } else if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<T>(bits);
    } else if constexpr (std::is_same_v<T, jfloat>) {
        const uint32_t narrow = static_cast<uint32_t>(bits);
        jfloat value;
        std::memcpy(&value, &narrow, sizeof value);
        return value;
    } else if constexpr (std::is_same_v<T, jdouble>) {
        jdouble value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    } else {
        return static_cast<T>(bits);
    }
}

template <char R, typename T>
T JNICALL jniCallStaticV(JNIEnv* env, jclass cls, jmethodID method, va_list args) {
    return fromBits<T>(callStatic(env, R, cls, method, nullptr, args));
}

template <char R, typename T>
T JNICALL jniCallStaticA(JNIEnv* env, jclass cls, jmethodID method, const jvalue* args) {
    static const jvalue noArguments[1] = {};
    const CMethod* known = reinterpret_cast<const CMethod*>(method);
    if (args == nullptr && known != nullptr && !known->parameters.empty()) {
        complain("a static method call with arguments but a null argument array");
        return fromBits<T>(0);
    }
    va_list none{};
    return fromBits<T>(callStatic(env, R, cls, method, args != nullptr ? args : noArguments, none));
}

template <char R, typename T>
T JNICALL jniCallStatic(JNIEnv* env, jclass cls, jmethodID method, ...) {
    va_list args;
    va_start(args, method);
    const uint64_t bits = callStatic(env, R, cls, method, nullptr, args);
    va_end(args);
    return fromBits<T>(bits);
}

jint JNICALL jniRegisterNatives(JNIEnv* env, jclass cls, const JNINativeMethod* methods, jint count) {
    CWireWriter w;
    w.u64(toId(cls)).u32(static_cast<uint32_t>(count > 0 ? count : 0));
    for (jint i = 0; i < count; ++i) {
        w.str(methods[i].name).str(methods[i].signature).u64(toId(methods[i].fnPtr));
    }
    return askI32(env, opRegisterNatives, w);
}

jstring JNICALL jniNewStringUTF(JNIEnv* env, const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    CWireWriter w;
    w.str(text);
    return static_cast<jstring>(toObject(askU64(env, opNewStringUtf, w)));
}

jstring JNICALL jniNewString(JNIEnv* env, const jchar* chars, jsize length) {
    CWireWriter w;
    w.data(chars, chars != nullptr && length > 0 ? static_cast<size_t>(length) * sizeof(jchar) : 0);
    return static_cast<jstring>(toObject(askU64(env, opNewString, w)));
}

// The characters of a string, in a copy that the matching Release function frees.
template <typename Char>
const Char* getChars(JNIEnv* env, uint32_t op, jstring string, jboolean* isCopy) {
    CWireWriter w;
    w.u64(toId(string));
    CMessage reply;
    if (!exchange(env, op, w, reply)) {
        return nullptr;
    }
    CWireReader in(reply.payload);
    const bool ok = in.u8() != 0;
    const std::string bytes = in.str();
    if (!ok || in.failed) {
        return nullptr;
    }
    Char* copy = static_cast<Char*>(std::calloc(bytes.size() / sizeof(Char) + 1, sizeof(Char)));
    if (copy == nullptr) {
        return nullptr;
    }
    std::memcpy(copy, bytes.data(), bytes.size() / sizeof(Char) * sizeof(Char));
    if (isCopy != nullptr) {
        *isCopy = JNI_TRUE;
    }
    return copy;
}

const char* JNICALL jniGetStringUTFChars(JNIEnv* env, jstring string, jboolean* isCopy) {
    return getChars<char>(env, opGetStringUtfChars, string, isCopy);
}

void JNICALL jniReleaseStringUTFChars(JNIEnv*, jstring, const char* chars) { std::free(const_cast<char*>(chars)); }

const jchar* JNICALL jniGetStringChars(JNIEnv* env, jstring string, jboolean* isCopy) {
    return getChars<jchar>(env, opGetStringChars, string, isCopy);
}

void JNICALL jniReleaseStringChars(JNIEnv*, jstring, const jchar* chars) { std::free(const_cast<jchar*>(chars)); }

jsize JNICALL jniGetStringLength(JNIEnv* env, jstring string) {
    CWireWriter w;
    w.u64(toId(string));
    return askI32(env, opGetStringLength, w, 0);
}

jsize JNICALL jniGetStringUTFLength(JNIEnv* env, jstring string) {
    CWireWriter w;
    w.u64(toId(string));
    return askI32(env, opGetStringUtfLength, w, 0);
}

jobjectArray JNICALL jniNewObjectArray(JNIEnv* env, jsize length, jclass cls, jobject initial) {
    CWireWriter w;
    w.i32(length).u64(toId(cls)).u64(toId(initial));
    return static_cast<jobjectArray>(toObject(askU64(env, opNewObjectArray, w)));
}

void JNICALL jniSetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value) {
    CWireWriter w;
    w.u64(toId(array)).i32(index).u64(toId(value));
    CMessage reply;
    exchange(env, opSetObjectArrayElement, w, reply);
}

jobject JNICALL jniGetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index) {
    CWireWriter w;
    w.u64(toId(array)).i32(index);
    return toObject(askU64(env, opGetObjectArrayElement, w));
}

jsize JNICALL jniGetArrayLength(JNIEnv* env, jarray array) {
    CWireWriter w;
    w.u64(toId(array));
    return askI32(env, opGetArrayLength, w, 0);
}

jboolean JNICALL jniExceptionCheck(JNIEnv* env) {
    CMessage reply;
    if (!exchange(env, opExceptionCheck, CWireWriter(), reply)) {
        return JNI_FALSE;
    }
    CWireReader in(reply.payload);
    return in.u8() != 0 ? JNI_TRUE : JNI_FALSE;
}

jthrowable JNICALL jniExceptionOccurred(JNIEnv* env) {
    return static_cast<jthrowable>(toObject(askU64(env, opExceptionOccurred, CWireWriter())));
}

void JNICALL jniExceptionDescribe(JNIEnv* env) {
    CMessage reply;
    exchange(env, opExceptionDescribe, CWireWriter(), reply);
}

void JNICALL jniExceptionClear(JNIEnv* env) {
    CMessage reply;
    exchange(env, opExceptionClear, CWireWriter(), reply);
}

void JNICALL jniDeleteRef(JNIEnv* env, jobject object) {
    if (object == nullptr) {
        return;
    }
    CWireWriter w;
    w.u64(toId(object));
    CMessage reply;
    exchange(env, opDeleteRef, w, reply);
}

jobject JNICALL jniNewGlobalRef(JNIEnv* env, jobject object) {
    CWireWriter w;
    w.u64(toId(object));
    return toObject(askU64(env, opNewGlobalRef, w));
}

jboolean JNICALL jniIsSameObject(JNIEnv* env, jobject a, jobject b) {
    CWireWriter w;
    w.u64(toId(a)).u64(toId(b));
    CMessage reply;
    if (!exchange(env, opIsSameObject, w, reply)) {
        return JNI_FALSE;
    }
    CWireReader in(reply.payload);
    return in.u8() != 0 ? JNI_TRUE : JNI_FALSE;
}

jclass JNICALL jniGetObjectClass(JNIEnv* env, jobject object) {
    CWireWriter w;
    w.u64(toId(object));
    return static_cast<jclass>(toObject(askU64(env, opGetObjectClass, w)));
}

jint JNICALL jniThrowNew(JNIEnv* env, jclass cls, const char* message) {
    CWireWriter w;
    w.u64(toId(cls)).str(message != nullptr ? message : "");
    return askI32(env, opThrowNew, w);
}

jint JNICALL jniGetJavaVM(JNIEnv*, JavaVM** vm) {
    *vm = &g_vm;
    return JNI_OK;
}

// Slots the bridge does not forward: loud, and an error value.
bool answersStatus(const char* name) {
    static const char* const statusFunctions[] = {"Throw", "PushLocalFrame", "EnsureLocalCapacity", "UnregisterNatives",
                                                  "MonitorEnter", "MonitorExit"};
    for (const char* candidate : statusFunctions) {
        if (std::strcmp(candidate, name) == 0) {
            return true;
        }
    }
    return false;
}

template <int N>
void* JNICALL unforwarded(JNIEnv*, ...) {
    complain(std::string("JNI function ") + jniFunctionNames[N] + " (slot " + std::to_string(N) +
             ") is not forwarded to the real JVM");
    return answersStatus(jniFunctionNames[N]) ? reinterpret_cast<void*>(static_cast<intptr_t>(JNI_ERR)) : nullptr;
}

constexpr size_t jniSlotCount = sizeof(JNINativeInterface_) / sizeof(void*);
static_assert(sizeof(jniFunctionNames) / sizeof(jniFunctionNames[0]) == jniSlotCount,
              "a name for every JNIEnv slot");

template <size_t... I>
void fillUnforwarded(void** slots, std::index_sequence<I...>) {
    ((slots[I] = reinterpret_cast<void*>(&unforwarded<static_cast<int>(I)>)), ...);
}

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
    const jint status = askI32(env, opDestroy, CWireWriter());
    std::lock_guard<std::mutex> lock(g_createMutex);
    g_created = false;
    return status;
}

void setUpTables() {
    fillUnforwarded(reinterpret_cast<void**>(&g_functions), std::make_index_sequence<jniSlotCount>());
    g_functions.GetVersion = jniGetVersion;
    g_functions.FindClass = jniFindClass;
    g_functions.ThrowNew = jniThrowNew;
    g_functions.ExceptionOccurred = jniExceptionOccurred;
    g_functions.ExceptionDescribe = jniExceptionDescribe;
    g_functions.ExceptionClear = jniExceptionClear;
    g_functions.ExceptionCheck = jniExceptionCheck;
    g_functions.NewGlobalRef = jniNewGlobalRef;
    g_functions.DeleteGlobalRef = jniDeleteRef;
    g_functions.DeleteLocalRef = jniDeleteRef;
    g_functions.IsSameObject = jniIsSameObject;
    g_functions.GetObjectClass = jniGetObjectClass;
    g_functions.GetMethodID = jniGetMethodID;
    g_functions.GetStaticMethodID = jniGetStaticMethodID;

    g_functions.CallStaticObjectMethod = jniCallStatic<'L', jobject>;
    g_functions.CallStaticObjectMethodV = jniCallStaticV<'L', jobject>;
    g_functions.CallStaticObjectMethodA = jniCallStaticA<'L', jobject>;
    g_functions.CallStaticBooleanMethod = jniCallStatic<'Z', jboolean>;
    g_functions.CallStaticBooleanMethodV = jniCallStaticV<'Z', jboolean>;
    g_functions.CallStaticBooleanMethodA = jniCallStaticA<'Z', jboolean>;
    g_functions.CallStaticByteMethod = jniCallStatic<'B', jbyte>;
    g_functions.CallStaticByteMethodV = jniCallStaticV<'B', jbyte>;
    g_functions.CallStaticByteMethodA = jniCallStaticA<'B', jbyte>;
    g_functions.CallStaticCharMethod = jniCallStatic<'C', jchar>;
    g_functions.CallStaticCharMethodV = jniCallStaticV<'C', jchar>;
    g_functions.CallStaticCharMethodA = jniCallStaticA<'C', jchar>;
    g_functions.CallStaticShortMethod = jniCallStatic<'S', jshort>;
    g_functions.CallStaticShortMethodV = jniCallStaticV<'S', jshort>;
    g_functions.CallStaticShortMethodA = jniCallStaticA<'S', jshort>;
    g_functions.CallStaticIntMethod = jniCallStatic<'I', jint>;
    g_functions.CallStaticIntMethodV = jniCallStaticV<'I', jint>;
    g_functions.CallStaticIntMethodA = jniCallStaticA<'I', jint>;
    g_functions.CallStaticLongMethod = jniCallStatic<'J', jlong>;
    g_functions.CallStaticLongMethodV = jniCallStaticV<'J', jlong>;
    g_functions.CallStaticLongMethodA = jniCallStaticA<'J', jlong>;
    g_functions.CallStaticFloatMethod = jniCallStatic<'F', jfloat>;
    g_functions.CallStaticFloatMethodV = jniCallStaticV<'F', jfloat>;
    g_functions.CallStaticFloatMethodA = jniCallStaticA<'F', jfloat>;
    g_functions.CallStaticDoubleMethod = jniCallStatic<'D', jdouble>;
    g_functions.CallStaticDoubleMethodV = jniCallStaticV<'D', jdouble>;
    g_functions.CallStaticDoubleMethodA = jniCallStaticA<'D', jdouble>;
    g_functions.CallStaticVoidMethod = jniCallStatic<'V', void>;
    g_functions.CallStaticVoidMethodV = jniCallStaticV<'V', void>;
    g_functions.CallStaticVoidMethodA = jniCallStaticA<'V', void>;

    g_functions.NewString = jniNewString;
    g_functions.GetStringLength = jniGetStringLength;
    g_functions.GetStringChars = jniGetStringChars;
    g_functions.ReleaseStringChars = jniReleaseStringChars;
    g_functions.NewStringUTF = jniNewStringUTF;
    g_functions.GetStringUTFLength = jniGetStringUTFLength;
    g_functions.GetStringUTFChars = jniGetStringUTFChars;
    g_functions.ReleaseStringUTFChars = jniReleaseStringUTFChars;
    g_functions.GetArrayLength = jniGetArrayLength;
    g_functions.NewObjectArray = jniNewObjectArray;
    g_functions.GetObjectArrayElement = jniGetObjectArrayElement;
    g_functions.SetObjectArrayElement = jniSetObjectArrayElement;
    g_functions.RegisterNatives = jniRegisterNatives;
    g_functions.GetJavaVM = jniGetJavaVM;

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
        } else if (option == "exit" || option == "abort") {
            // Hooks that would have to run in this process; the host's JVM keeps its own.
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
    setUpTables();

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
    if (!g_created) {
        return JNI_FALSE;
    }
    CWireWriter w;
    w.i32(signal);
    std::lock_guard<std::mutex> lock(g_controlSendMutex);
    return sendMessage(g_control, opRaiseSignal, w.bytes) ? JNI_TRUE : JNI_FALSE;
}

}  // extern "C"
