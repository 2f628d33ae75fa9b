#include "common/BuildInfo.h"

// One translation unit holds the stamp, so that every text that shows it agrees.
#define PRAVIK_WIDEN_(text) L##text
#define PRAVIK_WIDEN(text) PRAVIK_WIDEN_(text)

const char PRAVIK_BUILD_DATE[] = __DATE__;
const char PRAVIK_BUILD_TIME[] = __TIME__;
const wchar_t T_PRAVIK_BUILD_DATE[] = PRAVIK_WIDEN(__DATE__);
const wchar_t T_PRAVIK_BUILD_TIME[] = PRAVIK_WIDEN(__TIME__);
