#pragma once
// The rules of size-bounded log files, kept apart from the file system so that
// they are tested natively: when a file rotates, how its older generations
// move ("<name>" to "<name>.1", ".1" to ".2", the oldest deleted), and where
// output that arrives mid-line ends its line.
#include <cstddef>
#include <cstdint>

#include "common/HeapText.h"

// Default of logRotateSize (MiB) and of logKeep.
inline constexpr unsigned long kDefaultLogRotateMiB = 10;
inline constexpr unsigned long kDefaultLogKeep = 5;
// The largest values the keys accept: 1 TiB, and a thousand rotated files.
inline constexpr unsigned long kMaxLogRotateMiB = 1048576;
inline constexpr unsigned long kMaxLogKeep = 1000;

// A whole decimal number no larger than maximum, nothing else: true and the
// value, or false for an empty text, a sign, blanks, other characters or a
// larger number.
bool parseLogSetting(const wchar_t* text, unsigned long maximum, unsigned long* value);

// True when writing incoming bytes to a file of currentSize would take it past
// limitBytes (0: never). An empty file never rotates, so that an entry longer
// than the limit still goes out whole.
bool rotationDue(std::uint64_t currentSize, std::uint64_t incoming, std::uint64_t limitBytes);

// One move of a rotation: generation from becomes generation to, or is
// deleted when to is kDeletedGeneration. Generation 0 is the file itself.
inline constexpr unsigned kDeletedGeneration = ~0u;
struct CRotationStep {
    unsigned from;
    unsigned to;
};
// A rotation that keeps keep older files takes keep + 1 steps, oldest first.
unsigned rotationStepCount(unsigned keep);
CRotationStep rotationStep(unsigned keep, unsigned index);

// "<name>.<generation>", or a copy of name for generation 0; null when memory is short.
CHeapText generationName(const wchar_t* name, unsigned generation);

// How many bytes at the start of data go to a file of currentSize (whose last
// byte ended a line when atLineStart) before it rotates: all of them when no
// rotation is due or when they end a line begun before; else the whole lines
// that still fit, or the rest of the line in progress. 0: rotate now.
std::size_t bytesBeforeRotation(std::uint64_t currentSize, bool atLineStart, const char* data, std::size_t length,
                                std::uint64_t limitBytes);
