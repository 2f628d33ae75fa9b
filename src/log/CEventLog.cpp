#include "log/CEventLog.h"

#include "common/CTextBuilder.h"
#include "log/CLogger.h"

namespace {

// At most this many inserts per entry: every event text has one or two.
const WORD kMaxInserts = 4;

void traceFailure(CLogger* logger, const wchar_t* call, DWORD error) {
    CTextBuilder line;
    line.append(L"Event log entry not written: ").append(call).append(L" failed ").appendDecimal(error);
    logger->writeEntry(line.text(), nullptr, nullptr);
}

}  // namespace

CEventLog::CEventLog(CLogger* logger, const wchar_t* sourceName) : logger(logger), sourceName(sourceName) {}

BOOL CALLBACK CEventLog::openSource(PINIT_ONCE, PVOID self, PVOID*) {
    auto* log = static_cast<CEventLog*>(self);
    log->source.reset(RegisterEventSourceW(nullptr, log->sourceName));
    if (!log->source) {
        traceFailure(log->logger, L"RegisterEventSourceW", GetLastError());
    }
    // Failed or not, the source is not asked for again.
    return TRUE;
}

void CEventLog::write(WORD type, DWORD eventId, std::initializer_list<const wchar_t*> inserts) {
    InitOnceExecuteOnce(&opened, openSource, this, nullptr);
    if (!source) {
        return;
    }
    const wchar_t* strings[kMaxInserts] = {};
    WORD count = 0;
    for (const wchar_t* insert : inserts) {
        if (count < kMaxInserts) {
            strings[count++] = insert;
        }
    }
    if (!ReportEventW(source.get(), type, 0, eventId, nullptr, count, 0, strings, nullptr)) {
        traceFailure(logger, L"ReportEventW", GetLastError());
    }
}
