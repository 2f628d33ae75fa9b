#pragma once
// A service's configuration as the service control manager answers it
// (QueryServiceConfigW), in a block of the size the manager asks for.
#include <windows.h>

#include "common/HeapText.h"

// Null, with *error set, when the manager does not answer.
CHeapPtr<QUERY_SERVICE_CONFIGW> queryServiceConfig(SC_HANDLE service, DWORD* error);
