#include "common/RegistryReaders.h"

#include "common/CTextBuilder.h"
#include "common/Win32Handle.h"

namespace {

// Opens keyPath, or keyPath\subkey, for query; an empty key when that fails.
CRegKey openForQuery(HKEY root, const wchar_t* keyPath, const wchar_t* subkey) {
    CTextBuilder path;
    path.append(keyPath);
    if (subkey != nullptr) {
        path.appendChar(L'\\').append(subkey);
    }
    CRegKey key;
    if (!path.failed()) {
        RegOpenKeyExW(root, path.text(), 0, KEY_QUERY_VALUE, key.put());
    }
    return key;
}

bool readValue(HKEY root, const wchar_t* keyPath, const wchar_t* subkey, const wchar_t* valueName, void* buffer,
               unsigned long capacity) {
    CRegKey key = openForQuery(root, keyPath, subkey);
    if (!key) {
        return false;
    }
    DWORD size = capacity;
    return RegQueryValueExW(key.get(), valueName, nullptr, nullptr, static_cast<BYTE*>(buffer), &size) ==
           ERROR_SUCCESS;
}

}  // namespace

wchar_t* getRegStrValue(HKEY root, const wchar_t* keyPath, const wchar_t* subkey, const wchar_t* valueName,
                        wchar_t* buffer, unsigned long capacity) {
    return readValue(root, keyPath, subkey, valueName, buffer, capacity) ? buffer : nullptr;
}

wchar_t* getRegStrListValue(HKEY root, const wchar_t* keyPath, const wchar_t* subkey, const wchar_t* valueName,
                            wchar_t* buffer, unsigned long capacity, wchar_t separator) {
    if (!readValue(root, keyPath, subkey, valueName, buffer, capacity)) {
        return nullptr;
    }
    // Join the entries: each terminator that is followed by another entry becomes
    // the separator. The capacity bounds the walk even if the list lacks its end.
    const unsigned long characters = capacity / sizeof(wchar_t);
    unsigned long at = 0;
    while (at < characters && buffer[at] != L'\0') {
        while (at < characters && buffer[at] != L'\0') {
            ++at;
        }
        if (at + 1 < characters && buffer[at + 1] != L'\0') {
            buffer[at] = separator;
            ++at;
        }
    }
    return buffer;
}

unsigned long getRegDwValue(HKEY root, const wchar_t* keyPath, const wchar_t* subkey, const wchar_t* valueName,
                            unsigned long defaultValue) {
    DWORD value = 0;
    return readValue(root, keyPath, subkey, valueName, &value, sizeof(value)) ? value : defaultValue;
}

CHeapText readRegString(HKEY key, const wchar_t* subkey, const wchar_t* valueName) {
    // REG_EXPAND_SZ values come expanded, as REG_SZ.
    constexpr DWORD kStrings = RRF_RT_REG_SZ;
    // The value may grow between the two calls; a few rounds settle it.
    for (int round = 0; round < 3; ++round) {
        DWORD size = 0;
        if (RegGetValueW(key, subkey, valueName, kStrings, nullptr, nullptr, &size) != ERROR_SUCCESS ||
            size <= sizeof(wchar_t)) {
            return nullptr;
        }
        CHeapText value = allocateZeroed<wchar_t>(size / sizeof(wchar_t) + 1);
        if (!value) {
            return nullptr;
        }
        const LSTATUS status = RegGetValueW(key, subkey, valueName, kStrings, nullptr, value.get(), &size);
        if (status == ERROR_SUCCESS) {
            return value;
        }
        if (status != ERROR_MORE_DATA) {
            return nullptr;
        }
    }
    return nullptr;
}
