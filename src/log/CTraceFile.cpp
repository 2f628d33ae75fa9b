#include "log/CTraceFile.h"

#include <cwchar>

#include "common/LogRotation.h"
#include "common/OwnedFile.h"
#include "log/LogFileRotation.h"

namespace {

// Lines of all processes that share one trace file are kept apart by a lock on
// one byte far beyond any real file end, taken around seek-to-end and write.
const DWORD kLockOffsetHigh = 0x7FFFFFFF;
// Any process that can open the file can take that byte and keep it: the lock
// is tried for this long at most, then the line is written without it.
const ULONGLONG kLockPatienceMs = 2000;

// Years of trace stay within 80 MiB.
const unsigned long long kTraceRotateBytes = 20ull * 1024 * 1024;
const unsigned kTraceKeep = 3;

const wchar_t* orEmpty(const wchar_t* text) { return text != nullptr ? text : L""; }

std::size_t lengthOf(const wchar_t* text) { return text != nullptr ? std::wcslen(text) : 0; }

}  // namespace

unsigned long CTraceFile::open(const wchar_t* path) {
    file.reset();
    if (path == nullptr || path[0] == L'\0') {
        return 0;
    }
    if (!mutex) {
        mutex.reset(CreateMutexW(nullptr, FALSE, nullptr));
    }
    this->path = duplicateText(path);
    if (!this->path) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return openPath();
}

unsigned long CTraceFile::openPath() {
    file.reset(openOwnedFile(path.get(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
    if (!file) {
        return GetLastError();
    }
    seekToEnd();
    return 0;
}

unsigned long long CTraceFile::seekToEnd() {
    LARGE_INTEGER end = {};
    const LARGE_INTEGER none = {};
    SetFilePointerEx(file.get(), none, &end, FILE_END);
    return static_cast<unsigned long long>(end.QuadPart);
}

void CTraceFile::rotateIfDue(unsigned long long size, DWORD byteCount, OVERLAPPED* lockRange, BOOL* locked) {
    // A file rotated by another process since shrinks below failedAt.
    failedAt = size < failedAt ? 0 : failedAt;
    if (!rotationDue(size - failedAt, byteCount, kTraceRotateBytes)) {
        return;
    }
    if (*locked) {
        UnlockFileEx(file.get(), 0, 1, 0, lockRange);
    }
    // Another process may have rotated the file: this handle then holds the
    // older generation, and "<name>" is the file to judge.
    file.reset();
    if (openPath() == 0 && rotationDue(seekToEnd(), byteCount, kTraceRotateBytes)) {
        file.reset();
        const DWORD failure = rotateLogFile(path.get(), kTraceKeep, nullptr);
        openPath();
        failedAt = failure != 0 && file ? seekToEnd() : 0;
    }
    *locked = file ? lockLineRange(lockRange) : FALSE;
    if (file) {
        seekToEnd();
    }
}

void CTraceFile::write(const wchar_t* text, const wchar_t* text2, const wchar_t* text3) {
    // Unbounded, yet short: a holder writes one line, and waits for the file's
    // lock at most kLockPatienceMs.
    WaitForSingleObject(mutex.get(), INFINITE);
    const std::size_t characters = lengthOf(text) + lengthOf(text2) + lengthOf(text3);
    const std::size_t needed = 100 + 2 * characters;
    if (lineCapacity < needed) {
        wideLine.reset(static_cast<wchar_t*>(std::calloc(needed + 10, 1)));
        narrowLine.reset(static_cast<char*>(std::calloc(needed + 10, 1)));
        lineCapacity = (wideLine && narrowLine) ? static_cast<unsigned long>(needed) : 0;
    }
    if (lineCapacity != 0) {
        // The line is built by hand rather than with wsprintfW, whose 1,024-character
        // limit would cut long entries (a whole exported configuration, say).
        wchar_t* line = wideLine.get();
        std::size_t at = 0;
        unsigned long threadId = GetCurrentThreadId();
        static const wchar_t hexDigits[] = L"0123456789ABCDEF";
        for (int shift = 28; shift >= 0; shift -= 4) {
            line[at++] = hexDigits[(threadId >> shift) & 0xF];
        }
        line[at++] = L' ';
        for (const wchar_t* part : {text, text2, text3}) {
            const std::size_t length = lengthOf(part);
            std::wmemcpy(line + at, orEmpty(part), length);
            at += length;
        }
        line[at++] = L'\r';
        line[at++] = L'\n';
        line[at] = L'\0';

        const char* bytes = narrowLine.get();
        DWORD byteCount = 0;
        const int converted = WideCharToMultiByte(CP_ACP, 0, line, -1, narrowLine.get(),
                                                  static_cast<int>(lineCapacity), nullptr, nullptr);
        if (converted > 0) {
            byteCount = static_cast<DWORD>(converted - 1);
        } else {
            bytes = reinterpret_cast<const char*>(line);
            byteCount = static_cast<DWORD>(at * sizeof(wchar_t));
        }
        OVERLAPPED lockRange = {};
        lockRange.OffsetHigh = kLockOffsetHigh;
        // A file that could not be opened again after a rotation is tried at every line.
        if (!file) {
            openPath();
        }
        BOOL locked = file ? lockLineRange(&lockRange) : FALSE;
        rotateIfDue(seekToEnd(), byteCount, &lockRange, &locked);
        // Without a file (it could not be opened again after a rotation) the line is lost.
        if (file) {
            DWORD written = 0;
            WriteFile(file.get(), bytes, byteCount, &written, nullptr);
            FlushFileBuffers(file.get());
        }
        if (locked) {
            UnlockFileEx(file.get(), 0, 1, 0, &lockRange);
        }
    }
    ReleaseMutex(mutex.get());
}

BOOL CTraceFile::lockLineRange(OVERLAPPED* lockRange) {
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    BOOL locked = LockFileEx(file.get(), flags, 0, 1, 0, lockRange);
    // Once the lock was not had for the whole patience, later lines try it
    // once each, so that a held byte costs this process two seconds in all.
    if (!locked && !lockWithheld) {
        const ULONGLONG start = GetTickCount64();
        while (!locked && GetTickCount64() - start < kLockPatienceMs) {
            Sleep(1);
            locked = LockFileEx(file.get(), flags, 0, 1, 0, lockRange);
        }
    }
    lockWithheld = !locked;
    return locked;
}
