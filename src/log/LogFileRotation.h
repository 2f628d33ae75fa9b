#pragma once
// Moves the generations of a log file one step older on disk: "<name>" to
// "<name>.1", ".1" to ".2", and so on, the oldest beyond keep deleted. The
// caller closes the file before and opens "<name>" afresh after.
#include <windows.h>

// 0 when the file itself has moved on, else the system's code for why a
// generation could not move (held open without delete sharing by a reader,
// say), and that generation in *blockedGeneration (0: the file itself; may be
// null). The rotation stops at that step and no move replaces a file: the
// generations from the blocked one down to "<name>" stay where they are, and
// output goes on to "<name>". Generations that are missing are no failure.
DWORD rotateLogFile(const wchar_t* name, unsigned keep, unsigned* blockedGeneration);
