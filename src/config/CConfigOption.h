#pragma once
// One key=value pair read from a configuration file. Name and value are copies
// owned by the option.
#include "common/HeapText.h"

class CLogger;

class CConfigOption {
public:
    explicit CConfigOption(CLogger* logger);

    // Keep a copy of text, replacing the previous one; null leaves the field as it is.
    void setName(const wchar_t* text);
    void setValue(const wchar_t* text);
    const wchar_t* getName() const { return name.get(); }
    const wchar_t* getValue() const { return value.get(); }

private:
    CLogger* logger;
    CHeapText name;
    CHeapText value;
};
