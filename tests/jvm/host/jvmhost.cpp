// jvmhost: the Linux half of the test JVM. It embeds the installed OpenJDK's
// libjvm.so and carries out the JNI calls that the test jvm.dll forwards from
// a Windows process under Wine. One TCP connection pairs one Windows thread
// with one Java thread; the host ends when its control connection closes, so
// a killed Windows process never leaves a JVM behind.
//
// Usage: jvmhost <port of the DLL's listener on 127.0.0.1>
#include <jni.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "BridgeWire.h"
#include "HookText.h"

using namespace bridge;

// HotSpot's own, exported by libjvm.so (declared in the JDK's internal jvm.h).
extern "C" JNIEXPORT jboolean JNICALL JVM_RaiseSignal(jint signal);

namespace {

JavaVM* g_vm = nullptr;
uint16_t g_dllPort = 0;

// ---- sockets

bool sendAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool recvAll(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::recv(fd, p, size, 0);
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool sendMessage(int fd, uint32_t op, const std::vector<uint8_t>& payload) {
    uint8_t header[8];
    encodeHeader(header, op, static_cast<uint32_t>(payload.size()));
    return sendAll(fd, header, sizeof header) && sendAll(fd, payload.data(), payload.size());
}

bool recvMessage(int fd, CMessage& message) {
    uint8_t header[8];
    uint32_t size = 0;
    if (!recvAll(fd, header, sizeof header)) {
        return false;
    }
    decodeHeader(header, message.op, size);
    if (size > maxMessageSize) {
        return false;
    }
    message.payload.resize(size);
    return recvAll(fd, message.payload.data(), size);
}

int connectToDll() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(g_dllPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// ---- references: every object that crosses the wire is a global reference here

class CReferences {
public:
    uint64_t add(JNIEnv* env, jobject object) {
        if (object == nullptr) {
            return 0;
        }
        jobject global = env->NewGlobalRef(object);
        std::lock_guard<std::mutex> lock(mutex);
        const uint64_t id = next++;
        objects[id] = global;
        return id;
    }
    jobject get(uint64_t id) {
        std::lock_guard<std::mutex> lock(mutex);
        auto found = objects.find(id);
        return found == objects.end() ? nullptr : found->second;
    }
    void remove(JNIEnv* env, uint64_t id) {
        jobject global = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex);
            auto found = objects.find(id);
            if (found == objects.end()) {
                return;
            }
            global = found->second;
            objects.erase(found);
        }
        env->DeleteGlobalRef(global);
    }

private:
    std::mutex mutex;
    std::unordered_map<uint64_t, jobject> objects;
    uint64_t next = 1;
};

CReferences g_refs;

// ---- control connection: JVM output to the DLL's hook, the JVM's exit and abort

int g_controlFd = -1;
std::mutex g_outputMutex;
std::condition_variable g_outputDone;
uint64_t g_outputsSent = 0;
uint64_t g_outputsDone = 0;

void controlReader() {
    CMessage message;
    while (recvMessage(g_controlFd, message)) {
        if (message.op == opOutputDone) {
            std::lock_guard<std::mutex> lock(g_outputMutex);
            ++g_outputsDone;
            g_outputDone.notify_all();
        }
    }
    // The Windows process closed the control connection or died: the JVM goes with it.
    std::fflush(stdout);
    std::_Exit(0);
}

// Sends output for the DLL's output thread and waits until it has been handled.
bool sendOutput(uint32_t op, const CWireWriter& writer) {
    std::unique_lock<std::mutex> lock(g_outputMutex);
    if (!sendMessage(g_controlFd, op, writer.bytes)) {
        return false;
    }
    const uint64_t mine = ++g_outputsSent;
    g_outputDone.wait(lock, [mine] { return g_outputsDone >= mine; });
    return true;
}

// ---- standard output and error: on Windows, Java's System.out and System.err
// and the JVM's own printing write to the Windows process's standard handles.
// Here descriptors 1 and 2 are pipes whose bytes the DLL writes to those handles.

struct CCapturedStream {
    explicit CCapturedStream(uint32_t descriptor) : descriptor(descriptor) {}
    const uint32_t descriptor;
    int readEnd = -1;  // non-blocking
    // Held while bytes are read and forwarded, so that they keep their order.
    std::mutex mutex;
    char buffer[65536];  // under mutex
};
CCapturedStream g_captured[] = {CCapturedStream(1), CCapturedStream(2)};

// Forwards what the pipe holds now; the stream's mutex is held. False once
// the stream has ended (Java closed System.out) or the DLL is gone.
bool forwardPending(CCapturedStream& stream) {
    for (;;) {
        const ssize_t size = ::read(stream.readEnd, stream.buffer, sizeof stream.buffer);
        if (size <= 0) {
            return size < 0 && (errno == EAGAIN || errno == EINTR);
        }
        CWireWriter writer;
        writer.u32(stream.descriptor).data(stream.buffer, static_cast<size_t>(size));
        if (!sendOutput(opStandardOutput, writer)) {
            return false;
        }
    }
}

void forwardStream(CCapturedStream* stream) {
    pollfd readable{stream->readEnd, POLLIN, 0};
    for (;;) {
        if (::poll(&readable, 1, -1) < 0 && errno != EINTR) {
            return;
        }
        std::lock_guard<std::mutex> lock(stream->mutex);
        if (!forwardPending(*stream)) {
            return;
        }
    }
}

// A write on Windows has reached the handle when it returns: before the
// Windows side goes on (a reply, a native callback, the JVM's exit), every
// byte written so far has been written there.
void flushCapturedOutput() {
    for (CCapturedStream& stream : g_captured) {
        std::lock_guard<std::mutex> lock(stream.mutex);
        forwardPending(stream);
    }
}

bool captureStandardStreams() {
    for (CCapturedStream& stream : g_captured) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return false;
        }
        const bool moved = ::dup2(ends[1], static_cast<int>(stream.descriptor)) >= 0;
        ::close(ends[1]);
        if (!moved || ::fcntl(ends[0], F_SETFL, O_NONBLOCK) != 0) {
            return false;
        }
        stream.readEnd = ends[0];
        std::thread(forwardStream, &stream).detach();
    }
    return true;
}

// Sends to the Windows side, which goes on when it reads this.
bool answer(int fd, uint32_t op, const std::vector<uint8_t>& payload) {
    flushCapturedOutput();
    return sendMessage(fd, op, payload);
}

// HotSpot's output hook: hands the text to the DLL, which calls the Windows
// process's own hook, and waits until it has, so output keeps its order.
jint JNICALL outputHook(FILE*, const char* format, va_list args) {
    std::string text;
    const int length = formatHookText(format, args, text);
    if (length < 0) {
        return length;
    }

    CWireWriter writer;
    writer.str(text);
    return sendOutput(opOutput, writer) ? length : -1;
}

// HotSpot's exit and abort hooks, called on the VM thread: the DLL runs the
// Windows program's hooks and ends its process, which closes the control
// connection and so ends this one (controlReader). Until then the JVM stays
// where a real one would be: inside the hook.
[[noreturn]] void handOver(uint32_t op, const CWireWriter& payload) {
    flushCapturedOutput();
    {
        std::lock_guard<std::mutex> lock(g_outputMutex);
        sendMessage(g_controlFd, op, payload.bytes);
    }
    for (;;) {
        ::pause();
    }
}

void JNICALL exitHook(jint code) {
    CWireWriter payload;
    payload.i32(code);
    handOver(opExit, payload);
}

void JNICALL abortHook() { handOver(opAbort, CWireWriter()); }

// ---- conversations

struct CConversation {
    int fd = -1;
    JNIEnv* env = nullptr;
    // References made for the DLL: the outermost list lives until detach, one
    // more per running native callback, released when the callback returns.
    std::vector<std::vector<uint64_t>> frames{1};

    uint64_t keep(jobject object, bool deleteLocal) {
        const uint64_t id = g_refs.add(env, object);
        if (object != nullptr && deleteLocal) {
            env->DeleteLocalRef(object);
        }
        if (id != 0) {
            frames.back().push_back(id);
        }
        return id;
    }
    void releaseFrame() {
        for (uint64_t id : frames.back()) {
            g_refs.remove(env, id);
        }
        frames.pop_back();
    }
};

// The conversation of the current host thread, if it has one.
thread_local CConversation* t_conversation = nullptr;

// A Java thread that the service started itself gets a conversation of its own
// on its first native call; it lasts as long as the thread.
struct COwnConversation {
    std::unique_ptr<CConversation> conversation;
    ~COwnConversation() {
        if (conversation && conversation->fd >= 0) {
            ::close(conversation->fd);
        }
    }
};
thread_local COwnConversation t_ownConversation;

struct CNativeSlot {
    uint64_t function = 0;
    int family = -1;
};
constexpr int slotCount = 32;
std::array<CNativeSlot, slotCount> g_slots;
std::mutex g_slotsMutex;
int g_slotsUsed = 0;

bool serve(CConversation& conversation, bool inCallback, CValue* callbackResult);

CValue callback(int slot, JNIEnv* env, jobject self, std::initializer_list<CValue> args,
                std::initializer_list<jobject> objects) {
    CConversation* conversation = t_conversation;
    if (conversation == nullptr) {
        auto own = std::make_unique<CConversation>();
        own->fd = connectToDll();
        if (own->fd < 0) {
            std::fprintf(stderr, "jvmhost: cannot reach the DLL for a native call\n");
            return CValue{};
        }
        own->env = env;
        conversation = own.get();
        t_ownConversation.conversation = std::move(own);
        t_conversation = conversation;
    }
    JNIEnv* const outerEnv = conversation->env;
    conversation->env = env;
    conversation->frames.emplace_back();

    CWireWriter writer;
    writer.u64(g_slots[slot].function).u32(static_cast<uint32_t>(g_slots[slot].family));
    writer.u64(conversation->keep(self, false));
    writer.u32(static_cast<uint32_t>(args.size()));
    auto object = objects.begin();
    for (CValue value : args) {
        if (value.type == 'L') {
            value.bits = conversation->keep(*object++, false);
        }
        writer.value(value);
    }
    CValue result;
    if (!answer(conversation->fd, opCallback, writer.bytes) || !serve(*conversation, true, &result)) {
        std::fprintf(stderr, "jvmhost: the DLL went away during a native call\n");
        std::_Exit(0);
    }
    const std::string signature = nativeSignatures[g_slots[slot].family];
    if (signature[signature.find(')') + 1] == 'L' && result.bits != 0) {
        // The Windows function answered a reference of this frame: hand Java a local one.
        result.bits = reinterpret_cast<uint64_t>(env->NewLocalRef(g_refs.get(result.bits)));
    }
    conversation->releaseFrame();
    conversation->env = outerEnv;
    return result;
}

CValue intValue(jint value) { return CValue{'I', static_cast<uint64_t>(static_cast<uint32_t>(value))}; }
CValue objectValue() { return CValue{'L', 0}; }

// One trampoline per slot and family: HotSpot calls these for the natives
// that the DLL registered; each forwards to the Windows function.
template <int S>
struct CTrampolines {
    static void JNICALL f0(JNIEnv* e, jclass c, jint a, jint b, jint d, jint f, jint g) {
        callback(S, e, c, {intValue(a), intValue(b), intValue(d), intValue(f), intValue(g)}, {});
    }
    static jboolean JNICALL f1(JNIEnv* e, jclass c, jstring s, jint a) {
        return static_cast<jboolean>(callback(S, e, c, {objectValue(), intValue(a)}, {s}).bits != 0);
    }
    static void JNICALL f2(JNIEnv* e, jclass c) { callback(S, e, c, {}, {}); }
    static void JNICALL f3(JNIEnv* e, jclass c, jint a) { callback(S, e, c, {intValue(a)}, {}); }
    static jint JNICALL f4(JNIEnv* e, jclass c, jint a) {
        return static_cast<jint>(callback(S, e, c, {intValue(a)}, {}).bits);
    }
    static jboolean JNICALL f5(JNIEnv* e, jclass c, jint a) {
        return static_cast<jboolean>(callback(S, e, c, {intValue(a)}, {}).bits != 0);
    }
    static void JNICALL f6(JNIEnv* e, jclass c, jstring s) { callback(S, e, c, {objectValue()}, {s}); }
    static jstring JNICALL f7(JNIEnv* e, jclass c, jstring s) {
        return reinterpret_cast<jstring>(callback(S, e, c, {objectValue()}, {s}).bits);
    }
};
static_assert(nativeFamilyCount == 8, "one trampoline per native family");

template <size_t... I>
std::array<std::array<void*, nativeFamilyCount>, slotCount> makeTrampolines(std::index_sequence<I...>) {
    return {{{reinterpret_cast<void*>(&CTrampolines<I>::f0), reinterpret_cast<void*>(&CTrampolines<I>::f1),
              reinterpret_cast<void*>(&CTrampolines<I>::f2), reinterpret_cast<void*>(&CTrampolines<I>::f3),
              reinterpret_cast<void*>(&CTrampolines<I>::f4), reinterpret_cast<void*>(&CTrampolines<I>::f5),
              reinterpret_cast<void*>(&CTrampolines<I>::f6), reinterpret_cast<void*>(&CTrampolines<I>::f7)}...}};
}
const auto g_trampolines = makeTrampolines(std::make_index_sequence<slotCount>());

// ---- the JNI calls

jvalue toJvalue(const CValue& value) {
    jvalue result;
    switch (value.type) {
        case 'Z': result.z = static_cast<jboolean>(value.bits); break;
        case 'B': result.b = static_cast<jbyte>(value.bits); break;
        case 'C': result.c = static_cast<jchar>(value.bits); break;
        case 'S': result.s = static_cast<jshort>(value.bits); break;
        case 'I': result.i = static_cast<jint>(value.bits); break;
        case 'J': result.j = static_cast<jlong>(value.bits); break;
        case 'F': {
            uint32_t bits = static_cast<uint32_t>(value.bits);
            std::memcpy(&result.f, &bits, sizeof bits);
            break;
        }
        case 'D': std::memcpy(&result.d, &value.bits, sizeof value.bits); break;
        default: result.l = g_refs.get(value.bits); break;
    }
    return result;
}

uint64_t callStatic(CConversation& c, char type, jclass cls, jmethodID method, const jvalue* args) {
    JNIEnv* env = c.env;
    switch (type) {
        case 'V': env->CallStaticVoidMethodA(cls, method, args); return 0;
        case 'Z': return env->CallStaticBooleanMethodA(cls, method, args);
        case 'B': return static_cast<uint64_t>(env->CallStaticByteMethodA(cls, method, args));
        case 'C': return env->CallStaticCharMethodA(cls, method, args);
        case 'S': return static_cast<uint64_t>(env->CallStaticShortMethodA(cls, method, args));
        case 'I': return static_cast<uint32_t>(env->CallStaticIntMethodA(cls, method, args));
        case 'J': return static_cast<uint64_t>(env->CallStaticLongMethodA(cls, method, args));
        case 'F': {
            const jfloat value = env->CallStaticFloatMethodA(cls, method, args);
            uint32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            return bits;
        }
        case 'D': {
            const jdouble value = env->CallStaticDoubleMethodA(cls, method, args);
            uint64_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            return bits;
        }
        default: return c.keep(env->CallStaticObjectMethodA(cls, method, args), true);
    }
}

jint registerNatives(CConversation& c, CWireReader& in) {
    jclass cls = static_cast<jclass>(g_refs.get(in.u64()));
    const uint32_t count = in.u32();
    std::vector<std::string> names(count);
    std::vector<std::string> signatures(count);
    std::vector<JNINativeMethod> methods(count);
    std::lock_guard<std::mutex> lock(g_slotsMutex);
    const int firstSlot = g_slotsUsed;
    for (uint32_t i = 0; i < count; ++i) {
        names[i] = in.str();
        signatures[i] = in.str();
        const uint64_t function = in.u64();
        const int family = nativeFamily(signatures[i]);
        if (family < 0 || g_slotsUsed == slotCount) {
            std::fprintf(stderr, "jvmhost: RegisterNatives of %s %s is not supported by the test JVM\n",
                         names[i].c_str(), signatures[i].c_str());
            g_slotsUsed = firstSlot;
            return JNI_ERR;
        }
        const int slot = g_slotsUsed++;
        g_slots[slot] = CNativeSlot{function, family};
        methods[i].name = names[i].data();
        methods[i].signature = signatures[i].data();
        methods[i].fnPtr = g_trampolines[slot][family];
    }
    const jint status = c.env->RegisterNatives(cls, methods.data(), static_cast<jint>(count));
    if (status != JNI_OK) {
        g_slotsUsed = firstSlot;
    }
    return status;
}

// HotSpot's own JVM_RaiseSignal, on this (the mapped, attached) thread.
// Windows' SIGBREAK (21) asks for the thread dump, which HotSpot on Linux
// gives for SIGQUIT. HotSpot on Linux blocks SIGQUIT in every thread but its
// own, so the raise would stay pending here; on Windows the signal's handler
// runs in the raising thread, and so it does here.
bool raiseSignal(jint windowsSignal) {
    if (windowsSignal != 21) {
        return JVM_RaiseSignal(windowsSignal);
    }
    sigset_t quit;
    sigset_t saved;
    sigemptyset(&quit);
    sigaddset(&quit, SIGQUIT);
    pthread_sigmask(SIG_UNBLOCK, &quit, &saved);
    const bool raised = JVM_RaiseSignal(SIGQUIT);
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    return raised;
}

// Carries out one request; false when the conversation ends with it.
bool handle(CConversation& c, const CMessage& request, CWireWriter& out) {
    JNIEnv* env = c.env;
    CWireReader in(request.payload);
    switch (request.op) {
        case opDetach:
            c.releaseFrame();
            out.i32(g_vm->DetachCurrentThread());
            return false;
        case opDestroy: {
            // Only the JVM's threads may be left; HotSpot waits for the non-daemon ones.
            const jint status = g_vm->DestroyJavaVM();
            out.i32(status);
            answer(c.fd, opReply, out.bytes);
            std::_Exit(0);
        }
        case opGetVersion: out.i32(env->GetVersion()); break;
        case opFindClass: out.u64(c.keep(env->FindClass(in.str().c_str()), true)); break;
        case opGetStaticMethodId:
        case opGetMethodId: {
            jclass cls = static_cast<jclass>(g_refs.get(in.u64()));
            const std::string name = in.str();
            const std::string signature = in.str();
            jmethodID method = request.op == opGetStaticMethodId
                                   ? env->GetStaticMethodID(cls, name.c_str(), signature.c_str())
                                   : env->GetMethodID(cls, name.c_str(), signature.c_str());
            out.u64(reinterpret_cast<uint64_t>(method));
            break;
        }
        case opCallStatic: {
            const char type = static_cast<char>(in.u8());
            jclass cls = static_cast<jclass>(g_refs.get(in.u64()));
            jmethodID method = reinterpret_cast<jmethodID>(in.u64());
            const uint32_t count = in.u32();
            std::vector<jvalue> args(count + 1);
            for (uint32_t i = 0; i < count && !in.failed; ++i) {
                args[i] = toJvalue(in.value());
            }
            out.u64(callStatic(c, type, cls, method, args.data()));
            break;
        }
        case opRegisterNatives: out.i32(registerNatives(c, in)); break;
        case opNewStringUtf: out.u64(c.keep(env->NewStringUTF(in.str().c_str()), true)); break;
        case opNewString: {
            const std::string bytes = in.str();
            std::vector<jchar> chars(bytes.size() / 2 + 1);
            std::memcpy(chars.data(), bytes.data(), bytes.size() / 2 * 2);
            out.u64(c.keep(env->NewString(chars.data(), static_cast<jsize>(bytes.size() / 2)), true));
            break;
        }
        case opGetStringUtfChars: {
            jstring string = static_cast<jstring>(g_refs.get(in.u64()));
            const char* chars = env->GetStringUTFChars(string, nullptr);
            out.u8(chars != nullptr ? 1 : 0).str(chars != nullptr ? chars : "");
            if (chars != nullptr) {
                env->ReleaseStringUTFChars(string, chars);
            }
            break;
        }
        case opGetStringChars: {
            jstring string = static_cast<jstring>(g_refs.get(in.u64()));
            const jsize length = env->GetStringLength(string);
            const jchar* chars = env->GetStringChars(string, nullptr);
            out.u8(chars != nullptr ? 1 : 0).data(chars, chars != nullptr ? static_cast<size_t>(length) * 2 : 0);
            if (chars != nullptr) {
                env->ReleaseStringChars(string, chars);
            }
            break;
        }
        case opGetStringLength: out.i32(env->GetStringLength(static_cast<jstring>(g_refs.get(in.u64())))); break;
        case opGetStringUtfLength:
            out.i32(env->GetStringUTFLength(static_cast<jstring>(g_refs.get(in.u64()))));
            break;
        case opNewObjectArray: {
            const jint length = in.i32();
            jclass cls = static_cast<jclass>(g_refs.get(in.u64()));
            jobject initial = g_refs.get(in.u64());
            out.u64(c.keep(env->NewObjectArray(length, cls, initial), true));
            break;
        }
        case opSetObjectArrayElement: {
            jobjectArray array = static_cast<jobjectArray>(g_refs.get(in.u64()));
            const jint index = in.i32();
            env->SetObjectArrayElement(array, index, g_refs.get(in.u64()));
            break;
        }
        case opGetObjectArrayElement: {
            jobjectArray array = static_cast<jobjectArray>(g_refs.get(in.u64()));
            const jint index = in.i32();
            out.u64(c.keep(env->GetObjectArrayElement(array, index), true));
            break;
        }
        case opGetArrayLength: out.i32(env->GetArrayLength(static_cast<jarray>(g_refs.get(in.u64())))); break;
        case opExceptionCheck: out.u8(env->ExceptionCheck() ? 1 : 0); break;
        case opExceptionOccurred: {
            jthrowable thrown = env->ExceptionOccurred();
            if (thrown != nullptr) {
                // No NewGlobalRef while an exception is pending (-Xcheck:jni aborts): set it aside meanwhile.
                env->ExceptionClear();
                out.u64(c.keep(thrown, false));
                env->Throw(thrown);
                env->DeleteLocalRef(thrown);
            } else {
                out.u64(0);
            }
            break;
        }
        case opExceptionDescribe: env->ExceptionDescribe(); break;
        case opExceptionClear: env->ExceptionClear(); break;
        case opDeleteRef: g_refs.remove(env, in.u64()); break;
        case opNewGlobalRef: out.u64(g_refs.add(env, g_refs.get(in.u64()))); break;
        case opIsSameObject: {
            jobject a = g_refs.get(in.u64());
            jobject b = g_refs.get(in.u64());
            out.u8(env->IsSameObject(a, b) ? 1 : 0);
            break;
        }
        case opGetObjectClass: out.u64(c.keep(env->GetObjectClass(g_refs.get(in.u64())), true)); break;
        case opThrowNew: {
            jclass cls = static_cast<jclass>(g_refs.get(in.u64()));
            out.i32(env->ThrowNew(cls, in.str().c_str()));
            break;
        }
        case opRaiseSignal: out.u8(raiseSignal(in.i32()) ? 1 : 0); break;
        default:
            std::fprintf(stderr, "jvmhost: unknown request %u\n", request.op);
            out.i32(JNI_ERR);
            break;
    }
    return true;
}

// Serves requests until the conversation ends (false) or, inside a native
// callback, until the DLL answers the callback (true, with its result).
bool serve(CConversation& conversation, bool inCallback, CValue* callbackResult) {
    CMessage request;
    while (recvMessage(conversation.fd, request)) {
        if (request.op == opCallbackReturn) {
            if (!inCallback) {
                return false;
            }
            CWireReader in(request.payload);
            *callbackResult = in.value();
            return true;
        }
        CWireWriter out;
        const bool goOn = handle(conversation, request, out);
        if (!answer(conversation.fd, opReply, out.bytes) || !goOn) {
            return false;
        }
    }
    return false;
}

// The class path entries that the DLL mapped, with links resolved and ':' between them.
std::string classPath(CWireReader& in) {
    const uint32_t count = in.u32();
    std::string path;
    for (uint32_t i = 0; i < count && !in.failed; ++i) {
        const std::string entry = in.str();
        char* resolved = ::realpath(entry.c_str(), nullptr);
        if (!path.empty()) {
            path += ':';
        }
        path += resolved != nullptr ? resolved : entry;
        std::free(resolved);
    }
    return path;
}


// The Windows process's environment becomes this process's before the JVM is
// created, as a Windows JVM's environment is its process's: Java's
// System.getenv sees it, and HotSpot takes JAVA_TOOL_OPTIONS from it. Of
// jvmhost's own environment only the dynamic loader's LD_* stays, winning over
// a Windows variable of the same name. Windows' hidden per-drive entries
// ("=C:=C:\dir"), whose names a Linux environment cannot hold, are left out.
// No other thread of jvmhost reads the environment.
void installWindowsEnvironment(const std::vector<std::string>& windows) {
    std::vector<std::pair<std::string, std::string>> kept;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string::npos && text.rfind("LD_", 0) == 0) {
            kept.emplace_back(text.substr(0, equals), text.substr(equals + 1));
        }
    }
    clearenv();
    for (const std::string& entry : windows) {
        const size_t equals = entry.find('=');
        if (equals != std::string::npos && equals > 0) {
            setenv(entry.substr(0, equals).c_str(), entry.c_str() + equals + 1, 1);
        }
    }
    for (const auto& [name, value] : kept) {
        setenv(name.c_str(), value.c_str(), 1);
    }
}

// While it lives, LC_ALL names a UTF-8 locale, which the JVM takes for its
// encodings while it is created: a Windows JVM reads its environment, paths
// and arguments as UTF-16, so every character comes through. Afterwards the
// environment is again exactly what it was, as Java reads it only later.
class CUtf8LocaleForCreation {
public:
    CUtf8LocaleForCreation() {
        const char* value = std::getenv("LC_ALL");
        had = value != nullptr;
        saved = had ? value : "";
        setenv("LC_ALL", "C.UTF-8", 1);
    }
    ~CUtf8LocaleForCreation() {
        if (had) {
            setenv("LC_ALL", saved.c_str(), 1);
        } else {
            unsetenv("LC_ALL");
        }
    }
    CUtf8LocaleForCreation(const CUtf8LocaleForCreation&) = delete;
    CUtf8LocaleForCreation& operator=(const CUtf8LocaleForCreation&) = delete;

private:
    bool had = false;
    std::string saved;
};

void runConversation(int fd) {
    CConversation conversation;
    conversation.fd = fd;
    CMessage first;
    if (!recvMessage(fd, first)) {
        ::close(fd);
        return;
    }
    CWireReader in(first.payload);
    CWireWriter out;
    jint status = JNI_ERR;
    if (first.op == opCreate) {
        JavaVMInitArgs args{};
        args.version = in.i32();
        args.ignoreUnrecognized = in.u8() != 0 ? JNI_TRUE : JNI_FALSE;
        const int32_t hookPosition = in.i32();
        const uint32_t count = in.u32();
        std::vector<std::string> texts;
        for (uint32_t i = 0; i < count && !in.failed; ++i) {
            texts.push_back(in.str());
        }
        const int32_t classPathPosition = in.i32();
        const std::string path = classPath(in);
        std::vector<std::string> environment;
        for (uint32_t i = 0, entries = in.u32(); i < entries && !in.failed; ++i) {
            environment.push_back(in.str());
        }
        installWindowsEnvironment(environment);
        const size_t plain = texts.size();
        if (classPathPosition >= 0) {
            texts.push_back("-Djava.class.path=" + path);
        }
        // The options in the order the program gave them, the two rebuilt ones back in their places.
        std::vector<JavaVMOption> options;
        size_t next = 0;
        const size_t total = plain + (classPathPosition >= 0 ? 1 : 0) + (hookPosition >= 0 ? 1 : 0);
        for (size_t i = 0; i < total; ++i) {
            if (static_cast<int32_t>(i) == hookPosition) {
                options.push_back(JavaVMOption{const_cast<char*>("vfprintf"), reinterpret_cast<void*>(&outputHook)});
            } else if (static_cast<int32_t>(i) == classPathPosition) {
                options.push_back(JavaVMOption{texts.back().data(), nullptr});
            } else if (next < plain) {
                options.push_back(JavaVMOption{texts[next++].data(), nullptr});
            }
        }
        // As strict as HotSpot can be: its JNI checks on every call, and its
        // exit and abort handed to the Windows process.
        options.push_back(JavaVMOption{const_cast<char*>("-Xcheck:jni"), nullptr});
        options.push_back(JavaVMOption{const_cast<char*>("exit"), reinterpret_cast<void*>(&exitHook)});
        options.push_back(JavaVMOption{const_cast<char*>("abort"), reinterpret_cast<void*>(&abortHook)});
        args.nOptions = static_cast<jint>(options.size());
        args.options = options.data();
        JNIEnv* env = nullptr;
        {
            const CUtf8LocaleForCreation locale;
            status = JNI_CreateJavaVM(&g_vm, reinterpret_cast<void**>(&env), &args);
        }
        conversation.env = env;
    } else if (first.op == opAttach && g_vm != nullptr) {
        const bool daemon = in.u8() != 0;
        std::string name = in.str();
        JavaVMAttachArgs args{JNI_VERSION_1_2, name.empty() ? nullptr : name.data(), nullptr};
        JNIEnv* env = nullptr;
        status = daemon ? g_vm->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&env), &args)
                        : g_vm->AttachCurrentThread(reinterpret_cast<void**>(&env), &args);
        conversation.env = env;
    }
    out.i32(status);
    if (!answer(fd, opReply, out.bytes) || status != JNI_OK) {
        ::close(fd);
        return;
    }
    t_conversation = &conversation;
    serve(conversation, false, nullptr);
    t_conversation = nullptr;
    if (!conversation.frames.empty()) {
        // The Windows thread went away without detaching: release its Java thread.
        conversation.releaseFrame();
        g_vm->DetachCurrentThread();
    }
    ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: jvmhost <port>\n");
        return 2;
    }
    g_dllPort = static_cast<uint16_t>(std::atoi(argv[1]));
    // A Windows process inherits no ignored signals, but this one inherits
    // Linux's: started from a background job, SIGQUIT is ignored and HotSpot
    // then installs no thread-dump handler for it.
    std::signal(SIGQUIT, SIG_DFL);

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("jvmhost: listen");
        return 1;
    }
    g_controlFd = connectToDll();
    if (g_controlFd < 0) {
        std::perror("jvmhost: connect");
        return 1;
    }
    CWireWriter hello;
    hello.u32(ntohs(address.sin_port)).u32(static_cast<uint32_t>(::getpid()));
    if (!sendMessage(g_controlFd, opHello, hello.bytes)) {
        return 1;
    }
    std::thread(controlReader).detach();
    if (!captureStandardStreams()) {
        std::perror("jvmhost: capture of standard output");
        return 1;
    }

    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) {
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::thread(runConversation, fd).detach();
    }
}
