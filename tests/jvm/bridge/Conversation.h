#pragma once
// A conversation: the connection that pairs one Windows thread with one Java
// thread in jvmhost. A request waits for its reply and, while it waits, runs
// the native callbacks that Java makes on the paired thread, so re-entrant
// calls stay on the right threads.
#include <winsock2.h>
#include <windows.h>

#include <jni.h>

#include <cstdarg>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "BridgeWire.h"

namespace bridge {

using OutputHook = jint(JNICALL*)(FILE*, const char*, va_list);
using ExitHook = void(JNICALL*)(jint code);
using AbortHook = void(JNICALL*)();

struct CConversation {
    JNIEnv_ env;  // first: a JNIEnv* is the address of its conversation
    SOCKET socket = INVALID_SOCKET;
    int callbackDepth = 0;
    DWORD ownerThread = 0;  // the one Windows thread that may use env
};

inline CConversation* conversationOf(JNIEnv* env) { return reinterpret_cast<CConversation*>(env); }

// The conversation of the current Windows thread, if it is attached.
extern thread_local CConversation* t_conversation;

// The JNIEnv function table of every conversation, and the one JavaVM.
extern JNINativeInterface_ g_functions;
extern JavaVM_ g_vm;

extern SOCKET g_listener;               // where Java threads without a conversation connect
extern SOCKET g_control;                // the host's control connection
extern std::mutex g_controlSendMutex;   // for writes to g_control
extern uint16_t g_hostPort;
extern OutputHook g_hook;               // the program's vfprintf hook, or null
extern ExitHook g_exitHook;             // the program's exit hook, or null
extern AbortHook g_abortHook;           // the program's abort hook, or null
// Set once jvmhost may end without the program's process ending with it
// (DestroyJavaVM, a failed creation); until then its end is a JVM crash.
extern std::atomic<bool> g_hostMayEnd;

// Problems of the bridge itself go to stderr and, when the program gave one, its output hook.
void complain(const std::string& text);
// Where a real JVM in this process would crash, abort or refuse: says why and
// ends the process with fatalExitCode, so that no test passes on it.
[[noreturn]] void fatal(const std::string& text);
// A JNIEnv may only be used on the thread it was made for, while that thread is attached.
void checkEnv(JNIEnv* env);

bool sendMessage(SOCKET s, uint32_t op, const std::vector<uint8_t>& payload);
bool recvMessage(SOCKET s, CMessage& message);
SOCKET connectToHost();
CConversation* newConversation(SOCKET s);
void deleteConversation(CConversation* conversation);

inline jobject toObject(uint64_t id) { return reinterpret_cast<jobject>(id); }
inline uint64_t toId(const void* object) { return reinterpret_cast<uint64_t>(object); }

// Sends a request on env's conversation and waits for its reply; false when the host is gone.
bool exchange(JNIEnv* env, uint32_t op, const CWireWriter& request, CMessage& reply);
// A request whose reply is one u64 (0 when the exchange fails) or one i32.
uint64_t askU64(JNIEnv* env, uint32_t op, const CWireWriter& request);
jint askI32(JNIEnv* env, uint32_t op, const CWireWriter& request, jint failure = JNI_ERR);

// Thread bodies: Java threads that call natives without a conversation; JVM output for the hook.
void acceptJavaThreads();
void serveOutput();

}  // namespace bridge
