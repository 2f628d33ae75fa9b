#pragma once
// One line on standard output, whole: the runtime's wide printing stops at the
// first character outside its own narrow set and drops the rest of the line,
// so the line is converted to the ANSI code page first, with "?" for what the
// code page lacks. Null parts are empty.
void printConsoleLine(const wchar_t* text, const wchar_t* text2, const wchar_t* text3);
