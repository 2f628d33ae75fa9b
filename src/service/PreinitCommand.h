#pragma once
// The command a service may run to completion before its JVM is created.
#include <windows.h>

#include "common/ExitCodes.h"

class CLogger;
class CStartSettings;

// Hands the service control manager the wait hint for the time the command runs.
using PreinitWaitReport = void (*)(void* context, DWORD waitHint);

// Runs the service's PreInitCmd, if it has one, and waits for it: 0 (also when
// there is none), or kPreinitNotStarted. reportWait, when not null, is given
// the PreInitHint (2000 ms when unset) before the command starts.
int runPreinitCommand(CLogger* logger, const CStartSettings& settings, PreinitWaitReport reportWait,
                      void* context);
