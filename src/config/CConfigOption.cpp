#include "config/CConfigOption.h"

CConfigOption::CConfigOption(CLogger* logger) : logger(logger) {}

void CConfigOption::setName(const wchar_t* text) {
    if (text != nullptr) {
        name = duplicateText(text);
    }
}

void CConfigOption::setValue(const wchar_t* text) {
    if (text != nullptr) {
        value = duplicateText(text);
    }
}
