#pragma once
// The values of a service's Parameters subkey whose names begin with a prefix
// (the env. and secret. variables), in the order the registry lists them: the
// order they were written in.
#include <windows.h>

#include <cstddef>
#include <memory>

#include "common/HeapText.h"

struct CParameterValue {
    CHeapText name;
    // The stored bytes, followed by two zero characters so that a REG_SZ is a terminated text.
    CHeapPtr<unsigned char> data;
    DWORD size = 0;
    DWORD type = REG_NONE;

    const wchar_t* text() const { return reinterpret_cast<const wchar_t*>(data.get()); }
};

class CParameterValues {
public:
    CParameterValues() = default;
    ~CParameterValues() = default;
    CParameterValues(const CParameterValues&) = delete;
    CParameterValues& operator=(const CParameterValues&) = delete;

    // Reads the values named prefix... (letter case ignored) afresh: 0, also
    // when there is no Parameters key; else the Win32 error, with none kept.
    DWORD read(const wchar_t* serviceName, const wchar_t* prefix);

    std::size_t count() const { return used; }
    const CParameterValue& at(std::size_t index) const { return values[index]; }

private:
    std::unique_ptr<CParameterValue[]> values;
    std::size_t used = 0;
};
