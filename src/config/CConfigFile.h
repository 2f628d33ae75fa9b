#pragma once
// A configuration file: lines of key=value read into an ordered list of
// options (file order, duplicates kept), answering lookups by key. Also writes
// the skeleton file and shows or exports an installed service's settings.
//
// Handles are passed as void* (a Win32 HANDLE) so that the portable half of
// the class, the text parser and the lookups, compiles without windows.h.
#include <memory>
#include <span>

#include "common/CTextBuilder.h"
#include "config/CConfigOption.h"

class CLogger;
enum class EConfigKey : unsigned char;
struct CConfigKey;

class CConfigFile {
public:
    explicit CConfigFile(CLogger* logger);
    ~CConfigFile() = default;
    CConfigFile(const CConfigFile&) = delete;
    CConfigFile& operator=(const CConfigFile&) = delete;

    // Reading (Win32). 0 parsed (also for an empty file), 3 no file name,
    // 4 cannot be opened, sized, read or converted, 5 some line has no value.
    int parseConfigFile(const wchar_t* fileName, int unicode);
    int parseFile(void* file, int unicode);

    // Parsing a zero-terminated text, modified in place: 0, or 5 when a line has no value.
    int parseBuffer(wchar_t* buffer);
    // The next line, terminated in place, with the cursor moved past its LF; null at the end.
    static wchar_t* parseLine(wchar_t** cursor);
    static wchar_t* trimLeft(wchar_t* text);
    static wchar_t* trimRight(wchar_t* text);
    // Cuts the line at its first "="; the value with leading blanks skipped, or
    // null when there is no "=" or nothing after it.
    static wchar_t* parseValue(wchar_t* line);

    // Lookups: the first option in file order whose name matches, A-Z case-insensitively.
    CConfigOption* getOption(const wchar_t* key) const;
    const wchar_t* getStrOptionValue(const wchar_t* key, const wchar_t* defaultValue) const;
    int getBoolOptionValue(const wchar_t* key, int defaultValue) const;
    // The same by a key of the table (config/ConfigKeys.h).
    const wchar_t* getStrOptionValue(EConfigKey key, const wchar_t* defaultValue) const;
    int getBoolOptionValue(EConfigKey key, int defaultValue) const;
    int getOptionCount() const { return optionCount; }
    // Every option in file order: for (const auto& option : config.options()) option->getName().
    std::span<const std::unique_ptr<CConfigOption>> options() const {
        return {optionArray.get(), static_cast<std::size_t>(optionCount)};
    }
    // The variables of a prefixed key (env., secret.) in file order, each where
    // it first stands, as every lookup takes a key: visit(option, variable,
    // valueName), valueName naming the variable's registry value (the key's
    // value name, then the variable). The first result of visit that is not 0
    // ends the walk and is returned; kMemoryError, after a message, when a
    // value name cannot be made.
    template <typename Visit>
    int forEachVariable(const CConfigKey& key, Visit visit) const {
        for (const auto& option : options()) {
            const wchar_t* variable = nullptr;
            CTextBuilder valueName;
            int result = variableOf(*option, key, &variable, &valueName);
            if (result == 0 && variable != nullptr) {
                result = visit(*option, variable, valueName.text());
            }
            if (result != 0) {
                return result;
            }
        }
        return 0;
    }

    // Skeleton file (Win32): never overwrites an existing file.
    void generateSkeletonFile(const wchar_t* fileName, int unicode);
    void writeSkeletonFile(void* file, int unicode);

    // Shows an installed service's settings, or writes them to a new file when fileName is given (Win32).
    static void showServiceInfo(const wchar_t* serviceName, const wchar_t* fileName, CLogger* logger, int unicode);

private:
    // When option is key's first with its variable: *variable at the variable
    // and its value's name in *valueName. 0, or kMemoryError after a message.
    int variableOf(const CConfigOption& option, const CConfigKey& key, const wchar_t** variable,
                   CTextBuilder* valueName) const;
    // 0, or kMemoryError when the option could not be kept.
    int appendOption(const wchar_t* name, const wchar_t* value);
    // False when the array was full and could not be grown.
    bool roomForOneMore();

    CLogger* logger;
    int optionCount = 0;
    // Grown without throwing, so that running out of memory is reported like
    // any other failure; each option stays where it is, for the pointers lookups return.
    int optionCapacity = 0;
    std::unique_ptr<std::unique_ptr<CConfigOption>[]> optionArray;
};
