// HTTP/3 frames and stream types read from one direction of a QUIC stream,
// however its bytes were split: the payloads of the frame types asked for
// are kept whole, the others skipped as they pass.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "byte_view.h"

namespace quillnet::quic {

// A variable-length integer whose bytes may come in more than one piece.
class SplitVarint {
public:
    // Takes what it needs from the front of `bytes`; the value once it is whole.
    std::optional<uint64_t> take(ByteView &bytes);

private:
    static constexpr size_t kMaxLength = 8;
    std::array<uint8_t, kMaxLength> bytes_{};
    size_t filled_ = 0;
    size_t length_ = 0;
};

class FrameReader {
public:
    enum class Status {
        kNeedMore, // every byte taken, no kept frame whole yet
        kFrame,    // a kept frame is whole: takePayload()
        kTooLong,  // a kept type came longer than allowed; its payload is skipped
    };

    // Takes bytes from the front of `bytes` until a frame of one of `keptTypes` is whole.
    Status next(ByteView &bytes, std::initializer_list<uint64_t> keptTypes, size_t maxKept);
    uint64_t frameType() const { return type_; }
    std::vector<uint8_t> takePayload() { return std::move(payload_); }
    // A frame cut off by the stream's end is not waited for.
    void release() { payload_ = {}; }
    size_t heldBytes() const { return payload_.capacity(); }

private:
    SplitVarint typeField_;
    SplitVarint lengthField_;
    uint64_t type_ = 0;
    bool typeRead_ = false;
    bool inPayload_ = false;
    bool keep_ = false;
    uint64_t payloadLeft_ = 0;
    std::vector<uint8_t> payload_;
};

}
