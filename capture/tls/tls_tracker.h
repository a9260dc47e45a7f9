// Follows the TLS connections of a capture whose secrets the browser writes
// to its key log, and hands on what they carry: HTTP/1.x bytes in stream
// order, and HTTP/2 GETs with their responses.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "byte_view.h"
#include "flow.h"
#include "connection_outcome.h"
#include "flow_table.h"
#include "oldest_first.h"
#include "key_log.h"
#include "request_headers.h"

namespace quillnet::tls {

// What all connections' buffers, header tables and waiting streams hold together.
inline constexpr size_t kMaxHeldBytes = 64 * 1024 * 1024;

// One TCP segment as the frame dispatch found it.
struct Segment {
    Flow flow;
    uint32_t sequence;
    uint32_t acknowledgement;
    uint8_t flags; // kTcpSyn and the others of flow.h
    ByteView payload;
};

class PlaintextSink {
public:
    virtual ~PlaintextSink() = default;
    // Decrypted HTTP/1.x bytes of one direction (`flow` is that direction),
    // in stream order; streamOffset counts plaintext bytes delivered before
    // these in that direction.
    virtual void onPlaintext(const Flow &flow, uint64_t streamOffset, ByteView bytes) = 0;
    // One HTTP/2 GET and its response, with the request's headers.
    virtual void onHttp2Exchange(const Flow &clientToServer, std::string_view authority, std::string_view path,
                                 std::string_view status, std::string_view contentType,
                                 const RequestHeaders &headers) = 0;
};

// TLS connections are counted in Counts (connection_outcome.h): seen is every ClientHello; each
// connection seen is in at most one of decrypted, without keys and
// undecryptable while it is followed, and in exactly one once it ended.
// Decrypted: application data was opened and nothing was lost. Without
// keys: its secrets never appeared in the key log, or it carried no
// application data. Undecryptable: its suite or version cannot be opened, or
// its records failed authentication, broke the protocol or lost a segment
// for good, even after some were opened. Evicted counts those of them given
// up early, the oldest first, to bound memory or the connections followed.

class Connection;

class TlsTracker {
public:
    // "" = no key log: connections are counted (seen, without keys) but not followed.
    explicit TlsTracker(std::string keyLogPath);
    ~TlsTracker();
    TlsTracker(const TlsTracker &) = delete;
    TlsTracker &operator=(const TlsTracker &) = delete;

    // True when the segment belongs to a TLS connection the tracker knows
    // (the caller then does not treat its payload as plaintext HTTP).
    bool handleSegment(const Segment &segment, PlaintextSink &sink);
    // End of capture: a last look at the key log, then connections still
    // waiting for keys are counted as without keys.
    void finish(PlaintextSink &sink);
    Counts counts() const { return counts_; }
    // True while no connection is followed: then only a ClientHello concerns it.
    bool idle() const { return table_.empty(); }
    // Memory its connections hold besides their fixed state, which the tracker
    // keeps within kMaxHeldBytes.
    size_t heldBytes() const { return heldBytes_; }

private:
    bool startConnection(const Segment &segment, PlaintextSink &sink);
    void process(uint32_t slot, const Segment &segment, PlaintextSink &sink);
    void pump(uint32_t slot, PlaintextSink &sink);
    void enforceBounds(uint32_t slot, PlaintextSink &sink);
    void pumpWaiting(PlaintextSink &sink);
    void retire(uint32_t slot, PlaintextSink &sink);
    void evict(uint32_t slot, PlaintextSink &sink);
    bool current(uint32_t slot, uint64_t serial) const;
    bool evictOldest(PlaintextSink &sink, std::optional<uint32_t> kept = std::nullopt);

    KeyLog keyLog_;
    bool haveKeyLog_;
    FlowTable table_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::vector<uint32_t> freeSlots_;
    OldestFirst age_;
    std::vector<uint32_t> waiting_;                  // slots that may wait for keys
    uint64_t serial_ = 0;
    size_t live_ = 0;
    size_t heldBytes_ = 0;
    std::vector<uint8_t> scratch_;
    Counts counts_;
};

}
