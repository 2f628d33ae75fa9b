#include "common/RegistryLayout.h"

#include <cwchar>

#include "common/CTextBuilder.h"

void appendServiceKeyPath(CTextBuilder& path, const wchar_t* serviceName) {
    path.append(kServicesKeyPath).appendChar(L'\\').append(serviceName);
}

void appendParametersKeyPath(CTextBuilder& path, const wchar_t* serviceName) {
    appendServiceKeyPath(path, serviceName);
    path.appendChar(L'\\').append(kParametersSubkey);
}

void formatJvmOptionName(wchar_t* name, unsigned long capacity, int number) {
    std::swprintf(name, capacity, L"%ls%d", kJvmOptionValuePrefix, number);
}
