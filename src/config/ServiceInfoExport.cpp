// Showing an installed service's settings on the console ("-d") or writing them
// as a new configuration file ("-e").
#include <windows.h>

#include <cstring>
#include <cwchar>

#include "common/HeapText.h"
#include "common/MbcsConversion.h"
#include "common/RegistryLayout.h"
#include "common/Win32Handle.h"
#include "config/CConfigFile.h"
#include "config/ConfigKeys.h"
#include "config/InstalledSettings.h"
#include "config/ServiceSettingsText.h"
#include "log/CLogger.h"
#include "log/TraceScope.h"
#include "registry/ServiceParameters.h"

namespace {

const wchar_t* const kOperation = L"CConfigFile::showServiceInfo";
const std::size_t kOptionNameCharacters = 32;

// Writes the text to a file that must not exist yet, as UTF-16 without a
// byte-order mark or in the ANSI code page.
void writeSettingsFile(const wchar_t* text, const wchar_t* fileName, CLogger* logger, int unicode) {
    CFileHandle file(CreateFileW(fileName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!file) {
        const unsigned long code = GetLastError();
        logger->logMessage(L"Cannot open file ", fileName);
        logger->logSystemError(code);
        return;
    }
    logger->logMessage(L"Generating file ", fileName, unicode ? L" using unicode." : L" ");
    DWORD written = 0;
    if (unicode) {
        WriteFile(file.get(), text, static_cast<DWORD>(std::wcslen(text) * sizeof(wchar_t)), &written, nullptr);
        return;
    }
    // Sized by the conversion itself, so that text in a double-byte code page is whole.
    CHeapPtr<char> narrow(convertToMBCS(text));
    if (!narrow) {
        logger->logMessage(L"Memory error");
        return;
    }
    WriteFile(file.get(), narrow.get(), static_cast<DWORD>(std::strlen(narrow.get())), &written, nullptr);
}

wchar_t* buildSettingsText(const wchar_t* serviceName, CServiceKeyReader& reader, CLogger* logger, int expand) {
    const CInstalledSettings installed(serviceName, reader, logger, expand);
    if (!installed.isReady()) {
        return nullptr;
    }
    const CServiceSettings& settings = installed.settings();

    unsigned long capacity = 0;
    wchar_t* text = buildServiceSettingsText(settings, &capacity);
    // JVMOption1, JVMOption2, ... up to the first number without a value.
    wchar_t optionName[kOptionNameCharacters];
    for (int number = 1; text != nullptr; ++number) {
        formatJvmOptionName(optionName, kOptionNameCharacters, number);
        CHeapText option(getRegServiceParam(serviceName, optionName, logger, 0, expand));
        if (!option) {
            break;
        }
        text = appendSettingLine(text, &capacity, optionName, option.get());
    }
    return text;
}

}  // namespace

void CConfigFile::showServiceInfo(const wchar_t* serviceName, const wchar_t* fileName, CLogger* logger, int unicode) {
    CTraceScope trace(logger, kOperation);
    // References are expanded only for the console; a file keeps them as stored.
    const int expand = fileName == nullptr ? 1 : 0;
    CServiceKeyReader reader(serviceName);
    if (!reader.isReady()) {
        logger->logMessage(L"Memory error");
        return;
    }
    CHeapText tracePath(reader.readText(kProgramKeyPath, nullptr, kTraceValue));
    if (tracePath) {
        logger->logMessage(L"Tracing enabled to file ", tracePath.get());
    } else {
        logger->logMessage(L"Tracing not enabled");
    }

    CHeapText text(buildSettingsText(serviceName, reader, logger, expand));
    if (!text) {
        logger->logMessage(L"Memory error");
    } else if (fileName == nullptr) {
        logger->logMessage(text.get());
    } else {
        writeSettingsFile(text.get(), fileName, logger, unicode);
    }
}
