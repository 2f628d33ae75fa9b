#include "install/ServiceSettings.h"

#include <cwchar>

#include "common/AsciiCase.h"
#include "common/CTextBuilder.h"
#include "common/RegistryLayout.h"
#include "common/ServiceNames.h"

namespace {

template <std::size_t N>
unsigned long lookUpWord(const CNamedValue (&table)[N], const wchar_t* word, unsigned long absent, int* recognised) {
    const CNamedValue* entry = word != nullptr ? findNamedValue(table, word) : nullptr;
    *recognised = word == nullptr || entry != nullptr;
    return entry != nullptr ? entry->value : absent;
}

}  // namespace

unsigned long startTypeFromWord(const wchar_t* word, int* recognised) {
    return lookUpWord(kStartTypeNames, word, kDemandStart, recognised);
}

unsigned long errorControlFromWord(const wchar_t* word, int* recognised) {
    return lookUpWord(kErrorControlNames, word, kErrorNormal, recognised);
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

CHeapText accountForLookup(const wchar_t* accountName, const wchar_t* computerName) {
    if (accountName[0] != L'.' || accountName[1] != L'\\') {
        return duplicateText(accountName);
    }
    CTextBuilder name;
    name.append(computerName).append(accountName + 1);
    return CHeapText(name.release());
}

EAccountKind accountKindOf(const wchar_t* accountName) {
    const wchar_t* domain = L"NT SERVICE\\";
    const wchar_t* name = accountName;
    while (*domain != L'\0' && toUpperAscii(*name) == *domain) {
        ++domain;
        ++name;
    }
    if (*domain == L'\0' && *name != L'\0') {
        return EAccountKind::virtualAccount;
    }
    const std::size_t length = std::wcslen(accountName);
    if (length > 1 && accountName[length - 1] == L'$') {
        return EAccountKind::groupManaged;
    }
    return EAccountKind::ordinary;
}

CHeapText buildServiceKeyPath(const wchar_t* serviceName) {
    CTextBuilder path;
    appendServiceKeyPath(path, serviceName);
    return CHeapText(path.release());
}
