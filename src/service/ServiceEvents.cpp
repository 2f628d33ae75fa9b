#include "service/ServiceEvents.h"

#include "common/CTextBuilder.h"
#include "common/StartFailureReason.h"
#include "log/EventMessages.h"

CServiceEvents::CServiceEvents(CLogger* logger, const wchar_t* serviceName) : log(logger, serviceName) {}

void CServiceEvents::started(const wchar_t* jvmLibrary) {
    if (enabled && !startWritten.exchange(true)) {
        log.write(EVENTLOG_INFORMATION_TYPE, EVENT_SERVICE_STARTED, {jvmLibrary != nullptr ? jvmLibrary : L"?"});
    }
}

void CServiceEvents::startFailed(int exitCode) {
    writeCode(EVENTLOG_ERROR_TYPE, EVENT_START_FAILED, exitCode, startFailureReason(exitCode));
}

void CServiceEvents::stoppedWithCode(DWORD exitCode) {
    writeCode(EVENTLOG_ERROR_TYPE, EVENT_STOPPED_WITH_CODE, exitCode, nullptr);
}

void CServiceEvents::javaExited(int exitCode) {
    writeCode(exitCode == 0 ? EVENTLOG_INFORMATION_TYPE : EVENTLOG_WARNING_TYPE, EVENT_JAVA_EXIT, exitCode, nullptr);
}

void CServiceEvents::stopTimedOut() {
    if (enabled) {
        log.write(EVENTLOG_ERROR_TYPE, EVENT_STOP_TIMED_OUT, {});
    }
}

void CServiceEvents::rotationBlocked(const wchar_t* blockedFile) {
    if (enabled) {
        log.write(EVENTLOG_WARNING_TYPE, EVENT_ROTATION_BLOCKED, {blockedFile});
    }
}

void CServiceEvents::fileRefused(const wchar_t* refusedFile) {
    if (enabled) {
        log.write(EVENTLOG_WARNING_TYPE, EVENT_FILE_REFUSED, {refusedFile});
    }
}

void CServiceEvents::writeCode(WORD type, DWORD eventId, long long code, const wchar_t* reason) {
    if (!enabled) {
        return;
    }
    CTextBuilder digits;
    digits.appendDecimal(code);
    if (reason != nullptr) {
        log.write(type, eventId, {digits.text(), reason});
    } else {
        log.write(type, eventId, {digits.text()});
    }
}
