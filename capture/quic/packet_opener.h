// Opens the packets one endpoint sends at one encryption level: removes
// header protection, recovers the full packet number and opens the payload,
// at the 1-RTT level across key updates.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "byte_view.h"
#include "packet_protection.h"

namespace quillnet::quic {

struct OpenedPacket {
    uint64_t number;
    ByteView frames;
};

// Room for one packet's unprotected header and its plaintext.
struct PacketBuffers {
    std::span<uint8_t> header;
    std::span<uint8_t> plaintext;
};

class PacketOpener {
public:
    // Keys from `secret`; the packet numbers opened before still count.
    bool start(const tls::CipherSuite &suite, const Version &version, const tls::Secret &secret);
    bool started() const { return current_.started(); }
    const Version *version() const { return version_; }
    // Frees libcrypto's state; started() is false until the next start().
    void release();

    // `packet` runs from its first byte to its last; its packet number starts
    // at `numberOffset`. Empty when it is too short or fails authentication.
    std::optional<OpenedPacket> open(ByteView packet, size_t numberOffset, PacketBuffers buffers);

private:
    bool prepareNext();

    tls::CipherSuite suite_{};
    const Version *version_ = nullptr;
    tls::Secret secret_;     // of the current keys
    tls::Secret nextSecret_; // of next_, once prepared
    HeaderProtection header_;
    PayloadProtection current_;
    PayloadProtection next_;
    PayloadProtection previous_;
    bool keyPhase_ = false;
    uint64_t currentSince_ = 0; // the first packet number the current keys opened
    std::optional<uint64_t> largest_;
};

}
