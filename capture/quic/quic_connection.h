// One QUIC connection: the keys of its Initial, Handshake and 1-RTT packets,
// the hellos its Initial packets carry, and the streams of its 1-RTT packets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "byte_view.h"
#include "connection_ids.h"
#include "flow.h"
#include "frames.h"
#include "handshake.h"
#include "key_log.h"
#include "outcome.h"
#include "packet_opener.h"
#include "quic_sink.h"
#include "stream_reassembly.h"
#include "streams.h"
#include "versions.h"

namespace quillnet::quic {

// What a connection needs from the tracker while its packets are read.
struct ConnectionContext {
    tls::KeyLog *keyLog; // null when there is none
    QuicSink &sink;
    PacketBuffers buffers;
    Counts &counts;
};

// One packet as its header was read.
struct PacketInfo {
    bool fromClient = false;
    PacketType type = PacketType::kOneRtt;
    const Version *version = nullptr; // a long header's
    ByteView source;                  // a long header's Source Connection ID
    size_t numberOffset = 0;
};

// A connection ID that the packets going one way carry, learnt from a long
// header or a NEW_CONNECTION_ID frame.
struct LearntId {
    ConnectionId id;
    bool toServer;
};

class Connection {
public:
    // `version` and `originalDestination` are those of the client's first Initial packet.
    Connection(uint64_t id, const Flow &clientFlow, const Version &version, ByteView originalDestination);

    uint64_t id() const { return id_; }
    // A packet of it was opened: it is a QUIC connection.
    bool started() const { return started_; }
    bool stopped() const { return stopped_; }
    // A CONNECTION_CLOSE frame came.
    bool closed() const { return closed_; }
    // The sink was told of its ClientHello.
    bool announced() const { return announced_; }
    bool waitingForKeys() const { return !waiting_.empty(); }
    // Length of the Destination Connection IDs of its short headers going one way.
    size_t idLength(bool toServer) const { return idLengths_[toServer ? 1 : 0]; }
    // Every ID learnt, oldest first.
    const std::vector<LearntId> &learntIds() const { return learnt_; }

    // One packet of a datagram, from its first byte to its last.
    void handlePacket(const PacketInfo &packet, ByteView bytes, ConnectionContext &context);
    // Opens the 1-RTT packets that wait, once the key log may have their keys.
    void pumpWaiting(ConnectionContext &context);
    // Ends the wait for keys, counting why they did not come.
    void giveUpWaiting(ConnectionContext &context);

    // Ends the following of the connection, counting why; buffers and keys are freed.
    void stop(Outcome reason, Counts &counts);
    void classify(Outcome outcome, Counts &counts) { Classify(outcome_, outcome, counts); }
    // Memory held besides the object itself.
    size_t heldBytes() const;

    // The tracker's own state of the connection.
    size_t accountedBytes = 0;     // its share of the tracker's budget
    size_t routedIds = 0;          // of learntIds(), those the tracker routes by
    std::vector<Flow> routedFlows; // the flows the tracker routes to it, both ways
    bool listedAsWaiting = false;
    uint64_t lastActive = 0;

private:
    enum Side : size_t { kClient, kServer };
    enum class Level : uint8_t { kInitial, kHandshake, kOneRtt };

    struct HeldPacket {
        bool fromClient;
        size_t numberOffset;
        std::vector<uint8_t> bytes;
    };

    // What only the handshake needs, by side: freed once the server confirmed
    // it (HANDSHAKE_DONE) or the connection stopped, as most do early.
    struct Handshake {
        std::array<PacketOpener, 2> initial;
        std::array<bool, 2> initialStale{}; // a Retry changed the Initial keys
        std::array<PacketOpener, 2> handshake;
        std::array<StreamReassembly, 2> crypto;
        std::array<tls::HandshakeReader, 2> hellos;
        std::vector<tls::HandshakeReader::Message> messages;
    };

    void openInitial(const PacketInfo &packet, ByteView bytes, ConnectionContext &context);
    void openHandshake(const PacketInfo &packet, ByteView bytes, ConnectionContext &context);
    void openOneRtt(const PacketInfo &packet, ByteView bytes, ConnectionContext &context);
    void onRetry(const PacketInfo &packet, ByteView bytes);
    bool startOneRtt(Side side, ConnectionContext &context);
    std::optional<tls::Secret> findSecret(tls::SecretLabel label, ConnectionContext &context);
    void hold(const PacketInfo &packet, ByteView bytes, ConnectionContext &context);
    Outcome waitingOutcome(ConnectionContext &context);

    void learnFrom(const PacketInfo &packet);
    void learn(ByteView id, bool toServer);
    void readFrames(Level level, bool fromClient, ByteView frames, ConnectionContext &context);
    void onCrypto(Side side, const Frame &frame, ConnectionContext &context);
    void readHandshake(Side side, ByteView bytes, ConnectionContext &context);
    void onClientHello(ByteView body, ConnectionContext &context);
    void onServerHello(ByteView body);
    bool bothHellosRead() const { return helloRead_[kClient] && helloRead_[kServer]; }
    void stopLater(Outcome reason);
    void settle(ConnectionContext &context);

    static Side sideOf(bool fromClient) { return fromClient ? kClient : kServer; }

    uint64_t id_;
    Flow clientFlow_;
    const Version *clientVersion_;
    const Version *version_; // the one the server answers in, for 1-RTT keys
    ConnectionId originalDestination_;
    std::unique_ptr<Handshake> handshake_;
    std::array<PacketOpener, 2> oneRtt_;
    std::array<bool, 2> helloRead_{};
    std::optional<tls::ClientHelloInfo> clientHello_;
    std::optional<tls::CipherSuite> suite_;
    Streams streams_;
    std::vector<HeldPacket> waiting_;
    size_t waitingBytes_ = 0;
    // By secret label: the key log's generation at the last look that missed, plus one.
    std::array<uint64_t, tls::kSecretLabelCount> missedAt_{};
    unsigned failedOpens_ = 0;
    std::array<size_t, 2> idLengths_{}; // by whether the packets go to the server
    std::vector<LearntId> learnt_;
    std::optional<Outcome> stopReason_;
    Outcome outcome_ = Outcome::kNone;
    bool started_ = false;
    bool stopped_ = false;
    bool closed_ = false;
    bool announced_ = false;
    bool retried_ = false;
};

}
