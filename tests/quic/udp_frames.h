// UDP datagrams in Ethernet frames over IPv4 or IPv6, for the tests and the
// benchmark; other link layers through Reencapsulate.
#pragma once

#include <cstdint>
#include <vector>

#include "frame_builder.h"

namespace testing_support {

std::vector<uint8_t> BuildUdpFrame(const Endpoint &from, const Endpoint &to, const std::vector<uint8_t> &payload);

// With `extensionHeaders`, a hop-by-hop and a destination options header stand before UDP.
std::vector<uint8_t> BuildUdpFrame6(const Endpoint6 &from, const Endpoint6 &to, const std::vector<uint8_t> &payload,
                                    bool extensionHeaders = false);

}
