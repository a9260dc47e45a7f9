// One direction of a TCP connection as the byte stream its sender wrote:
// segments in sequence order, each byte once, out-of-order segments held until
// the gap before them is filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "byte_view.h"

namespace quillnet::tls {

class TcpStream {
public:
    bool started() const { return started_; }
    // `sequence` is the number of the first byte the stream delivers.
    void start(uint32_t sequence);

    // Takes a segment. False when the bytes held behind a gap exceed their
    // bound: the gap is taken as never to be filled.
    bool add(uint32_t sequence, ByteView payload);

    // The bytes in order that were not consumed yet. They may still be the
    // caller's segment until settle().
    ByteView pending() const;
    void consume(size_t count);
    // Copies what is pending of the caller's segment, before it goes away.
    void settle();

    bool hasGap() const { return !held_.empty(); }
    // Memory kept: the pending bytes' buffer as allocated, and what is held behind a gap.
    size_t buffered() const { return data_.capacity() + heldBytes_; }
    void release();

private:
    struct HeldSegment {
        uint32_t sequence;
        std::vector<uint8_t> bytes;
    };

    void append(ByteView bytes);
    void hold(uint32_t sequence, ByteView payload);
    void drainHeld();

    bool started_ = false;
    uint32_t next_ = 0;
    ByteView borrowed_;
    std::vector<uint8_t> data_;
    size_t readPosition_ = 0;
    std::vector<HeldSegment> held_;
    size_t heldBytes_ = 0;
};

}
