#include "log/CTraceFile.h"

#include <cwchar>

namespace {

// Lines of all processes that share one trace file are kept apart by a lock on
// one byte far beyond any real file end, taken around seek-to-end and write.
const DWORD kLockOffsetHigh = 0x7FFFFFFF;
// Any process that can open the file can take that byte and keep it: the lock
// is tried for this long at most, then the line is written without it.
const ULONGLONG kLockPatienceMs = 2000;

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
    file.reset(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return GetLastError();
    }
    SetFilePointer(file.get(), 0, nullptr, FILE_END);
    return 0;
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
        const BOOL locked = lockLineRange(&lockRange);
        SetFilePointer(file.get(), 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(file.get(), bytes, byteCount, &written, nullptr);
        FlushFileBuffers(file.get());
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
