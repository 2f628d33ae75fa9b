#pragma once
// The runtime's wide-string-to-integer reading as the program's texts use it:
// leading white space, an optional sign, decimal digits up to the first other
// character; no digits give 0, and values beyond 32 bits saturate.
long parseLeadingInteger(const wchar_t* text);

// The whole text as an unsigned 32-bit decimal number: digits only, at least
// one, at most 4294967295. False (and *value untouched) for anything else.
bool parseDecimalDword(const wchar_t* text, unsigned long* value);
