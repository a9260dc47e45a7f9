#include "quic_builder.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

#include "handshake.h"
#include "record_crypto.h"

namespace quic_testing {

using namespace quillnet;
using namespace quillnet::quic;

namespace {

constexpr uint8_t kNumberLengthBits = 0x01; // two-byte packet numbers
constexpr size_t kNumberLength = 2;
// Frames under the sample: header protection samples 4 bytes past the packet number's start.
constexpr size_t kMinFrames = 4;
constexpr size_t kClientDatagram = 1200;

Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

void appendBe(Bytes &out, uint64_t value, size_t length)
{
    for (size_t i = length; i-- > 0;)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A TLS vector: `lengthBytes` of length, then the bytes.
void appendVector(Bytes &out, const Bytes &bytes, size_t lengthBytes)
{
    appendBe(out, bytes.size(), lengthBytes);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

Bytes extension(uint16_t type, const Bytes &data)
{
    Bytes out;
    appendBe(out, type, 2);
    appendVector(out, data, 2);
    return out;
}

Bytes handshakeMessage(uint8_t type, const Bytes &body)
{
    Bytes out{type};
    appendVector(out, body, 3);
    return out;
}

tls::Secret secretOf(size_t length, uint8_t seed)
{
    tls::Secret secret;
    secret.size = static_cast<uint8_t>(length);
    for (size_t i = 0; i < length; ++i)
        secret.bytes[i] = static_cast<uint8_t>(seed * 97 + i * 13);
    return secret;
}

tls::Secret initialSecret(const Version &version, const Bytes &destination, bool client)
{
    tls::Secret clientSecret;
    tls::Secret serverSecret;
    if (!DeriveInitialSecrets(version, ViewOf(destination), clientSecret, serverSecret))
        throw std::runtime_error("no Initial secrets");
    return client ? clientSecret : serverSecret;
}

Bytes idOf(uint8_t seed, size_t length)
{
    Bytes id;
    for (size_t i = 0; i < length; ++i)
        id.push_back(static_cast<uint8_t>(seed * 53 + i * 7 + 1));
    return id;
}

uint8_t typeBitsOf(const Version &version, PacketType type)
{
    for (uint8_t bits = 0; bits < version.longTypes.size(); ++bits) {
        if (version.longTypes[bits] == type)
            return bits;
    }
    throw std::logic_error("no such long header type");
}

Bytes padded(Bytes frames, size_t length)
{
    frames.resize(std::max(frames.size(), length), 0);
    return frames;
}

}

Bytes FromHex(std::string_view hex)
{
    Bytes out;
    std::string digits;
    for (const char c : hex) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    }
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

std::string ToHex(ByteView bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes.text()) {
        const auto byte = static_cast<uint8_t>(c);
        out += kDigits[byte >> 4];
        out += kDigits[byte & 15];
    }
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

void AppendVarint(Bytes &out, uint64_t value)
{
    if (value < 0x40)
        appendBe(out, value, 1);
    else if (value < 0x4000)
        appendBe(out, value | 0x4000, 2);
    else if (value < 0x40000000)
        appendBe(out, value | 0x80000000, 4);
    else
        appendBe(out, value | 0xc000000000000000, 8);
}

Bytes CryptoFrame(uint64_t offset, const Bytes &data)
{
    Bytes out{0x06};
    AppendVarint(out, offset);
    AppendVarint(out, data.size());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes StreamFrame(uint64_t id, uint64_t offset, std::string_view data, bool fin)
{
    constexpr uint8_t kOffsetAndLength = 0x0e;
    Bytes out{static_cast<uint8_t>(kOffsetAndLength | (fin ? 1 : 0))};
    AppendVarint(out, id);
    AppendVarint(out, offset);
    AppendVarint(out, data.size());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes ResetStreamFrame(uint64_t id, uint64_t finalSize)
{
    Bytes out{0x04};
    AppendVarint(out, id);
    AppendVarint(out, 0x010c); // H3_REQUEST_CANCELLED
    AppendVarint(out, finalSize);
    return out;
}

Bytes NewConnectionIdFrame(uint64_t sequence, const Bytes &id)
{
    Bytes out{0x18};
    AppendVarint(out, sequence);
    AppendVarint(out, 0);
    out.push_back(static_cast<uint8_t>(id.size()));
    out.insert(out.end(), id.begin(), id.end());
    out.resize(out.size() + 16, 0xab); // stateless reset token
    return out;
}

Bytes ConnectionCloseFrame()
{
    Bytes out{0x1d};
    AppendVarint(out, 0x0100); // H3_NO_ERROR
    Bytes reason = bytesOf("done");
    AppendVarint(out, reason.size());
    out.insert(out.end(), reason.begin(), reason.end());
    return out;
}

Bytes HandshakeDoneFrame()
{
    return {0x1e};
}

Bytes AckFrame(uint64_t largest)
{
    Bytes out{0x02};
    AppendVarint(out, largest);
    AppendVarint(out, 0); // delay
    AppendVarint(out, 1); // one more range
    AppendVarint(out, 0); // first range
    AppendVarint(out, 0); // gap
    AppendVarint(out, 0); // range
    return out;
}

Bytes ClientHello(const tls::Random &random, std::string_view serverName, const std::vector<std::string> &protocols)
{
    Bytes name{0}; // host_name
    appendVector(name, bytesOf(serverName), 2);
    Bytes names;
    appendVector(names, name, 2);
    Bytes alpn;
    for (const std::string &protocol : protocols)
        appendVector(alpn, bytesOf(protocol), 1);
    Bytes alpnList;
    appendVector(alpnList, alpn, 2);
    const Bytes extensions = Join({extension(0, names), extension(16, alpnList), extension(43, {2, 0x03, 0x04}),
                                   extension(0x39, {0x01, 0x04, 0x80, 0x00, 0x75, 0x30})});
    Bytes body{0x03, 0x03};
    body.insert(body.end(), random.begin(), random.end());
    body.push_back(0); // legacy_session_id
    appendVector(body, {0x13, 0x01, 0x13, 0x02, 0x13, 0x03}, 2);
    body.insert(body.end(), {0x01, 0x00}); // compression
    appendVector(body, extensions, 2);
    return handshakeMessage(tls::kClientHello, body);
}

Bytes ServerHello(uint16_t suite)
{
    Bytes keyShare{0x00, 0x1d};
    appendVector(keyShare, Bytes(32, 0x5a), 2);
    Bytes body{0x03, 0x03};
    body.resize(body.size() + tls::kRandomLength, 0x42);
    body.push_back(0); // legacy_session_id_echo
    appendBe(body, suite, 2);
    body.push_back(0); // compression
    appendVector(body, Join({extension(43, {0x03, 0x04}), extension(51, keyShare)}), 2);
    return handshakeMessage(tls::kServerHello, body);
}

namespace {

std::string streamName(const StreamRef &stream)
{
    return (stream.fromClient ? "c" : "s") + std::to_string(stream.id);
}

}

void RecordingSink::onClientHello(const ConnectionInfo &connection)
{
    std::string line = "hello " + connection.serverName;
    for (const std::string &protocol : connection.protocols)
        line += " " + protocol;
    events.push_back(line);
    hellos.push_back(connection);
}

void RecordingSink::onStreamData(const StreamRef &stream, uint64_t offset, ByteView bytes)
{
    streamBytes += bytes.size();
    if (recordData)
        events.push_back(streamName(stream) + " @" + std::to_string(offset) + " " + std::string(bytes.text()));
}

void RecordingSink::onStreamEnd(const StreamRef &stream)
{
    events.push_back(streamName(stream) + " end");
}

void RecordingSink::onStreamReset(const StreamRef &stream)
{
    events.push_back(streamName(stream) + " reset");
}

void RecordingSink::onConnectionClosed(uint64_t connection)
{
    events.push_back("closed " + std::to_string(connection));
}

Sealer::Sealer(const tls::CipherSuite &suite, const Version &version, const tls::Secret &secret)
    : suite_(suite), version_(version), secret_(secret)
{
    if (!DerivePacketKeys(suite_, version_, secret_, keys_))
        throw std::runtime_error("no packet keys");
    headerKeys_ = keys_;
}

void Sealer::updateKeys()
{
    if (!NextPacketSecret(suite_, version_, secret_) || !DerivePacketKeys(suite_, version_, secret_, keys_))
        throw std::runtime_error("no updated keys");
}

Bytes Sealer::seal(const Bytes &header, uint64_t number, Bytes frames)
{
    frames = padded(std::move(frames), kMinFrames);
    std::array<uint8_t, tls::kNonceLength> nonce = keys_.iv;
    for (size_t i = 0; i < 8; ++i)
        nonce[tls::kNonceLength - 1 - i] ^= static_cast<uint8_t>(number >> (8 * i));
    Bytes packet = header;
    packet.resize(header.size() + frames.size() + tls::kTagLength);
    const std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX *)> context(EVP_CIPHER_CTX_new(),
                                                                               EVP_CIPHER_CTX_free);
    int written = 0;
    const bool sealed =
        EVP_EncryptInit_ex(context.get(), tls::CipherOf(suite_.aead), nullptr, keys_.key.data(), nonce.data()) > 0 &&
        EVP_EncryptUpdate(context.get(), nullptr, &written, header.data(), static_cast<int>(header.size())) > 0 &&
        EVP_EncryptUpdate(context.get(), packet.data() + header.size(), &written, frames.data(),
                          static_cast<int>(frames.size())) > 0 &&
        EVP_EncryptFinal_ex(context.get(), packet.data() + header.size() + written, &written) > 0 &&
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_AEAD_GET_TAG, static_cast<int>(tls::kTagLength),
                            packet.data() + header.size() + frames.size()) > 0;
    if (!sealed)
        throw std::runtime_error("sealing failed");

    const bool longHeader = header[0] & 0x80;
    const size_t numberLength = (header[0] & 0x03) + 1u;
    const size_t numberOffset = header.size() - numberLength;
    HeaderProtection protection;
    const auto mask = protection.start(suite_.aead, headerKeys_)
                          ? protection.mask(ViewOf(packet).sub(numberOffset + 4, kSampleLength))
                          : std::nullopt;
    if (!mask)
        throw std::runtime_error("no header protection mask");
    packet[0] ^= (*mask)[0] & (longHeader ? 0x0f : 0x1f);
    for (size_t i = 0; i < numberLength; ++i)
        packet[numberOffset + i] ^= (*mask)[1 + i];
    return packet;
}

Conversation::Conversation(const Options &options)
    : version_(*FindVersion(options.version)),
      suite_(*tls::FindCipherSuite(options.suite)),
      announcedSuite_(options.announcedSuite ? options.announcedSuite : options.suite),
      serverName_(options.serverName),
      originalDestination_(options.originalDestination.empty() ? idOf(options.seed, 8)
                                                               : options.originalDestination),
      clientId_(options.clientId),
      serverId_(idOf(static_cast<uint8_t>(options.seed + 100), 8)),
      secrets_{secretOf(tls::SecretLength(suite_), static_cast<uint8_t>(options.seed * 4)),
               secretOf(tls::SecretLength(suite_), static_cast<uint8_t>(options.seed * 4 + 1)),
               secretOf(tls::SecretLength(suite_), static_cast<uint8_t>(options.seed * 4 + 2)),
               secretOf(tls::SecretLength(suite_), static_cast<uint8_t>(options.seed * 4 + 3))},
      clientInitialSealer_(kInitialSuite, version_, initialSecret(version_, originalDestination_, true)),
      serverInitialSealer_(kInitialSuite, version_, initialSecret(version_, originalDestination_, false)),
      clientHandshakeSealer_(suite_, version_, secrets_[0]),
      serverHandshakeSealer_(suite_, version_, secrets_[1]),
      clientOneRttSealer_(suite_, version_, secrets_[2]),
      serverOneRttSealer_(suite_, version_, secrets_[3])
{
    for (size_t i = 0; i < random_.size(); ++i)
        random_[i] = static_cast<uint8_t>(options.seed * 31 + i);
}

Bytes Conversation::clientHello() const
{
    return ClientHello(random_, serverName_, {"h3", "h3-29"});
}

std::string Conversation::keyLogLines() const
{
    static const char *const kLabels[] = {"CLIENT_HANDSHAKE_TRAFFIC_SECRET", "SERVER_HANDSHAKE_TRAFFIC_SECRET",
                                          "CLIENT_TRAFFIC_SECRET_0", "SERVER_TRAFFIC_SECRET_0"};
    std::string lines;
    for (size_t i = 0; i < secrets_.size(); ++i)
        lines += std::string(kLabels[i]) + " " + ToHex(ByteView(random_.data(), random_.size())) + " " +
                 ToHex(secrets_[i].view()) + "\n";
    return lines;
}

Bytes Conversation::longPacket(Sealer &sealer, PacketType type, const Bytes &destination, const Bytes &source,
                               uint64_t number, Bytes frames)
{
    frames = padded(std::move(frames), kMinFrames);
    Bytes header{static_cast<uint8_t>(0xc0 | typeBitsOf(version_, type) << 4 | kNumberLengthBits)};
    appendBe(header, version_.number, 4);
    appendVector(header, destination, 1);
    appendVector(header, source, 1);
    if (type == PacketType::kInitial)
        header.push_back(0); // no token
    appendBe(header, 0x4000 | (kNumberLength + frames.size() + tls::kTagLength), 2);
    appendBe(header, number, kNumberLength);
    return sealer.seal(header, number, std::move(frames));
}

Bytes Conversation::clientInitial(uint64_t number, const Bytes &frames)
{
    // The header: first byte, version, two IDs with their lengths, token length, length, packet number.
    const size_t headerLength = 1 + 4 + 1 + originalDestination_.size() + 1 + clientId_.size() + 1 + 2 + kNumberLength;
    return longPacket(clientInitialSealer_, PacketType::kInitial, originalDestination_, clientId_, number,
                      padded(frames, kClientDatagram - headerLength - tls::kTagLength));
}

Bytes Conversation::serverInitial(uint64_t number, const Bytes &frames)
{
    return longPacket(serverInitialSealer_, PacketType::kInitial, clientId_, serverId_, number, frames);
}

Bytes Conversation::clientHandshake(uint64_t number, const Bytes &frames)
{
    return longPacket(clientHandshakeSealer_, PacketType::kHandshake, serverId_, clientId_, number, frames);
}

Bytes Conversation::serverHandshake(uint64_t number, const Bytes &frames)
{
    return longPacket(serverHandshakeSealer_, PacketType::kHandshake, clientId_, serverId_, number, frames);
}

Bytes Conversation::clientOneRtt(uint64_t number, const Bytes &frames, const Bytes *destination)
{
    Bytes header{static_cast<uint8_t>(fixedBit_ | kNumberLengthBits)};
    const Bytes &id = destination ? *destination : serverId_;
    header.insert(header.end(), id.begin(), id.end());
    appendBe(header, number, kNumberLength);
    return clientOneRttSealer_.seal(header, number, frames);
}

Bytes Conversation::serverOneRtt(uint64_t number, const Bytes &frames)
{
    Bytes header{static_cast<uint8_t>(fixedBit_ | (serverKeyPhase_ ? 0x04 : 0) | kNumberLengthBits)};
    header.insert(header.end(), clientId_.begin(), clientId_.end());
    appendBe(header, number, kNumberLength);
    return serverOneRttSealer_.seal(header, number, frames);
}

void Conversation::updateServerKeys()
{
    serverOneRttSealer_.updateKeys();
    serverKeyPhase_ = !serverKeyPhase_;
}

}
