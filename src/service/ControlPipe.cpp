#include "service/ControlPipe.h"

#include "common/CTextBuilder.h"

CHeapText controlPipeName(const wchar_t* serviceName) {
    CTextBuilder name;
    name.append(L"\\\\.\\pipe\\").append(serviceName).append(L"_PravikPipe");
    return CHeapText(name.release());
}
