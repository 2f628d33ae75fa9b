#pragma once
// The codes that the control pipe's server has taken and not yet forwarded,
// first in, first out, so that the pipe listens again while Java's
// serviceControl still runs. It holds a bounded number: while it is full the
// server takes no new client, and senders find the pipe busy.
#include <windows.h>

#include <cstddef>

class CControlCodeQueue {
public:
    CControlCodeQueue() = default;
    CControlCodeQueue(const CControlCodeQueue&) = delete;
    CControlCodeQueue& operator=(const CControlCodeQueue&) = delete;

    // Adds a code, waiting while the queue is full; false once it is closed.
    bool put(DWORD code);
    // Takes the oldest code, waiting while there is none; false once it is closed.
    bool take(DWORD* code);
    // Wakes both sides for good; the codes still queued are dropped.
    void close();

private:
    static const std::size_t kCapacity = 64;

    // The server's thread puts, the forwarding thread takes; both under lock.
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    DWORD codes[kCapacity] = {};
    std::size_t first = 0;
    std::size_t count = 0;
    bool closed = false;
};
