#pragma once
// A JVM library built for the other bitness cannot be loaded, and the system's
// text for that (193) does not say what to do: this check says it first.
class CLogger;

// True, after logging "<path> is a 32-bit JVM library and this pravik.exe is
// 64-bit: ..." (or the reverse), when path is a 32-bit x86 image and this
// program is 64-bit or the other way round, or "<path> is an ARM64 JVM library
// and this pravik.exe is 64-bit x86: ..." (or 32-bit) for an ARM64 image. False
// for everything else: a bare file name (the loader chooses the file), an
// unreadable file or another machine, whose failure the loader reports.
bool reportOtherBitness(const wchar_t* path, CLogger* logger);
