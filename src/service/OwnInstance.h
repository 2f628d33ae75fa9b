#pragma once
// Further instances of this program, started by the relay and the restart.
#include <windows.h>

class CLogger;

// Starts "<own path>" <switchText> "<serviceName>" [code], each argument
// quoted by the runtime's splitting rules, not waited for. 1 when the process
// was started; 0 after logging noLineMessage (the line could not be built) or
// the CreateProcessW failure.
int startOwnInstance(CLogger* logger, const wchar_t* switchText, const wchar_t* serviceName, const long* code,
                     DWORD creationFlags, WORD showWindow, const wchar_t* noLineMessage);
