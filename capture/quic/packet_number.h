// Packet numbers as headers carry them: truncated to their low 1 to 4 bytes.
#pragma once

#include <cstdint>
#include <optional>

namespace quillnet::quic {

inline constexpr uint64_t kMaxPacketNumber = (uint64_t{1} << 62) - 1;

// The full packet number closest to the one after `largest` (the largest
// opened so far in its space, none before the first) whose low `bits` bits
// are `truncated` (RFC 9000 appendix A.3).
inline uint64_t DecodePacketNumber(std::optional<uint64_t> largest, uint64_t truncated, unsigned bits)
{
    const uint64_t expected = largest ? *largest + 1 : 0;
    const uint64_t window = uint64_t{1} << bits;
    const uint64_t halfWindow = window / 2;
    const uint64_t mask = window - 1;
    const uint64_t candidate = (expected & ~mask) | truncated;
    if (candidate + halfWindow <= expected && candidate <= kMaxPacketNumber - window)
        return candidate + window;
    if (candidate > expected + halfWindow && candidate >= window)
        return candidate - window;
    return candidate;
}

}
