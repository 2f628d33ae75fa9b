#pragma once
// When this program was built: "Apr  9 2006" and "12:55:49", fixed by the compiler.
extern const char PRAVIK_BUILD_DATE[];
extern const char PRAVIK_BUILD_TIME[];
extern const wchar_t T_PRAVIK_BUILD_DATE[];
extern const wchar_t T_PRAVIK_BUILD_TIME[];
