#include "ConfigTestSupport.h"

#include "config/CConfigOption.h"
#include "support/TestRegistry.h"

COptionList optionsOf(const CConfigFile& file) {
    COptionList options;
    for (const auto& option : file.options()) {
        options.emplace_back(option->getName(), option->getValue());
    }
    return options;
}

CFileHandle openShared(const std::wstring& path, DWORD access) {
    return CFileHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string utf16Bytes(const std::wstring& text) {
    std::string bytes;
    for (wchar_t character : text) {
        bytes += static_cast<char>(character & 0xFF);
        bytes += static_cast<char>((character >> 8) & 0xFF);
    }
    return bytes;
}

std::string narrow(const std::wstring& text) {
    std::string bytes;
    for (wchar_t character : text) {
        bytes += static_cast<char>(character);
    }
    return bytes;
}

CTracedLogger::CTracedLogger(const CTempDir& directory) : tracePath(directory.file(L"trace.log")) {
    // The logger reads the trace setting once, when it is constructed; the
    // setting is removed at once so that no other process picks it up.
    CTraceSetting setting(tracePath);
    logger = std::make_unique<CLogger>();
}

std::string CTracedLogger::tracedLines() { return stripThreadIds(readFileBytes(tracePath)); }
