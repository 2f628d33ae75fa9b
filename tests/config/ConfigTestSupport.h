#pragma once
// Helpers of the configuration-file tests under Wine: file bytes in either
// encoding, and an in-process logger whose messages land in a trace file.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/Win32Handle.h"
#include "config/CConfigFile.h"
#include "log/CLogger.h"
#include "support/TestFiles.h"

using COptionList = std::vector<std::pair<std::wstring, std::wstring>>;

COptionList optionsOf(const CConfigFile& file);

// An existing file opened as another program might hold it, sharing reading and writing with others.
CFileHandle openShared(const std::wstring& path, DWORD access);

// ASCII text as bytes of UTF-16 little-endian, without a byte-order mark.
std::string utf16Bytes(const std::wstring& text);
// An ASCII-only wide text as bytes (Windows paths of the test prefix).
std::string narrow(const std::wstring& text);

// A real logger whose trace goes to a file of its own: what the code under
// test logs is read back with tracedLines(). Standard output stays off.
class CTracedLogger {
public:
    explicit CTracedLogger(const CTempDir& directory);
    CLogger* get() { return logger.get(); }
    // The trace so far, thread ids stripped, one "\n"-ended line per entry.
    std::string tracedLines();

private:
    std::wstring tracePath;
    std::unique_ptr<CLogger> logger;
};
