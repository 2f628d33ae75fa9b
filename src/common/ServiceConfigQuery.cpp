#include "common/ServiceConfigQuery.h"

#include <cstddef>

CHeapPtr<QUERY_SERVICE_CONFIGW> queryServiceConfig(SC_HANDLE service, DWORD* error) {
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    *error = GetLastError();
    if (*error != ERROR_INSUFFICIENT_BUFFER) {
        return nullptr;
    }
    // Whole QUERY_SERVICE_CONFIGW units, so that the structure is aligned and the texts fit.
    const std::size_t units = needed / sizeof(QUERY_SERVICE_CONFIGW) + 1;
    CHeapPtr<QUERY_SERVICE_CONFIGW> config = allocateZeroed<QUERY_SERVICE_CONFIGW>(units);
    if (!config) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    if (!QueryServiceConfigW(service, config.get(), static_cast<DWORD>(units * sizeof(QUERY_SERVICE_CONFIGW)),
                             &needed)) {
        *error = GetLastError();
        return nullptr;
    }
    return config;
}
