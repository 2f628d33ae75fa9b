#include "install/PasswordInput.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "common/ExitCodes.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"

namespace {

// Windows takes passwords of up to 256 characters; a longer line is refused, not cut.
const std::size_t kMaxPasswordCharacters = 256;
// Up to four bytes a character in UTF-8, and room to see that the line went on.
const std::size_t kMaxPasswordBytes = kMaxPasswordCharacters * 4 + 2;
const wchar_t kPrompt[] = L"Password: ";

// Puts the console's input mode back as it was, whatever way the read ends.
class CConsoleModeRestore {
public:
    CConsoleModeRestore(HANDLE console, DWORD mode) : console(console), mode(mode) {}
    ~CConsoleModeRestore() { SetConsoleMode(console, mode); }
    CConsoleModeRestore(const CConsoleModeRestore&) = delete;
    CConsoleModeRestore& operator=(const CConsoleModeRestore&) = delete;

private:
    HANDLE console;
    DWORD mode;
};

// The prompt and the line end the hidden input does not echo, on the console only.
void writeToConsole(const wchar_t* text) {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(error, &mode)) {
        WriteConsoleW(error, text, static_cast<DWORD>(std::wcslen(text)), &written, nullptr);
    }
}

enum class ELineRead { line, nothing, tooLong, failed };

// Typed characters up to Enter, without echo; the line end is not kept.
ELineRead readConsoleLine(HANDLE input, DWORD mode, wchar_t* line, std::size_t capacity, std::size_t* length,
                          DWORD* error) {
    if (!SetConsoleMode(input, (mode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~ENABLE_ECHO_INPUT)) {
        *error = GetLastError();
        return ELineRead::failed;
    }
    const CConsoleModeRestore restore(input, mode);
    writeToConsole(kPrompt);
    *length = 0;
    ELineRead result = ELineRead::nothing;
    for (;;) {
        DWORD got = 0;
        if (*length == capacity) {
            result = ELineRead::tooLong;
            break;
        }
        if (!ReadConsoleW(input, line + *length, static_cast<DWORD>(capacity - *length), &got, nullptr)) {
            *error = GetLastError();
            result = ELineRead::failed;
            break;
        }
        if (got == 0) {
            break;
        }
        wchar_t* end = std::wmemchr(line + *length, L'\n', got);
        *length += got;
        if (end != nullptr) {
            *length = static_cast<std::size_t>(end - line);
            result = ELineRead::line;
            break;
        }
    }
    writeToConsole(L"\r\n");
    if (*length != 0 && line[*length - 1] == L'\r') {
        --*length;
    }
    return result == ELineRead::line && *length == 0 ? ELineRead::nothing : result;
}

// Bytes up to the first line end or the end of the input; the line end is not kept.
ELineRead readByteLine(HANDLE input, char* line, std::size_t capacity, std::size_t* length, DWORD* error) {
    *length = 0;
    bool ended = false;
    while (!ended && *length < capacity) {
        DWORD got = 0;
        if (!ReadFile(input, line + *length, static_cast<DWORD>(capacity - *length), &got, nullptr)) {
            *error = GetLastError();
            // The writer closed the pipe: that is the input's end.
            if (*error != ERROR_BROKEN_PIPE) {
                return ELineRead::failed;
            }
            got = 0;
        }
        const void* newline = got != 0 ? std::memchr(line + *length, '\n', got) : nullptr;
        *length += got;
        if (newline != nullptr) {
            *length = static_cast<std::size_t>(static_cast<const char*>(newline) - line);
            ended = true;
        } else if (got == 0) {
            ended = true;
        }
    }
    if (!ended) {
        return ELineRead::tooLong;
    }
    if (*length != 0 && line[*length - 1] == '\r') {
        --*length;
    }
    return *length == 0 ? ELineRead::nothing : ELineRead::line;
}

// UTF-8 when the bytes are valid UTF-8 (a byte-order mark dropped), else the
// console's input code page, or the ANSI one without a console.
std::size_t decodeLine(const char* bytes, std::size_t length, wchar_t* line, std::size_t capacity) {
    if (length >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF && static_cast<unsigned char>(bytes[1]) == 0xBB &&
        static_cast<unsigned char>(bytes[2]) == 0xBF) {
        bytes += 3;
        length -= 3;
    }
    if (length == 0) {
        return 0;
    }
    const int count = static_cast<int>(length);
    const int room = static_cast<int>(capacity);
    int converted = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, count, line, room);
    if (converted == 0) {
        const UINT codePage = GetConsoleCP() != 0 ? GetConsoleCP() : CP_ACP;
        converted = MultiByteToWideChar(codePage, 0, bytes, count, line, room);
    }
    return static_cast<std::size_t>(converted);
}

}  // namespace

bool passwordFromInput(const wchar_t* password) { return password != nullptr && std::wcscmp(password, L"-") == 0; }

int readPasswordFromInput(CLogger* logger, CSecretText* password) {
    CTraceScope trace(logger, L"readPasswordFromInput");
    // Room for a character a byte of the longest line read; typing stops one
    // character past the longest password, to tell a line that is too long.
    const std::size_t capacity = kMaxPasswordBytes;
    *password = allocateWiped<wchar_t>(capacity + 1);
    const CWipedPtr<char> bytes = allocateWiped<char>(kMaxPasswordBytes);
    if (!*password || !bytes) {
        logger->logMessage(L"Memory error");
        return trace.exit(kMemoryError);
    }
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    DWORD error = 0;
    std::size_t length = 0;
    ELineRead read = ELineRead::failed;
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
        read = ELineRead::nothing;
    } else if (GetConsoleMode(input, &mode)) {
        read = readConsoleLine(input, mode, password->get(), kMaxPasswordCharacters + 2, &length, &error);
    } else {
        read = readByteLine(input, bytes.get(), kMaxPasswordBytes, &length, &error);
        if (read == ELineRead::line) {
            length = decodeLine(bytes.get(), length, password->get(), capacity);
            read = length == 0 ? ELineRead::nothing : ELineRead::line;
        }
    }
    if (read == ELineRead::line && length > kMaxPasswordCharacters) {
        read = ELineRead::tooLong;
    }
    switch (read) {
        case ELineRead::line:
            password->get()[length] = L'\0';
            return trace.exit(0);
        case ELineRead::nothing:
            logger->logMessage(L"No password on standard input; nothing installed");
            break;
        case ELineRead::tooLong:
            logger->logMessage(L"The password on standard input is longer than 256 characters; nothing installed");
            break;
        case ELineRead::failed:
            logFailure(logger, L"Cannot read the password from standard input ", error);
            break;
    }
    return trace.exit(kSwitchError);
}
