// Builds Ethernet + IPv4 + TCP frames for the tests.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

struct Endpoint {
    std::array<uint8_t, 4> address;
    uint16_t port;
};

struct FrameShape {
    bool tcpTimestamps = true;      // the 12 option bytes Linux puts on every segment
    size_t ipOptionWords = 0;       // 32-bit words of IPv4 options
    uint16_t fragmentField = 0x4000; // flags and fragment offset; DF set
};

std::vector<uint8_t> BuildTcpFrame(const Endpoint &from, const Endpoint &to, std::string_view payload,
                                   const FrameShape &shape = {});

// Frame offset at which BuildTcpFrame puts the payload.
size_t PayloadOffset(const FrameShape &shape = {});

std::string_view AsText(const std::vector<uint8_t> &bytes);

}
