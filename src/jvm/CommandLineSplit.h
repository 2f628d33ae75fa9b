#pragma once
// Splits the argument text of the Java service into its arguments: a backslash
// makes the next character literal, double quotes group blanks into one
// argument, and every blank outside quotes ends exactly one argument.
#include <cstddef>

// The number of the block's capacity in wide characters that always suffices
// for text of the given length (splitting never makes the text longer).
std::size_t commandLineBlockCapacity(std::size_t textLength);

// Writes the arguments of text one after another into block, each ended by a
// zero character, and returns how many there are (at least 1). The block must
// hold commandLineBlockCapacity(length of text) zero-filled characters.
int splitCommandLine(const wchar_t* text, wchar_t* block);

// The argument after the one at argument in a block (skips its terminator).
const wchar_t* nextArgument(const wchar_t* argument);
