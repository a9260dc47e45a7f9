#include "udp_frames.h"

namespace testing_support {

namespace {

constexpr size_t kIpv4Length = 20;
constexpr size_t kUdpLength = 8;
constexpr uint8_t kUdp = 17;

void appendBe16(std::vector<uint8_t> &bytes, size_t value)
{
    bytes.push_back(static_cast<uint8_t>(value >> 8));
    bytes.push_back(static_cast<uint8_t>(value));
}

std::vector<uint8_t> ethernetHeader(uint16_t type)
{
    std::vector<uint8_t> header(12, 0);
    appendBe16(header, type);
    return header;
}

// The UDP header (no checksum, as IPv4 allows and captures of offloading senders show), then the payload.
void appendUdp(std::vector<uint8_t> &frame, uint16_t from, uint16_t to, const std::vector<uint8_t> &payload)
{
    appendBe16(frame, from);
    appendBe16(frame, to);
    appendBe16(frame, kUdpLength + payload.size());
    appendBe16(frame, 0);
    frame.insert(frame.end(), payload.begin(), payload.end());
}

}

std::vector<uint8_t> BuildUdpFrame(const Endpoint &from, const Endpoint &to, const std::vector<uint8_t> &payload)
{
    std::vector<uint8_t> frame = ethernetHeader(0x0800);
    frame.push_back(0x45);
    frame.push_back(0);
    appendBe16(frame, kIpv4Length + kUdpLength + payload.size());
    frame.insert(frame.end(), {0, 1, 0x40, 0, 64, kUdp, 0, 0}); // identification, DF, TTL, protocol, checksum
    frame.insert(frame.end(), from.address.begin(), from.address.end());
    frame.insert(frame.end(), to.address.begin(), to.address.end());
    appendUdp(frame, from.port, to.port, payload);
    return frame;
}

std::vector<uint8_t> BuildUdpFrame6(const Endpoint6 &from, const Endpoint6 &to, const std::vector<uint8_t> &payload,
                                    bool extensionHeaders)
{
    constexpr uint8_t kHopByHop = 0;
    constexpr uint8_t kDestinationOptions = 60;
    std::vector<uint8_t> extensions;
    if (extensionHeaders) {
        // Each: next header, length in 8-byte units beyond the first, PadN options.
        extensions = {kDestinationOptions, 0, 1, 4, 0, 0, 0, 0, kUdp, 0, 1, 4, 0, 0, 0, 0};
    }
    std::vector<uint8_t> frame = ethernetHeader(0x86DD);
    frame.insert(frame.end(), {0x60, 0, 0, 0});
    appendBe16(frame, extensions.size() + kUdpLength + payload.size());
    frame.push_back(extensionHeaders ? kHopByHop : kUdp);
    frame.push_back(64);
    frame.insert(frame.end(), from.address.begin(), from.address.end());
    frame.insert(frame.end(), to.address.begin(), to.address.end());
    frame.insert(frame.end(), extensions.begin(), extensions.end());
    appendUdp(frame, from.port, to.port, payload);
    return frame;
}

}
