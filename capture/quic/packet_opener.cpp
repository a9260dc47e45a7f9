#include "packet_opener.h"

#include <algorithm>

#include "packet_number.h"

namespace quillnet::quic {

namespace {

constexpr uint8_t kLongHeaderBit = 0x80;
constexpr uint8_t kLongProtectedBits = 0x0f;  // reserved bits and packet number length
constexpr uint8_t kShortProtectedBits = 0x1f; // reserved bits, key phase and packet number length
constexpr uint8_t kKeyPhaseBit = 0x04;
constexpr uint8_t kNumberLengthBits = 0x03;
// The sample starts as if the packet number were 4 bytes long (RFC 9001 section 5.4.2).
constexpr size_t kSampleOffset = 4;

}

bool PacketOpener::start(const tls::CipherSuite &suite, const Version &version, const tls::Secret &secret)
{
    suite_ = suite;
    version_ = &version;
    secret_ = secret;
    keyPhase_ = false;
    currentSince_ = 0;
    next_.reset();
    previous_.reset();
    PacketKeys keys;
    if (!DerivePacketKeys(suite, version, secret, keys) || !header_.start(suite.aead, keys) ||
        !current_.start(suite.aead, keys)) {
        current_.reset();
        return false;
    }
    return true;
}

void PacketOpener::release()
{
    header_.release();
    current_.release();
    next_.release();
    previous_.release();
}

bool PacketOpener::prepareNext()
{
    nextSecret_ = secret_;
    PacketKeys keys;
    return NextPacketSecret(suite_, *version_, nextSecret_) && DerivePacketKeys(suite_, *version_, nextSecret_, keys) &&
           next_.start(suite_.aead, keys);
}

std::optional<OpenedPacket> PacketOpener::open(ByteView packet, size_t numberOffset, PacketBuffers buffers)
{
    const auto first = packet.u8(0);
    if (!started() || !first || numberOffset > buffers.header.size())
        return std::nullopt;
    const auto mask = header_.mask(packet.sub(numberOffset + kSampleOffset, kSampleLength));
    if (!mask)
        return std::nullopt;

    const bool longHeader = *first & kLongHeaderBit;
    const uint8_t unmasked = *first ^ ((*mask)[0] & (longHeader ? kLongProtectedBits : kShortProtectedBits));
    const size_t numberLength = (unmasked & kNumberLengthBits) + 1u;
    const size_t headerLength = numberOffset + numberLength;
    if (headerLength > buffers.header.size())
        return std::nullopt;
    copyBytes(buffers.header, packet.sub(0, numberOffset));
    buffers.header[0] = unmasked;
    uint64_t truncated = 0;
    for (size_t i = 0; i < numberLength; ++i) {
        const uint8_t byte = *packet.u8(numberOffset + i) ^ (*mask)[1 + i];
        buffers.header[numberOffset + i] = byte;
        truncated = truncated << 8 | byte;
    }
    const uint64_t number = DecodePacketNumber(largest_, truncated, static_cast<unsigned>(8 * numberLength));

    // A flipped key phase is a key update, or a late packet from before the last one (RFC 9001 section 6).
    const bool keyPhase = !longHeader && (unmasked & kKeyPhaseBit);
    PayloadProtection *keys = &current_;
    bool update = false;
    if (keyPhase != keyPhase_) {
        if (previous_.started() && number < currentSince_) {
            keys = &previous_;
        } else {
            if (!next_.started() && !prepareNext())
                return std::nullopt;
            keys = &next_;
            update = true;
        }
    }
    const ByteView header(buffers.header.data(), headerLength);
    const auto frames = keys->open(number, header, packet.sub(headerLength), buffers.plaintext);
    if (!frames)
        return std::nullopt;
    if (update) {
        std::swap(previous_, current_);
        std::swap(current_, next_);
        next_.reset();
        secret_ = nextSecret_;
        keyPhase_ = keyPhase;
        currentSince_ = number;
    }
    largest_ = std::max(largest_.value_or(0), number);
    return OpenedPacket{number, *frames};
}

}
