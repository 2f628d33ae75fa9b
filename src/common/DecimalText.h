#pragma once
// The runtime's wide-string-to-integer reading as the program's texts use it:
// leading white space, an optional sign, decimal digits up to the first other
// character; no digits give 0, and values beyond 32 bits saturate.
long parseLeadingInteger(const wchar_t* text);
