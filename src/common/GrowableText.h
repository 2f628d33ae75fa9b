#pragma once
// A zero-terminated text in one heap block that doubles as it is appended to:
// the storage of CTextBuilder (wide) and CJsonText (UTF-8). Every append is
// bounds-checked; a failed allocation is remembered and makes later appends do
// nothing, so that callers check once, after building. A text moved from is
// left empty, as a new one.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "common/HeapText.h"

template <typename Char>
class CGrowableText {
public:
    CGrowableText() = default;
    CGrowableText(CGrowableText&& other) noexcept
        : block(std::move(other.block)),
          used(std::exchange(other.used, 0)),
          capacity(std::exchange(other.capacity, 0)),
          failure(std::exchange(other.failure, false)) {}

    void append(const Char* text, std::size_t count) {
        if (text != nullptr && count != 0 && reserve(count)) {
            std::memcpy(block.get() + used, text, count * sizeof(Char));
            used += count;
            block.get()[used] = Char();
        }
    }

    void clear() {
        used = 0;
        if (block) {
            block.get()[0] = Char();
        }
    }

    // Never null: an empty text answers "".
    const Char* text() const {
        static const Char empty[1] = {};
        return block ? block.get() : empty;
    }
    std::size_t length() const { return used; }
    bool failed() const { return failure; }

    // Hands the text to the caller, who frees it with free(); null when building failed.
    Char* release() {
        if (failure || (!block && !reserve(0))) {
            return nullptr;
        }
        block.get()[used] = Char();
        used = capacity = 0;
        return block.release();
    }

private:
    // Room for extra more characters and the terminator.
    bool reserve(std::size_t extra) {
        if (failure) {
            return false;
        }
        if (extra >= SIZE_MAX / sizeof(Char) - used - 1) {
            failure = true;
            return false;
        }
        const std::size_t needed = used + extra + 1;
        if (needed <= capacity) {
            return true;
        }
        std::size_t grown = capacity < 64 ? 64 : capacity;
        while (grown < needed) {
            grown = grown > SIZE_MAX / sizeof(Char) / 2 ? needed : grown * 2;
        }
        auto* larger = static_cast<Char*>(std::realloc(block.get(), grown * sizeof(Char)));
        if (larger == nullptr) {
            failure = true;
            return false;
        }
        // realloc has freed or kept the old block: the owner must not free it again.
        static_cast<void>(block.release());
        block.reset(larger);
        capacity = grown;
        return true;
    }

    CHeapPtr<Char> block;
    std::size_t used = 0;
    std::size_t capacity = 0;
    bool failure = false;
};
