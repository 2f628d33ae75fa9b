// The text side of the configuration file: splitting into lines, trimming,
// key=value recognition and the lookups. Reading files is in ConfigFileReader.cpp.
#include "config/CConfigFile.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <new>

#include "common/AsciiCase.h"
#include "common/ExitCodes.h"
#include "config/ConfigKeys.h"
#include "config/CConfigOption.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"

namespace {

bool isBlank(wchar_t character) { return character == L' ' || character == L'\t'; }

}  // namespace

CConfigFile::CConfigFile(CLogger* logger) : logger(logger) {}


wchar_t* CConfigFile::parseLine(wchar_t** cursor) {
    if (cursor == nullptr || *cursor == nullptr || **cursor == L'\0') {
        return nullptr;
    }
    wchar_t* line = *cursor;
    wchar_t* at = line;
    while (*at != L'\n' && *at != L'\0') {
        if (*at == L'\r') {
            *at = L'\0';
        }
        ++at;
    }
    if (*at == L'\n') {
        *at = L'\0';
        ++at;
    }
    *cursor = at;
    return line;
}

wchar_t* CConfigFile::trimLeft(wchar_t* text) {
    while (isBlank(*text)) {
        ++text;
    }
    return text;
}

wchar_t* CConfigFile::trimRight(wchar_t* text) {
    std::size_t length = std::wcslen(text);
    if (length == 0) {
        return text;
    }
    std::size_t last = length - 1;
    while (last > 0 && isBlank(text[last])) {
        --last;
    }
    text[last + 1] = L'\0';
    return text;
}

wchar_t* CConfigFile::parseValue(wchar_t* line) {
    wchar_t* at = line;
    while (*at != L'=' && *at != L'\0') {
        ++at;
    }
    if (*at == L'\0') {
        return nullptr;
    }
    *at = L'\0';
    wchar_t* value = trimLeft(at + 1);
    return *value == L'\0' ? nullptr : value;
}

int CConfigFile::parseBuffer(wchar_t* buffer) {
    CTraceScope trace(logger, L"CConfigFile::parseBuffer");
    int result = 0;
    wchar_t* cursor = buffer;
    for (wchar_t* line = parseLine(&cursor); line != nullptr; line = parseLine(&cursor)) {
        if (line[0] == L'#') {
            continue;
        }
        wchar_t* key = trimLeft(line);
        if (*key == L'\0') {
            continue;
        }
        wchar_t* value = parseValue(key);
        if (value == nullptr) {
            logger->logMessage(key, L" has no value in configuration file. Operation failed.");
            result = kConfigLineWithoutValue;
            continue;
        }
        trimRight(key);
        trimRight(value);
        // A secret's value is echoed nowhere, not even to the trace.
        const wchar_t* variable = nullptr;
        const CConfigKey* prefixed = prefixedKeyOf(key, &variable);
        const bool secret = prefixed != nullptr && prefixed->id == EConfigKey::secret;
        logger->logMessage(key, L"=", secret ? kProtectedValueText : value);
        if (appendOption(key, value) != 0) {
            result = kMemoryError;
        }
    }
    return trace.exit(result);
}

int CConfigFile::appendOption(const wchar_t* name, const wchar_t* value) {
    std::unique_ptr<CConfigOption> option(new (std::nothrow) CConfigOption(logger));
    if (option != nullptr) {
        option->setName(name);
        option->setValue(value);
    }
    // An option whose copies could not be made would answer lookups wrongly; leave it out.
    if (option == nullptr || option->getName() == nullptr || option->getValue() == nullptr || !roomForOneMore()) {
        logger->logMessage(L"Memory error.");
        return kMemoryError;
    }
    optionArray[optionCount++] = std::move(option);
    return 0;
}

bool CConfigFile::roomForOneMore() {
    if (optionCount < optionCapacity) {
        return true;
    }
    if (optionCapacity > INT_MAX / 2) {
        return false;
    }
    const int capacity = optionCapacity == 0 ? 16 : optionCapacity * 2;
    using COwnedOption = std::unique_ptr<CConfigOption>;
    std::unique_ptr<COwnedOption[]> larger(new (std::nothrow) COwnedOption[capacity]);
    if (larger == nullptr) {
        return false;
    }
    std::move(optionArray.get(), optionArray.get() + optionCount, larger.get());
    optionArray = std::move(larger);
    optionCapacity = capacity;
    return true;
}

CConfigOption* CConfigFile::getOption(const wchar_t* key) const {
    if (key == nullptr) {
        return nullptr;
    }
    for (const auto& option : options()) {
        if (equalsIgnoringAsciiCase(option->getName(), key)) {
            return option.get();
        }
    }
    return nullptr;
}

int CConfigFile::variableOf(const CConfigOption& option, const CConfigKey& key, const wchar_t** variable,
                            CTextBuilder* valueName) const {
    const wchar_t* named = nullptr;
    // The first of two equal keys wins, as for every key.
    if (prefixedKeyOf(option.getName(), &named) != &key || getOption(option.getName()) != &option) {
        return 0;
    }
    valueName->append(key.valueName).append(named);
    if (valueName->failed()) {
        logger->logMessage(L"Memory error!");
        return kMemoryError;
    }
    *variable = named;
    return 0;
}

const wchar_t* CConfigFile::getStrOptionValue(const wchar_t* key, const wchar_t* defaultValue) const {
    const CConfigOption* option = getOption(key);
    return option != nullptr ? option->getValue() : defaultValue;
}

int CConfigFile::getBoolOptionValue(const wchar_t* key, int defaultValue) const {
    const CConfigOption* option = getOption(key);
    if (option == nullptr) {
        return defaultValue;
    }
    if (equalsIgnoringAsciiCase(option->getValue(), L"TRUE")) {
        return 1;
    }
    if (equalsIgnoringAsciiCase(option->getValue(), L"FALSE")) {
        return 0;
    }
    logger->logMessage(key, L" has an unrecognized value, using default: ", defaultValue != 0 ? L"TRUE" : L"FALSE");
    return defaultValue;
}

const wchar_t* CConfigFile::getStrOptionValue(EConfigKey key, const wchar_t* defaultValue) const {
    return getStrOptionValue(keyName(key), defaultValue);
}

int CConfigFile::getBoolOptionValue(EConfigKey key, int defaultValue) const {
    return getBoolOptionValue(keyName(key), defaultValue);
}
