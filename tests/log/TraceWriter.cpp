// A process that writes numbered lines through the real logger into the trace
// file that the registry names: the trace stress test runs several at once.
// Arguments: the writer's number and how many lines it writes.
#include <cwchar>

#include "log/CLogger.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        return 2;
    }
    const unsigned long writer = std::wcstoul(argv[1], nullptr, 10);
    const unsigned long count = std::wcstoul(argv[2], nullptr, 10);
    CLogger logger;
    wchar_t line[128];
    for (unsigned long index = 0; index < count; ++index) {
        std::swprintf(line, 128, L"writer %lu line %05lu ..........................................end", writer, index);
        logger.logMessage(line);
    }
    return 0;
}
