// The process's logger: its sink prints to the console and writes the trace
// file that the registry's Trace value names.
#include "common/CTextBuilder.h"
#include "common/OwnedFile.h"
#include "common/RegistryLayout.h"
#include "common/RegistryReaders.h"
#include "log/CLogger.h"
#include "log/ConsoleLine.h"

namespace {

const unsigned long kTraceValueBytes = 2000;

void printToConsole(void*, const wchar_t* text, const wchar_t* text2, const wchar_t* text3) {
    printConsoleLine(text, text2, text3);
}

unsigned long openTraceFile(void* traceFile, const wchar_t* path) {
    const unsigned long error = static_cast<CTraceFile*>(traceFile)->open(path);
    // The logger then says the system's reason; the trace cannot name itself.
    if (error == kFileNotOwnable) {
        printConsoleLine(kRefusedFileMessage, path, nullptr);
    }
    return error;
}

void writeTraceFile(void* traceFile, const wchar_t* text, const wchar_t* text2, const wchar_t* text3) {
    static_cast<CTraceFile*>(traceFile)->write(text, text2, text3);
}

bool describeSystemError(void*, unsigned long code, CTextBuilder& text) {
    wchar_t* systemText = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&systemText), 0, nullptr);
    CLocalMemory owner(systemText);
    if (length == 0 || systemText == nullptr) {
        return false;
    }
    text.append(systemText);
    return true;
}

}  // namespace

CLogger::CLogger() : sink{&traceFile, printToConsole, openTraceFile, writeTraceFile, describeSystemError} {
    wchar_t path[kTraceValueBytes / sizeof(wchar_t) + 1] = {};
    enableLogFile(getRegStrValue(HKEY_LOCAL_MACHINE, kProgramKeyPath, nullptr, kTraceValue, path, kTraceValueBytes));
}
