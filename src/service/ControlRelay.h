#pragma once
// The Java side asks for a control through a hidden sender instance of this
// program, which outlives the service it stops.
#include <windows.h>

class CLogger;

// Starts a sender instance for the service targetName (ownName when null):
// 1 when it was started.
int relayControl(CLogger* logger, const wchar_t* ownName, const wchar_t* targetName, DWORD code);
