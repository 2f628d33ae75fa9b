// The floor of a control pipe server: one pipe instance, one four-byte code per
// connection. Code 200 sets the named event "PravikBenchFloorPipe200"; code 1
// ends the server. Argument: the pipe's name.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 2;
    }
    HANDLE pipe = CreateNamedPipeW(argv[1], PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                   0, 16, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        return 1;
    }
    for (DWORD code = 0; code != 1;) {
        if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
            DWORD read = 0;
            if (ReadFile(pipe, &code, sizeof code, &read, nullptr) && read == sizeof code && code == 200) {
                HANDLE probe = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"PravikBenchFloorPipe200");
                if (probe != nullptr) {
                    SetEvent(probe);
                    CloseHandle(probe);
                }
            }
        }
        DisconnectNamedPipe(pipe);
    }
    CloseHandle(pipe);
    return 0;
}
