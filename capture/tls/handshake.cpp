#include "handshake.h"

#include <algorithm>

namespace quillnet::tls {

namespace {

constexpr size_t kMessageHeaderLength = 4;
// Certificate chains are the longest messages; far below this in practice.
constexpr size_t kMaxMessageLength = 256 * 1024;

constexpr uint16_t kExtensionServerName = 0;
constexpr uint16_t kExtensionAlpn = 16;
constexpr uint16_t kExtensionEarlyData = 42;
constexpr uint16_t kExtensionSupportedVersions = 43;
constexpr uint8_t kHostNameType = 0;

// SHA-256 of "HelloRetryRequest", the random of a HelloRetryRequest (RFC 8446 section 4.1.3).
constexpr Random kRetryRequestRandom{0xCF, 0x21, 0xAD, 0x74, 0xE5, 0x9A, 0x61, 0x11, 0xBE, 0x1D, 0x8C,
                                     0x02, 0x1E, 0x65, 0xB8, 0x91, 0xC2, 0xA2, 0x11, 0x16, 0x7A, 0xBB,
                                     0x8C, 0x5E, 0x07, 0x9E, 0x09, 0xE2, 0xC8, 0xA8, 0x33, 0x9C};

std::optional<size_t> be24(ByteView bytes, size_t offset)
{
    const auto high = bytes.u8(offset);
    const auto low = bytes.be16(offset + 1);
    if (!high || !low)
        return std::nullopt;
    return static_cast<size_t>(*high) << 16 | *low;
}

// Checked sequential reads; a miss sets `ok` false for good.
class Reader {
public:
    explicit Reader(ByteView bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }
    bool atEnd() const { return position_ >= bytes_.size(); }

    uint8_t u8()
    {
        const auto value = bytes_.u8(position_);
        return value ? (position_ += 1, *value) : fail();
    }

    uint16_t u16()
    {
        const auto value = bytes_.be16(position_);
        return value ? (position_ += 2, *value) : fail();
    }

    ByteView bytes(size_t count)
    {
        if (!bytes_.has(position_, count))
            return fail(), ByteView();
        const ByteView taken = bytes_.sub(position_, count);
        position_ += count;
        return taken;
    }

    // A vector with a one- or two-byte length in front.
    ByteView vector8() { return bytes(u8()); }
    ByteView vector16() { return bytes(u16()); }

private:
    uint8_t fail()
    {
        ok_ = false;
        position_ = bytes_.size();
        return 0;
    }

    ByteView bytes_;
    size_t position_ = 0;
    bool ok_ = true;
};

// Calls `visit(type, data)` for each extension of a block; false when malformed.
template <typename Visit>
bool forEachExtension(ByteView block, Visit &&visit)
{
    Reader reader(block);
    while (!reader.atEnd()) {
        const uint16_t type = reader.u16();
        const ByteView data = reader.vector16();
        if (!reader.ok())
            return false;
        visit(type, data);
    }
    return true;
}

// The protocol names of an ALPN extension, in order.
template <typename Visit>
void forEachProtocol(ByteView extension, Visit &&visit)
{
    Reader outer(extension);
    Reader names(outer.vector16());
    while (!names.atEnd()) {
        const ByteView name = names.vector8();
        if (!names.ok())
            return;
        visit(name.text());
    }
}

std::string serverNameOf(ByteView extension)
{
    Reader outer(extension);
    Reader names(outer.vector16());
    while (!names.atEnd()) {
        const uint8_t type = names.u8();
        const ByteView name = names.vector16();
        if (names.ok() && type == kHostNameType)
            return std::string(name.text());
    }
    return {};
}

std::string firstProtocol(ByteView extension)
{
    std::string chosen;
    forEachProtocol(extension, [&](std::string_view name) {
        if (chosen.empty())
            chosen = name;
    });
    return chosen;
}

}

bool HandshakeReader::feed(ByteView content, std::vector<Message> &messages)
{
    messages.clear();
    completed_.clear();
    if (!partial_.empty()) {
        partial_.insert(partial_.end(), content.text().begin(), content.text().end());
        completed_.swap(partial_);
        content = ByteView(completed_.data(), completed_.size());
    }
    while (!content.empty()) {
        const auto length = be24(content, 1);
        if (length && *length > kMaxMessageLength)
            return false;
        if (!length || !content.has(kMessageHeaderLength, *length)) {
            partial_.assign(content.text().begin(), content.text().end());
            return true;
        }
        messages.push_back({*content.u8(0), content.sub(kMessageHeaderLength, *length)});
        content = content.sub(kMessageHeaderLength + *length);
    }
    return true;
}

std::optional<ClientHelloInfo> ParseClientHello(ByteView body)
{
    Reader reader(body);
    ClientHelloInfo hello;
    reader.u16(); // legacy_version
    copyBytes(hello.random, reader.bytes(kRandomLength));
    reader.vector8();  // legacy_session_id
    reader.vector16(); // cipher_suites
    reader.vector8();  // legacy_compression_methods
    const ByteView extensions = reader.atEnd() ? ByteView() : reader.vector16();
    if (!reader.ok())
        return std::nullopt;
    const bool wellFormed = forEachExtension(extensions, [&](uint16_t type, ByteView data) {
        if (type == kExtensionServerName)
            hello.serverName = serverNameOf(data);
        else if (type == kExtensionAlpn)
            forEachProtocol(data, [&](std::string_view name) {
                hello.protocols.emplace_back(name);
                hello.offersHttp2 |= name == "h2";
            });
        else if (type == kExtensionEarlyData)
            hello.offersEarlyData = true;
    });
    if (!wellFormed)
        return std::nullopt;
    return hello;
}

std::optional<ServerHelloInfo> ParseServerHello(ByteView body)
{
    Reader reader(body);
    ServerHelloInfo hello;
    hello.version = reader.u16();
    copyBytes(hello.random, reader.bytes(kRandomLength));
    reader.vector8(); // legacy_session_id_echo
    hello.cipherSuite = reader.u16();
    reader.u8(); // legacy_compression_method
    const ByteView extensions = reader.atEnd() ? ByteView() : reader.vector16();
    if (!reader.ok())
        return std::nullopt;
    hello.retryRequest = hello.random == kRetryRequestRandom;
    const bool wellFormed = forEachExtension(extensions, [&](uint16_t type, ByteView data) {
        if (type == kExtensionSupportedVersions && data.size() == 2)
            hello.version = *data.be16(0);
        else if (type == kExtensionAlpn)
            hello.alpn = firstProtocol(data);
    });
    if (!wellFormed)
        return std::nullopt;
    return hello;
}

std::optional<std::string> ParseEncryptedExtensionsAlpn(ByteView body)
{
    Reader reader(body);
    const ByteView extensions = reader.vector16();
    if (!reader.ok())
        return std::nullopt;
    std::string alpn;
    const bool wellFormed = forEachExtension(extensions, [&](uint16_t type, ByteView data) {
        if (type == kExtensionAlpn)
            alpn = firstProtocol(data);
    });
    if (!wellFormed)
        return std::nullopt;
    return alpn;
}

}
