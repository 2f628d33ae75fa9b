#include "registry/ServiceListing.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "common/CTextBuilder.h"
#include "common/HeapText.h"
#include "common/RegistryLayout.h"
#include "common/RegistryReaders.h"
#include "common/Win32Handle.h"
#include "log/ConsoleLine.h"

namespace {

// Recognition reads into 2048 bytes and states 2046, so the text stays terminated.
const std::size_t kRecognitionBufferBytes = 2048;
const unsigned long kRecognitionReadBytes = 2046;
// Listing: names are enumerated up to 2000 characters and display names read up to 2000 bytes.
const std::size_t kListingBufferCharacters = 2004;
const DWORD kKeyNameLimit = 2000;
const unsigned long kDisplayNameReadBytes = 2000;

}  // namespace

int isPravikService(const wchar_t* serviceName) {
    if (serviceName == nullptr) {
        return 0;
    }
    CHeapText value = allocateZeroed<wchar_t>(kRecognitionBufferBytes / sizeof(wchar_t));
    if (!value) {
        return 0;
    }
    if (getRegStrValue(HKEY_LOCAL_MACHINE, kServicesKeyPath, serviceName, kImagePathValue, value.get(),
                       kRecognitionReadBytes) != nullptr &&
        std::wcsstr(value.get(), L"pravik") != nullptr) {
        return 1;
    }
    // The service key path is as long as the name makes it, never cut or overrun.
    CTextBuilder serviceKey;
    appendServiceKeyPath(serviceKey, serviceName);
    if (serviceKey.failed()) {
        return 0;
    }
    std::wmemset(value.get(), L'\0', kRecognitionBufferBytes / sizeof(wchar_t));
    return getRegStrValue(HKEY_LOCAL_MACHINE, serviceKey.text(), kParametersSubkey, kPravikClassValue, value.get(),
                          kRecognitionReadBytes) != nullptr
               ? 1
               : 0;
}

EServiceWalk forEachPravikService(PravikServiceVisitor visit, void* context, long* status) {
    *status = ERROR_SUCCESS;
    CRegKey services;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServicesKeyPath, 0, KEY_ENUMERATE_SUB_KEYS, services.put()) !=
        ERROR_SUCCESS) {
        return EServiceWalk::registryClosed;
    }
    CHeapText keyName = allocateZeroed<wchar_t>(kListingBufferCharacters);
    if (!keyName) {
        return EServiceWalk::memoryShort;
    }
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = kKeyNameLimit;
        *status = RegEnumKeyExW(services.get(), index, keyName.get(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (*status != ERROR_SUCCESS) {
            break;
        }
        keyName.get()[nameLength < kKeyNameLimit ? nameLength : kKeyNameLimit] = L'\0';
        if (isPravikService(keyName.get())) {
            visit(keyName.get(), context);
        }
    }
    return *status == ERROR_NO_MORE_ITEMS ? EServiceWalk::done : EServiceWalk::enumerationFailed;
}

namespace {

struct CListing {
    CHeapText displayName;
    bool found = false;
};

void printListingLine(const wchar_t* serviceName, void* context) {
    CListing* listing = static_cast<CListing*>(context);
    listing->found = true;
    std::wmemset(listing->displayName.get(), L'\0', kListingBufferCharacters);
    const bool named = getRegStrValue(HKEY_LOCAL_MACHINE, kServicesKeyPath, serviceName, kDisplayNameValue,
                                      listing->displayName.get(), kDisplayNameReadBytes) != nullptr;
    printConsoleLine(serviceName, named ? L" : " : nullptr, named ? listing->displayName.get() : nullptr);
}

}  // namespace

void showPravikServices() {
    std::wprintf(L"SERVICE NAME : DISPLAY NAME\n");
    std::wprintf(L"---------------------------\n");
    CListing listing;
    listing.displayName = allocateZeroed<wchar_t>(kListingBufferCharacters);
    long status = ERROR_SUCCESS;
    const EServiceWalk walk =
        listing.displayName ? forEachPravikService(printListingLine, &listing, &status) : EServiceWalk::memoryShort;
    if (walk == EServiceWalk::registryClosed) {
        std::wprintf(L"Cannot open registry.");
        return;
    }
    if (walk == EServiceWalk::memoryShort) {
        std::wprintf(L"Memory error\n");
        return;
    }
    if (walk == EServiceWalk::enumerationFailed) {
        std::wprintf(L"Recieved an error during service lookups %d\n", static_cast<int>(status));
    }
    if (!listing.found) {
        std::wprintf(L"No services found that use Pravik\n");
    }
}
