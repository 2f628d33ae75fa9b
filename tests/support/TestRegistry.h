#pragma once
// Seeds and inspects the test prefix's registry with the platform's own calls.
#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

const wchar_t* const kServicesKey = L"SYSTEM\\CurrentControlSet\\Services";
const wchar_t* const kProgramKey = L"SOFTWARE\\Ulmarq\\Pravik";

void setHklmString(const std::wstring& keyPath, const std::wstring& name, const std::wstring& value,
                   DWORD type = REG_SZ);
void setHklmDword(const std::wstring& keyPath, const std::wstring& name, DWORD value);
void setHklmMultiString(const std::wstring& keyPath, const std::wstring& name,
                        const std::vector<std::wstring>& entries);
void setHklmBytes(const std::wstring& keyPath, const std::wstring& name, const std::vector<BYTE>& bytes, DWORD type);
std::optional<std::wstring> getHklmString(const std::wstring& keyPath, const std::wstring& name);
void deleteHklmValue(const std::wstring& keyPath, const std::wstring& name);
void deleteHklmTree(const std::wstring& keyPath);
bool hklmKeyExists(const std::wstring& keyPath);
// A REG_MULTI_SZ value's entries; nothing when the value is missing.
std::optional<std::vector<std::wstring>> getHklmMultiString(const std::wstring& keyPath, const std::wstring& name);
// Every value of a key: name -> (type, bytes). Empty when the key is missing.
std::map<std::wstring, std::pair<DWORD, std::string>> snapshotKey(const std::wstring& keyPath);

// Points the program's trace at a file for the processes started from now on; off again when destroyed.
// The switch is machine-wide and the tests run in parallel: a setting holds a mutex named for the
// switch while it lives, so that no other test turns the trace elsewhere or off under it.
class CTraceSetting {
public:
    explicit CTraceSetting(const std::wstring& path);
    ~CTraceSetting();
    CTraceSetting(const CTraceSetting&) = delete;
    CTraceSetting& operator=(const CTraceSetting&) = delete;

private:
    HANDLE owner = nullptr;
};
