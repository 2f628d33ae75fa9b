#pragma once
// "-q": a service's status for scripts, as one line of JSON on standard output
// and an exit code in LSB's numbering (common/ExitCodes.h), not the install's.

class CLogger;

// One object for the named service, or with "*" one array of every service
// this program powers. The exit code: 0 running, 3 stopped, 4 not installed
// (or its status unreadable), 6 any other state, 11 not created by this
// program; always 0 for "*".
int queryServiceStatus(CLogger* logger, const wchar_t* serviceName);
