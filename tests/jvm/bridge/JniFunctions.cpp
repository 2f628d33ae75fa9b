#include "JniFunctions.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "Conversation.h"
#include "JniFunctionNames.h"

namespace bridge {
namespace {

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

void JNICALL jniReleaseStringUTFChars(JNIEnv* env, jstring, const char* chars) {
    checkEnv(env);
    std::free(const_cast<char*>(chars));
}

const jchar* JNICALL jniGetStringChars(JNIEnv* env, jstring string, jboolean* isCopy) {
    return getChars<jchar>(env, opGetStringChars, string, isCopy);
}

void JNICALL jniReleaseStringChars(JNIEnv* env, jstring, const jchar* chars) {
    checkEnv(env);
    std::free(const_cast<jchar*>(chars));
}

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

jint JNICALL jniGetJavaVM(JNIEnv* env, JavaVM** vm) {
    checkEnv(env);
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

}  // namespace

void setUpJniFunctions() {
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
}

}  // namespace bridge
