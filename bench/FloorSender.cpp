// The floor of a control sender: one ControlService call through the service
// control manager. Arguments: the service name and the control code.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager != nullptr ? OpenServiceW(manager, argv[1], SERVICE_USER_DEFINED_CONTROL) : nullptr;
    SERVICE_STATUS answer = {};
    const BOOL sent = service != nullptr &&
                      ControlService(service, static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)), &answer);
    if (service != nullptr) {
        CloseServiceHandle(service);
    }
    if (manager != nullptr) {
        CloseServiceHandle(manager);
    }
    return sent ? 0 : 1;
}
