// One byte stream sent in frames at offsets, CRYPTO data or one direction of
// a stream: each byte handed on once and in order, the frames ahead of a gap
// held until it is filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "byte_view.h"

namespace quillnet::quic {

class StreamReassembly {
public:
    // Takes `bytes` at `offset` and calls `deliver(offset, bytes)` for every
    // run of bytes that is now next in order. False, keeping nothing of
    // them, when what is held ahead of a gap would exceed `maxHeld`.
    template <typename Deliver>
    bool add(uint64_t offset, ByteView bytes, size_t maxHeld, Deliver &&deliver)
    {
        if (offset > next_)
            return hold(offset, bytes, maxHeld);
        pass(offset, bytes, deliver);
        while (auto piece = takeReady())
            pass(piece->first, ByteView(piece->second.data(), piece->second.size()), deliver);
        return true;
    }

    // The offset of the first byte not handed on yet.
    uint64_t next() const { return next_; }
    // Memory the held frames take.
    size_t heldBytes() const { return heldBytes_; }
    void release();

private:
    template <typename Deliver>
    void pass(uint64_t offset, ByteView bytes, Deliver &deliver)
    {
        const uint64_t end = offset + bytes.size();
        if (end <= next_)
            return; // sent again
        const uint64_t from = next_;
        next_ = end;
        deliver(from, bytes.sub(static_cast<size_t>(from - offset)));
    }

    bool hold(uint64_t offset, ByteView bytes, size_t maxHeld);
    std::optional<std::pair<uint64_t, std::vector<uint8_t>>> takeReady();

    uint64_t next_ = 0;
    std::map<uint64_t, std::vector<uint8_t>> held_; // by offset
    size_t heldBytes_ = 0;
};

}
