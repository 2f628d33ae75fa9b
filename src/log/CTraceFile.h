#pragma once
// The trace file of one logger. Several threads and processes append to one
// file; each line is written whole, stamped with the writing thread's id.
// Past 20 MiB the file rotates between lines, three older files kept.
#include "common/HeapText.h"
#include "common/Win32Handle.h"

class CTraceFile {
public:
    CTraceFile() = default;
    CTraceFile(const CTraceFile&) = delete;
    CTraceFile& operator=(const CTraceFile&) = delete;

    // Closes the file, then opens path (unless null or empty) for appending:
    // 0, or the system's code for the failure.
    unsigned long open(const wchar_t* path);
    // Appends one line of the three parts (null parts are empty).
    void write(const wchar_t* text, const wchar_t* text2, const wchar_t* text3);

private:
    // Opens path for appending; shared for deletion too, so that another
    // process can rotate the file while this one holds it.
    unsigned long openPath();
    // The file's size, with the file pointer moved to its end.
    unsigned long long seekToEnd();
    // With the line's lock held (locked) and the file at size: rotates when
    // the line would take the file past its limit; the lock is then held on the new file.
    void rotateIfDue(unsigned long long size, DWORD byteCount, OVERLAPPED* lockRange, BOOL* locked);
    // The cross-process lock around one line's seek and write: TRUE when taken.
    BOOL lockLineRange(OVERLAPPED* lockRange);

    CFileHandle file;
    CHeapText path;
    // The size at which a rotation failed: the next try is one whole limit later.
    unsigned long long failedAt = 0;
    CHeapPtr<wchar_t> wideLine;
    CHeapPtr<char> narrowLine;
    unsigned long lineCapacity = 0;
    // Serialises the lines of this process's threads (the shared line buffers).
    CKernelHandle mutex;
    // The last line went out without the lock, which another process held
    // too long; guarded by the mutex.
    bool lockWithheld = false;
};
