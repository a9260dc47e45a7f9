// Builds TCP frames for the tests: Ethernet + IPv4 by default, and the same
// packets over IPv6, behind VLAN tags or in Linux cooked headers.
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
    uint32_t sequence = 0;
    uint32_t acknowledgement = 0;
    uint8_t flags = 0x18; // PSH ACK
};

struct Endpoint6 {
    std::array<uint8_t, 16> address;
    uint16_t port;
};

// Ethernet + IPv6 + TCP; with `extensionHeaders`, a hop-by-hop and a
// destination options header stand before TCP.
std::vector<uint8_t> BuildTcpFrame6(const Endpoint6 &from, const Endpoint6 &to, std::string_view payload,
                                    bool extensionHeaders = false);

enum class LinkLayer { Ethernet, OneVlanTag, TwoVlanTags, LinuxCooked, LinuxCooked2 };

// pcap's link type number for frames of `layer`.
int LinkTypeOf(LinkLayer layer);

// The IP packet of an Ethernet frame, moved into `layer`.
std::vector<uint8_t> Reencapsulate(const std::vector<uint8_t> &ethernetFrame, LinkLayer layer);

std::vector<uint8_t> BuildTcpFrame(const Endpoint &from, const Endpoint &to, std::string_view payload,
                                   const FrameShape &shape = {});

// Frame offset at which BuildTcpFrame puts the payload.
size_t PayloadOffset(const FrameShape &shape = {});

std::string_view AsText(const std::vector<uint8_t> &bytes);

}
