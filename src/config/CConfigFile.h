#pragma once
// A configuration file: lines of key=value read into an ordered list of
// options (file order, duplicates kept), answering lookups by key. Also writes
// the skeleton file and shows or exports an installed service's settings.
//
// Handles are passed as void* (a Win32 HANDLE) so that the portable half of
// the class, the text parser and the lookups, compiles without windows.h.
class CLogger;
class CConfigOption;
enum class EConfigKey : unsigned char;

struct CConfigNode {
    CConfigOption* option;
    CConfigNode* next;
};

class CConfigFile {
public:
    explicit CConfigFile(CLogger* logger);
    ~CConfigFile();
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
    const CConfigNode* getFirstNode() const { return firstNode; }

    // Skeleton file (Win32): never overwrites an existing file.
    void generateSkeletonFile(const wchar_t* fileName, int unicode);
    void writeSkeletonFile(void* file, int unicode);

    // Shows an installed service's settings, or writes them to a new file when fileName is given (Win32).
    static void showServiceInfo(const wchar_t* serviceName, const wchar_t* fileName, CLogger* logger, int unicode);

private:
    // 0, or kMemoryError when the option could not be kept.
    int appendOption(const wchar_t* name, const wchar_t* value);

    CLogger* logger;
    int optionCount = 0;
    CConfigNode* firstNode = nullptr;
    CConfigNode* lastNode = nullptr;
};
