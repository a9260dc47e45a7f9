// Follows the QUIC connections of a capture, versions 1 and 2: reads each
// one's ClientHello from its Initial packets, which anyone can open, and
// with the browser's key log opens its 1-RTT packets and hands on the bytes
// of its streams in order.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "byte_view.h"
#include "connection_ids.h"
#include "flow.h"
#include "flow_table.h"
#include "oldest_first.h"
#include "key_log.h"
#include "outcome.h"
#include "quic_sink.h"

namespace quillnet::quic {

// One UDP datagram as the frame dispatch found it.
struct Datagram {
    Flow flow;         // its addresses and ports
    uint64_t time = 0; // when it was captured, in microseconds
    ByteView payload;
};

class Connection;
struct ConnectionContext;

class QuicTracker {
public:
    // Without a key log (null) connections are counted and their hellos
    // read, as without keys. The key log must outlive the tracker.
    explicit QuicTracker(tls::KeyLog *keyLog);
    ~QuicTracker();
    QuicTracker(const QuicTracker &) = delete;
    QuicTracker &operator=(const QuicTracker &) = delete;

    // True when the datagram belongs to a QUIC connection the tracker follows,
    // or starts one (the caller then does not look at it otherwise).
    bool handleDatagram(const Datagram &datagram, QuicSink &sink);
    // End of capture: a last look at the key log, then every connection ends.
    void finish(QuicSink &sink);
    Counts counts() const { return counts_; }
    // True while no connection is followed: then only a client's first Initial packet concerns it.
    bool idle() const { return live_ == 0; }
    // Memory its connections hold besides their fixed state, what the sink
    // keeps for them included, which the tracker keeps within the same bound
    // as for TLS connections.
    size_t heldBytes() const { return heldBytes_; }

private:
    struct Route {
        uint32_t slot;
        bool toServer;
        size_t idLength; // of the first packet's Destination Connection ID
    };

    std::optional<Route> route(const Datagram &datagram, uint8_t first) const;
    std::optional<Route> routeShort(const Datagram &datagram, bool fixedBit) const;
    bool startConnection(const Datagram &datagram, QuicSink &sink);
    void readDatagram(Connection &connection, const Route &route, const Datagram &datagram, QuicSink &sink);
    void settle(uint32_t slot, QuicSink &sink);
    void routeFlow(uint32_t slot, const Flow &flow, bool toServer);
    void enforceBounds(uint32_t slot, QuicSink &sink);
    void listIfWaiting(uint32_t slot);
    void advanceClock(uint64_t time, QuicSink &sink);
    void pumpWaiting(QuicSink &sink);
    void retire(uint32_t slot, QuicSink &sink);
    void evict(uint32_t slot, QuicSink &sink);
    bool current(uint32_t slot, uint64_t id) const;
    bool evictOldest(QuicSink &sink, std::optional<uint32_t> kept = std::nullopt);
    ConnectionContext context(QuicSink &sink);

    tls::KeyLog *keyLog_;
    ConnectionIdTable ids_;
    tls::FlowTable flows_; // slot and direction: slot << 1 | toServer
    std::vector<std::unique_ptr<Connection>> connections_;
    std::vector<uint32_t> freeSlots_;
    tls::OldestFirst age_;
    std::vector<uint32_t> waiting_;                  // slots that may wait for keys
    uint64_t serial_ = 0;
    size_t live_ = 0;
    size_t heldBytes_ = 0;
    uint64_t now_ = 0;
    uint64_t nextSweep_ = 0;
    uint64_t nextKeyLogLook_ = 0;
    uint64_t keyLogGeneration_ = 0;
    std::vector<uint8_t> header_;
    std::vector<uint8_t> plaintext_;
    Counts counts_;
};

}
