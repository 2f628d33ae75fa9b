#pragma once
// Loading a library into a process that may run as LocalSystem, whose current
// directory (the service's working directory) anyone may have written to.
#include <windows.h>

// Takes the current directory out of the process's DLL search, leaving the
// rest of it (PATH included) as it is, then loads name with a search bounded
// for this load alone: a bare file name only through the safe search path
// (the program's folder and the system folders), a path with a folder part as
// the caller meant it (a relative one from the current directory), with that
// library's own folder, not the current directory, searched for its imports; a
// library in a JDK's bin\server or bin\client also finds the runtime DLLs in
// the bin folder above, which stays on the process's search. Null with
// GetLastError's code when it cannot be loaded.
HMODULE loadLibraryOutsideCurrentDirectory(const wchar_t* name);

// Whether name says where the file is (a folder, a drive) rather than leaving
// it to the search path.
bool hasFolderPart(const wchar_t* name);
