// The floor of a control pipe client: one connection, one four-byte code.
// Arguments: the pipe's name and the code.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    HANDLE pipe = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        return 1;
    }
    const DWORD code = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    DWORD written = 0;
    const BOOL sent = WriteFile(pipe, &code, sizeof code, &written, nullptr);
    CloseHandle(pipe);
    return sent && written == sizeof code ? 0 : 1;
}
