#pragma once
// The wire between the test jvm.dll (Windows, under Wine) and jvmhost (Linux,
// embedding the real JVM). A message is a 32-bit payload length, a 32-bit
// operation and the payload, all little-endian. Built by both compilers.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace bridge {

enum Op : uint32_t {
    // Control connection, opened by the host to the DLL's listener.
    opHello = 1,          // host -> dll: u32 host port, u32 host pid
    opOutput = 2,         // host -> dll: bytes of JVM output for the vfprintf hook
    opOutputDone = 3,     // dll -> host: the hook has run
    opExit = 4,           // host -> dll: i32 code; Java called System.exit or Runtime.halt
    opAbort = 5,          // host -> dll: the JVM aborts (a fatal error, -Xcheck:jni among them)
    opStandardOutput = 6, // host -> dll: u32 descriptor (1 or 2), bytes written to it; answered by opOutputDone

    // Conversations: first message of a connection opened by the DLL.
    opCreate = 10,        // i32 version, u8 ignoreUnrecognized, i32 hook position (-1: none), u32 n,
                          // n option strings, i32 class path position (-1: none), u32 m,
                          // m class path entries, u32 k, k environment entries ("NAME=value", UTF-8)
                          // -> i32 status; positions index the options
    opAttach = 11,        // u8 daemon, string thread name (empty: none) -> i32 status
    // Requests on a conversation; each answered with opReply.
    opDetach = 20,        // -> i32 status, then the host closes the conversation
    opDestroy,            // -> i32 status
    opGetVersion,         // -> i32
    opFindClass,          // string name -> u64 class
    opGetStaticMethodId,  // u64 class, string name, string signature -> u64 method
    opGetMethodId,        // u64 class, string name, string signature -> u64 method
    opCallStatic,         // u8 result type, u64 class, u64 method, u32 n, n values -> u64 result bits
    opRegisterNatives,    // u64 class, u32 n, n x (string name, string signature, u64 function) -> i32
    opNewStringUtf,       // bytes (modified UTF-8) -> u64 string
    opNewString,          // bytes (UTF-16LE) -> u64 string
    opGetStringUtfChars,  // u64 string -> u8 ok, bytes
    opGetStringChars,     // u64 string -> u8 ok, bytes (UTF-16LE)
    opGetStringLength,    // u64 string -> i32
    opGetStringUtfLength, // u64 string -> i32
    opNewObjectArray,     // i32 length, u64 class, u64 initial -> u64 array
    opSetObjectArrayElement, // u64 array, i32 index, u64 value -> (nothing)
    opGetObjectArrayElement, // u64 array, i32 index -> u64 value
    opGetArrayLength,     // u64 array -> i32
    opExceptionCheck,     // -> u8
    opExceptionOccurred,  // -> u64 throwable
    opExceptionDescribe,  // -> (nothing)
    opExceptionClear,     // -> (nothing)
    opDeleteRef,          // u64 reference -> (nothing)
    opNewGlobalRef,       // u64 reference -> u64 reference
    opIsSameObject,       // u64, u64 -> u8
    opGetObjectClass,     // u64 object -> u64 class
    opThrowNew,           // u64 class, string message -> i32
    opRaiseSignal,        // i32 Windows signal number -> u8 JVM_RaiseSignal's answer

    opReply = 100,         // host -> dll: the answer to the pending request
    opCallback = 101,      // host -> dll: u64 function, u32 family, u64 self, u32 n, n values
    opCallbackReturn = 102 // dll -> host: u64 result bits
};

// The exit code of a Windows process that the test JVM ends because it did
// what a real JVM would crash, abort or refuse on.
inline constexpr uint32_t fatalExitCode = 0xDEAD;

// Native method signatures the bridge can bind, one trampoline family each.
inline constexpr const char* nativeSignatures[] = {
    "(IIIII)V",
    "(Ljava/lang/String;I)Z",
    "()V",
    "(I)V",
    "(I)I",
    "(I)Z",
    "(Ljava/lang/String;)V",
    "(Ljava/lang/String;)Ljava/lang/String;",
};
inline constexpr int nativeFamilyCount = sizeof(nativeSignatures) / sizeof(nativeSignatures[0]);

inline int nativeFamily(const std::string& signature) {
    for (int i = 0; i < nativeFamilyCount; ++i) {
        if (signature == nativeSignatures[i]) {
            return i;
        }
    }
    return -1;
}

// A call argument: its signature letter (Z B C S I J F D, L for any reference) and its bits.
struct CValue {
    char type = 'I';
    uint64_t bits = 0;
};

// The argument letters of a method signature, "(ILjava/lang/String;[I)V" -> "ILL"; false if malformed.
inline bool parameterTypes(const std::string& signature, std::string& types, char& result) {
    types.clear();
    if (signature.empty() || signature[0] != '(') {
        return false;
    }
    size_t i = 1;
    while (i < signature.size() && signature[i] != ')') {
        const size_t start = i;
        while (i < signature.size() && signature[i] == '[') {
            ++i;
        }
        if (i >= signature.size()) {
            return false;
        }
        if (signature[i] == 'L') {
            i = signature.find(';', i);
            if (i == std::string::npos) {
                return false;
            }
        } else if (std::strchr("ZBCSIJFD", signature[i]) == nullptr) {
            return false;
        }
        types += signature[start] == '[' || signature[start] == 'L' ? 'L' : signature[start];
        ++i;
    }
    if (i + 1 >= signature.size()) {
        return false;
    }
    result = signature[i + 1] == '[' ? 'L' : signature[i + 1];
    if (signature[i + 1] == 'L' && signature.back() != ';') {
        return false;
    }
    return std::strchr("VZBCSIJFDL", result) != nullptr;
}

class CWireWriter {
public:
    CWireWriter& u8(uint8_t value) {
        bytes.push_back(value);
        return *this;
    }
    CWireWriter& u32(uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
        return *this;
    }
    CWireWriter& i32(int32_t value) { return u32(static_cast<uint32_t>(value)); }
    CWireWriter& u64(uint64_t value) {
        for (int i = 0; i < 8; ++i) {
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
        return *this;
    }
    CWireWriter& data(const void* data, size_t size) {
        u32(static_cast<uint32_t>(size));
        const uint8_t* begin = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) {
            bytes.push_back(begin[i]);
        }
        return *this;
    }
    CWireWriter& str(const std::string& text) { return data(text.data(), text.size()); }
    CWireWriter& value(const CValue& value) { return u8(static_cast<uint8_t>(value.type)).u64(value.bits); }

    std::vector<uint8_t> bytes;
};

// Reads what CWireWriter wrote; reading past the end yields zeros and sets failed.
class CWireReader {
public:
    explicit CWireReader(const std::vector<uint8_t>& bytes) : bytes(bytes) {}

    uint8_t u8() {
        if (!need(1)) {
            return 0;
        }
        return bytes[pos++];
    }
    uint32_t u32() {
        if (!need(4)) {
            return 0;
        }
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= static_cast<uint32_t>(bytes[pos++]) << (8 * i);
        }
        return value;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    uint64_t u64() {
        if (!need(8)) {
            return 0;
        }
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i) {
            value |= static_cast<uint64_t>(bytes[pos++]) << (8 * i);
        }
        return value;
    }
    std::string str() {
        const uint32_t size = u32();
        if (!need(size)) {
            return std::string();
        }
        std::string text(reinterpret_cast<const char*>(bytes.data() + pos), size);
        pos += size;
        return text;
    }
    CValue value() {
        CValue result;
        result.type = static_cast<char>(u8());
        result.bits = u64();
        return result;
    }
    bool failed = false;

private:
    bool need(size_t size) {
        if (failed || bytes.size() - pos < size) {
            failed = true;
            return false;
        }
        return true;
    }
    const std::vector<uint8_t>& bytes;
    size_t pos = 0;
};

struct CMessage {
    uint32_t op = 0;
    std::vector<uint8_t> payload;
};

// The 8 header bytes of a message.
inline void encodeHeader(uint8_t header[8], uint32_t op, uint32_t size) {
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<uint8_t>(size >> (8 * i));
        header[4 + i] = static_cast<uint8_t>(op >> (8 * i));
    }
}

inline void decodeHeader(const uint8_t header[8], uint32_t& op, uint32_t& size) {
    size = 0;
    op = 0;
    for (int i = 0; i < 4; ++i) {
        size |= static_cast<uint32_t>(header[i]) << (8 * i);
        op |= static_cast<uint32_t>(header[4 + i]) << (8 * i);
    }
}

// Messages above this size are a broken stream, not data.
inline constexpr uint32_t maxMessageSize = 64u * 1024 * 1024;

}  // namespace bridge
