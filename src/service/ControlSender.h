#pragma once
// "-s": one control code to a service of this program, over the control pipe
// of a console-mode instance or through the service control manager; the
// restart code 128 restarts the service instead.
#include <windows.h>

class CLogger;

// The signal text (a name or a number) turned into a code and sent; failures
// are reported, and the sender's exit code is 0 either way.
void sendSignalText(CLogger* logger, const wchar_t* serviceName, const wchar_t* signalText);

// Through the service control manager when it shows the service in any state
// but STOPPED, whatever holds the pipe; else over the control pipe (the
// service's own when pipeName is null) when a console-mode instance of ours
// listens, and through the manager when there is no such pipe; 128 restarts
// instead. 1 when delivered; 0 after a report, also when the pipe stayed busy
// or was served by an unexpected process (then nothing else is tried).
int sendControlCode(CLogger* logger, const wchar_t* serviceName, DWORD code, const wchar_t* pipeName);

// Whether a console-mode instance of ours serves the service's control pipe:
// the pipe opens (waiting while it is busy, as a sender does) and its server is
// one a sender trusts with a code. Says nothing; the look sends no code.
bool consoleInstanceServes(const wchar_t* serviceName);

// Stop, then start: the installed service when the manager shows it running
// or there is no control pipe, else the console-mode instance, replaced by a
// new one in a new console once its pipe is gone (waited for as long as the
// old instance's stop may take, then reported). 1 when the restart was set going.
int restartService(CLogger* logger, const wchar_t* serviceName);
