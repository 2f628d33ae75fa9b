#pragma once
// A service key's values as the export and "-U" read them.
#include "common/HeapText.h"

// Service-key values and the trace path are read with a stated size of 4000
// bytes into one scratch buffer, which keeps one more character so that a value
// stored without its terminator still ends in one. A longer value counts as missing.
class CServiceKeyReader {
public:
    explicit CServiceKeyReader(const wchar_t* serviceName);

    bool isReady() const { return static_cast<bool>(buffer); }

    // A copy of the text of keyPath\subkey:valueName, or null when it is missing.
    CHeapText readText(const wchar_t* keyPath, const wchar_t* subkey, const wchar_t* valueName);
    CHeapText readServiceText(const wchar_t* valueName);
    // A multi-string value of the service key, its entries joined with ",".
    CHeapText readServiceList(const wchar_t* valueName);
    unsigned long readServiceNumber(const wchar_t* valueName);

private:
    void clear();

    const wchar_t* serviceName;
    CHeapText buffer;
};
