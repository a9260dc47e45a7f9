// What the QUIC layer hands on to the protocol above it: each connection's
// ClientHello, the bytes of its streams in order, and the ends of streams
// and connections.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "byte_view.h"
#include "flow.h"
#include "key_log.h"

namespace quillnet::quic {

struct ConnectionInfo {
    uint64_t id = 0;  // unique for the tracker's life
    Flow clientFlow;  // client to server, as its first packet travelled
    uint32_t version = 0;
    tls::Random random{};
    std::string serverName;
    std::vector<std::string> protocols; // ALPN, as offered
};

// One direction of one stream: bidirectional streams carry bytes both ways,
// each with offsets of its own.
struct StreamRef {
    uint64_t connection = 0;
    uint64_t id = 0;
    bool fromClient = false;

    bool operator==(const StreamRef &) const = default;
};

class QuicSink {
public:
    virtual ~QuicSink() = default;
    virtual void onClientHello(const ConnectionInfo &connection) = 0;
    // Bytes in stream order, each once; `offset` is the first one's place in the stream.
    virtual void onStreamData(const StreamRef &stream, uint64_t offset, ByteView bytes) = 0;
    // The stream's last byte was handed on.
    virtual void onStreamEnd(const StreamRef &stream) = 0;
    // No more of the stream comes: its sender reset it, or bytes of it were lost.
    virtual void onStreamReset(const StreamRef &stream) = 0;
    // No more of the connection comes: it was closed, went idle or was given
    // up, or the capture ended. Its streams still open end with it.
    virtual void onConnectionClosed(uint64_t connection) = 0;
    // What the protocol above keeps for the connection: the tracker counts it
    // within its budget, so that it too gives way, the oldest first.
    virtual size_t heldBytes(uint64_t /*connection*/) const { return 0; }
    // True once the protocol above can read nothing more of the connection,
    // which then counts as undecryptable, as a broken protocol does.
    virtual bool broken(uint64_t /*connection*/) const { return false; }
};

}
