#include "Conversation.h"

#include <ws2tcpip.h>

#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

namespace bridge {

thread_local CConversation* t_conversation = nullptr;
JNINativeInterface_ g_functions;
JavaVM_ g_vm;
SOCKET g_listener = INVALID_SOCKET;
SOCKET g_control = INVALID_SOCKET;
std::mutex g_controlSendMutex;
uint16_t g_hostPort = 0;
OutputHook g_hook = nullptr;
ExitHook g_exitHook = nullptr;
AbortHook g_abortHook = nullptr;
std::atomic<bool> g_hostMayEnd{false};

namespace {

// Every conversation not yet deleted, to tell a foreign thread's JNIEnv from a detached one.
std::mutex g_liveMutex;
std::set<const CConversation*> g_live;

jint callHook(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const jint result = g_hook(stdout, format, args);
    va_end(args);
    return result;
}

}  // namespace

void complain(const std::string& text) {
    std::fprintf(stderr, "test JVM: %s\n", text.c_str());
    std::fflush(stderr);
    if (g_hook != nullptr) {
        callHook("%s", ("test JVM: " + text + "\n").c_str());
    }
}

void fatal(const std::string& text) {
    complain("fatal: " + text);
    TerminateProcess(GetCurrentProcess(), fatalExitCode);
    for (;;) {
        Sleep(INFINITE);  // TerminateProcess ends this thread too
    }
}

void checkEnv(JNIEnv* env) {
    const CConversation* c = conversationOf(env);
    if (c == t_conversation && c != nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(g_liveMutex);
    if (g_live.count(c) == 0) {
        fatal("a JNIEnv was used after its thread detached (or was never valid): \"Using JNIEnv in non-Java "
              "thread\" or a crash in HotSpot");
    }
    fatal("the JNIEnv of thread " + std::to_string(c->ownerThread) + " was used on thread " +
          std::to_string(GetCurrentThreadId()) + ": \"Using JNIEnv in the wrong thread\" in HotSpot");
}

namespace {

// jvmhost is gone while the program still uses its JVM.
[[noreturn]] void hostLost() {
    if (!g_hostMayEnd) {
        fatal("jvmhost ended while the program used its JVM: a JVM in this process would have taken it down");
    }
    // After DestroyJavaVM, HotSpot blocks a thread that calls into it for good.
    for (;;) {
        Sleep(INFINITE);
    }
}

}  // namespace

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
    conversation->ownerThread = GetCurrentThreadId();
    std::lock_guard<std::mutex> lock(g_liveMutex);
    g_live.insert(conversation);
    return conversation;
}

void deleteConversation(CConversation* conversation) {
    {
        std::lock_guard<std::mutex> lock(g_liveMutex);
        g_live.erase(conversation);
    }
    ::closesocket(conversation->socket);
    delete conversation;
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
    checkEnv(env);
    CConversation* c = conversationOf(env);
    if (!sendMessage(c->socket, op, request.bytes)) {
        hostLost();
    }
    for (;;) {
        if (!recvMessage(c->socket, reply)) {
            hostLost();
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

jint askI32(JNIEnv* env, uint32_t op, const CWireWriter& request, jint failure) {
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

// JVM output, for the program's vfprintf hook, in the order the JVM wrote it;
// what Java and the JVM wrote to standard output and error; the JVM's exit
// and abort, which end this process as they would end HotSpot's.
void serveOutput() {
    CMessage message;
    while (recvMessage(g_control, message)) {
        if (message.op == opExit) {
            const jint code = CWireReader(message.payload).i32();
            if (g_exitHook != nullptr) {
                g_exitHook(code);
            }
            // As HotSpot's exit on Windows: the C runtime's exit, on this (a JVM) thread.
            std::exit(code);
        }
        if (message.op == opAbort) {
            if (g_abortHook != nullptr) {
                g_abortHook();
            }
            fatal("the JVM aborted");
        }
        if (message.op == opOutput) {
            CWireReader in(message.payload);
            const std::string text = in.str();
            if (g_hook != nullptr) {
                callHook("%s", text.c_str());
            }
            std::lock_guard<std::mutex> lock(g_controlSendMutex);
            sendMessage(g_control, opOutputDone, {});
        }
        if (message.op == opStandardOutput) {
            CWireReader in(message.payload);
            const uint32_t descriptor = in.u32();
            const std::string bytes = in.str();
            // As a JVM on Windows writes them: through the process's standard
            // handles, which a service may have pointed at files. A missing
            // handle loses the bytes, as it would there.
            HANDLE handle = GetStdHandle(descriptor == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
            DWORD written = 0;
            if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
                WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            }
            std::lock_guard<std::mutex> lock(g_controlSendMutex);
            sendMessage(g_control, opOutputDone, {});
        }
    }
    hostLost();
}

}  // namespace bridge
