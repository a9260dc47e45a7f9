// The streams of one connection that HTTP/3 reads: client-initiated
// bidirectional streams both ways, and unidirectional streams from the side
// that opened them. Each direction is reassembled in order within bounds,
// and remembered once done so that frames sent again are not taken for a
// new stream.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <unordered_map>

#include "frames.h"
#include "quic_sink.h"
#include "stream_reassembly.h"

namespace quillnet::quic {

// What one direction of a stream may hold ahead of a gap, and all of a connection's streams together.
inline constexpr size_t kMaxStreamHeldBytes = 1024 * 1024;
inline constexpr size_t kMaxConnectionHeldBytes = 8 * 1024 * 1024;

class Streams {
public:
    explicit Streams(uint64_t connection) : connection_(connection) {}

    // A STREAM frame from one side. False when bytes were lost: a stream
    // given up for a bound, which the sink is told of.
    bool onStream(bool fromClient, const Frame &frame, QuicSink &sink);
    // A RESET_STREAM frame from one side, which ends its direction of the stream.
    void onReset(bool fromClient, const Frame &frame, QuicSink &sink);

    size_t heldBytes() const;
    void release();

private:
    struct Stream {
        StreamReassembly bytes;
        std::optional<uint64_t> finalSize;
    };
    using Open = std::unordered_map<uint64_t, Stream>;

    // Directions done with. Streams of a kind open in order, and mostly end
    // in order too: all below a mark are done, and those in `ahead_` above it.
    class Finished {
    public:
        Finished();
        bool contains(uint64_t key) const;
        void add(uint64_t key);
        size_t heldBytes() const;

    private:
        std::array<uint64_t, 8> marks_; // by kind and direction: the key's low three bits
        std::set<uint64_t> ahead_;
    };

    StreamRef refOf(uint64_t key) const;
    void close(Open::iterator stream);

    uint64_t connection_;
    Open open_; // by key: the stream ID, then a bit for the direction
    Finished finished_;
    size_t held_ = 0; // what all open streams hold ahead of their gaps
};

}
