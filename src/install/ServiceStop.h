#pragma once
// Stopping an installed service and waiting until it has stopped: removal and
// restart both do it this one way.
#include <windows.h>

class CLogger;

// 1 when the service stopped, was not running or could not be opened; 0 when
// stopping it failed or the service stopped making progress ("Service <name>
// did not stop."). Waits as long as the service's check points and wait hints say.
int stopService(CLogger* logger, SC_HANDLE manager, const wchar_t* serviceName);
