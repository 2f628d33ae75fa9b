#pragma once
// Scratch files for one test: a fresh directory under the prefix's temp folder.
#include <string>

class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    const std::wstring& path() const { return directory; }
    std::wstring file(const std::wstring& name) const { return directory + L"\\" + name; }

private:
    std::wstring directory;
};

std::string readFileBytes(const std::wstring& path);
void writeFileBytes(const std::wstring& path, const std::string& bytes);
bool fileExists(const std::wstring& path);
// Every line of a trace file without its thread-id column ("main Entry", ...).
std::string stripThreadIds(const std::string& trace);
