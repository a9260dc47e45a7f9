// QUIC packets as endpoints write them, for the tests: frames, the hellos,
// headers, and packets sealed with libcrypto under the keys the library
// derives (its derivation is checked against the RFCs' samples on its own).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "byte_view.h"
#include "key_log.h"
#include "packet_protection.h"
#include "quic_sink.h"
#include "versions.h"

namespace quic_testing {

using Bytes = std::vector<uint8_t>;
using quillnet::ByteView;

// Whitespace in `hex` is skipped.
Bytes FromHex(std::string_view hex);
std::string ToHex(ByteView bytes);
inline ByteView ViewOf(const Bytes &bytes)
{
    return {bytes.data(), bytes.size()};
}
Bytes Join(std::initializer_list<Bytes> parts);

void AppendVarint(Bytes &out, uint64_t value);
Bytes CryptoFrame(uint64_t offset, const Bytes &data);
Bytes StreamFrame(uint64_t id, uint64_t offset, std::string_view data, bool fin = false);
Bytes ResetStreamFrame(uint64_t id, uint64_t finalSize);
Bytes NewConnectionIdFrame(uint64_t sequence, const Bytes &id);
Bytes ConnectionCloseFrame();
Bytes HandshakeDoneFrame();
Bytes AckFrame(uint64_t largest);

Bytes ClientHello(const quillnet::tls::Random &random, std::string_view serverName,
                  const std::vector<std::string> &protocols);
Bytes ServerHello(uint16_t suite);

// The sink's calls as text, one line each.
class RecordingSink : public quillnet::quic::QuicSink {
public:
    void onClientHello(const quillnet::quic::ConnectionInfo &connection) override;
    void onStreamData(const quillnet::quic::StreamRef &stream, uint64_t offset, ByteView bytes) override;
    void onStreamEnd(const quillnet::quic::StreamRef &stream) override;
    void onStreamReset(const quillnet::quic::StreamRef &stream) override;
    void onConnectionClosed(uint64_t connection) override;

    std::vector<std::string> events;
    std::vector<quillnet::quic::ConnectionInfo> hellos;
    uint64_t streamBytes = 0;
    bool recordData = true; // false: stream bytes are only counted
};

// One endpoint's packets at one level, sealed as it seals them.
class Sealer {
public:
    Sealer(const quillnet::tls::CipherSuite &suite, const quillnet::quic::Version &version,
           const quillnet::tls::Secret &secret);
    // `header` ends with the packet number, as long as its first byte says.
    Bytes seal(const Bytes &header, uint64_t number, Bytes frames);
    void updateKeys();

private:
    quillnet::tls::CipherSuite suite_;
    const quillnet::quic::Version &version_;
    quillnet::tls::Secret secret_;
    quillnet::quic::PacketKeys keys_;
    quillnet::quic::PacketKeys headerKeys_; // kept across key updates
};

// The packets of one scripted connection, both ways.
class Conversation {
public:
    struct Options {
        uint32_t version = quillnet::quic::kVersion1;
        uint16_t suite = 0x1301;
        uint16_t announcedSuite = 0; // the ServerHello's, when it is not `suite`
        uint8_t seed = 1; // makes its random, IDs and secrets
        Bytes clientId{}; // empty, as browsers choose
        std::string serverName = "media.example";
        Bytes originalDestination{}; // made from the seed when empty
    };

    explicit Conversation(const Options &options);

    const quillnet::tls::Random &random() const { return random_; }
    const Bytes &serverId() const { return serverId_; }
    const Bytes &originalDestination() const { return originalDestination_; }
    Bytes clientHello() const;
    Bytes serverHello() const { return ServerHello(announcedSuite_); }
    std::string keyLogLines() const;

    // The client's Initial packets are padded to the datagram size clients use.
    Bytes clientInitial(uint64_t number, const Bytes &frames);
    Bytes serverInitial(uint64_t number, const Bytes &frames);
    Bytes clientHandshake(uint64_t number, const Bytes &frames);
    Bytes serverHandshake(uint64_t number, const Bytes &frames);
    // To `destination` when given, else to the ID the server chose.
    Bytes clientOneRtt(uint64_t number, const Bytes &frames, const Bytes *destination = nullptr);
    Bytes serverOneRtt(uint64_t number, const Bytes &frames);
    void updateServerKeys();
    // Both sides' short headers from now on have the fixed bit clear, as
    // peers that allowed each other to grease it send them (RFC 9287).
    void greaseFixedBit() { fixedBit_ = 0; }

private:
    Bytes longPacket(Sealer &sealer, quillnet::quic::PacketType type, const Bytes &destination, const Bytes &source,
                     uint64_t number, Bytes frames);

    const quillnet::quic::Version &version_;
    quillnet::tls::CipherSuite suite_;
    uint16_t announcedSuite_;
    quillnet::tls::Random random_{};
    std::string serverName_;
    Bytes originalDestination_;
    Bytes clientId_;
    Bytes serverId_;
    std::vector<quillnet::tls::Secret> secrets_; // client and server handshake, client and server 1-RTT
    Sealer clientInitialSealer_;
    Sealer serverInitialSealer_;
    Sealer clientHandshakeSealer_;
    Sealer serverHandshakeSealer_;
    Sealer clientOneRttSealer_;
    Sealer serverOneRttSealer_;
    bool serverKeyPhase_ = false;
    uint8_t fixedBit_ = 0x40;
};

}
