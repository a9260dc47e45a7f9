// The frames of a packet's plaintext (RFC 9000 section 19). Only those that
// carry data or change the connection are handed out; the others are
// skipped by their layout, and a frame of a type not known ends the packet.
#pragma once

#include <cstdint>
#include <optional>

#include "byte_view.h"
#include "wire_reader.h"

namespace quillnet::quic {

enum class FrameType : uint8_t {
    kCrypto,
    kStream,
    kResetStream,
    kNewConnectionId,
    kConnectionClose,
    kHandshakeDone,
};

struct Frame {
    FrameType type = FrameType::kCrypto;
    uint64_t streamId = 0; // STREAM and RESET_STREAM
    uint64_t offset = 0;   // of CRYPTO and STREAM data; RESET_STREAM's final size
    ByteView data;         // CRYPTO and STREAM data; NEW_CONNECTION_ID's connection ID
    bool fin = false;      // STREAM: the data ends the stream
};

class FrameReader {
public:
    explicit FrameReader(ByteView frames) : reader_(frames) {}

    // The next frame handed out; empty at the end of the packet or at a frame
    // that is cut, malformed or of an unknown type.
    std::optional<Frame> next();

private:
    bool skipAck(uint64_t type);
    std::optional<Frame> readStream(uint64_t type);

    WireReader reader_;
};

}
