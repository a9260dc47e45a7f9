// UDP traffic for quillnet_bench, as frames: an HTTP/3 connection fetching
// media segments in 1-RTT packets of 1,350 bytes, and datagrams of other
// protocols.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

#include "traffic_mixes.h"

namespace bench {

inline constexpr size_t kQuicDatagramLength = 1350;

struct QuicTraffic {
    Frames handshake;   // the Initial packets both ways
    Frames packets;     // 1-RTT packets, each a datagram of kQuicDatagramLength bytes
    std::string keyLog; // the lines that open them
};

// One connection of `suite`: each segment's GET in a client packet and its
// answer in the server's, with a row for each segment once its keys are known.
QuicTraffic QuicMediaConnection(size_t packets, uint16_t suite);

// DNS queries, RTP-like media and random datagrams whose first byte looks
// like a short header's, between other hosts.
Frames OtherUdp(size_t count, std::mt19937 &random);

}
