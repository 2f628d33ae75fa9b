#pragma once
// Moves the generations of a log file one step older on disk: "<name>" to
// "<name>.1", ".1" to ".2", and so on, the oldest beyond keep deleted. The
// caller closes the file before and opens "<name>" afresh after.
#include <windows.h>

// 0 when the file itself has moved on, else the system's code for why it has
// not (held open without delete sharing by a reader, say): the file is then
// still "<name>", and output goes on to it. Older generations that are missing
// are no failure.
DWORD rotateLogFile(const wchar_t* name, unsigned keep);
