#include "support/TestRegistry.h"

#include <gtest/gtest.h>

namespace {

HKEY createKey(const std::wstring& keyPath) {
    HKEY key = nullptr;
    const LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                        &key, nullptr);
    EXPECT_EQ(status, ERROR_SUCCESS) << "RegCreateKeyExW";
    return key;
}

}  // namespace

void setHklmBytes(const std::wstring& keyPath, const std::wstring& name, const std::vector<BYTE>& bytes, DWORD type) {
    HKEY key = createKey(keyPath);
    EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void setHklmString(const std::wstring& keyPath, const std::wstring& name, const std::wstring& value, DWORD type) {
    const BYTE* data = reinterpret_cast<const BYTE*>(value.c_str());
    setHklmBytes(keyPath, name, std::vector<BYTE>(data, data + (value.size() + 1) * sizeof(wchar_t)), type);
}

void setHklmDword(const std::wstring& keyPath, const std::wstring& name, DWORD value) {
    const BYTE* data = reinterpret_cast<const BYTE*>(&value);
    setHklmBytes(keyPath, name, std::vector<BYTE>(data, data + sizeof(value)), REG_DWORD);
}

void setHklmMultiString(const std::wstring& keyPath, const std::wstring& name,
                        const std::vector<std::wstring>& entries) {
    std::wstring joined;
    for (const auto& entry : entries) {
        joined += entry;
        joined.push_back(L'\0');
    }
    joined.push_back(L'\0');
    const BYTE* data = reinterpret_cast<const BYTE*>(joined.data());
    setHklmBytes(keyPath, name, std::vector<BYTE>(data, data + joined.size() * sizeof(wchar_t)), REG_MULTI_SZ);
}

std::optional<std::wstring> getHklmString(const std::wstring& keyPath, const std::wstring& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD size = 0;
    std::optional<std::wstring> value;
    if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &size) ==
            ERROR_SUCCESS) {
            text.resize(wcsnlen(text.c_str(), size / sizeof(wchar_t)));
            value = text;
        }
    }
    RegCloseKey(key);
    return value;
}

void deleteHklmValue(const std::wstring& keyPath, const std::wstring& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name.c_str());
        RegCloseKey(key);
    }
}

void deleteHklmTree(const std::wstring& keyPath) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, keyPath.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath.c_str());
}

bool hklmKeyExists(const std::wstring& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

CTraceSetting::CTraceSetting(const std::wstring& path) : owner(CreateMutexW(nullptr, FALSE, L"pravik-test-trace-switch")) {
    // Bounded by the longest test; an abandoned mutex (a test that crashed) is taken over.
    const DWORD waited = owner != nullptr ? WaitForSingleObject(owner, 180000) : WAIT_FAILED;
    EXPECT_TRUE(waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) << "trace switch busy: " << waited;
    setHklmString(kProgramKey, L"Trace", path);
}

CTraceSetting::~CTraceSetting() {
    deleteHklmValue(kProgramKey, L"Trace");
    if (owner != nullptr) {
        ReleaseMutex(owner);
        CloseHandle(owner);
    }
}

std::optional<std::vector<std::wstring>> getHklmMultiString(const std::wstring& keyPath, const std::wstring& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD size = 0;
    DWORD type = 0;
    std::optional<std::vector<std::wstring>> entries;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_MULTI_SZ) {
        std::wstring text(size / sizeof(wchar_t) + 2, L'\0');
        if (RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &size) ==
            ERROR_SUCCESS) {
            entries.emplace();
            for (const wchar_t* entry = text.c_str(); *entry != L'\0'; entry += wcslen(entry) + 1) {
                entries->push_back(entry);
            }
        }
    }
    RegCloseKey(key);
    return entries;
}

std::map<std::wstring, std::pair<DWORD, std::string>> snapshotKey(const std::wstring& keyPath) {
    std::map<std::wstring, std::pair<DWORD, std::string>> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return values;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[512];
        DWORD nameLength = 512;
        DWORD type = 0;
        BYTE data[8192];
        DWORD size = sizeof(data);
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) {
            break;
        }
        values[std::wstring(name, nameLength)] = {type, std::string(reinterpret_cast<char*>(data), size)};
    }
    RegCloseKey(key);
    return values;
}
