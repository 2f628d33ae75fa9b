#include "registry/ParameterValues.h"

#include <cstring>
#include <new>

#include "common/AsciiCase.h"
#include "common/CTextBuilder.h"
#include "common/RegistryLayout.h"
#include "common/Win32Handle.h"

DWORD CParameterValues::read(const wchar_t* serviceName, const wchar_t* prefix) {
    values.reset();
    used = 0;
    CTextBuilder path;
    appendParametersKeyPath(path, serviceName);
    if (path.failed()) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    CRegKey own;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.text(), 0, KEY_QUERY_VALUE, own.put());
    if (opened == ERROR_FILE_NOT_FOUND) {
        return 0;
    }
    if (opened != ERROR_SUCCESS) {
        return static_cast<DWORD>(opened);
    }
    HKEY key = own.get();
    DWORD valueCount = 0;
    DWORD longestName = 0;
    const LONG queried = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount,
                                          &longestName, nullptr, nullptr, nullptr);
    if (queried != ERROR_SUCCESS) {
        return static_cast<DWORD>(queried);
    }
    if (valueCount == 0) {
        return 0;
    }
    std::unique_ptr<CParameterValue[]> found(new (std::nothrow) CParameterValue[valueCount]);
    CHeapText name = allocateZeroed<wchar_t>(static_cast<std::size_t>(longestName) + 1);
    if (!found || !name) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    std::size_t kept = 0;
    for (DWORD index = 0; index < valueCount; ++index) {
        DWORD nameLength = longestName + 1;
        DWORD type = REG_NONE;
        DWORD size = 0;
        // The name first: only the values with the prefix are read whole.
        LONG status = RegEnumValueW(key, index, name.get(), &nameLength, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS) {
            return static_cast<DWORD>(status);
        }
        if (afterPrefixIgnoringAsciiCase(name.get(), prefix) == nullptr) {
            continue;
        }
        CParameterValue& value = found[kept];
        value.name = duplicateText(name.get());
        value.data = allocateZeroed<unsigned char>(static_cast<std::size_t>(size) + 2 * sizeof(wchar_t));
        if (!value.name || !value.data) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        value.size = size;
        status = RegQueryValueExW(key, value.name.get(), nullptr, &value.type, value.data.get(), &value.size);
        if (status != ERROR_SUCCESS) {
            return static_cast<DWORD>(status);
        }
        ++kept;
    }
    values = std::move(found);
    used = kept;
    return 0;
}
