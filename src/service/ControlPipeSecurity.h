#pragma once
// Who may be at either end of a control pipe. Its name is public, so anyone
// could create the pipe first or connect to it: the server lets in only
// LocalSystem, the Administrators and its own user, and a sender writes only
// to a server that runs as its own user, as LocalSystem or as an administrator.
// A console-mode instance serves the pipe only when it made the first instance
// or the first is another instance of this program.
#include <windows.h>

#include "common/Win32Handle.h"

// The server's security descriptor (full access for those three, nobody
// else); null with *error when it could not be built.
CLocalMemory controlPipeSecurity(DWORD* error);

// Whether the process that serves the pipe (the client's end) is one that a
// sender may trust; *serverId: its process id, 0 when even that is unknown.
// A server that cannot be looked at is not trusted.
bool isTrustedPipeServer(HANDLE pipe, ULONG* serverId);

// Whether the pipe is served by another console-mode instance of this very
// program: a trusted server (as above) whose program file is this one's.
bool isOwnInstancePipeServer(HANDLE pipe);
