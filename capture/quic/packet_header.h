// The headers of QUIC packets (RFC 9000 section 17): a long header's fields
// up to its packet number, and where the packet ends in its datagram.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "byte_view.h"
#include "versions.h"

namespace quillnet::quic {

inline constexpr size_t kMaxConnectionIdLength = 20;
// Where a short header's Destination Connection ID starts.
inline constexpr size_t kShortIdOffset = 1;

inline bool IsLongHeader(uint8_t first)
{
    constexpr uint8_t kLongHeaderBit = 0x80;
    return first & kLongHeaderBit;
}

struct LongHeader {
    const Version *version = nullptr;
    PacketType type = PacketType::kInitial;
    ByteView destination;
    ByteView source;
    size_t numberOffset = 0; // of the protected packet number; 0 for Retry, which has none
    size_t length = 0;       // of the whole packet, header included
};

// The long header at the start of `bytes`, a packet and what follows it in its
// datagram. Empty for Version Negotiation, versions not read and headers that
// are cut or malformed.
std::optional<LongHeader> ParseLongHeader(ByteView bytes);

// Whether a UDP payload begins like the client's first Initial packet: a
// datagram of the size clients pad it to and a Destination Connection ID of
// the length they must choose (RFC 9000 sections 14.1 and 7.2).
bool LooksLikeClientInitial(ByteView payload);

}
