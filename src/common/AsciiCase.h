#pragma once
// Comparison of configuration keys, setting words and signal names: only the
// letters A to Z and a to z are taken as equal; every other character, accented
// letters included, compares exactly.

wchar_t toUpperAscii(wchar_t character);
bool equalsIgnoringAsciiCase(const wchar_t* left, const wchar_t* right);
// The rest of text after prefix when text begins with it (compared as above), else null.
const wchar_t* afterPrefixIgnoringAsciiCase(const wchar_t* text, const wchar_t* prefix);
