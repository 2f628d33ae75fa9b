#include "registry/SecretProtection.h"

#include <dpapi.h>

#include <cstring>
#include <cwchar>
#include <utility>

#include "common/Win32Handle.h"

namespace {

// DPAPI's output blocks, released with LocalFree; clear text is wiped first.
void releaseBlob(DATA_BLOB* blob, bool wipe) {
    if (blob->pbData != nullptr) {
        if (wipe) {
            SecureZeroMemory(blob->pbData, blob->cbData);
        }
        LocalFree(blob->pbData);
        blob->pbData = nullptr;
    }
}

const DWORD kFlags = CRYPTPROTECT_LOCAL_MACHINE | CRYPTPROTECT_UI_FORBIDDEN;

using ProtectProc = decltype(&CryptProtectData);
using UnprotectProc = decltype(&CryptUnprotectData);

struct CDpapi {
    ProtectProc protect = nullptr;
    UnprotectProc unprotect = nullptr;
    DWORD error = 0;
};

template <typename Proc>
Proc findProc(HMODULE module, const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// crypt32.dll is loaded at the first secret, not imported: an import made
// every pravik process (each service start, each sender) load it and what it
// pulls in, about 30 ms and 7 MiB under Wine. Loaded once and kept for the
// process's life; the static's initialisation is thread-safe.
const CDpapi& dpapi() {
    static const CDpapi functions = [] {
        CDpapi found;
        const HMODULE module = LoadLibraryExW(L"crypt32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (module == nullptr) {
            found.error = GetLastError();
            return found;
        }
        found.protect = findProc<ProtectProc>(module, "CryptProtectData");
        found.unprotect = findProc<UnprotectProc>(module, "CryptUnprotectData");
        if (found.protect == nullptr || found.unprotect == nullptr) {
            found.error = ERROR_PROC_NOT_FOUND;
        }
        return found;
    }();
    return functions;
}

}  // namespace

DWORD protectSecret(const wchar_t* text, CSecretBlob* blob) {
    DATA_BLOB clear = {static_cast<DWORD>(std::wcslen(text) * sizeof(wchar_t)),
                       reinterpret_cast<BYTE*>(const_cast<wchar_t*>(text))};
    DATA_BLOB made = {};
    if (dpapi().error != 0) {
        return dpapi().error;
    }
    if (!dpapi().protect(&clear, nullptr, nullptr, nullptr, nullptr, kFlags, &made)) {
        return GetLastError();
    }
    CHeapPtr<unsigned char> bytes = allocateZeroed<unsigned char>(made.cbData);
    if (!bytes) {
        releaseBlob(&made, false);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    std::memcpy(bytes.get(), made.pbData, made.cbData);
    blob->bytes = std::move(bytes);
    blob->size = made.cbData;
    releaseBlob(&made, false);
    return 0;
}

DWORD unprotectSecret(const unsigned char* bytes, DWORD size, CSecretText* text) {
    DATA_BLOB sealed = {size, const_cast<BYTE*>(bytes)};
    DATA_BLOB clear = {};
    if (dpapi().error != 0) {
        return dpapi().error;
    }
    if (!dpapi().unprotect(&sealed, nullptr, nullptr, nullptr, nullptr, kFlags, &clear)) {
        return GetLastError();
    }
    DWORD result = 0;
    if (clear.cbData % sizeof(wchar_t) != 0) {
        result = ERROR_INVALID_DATA;
    } else {
        const std::size_t length = clear.cbData / sizeof(wchar_t);
        CSecretText copy = allocateWiped<wchar_t>(length + 1);
        if (!copy) {
            result = ERROR_NOT_ENOUGH_MEMORY;
        } else {
            std::memcpy(copy.get(), clear.pbData, clear.cbData);
            *text = std::move(copy);
        }
    }
    releaseBlob(&clear, true);
    return result;
}
