#pragma once
// "-s": one control code to a service of this program, over the control pipe
// of a console-mode instance or through the service control manager; the
// restart code 128 restarts the service instead.
#include <windows.h>

class CLogger;

// The signal text (a name or a number) turned into a code and sent; failures
// are reported, and the sender's exit code is 0 either way.
void sendSignalText(CLogger* logger, const wchar_t* serviceName, const wchar_t* signalText);

// Over the control pipe (the service's own when pipeName is null) when a
// console-mode instance listens, else through the service control manager;
// 128 restarts instead. 1 when delivered.
int sendControlCode(CLogger* logger, const wchar_t* serviceName, DWORD code, const wchar_t* pipeName);

// Stop, then start: the installed service, or a console-mode instance in a
// new console. 1 when the restart was set going.
int restartService(CLogger* logger, const wchar_t* serviceName);
