#include "install/ServiceSettings.h"

#include <cwchar>

#include "common/AsciiCase.h"
#include "common/CTextBuilder.h"
#include "common/RegistryLayout.h"

namespace {

struct CWordValue {
    const wchar_t* word;
    unsigned long value;
};

const CWordValue kStartTypes[] = {
    {L"SERVICE_AUTO_START", 2},
    {L"SERVICE_DEMAND_START", 3},
    {L"SERVICE_DISABLED", 4},
};

const CWordValue kErrorControls[] = {
    {L"SERVICE_ERROR_IGNORE", 0},
    {L"SERVICE_ERROR_NORMAL", 1},
    {L"SERVICE_ERROR_SEVERE", 2},
    {L"SERVICE_ERROR_CRITICAL", 3},
};

template <std::size_t N>
unsigned long lookUpWord(const CWordValue (&table)[N], const wchar_t* word, unsigned long absent, int* recognised) {
    *recognised = 1;
    if (word == nullptr) {
        return absent;
    }
    for (const CWordValue& entry : table) {
        if (equalsIgnoringAsciiCase(word, entry.word)) {
            return entry.value;
        }
    }
    *recognised = 0;
    return absent;
}

}  // namespace

unsigned long startTypeFromWord(const wchar_t* word, int* recognised) {
    return lookUpWord(kStartTypes, word, kDemandStart, recognised);
}

unsigned long errorControlFromWord(const wchar_t* word, int* recognised) {
    return lookUpWord(kErrorControls, word, kErrorNormal, recognised);
}

CHeapText buildImagePath(const wchar_t* programPath, const wchar_t* serviceName) {
    CTextBuilder path;
    path.appendChar(L'"').append(programPath).append(L"\" -Z \"").append(serviceName).appendChar(L'"');
    return CHeapText(path.release());
}

CHeapText buildDependencyList(const wchar_t* commaSeparated) {
    const std::size_t length = std::wcslen(commaSeparated);
    CHeapText list = allocateZeroed<wchar_t>(length + 10);
    if (list) {
        for (std::size_t index = 0; index < length; ++index) {
            list.get()[index] = commaSeparated[index] == L',' ? L'\0' : commaSeparated[index];
        }
    }
    return list;
}

const wchar_t* accountForLogonRight(const wchar_t* accountName) {
    const wchar_t* backslash = std::wcsrchr(accountName, L'\\');
    return backslash != nullptr ? backslash + 1 : accountName;
}

CHeapText buildServiceKeyPath(const wchar_t* serviceName) {
    CTextBuilder path;
    path.append(kServicesKeyPath).appendChar(L'\\').append(serviceName);
    return CHeapText(path.release());
}
