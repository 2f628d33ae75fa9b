#pragma once
// Console mode: the service runs on the main thread, and the control pipe's
// server takes the controls that other instances send.
#include <windows.h>

class CControlPipeServer;
class CLogger;

// Starts the console-mode instance's pipe server: false (said on the console)
// when another program holds the pipe's name and the service must not run.
bool startConsolePipe(CLogger* logger, const wchar_t* serviceName, CControlPipeServer* server);
