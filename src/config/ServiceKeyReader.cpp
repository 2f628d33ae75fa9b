#include "config/ServiceKeyReader.h"

#include <windows.h>

#include <cwchar>

#include "common/RegistryLayout.h"
#include "common/RegistryReaders.h"
#include "config/ServiceSettingsText.h"

namespace {

const unsigned long kValueReadBytes = 4000;
const std::size_t kValueBufferCharacters = kValueReadBytes / sizeof(wchar_t) + 1;

}  // namespace

CServiceKeyReader::CServiceKeyReader(const wchar_t* serviceName)
    : serviceName(serviceName), buffer(allocateZeroed<wchar_t>(kValueBufferCharacters)) {}

CHeapText CServiceKeyReader::readText(const wchar_t* keyPath, const wchar_t* subkey, const wchar_t* valueName) {
    clear();
    return duplicateText(getRegStrValue(HKEY_LOCAL_MACHINE, keyPath, subkey, valueName, buffer.get(), kValueReadBytes));
}

CHeapText CServiceKeyReader::readServiceText(const wchar_t* valueName) {
    return readText(kServicesKeyPath, serviceName, valueName);
}

CHeapText CServiceKeyReader::readServiceList(const wchar_t* valueName) {
    clear();
    return duplicateText(getRegStrListValue(HKEY_LOCAL_MACHINE, kServicesKeyPath, serviceName, valueName,
                                            buffer.get(), kValueReadBytes, L','));
}

unsigned long CServiceKeyReader::readServiceNumber(const wchar_t* valueName) {
    return getRegDwValue(HKEY_LOCAL_MACHINE, kServicesKeyPath, serviceName, valueName, kMissingNumber);
}

void CServiceKeyReader::clear() { std::wmemset(buffer.get(), L'\0', kValueBufferCharacters); }
