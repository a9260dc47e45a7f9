// One TLS connection: both byte streams, their records, the handshake that
// tells how to open them and the application data they carry.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "handshake.h"
#include "http2.h"
#include "key_log.h"
#include "record_crypto.h"
#include "tcp_stream.h"
#include "tls_tracker.h"

namespace quillnet::tls {

// What a connection needs from the tracker while its records are read.
struct ConnectionContext {
    KeyLog &keyLog;
    PlaintextSink &sink;
    std::span<uint8_t> scratch; // room for one record's plaintext
    Counts &counts;
};

enum class StopReason { kWithoutKeys, kUndecryptable };

class Connection {
public:
    // `first` is the segment that starts with the ClientHello.
    Connection(const Segment &first, uint64_t serial);

    const Flow &clientFlow() const { return clientFlow_; }
    uint64_t serial() const { return serial_; }
    bool stopped() const { return stopped_; }
    // The last read stopped at a record whose secrets are not in the key log.
    bool waitingForKeys() const { return toServer_.keysMissing || toClient_.keysMissing; }
    // Whether the client's stream starts at this sequence number.
    bool clientStartsAt(uint32_t sequence) const { return clientStart_ == sequence; }

    // Takes a segment of either direction. False when a gap is never to be filled.
    bool add(const Segment &segment);
    // Reads every complete record it can.
    void pump(ConnectionContext &context);
    // Keeps what is left of the caller's segment.
    void settle();
    // Memory held besides the object itself: stream buffers, handshake
    // messages and HTTP/2 state.
    size_t heldBytes() const;
    // In-order bytes not read yet: records waiting for keys or a hello, and records not complete yet.
    size_t pendingBytes() const { return toServer_.stream.pending().size() + toClient_.stream.pending().size(); }
    bool hasGap() const { return toServer_.stream.hasGap() || toClient_.stream.hasGap(); }
    // Marks a direction's FIN; true once both have sent one.
    bool finishDirection(bool fromClient);
    bool isFromClient(const Flow &flow) const { return flow == clientFlow_; }

    // Ends the following of this connection, counting why; buffers are freed.
    void stop(StopReason reason, Counts &counts);
    // Moves the connection to the count of `outcome` when that one outweighs its present one.
    void classify(Outcome outcome, Counts &counts);
    Outcome outcome() const { return outcome_; }

    size_t accountedBytes = 0; // the tracker's share of its buffer budget
    bool listedAsWaiting = false;

private:
    enum class Step { kConsumed, kWait, kStop };
    enum class Protocol { kUnknown, kHttp1, kHttp2, kIgnored };

    struct Side {
        TcpStream stream;
        HandshakeReader handshake;
        RecordOpener opener;
        bool changedCipherSpec = false; // TLS 1.2: the records after it are protected
        bool applicationKeys = false;   // TLS 1.3: past this side's Finished
        bool seekingApplicationKeys = false; // TLS 1.3 without handshake secrets
        size_t recordsSought = 0;
        Secret trafficSecret;
        uint64_t plaintextOffset = 0;
        bool finished = false;
        bool keysMissing = false;
    };

    bool pumpSide(Side &side, bool fromClient, ConnectionContext &context);
    Step handleRecord(Side &side, bool fromClient, ByteView record, ConnectionContext &context);
    Step handlePlaintext(Side &side, bool fromClient, uint8_t type, ByteView content, ConnectionContext &context);
    Step handleProtected(Side &side, bool fromClient, ByteView record, ConnectionContext &context);
    Step handleHandshake(Side &side, bool fromClient, ByteView content, ConnectionContext &context);
    Step handleMessage(Side &side, bool fromClient, const HandshakeReader::Message &message,
                       ConnectionContext &context);
    Step onServerHello(const ServerHelloInfo &hello, ConnectionContext &context);
    Step ensureKeys(Side &side, bool fromClient, ConnectionContext &context);
    Step updateKeys(Side &side, ConnectionContext &context);
    void deliver(Side &side, bool fromClient, ByteView bytes, ConnectionContext &context);
    void chooseProtocol(std::string_view alpn);
    Step fail(ConnectionContext &context);
    bool isTls13() const { return serverHello_ && serverHello_->version == kTls13; }

    Flow clientFlow_;
    uint64_t serial_;
    Side toServer_;
    Side toClient_;
    std::optional<ClientHelloInfo> clientHello_;
    std::optional<ServerHelloInfo> serverHello_;
    std::optional<CipherSuite> suite_;
    Protocol protocol_ = Protocol::kUnknown;
    std::unique_ptr<Http2Connection> http2_;
    std::vector<HandshakeReader::Message> messages_;
    uint32_t clientStart_;
    Outcome outcome_ = Outcome::kNone;
    bool stopped_ = false;
};

}
