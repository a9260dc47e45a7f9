#include "frame_builder.h"

namespace testing_support {

namespace {

constexpr size_t kEthernetLength = 14;
constexpr size_t kIpv4Length = 20;
constexpr size_t kTcpLength = 20;
constexpr size_t kTimestampOptionLength = 12;

constexpr size_t kIpv6Length = 40;

void putBe16(std::vector<uint8_t> &bytes, size_t offset, uint16_t value)
{
    bytes[offset] = static_cast<uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<uint8_t>(value);
}

void putBe32(std::vector<uint8_t> &bytes, size_t offset, uint32_t value)
{
    putBe16(bytes, offset, static_cast<uint16_t>(value >> 16));
    putBe16(bytes, offset + 2, static_cast<uint16_t>(value));
}

// A 20-byte TCP header without options, then the payload.
std::vector<uint8_t> tcpSegment(uint16_t from, uint16_t to, std::string_view payload)
{
    std::vector<uint8_t> segment(kTcpLength, 0);
    putBe16(segment, 0, from);
    putBe16(segment, 2, to);
    segment[12] = static_cast<uint8_t>(kTcpLength / 4 << 4);
    segment[13] = 0x18; // PSH ACK
    segment.insert(segment.end(), payload.begin(), payload.end());
    return segment;
}

}

size_t PayloadOffset(const FrameShape &shape)
{
    return kEthernetLength + kIpv4Length + shape.ipOptionWords * 4 + kTcpLength +
           (shape.tcpTimestamps ? kTimestampOptionLength : 0);
}

std::vector<uint8_t> BuildTcpFrame(const Endpoint &from, const Endpoint &to, std::string_view payload,
                                   const FrameShape &shape)
{
    const size_t ipLength = kIpv4Length + shape.ipOptionWords * 4;
    const size_t tcpLength = kTcpLength + (shape.tcpTimestamps ? kTimestampOptionLength : 0);
    std::vector<uint8_t> frame(kEthernetLength + ipLength + tcpLength, 0);
    frame[12] = 0x08; // IPv4 ethertype
    const size_t ip = kEthernetLength;
    frame[ip] = static_cast<uint8_t>(0x40 | ipLength / 4);
    putBe16(frame, ip + 2, static_cast<uint16_t>(ipLength + tcpLength + payload.size()));
    putBe16(frame, ip + 6, shape.fragmentField);
    frame[ip + 8] = 64;
    frame[ip + 9] = 6; // TCP
    for (size_t i = 0; i < 4; ++i) {
        frame[ip + 12 + i] = from.address[i];
        frame[ip + 16 + i] = to.address[i];
    }
    for (size_t i = kIpv4Length; i < ipLength; ++i)
        frame[ip + i] = 1; // NOP options
    const size_t tcp = ip + ipLength;
    putBe16(frame, tcp, from.port);
    putBe16(frame, tcp + 2, to.port);
    putBe32(frame, tcp + 4, shape.sequence);
    putBe32(frame, tcp + 8, shape.acknowledgement);
    frame[tcp + 12] = static_cast<uint8_t>(tcpLength / 4 << 4);
    frame[tcp + 13] = shape.flags;
    if (shape.tcpTimestamps) {
        const uint8_t options[kTimestampOptionLength] = {1, 1, 8, 10, 0, 0, 0x10, 0, 0, 0, 0x20, 0};
        for (size_t i = 0; i < kTimestampOptionLength; ++i)
            frame[tcp + kTcpLength + i] = options[i];
    }
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

std::vector<uint8_t> BuildTcpFrame6(const Endpoint6 &from, const Endpoint6 &to, std::string_view payload,
                                    bool extensionHeaders)
{
    constexpr uint8_t kHopByHop = 0;
    constexpr uint8_t kDestinationOptions = 60;
    constexpr uint8_t kTcp = 6;
    std::vector<uint8_t> extensions;
    if (extensionHeaders) {
        // Each: next header, length in 8-byte units beyond the first, PadN options.
        extensions = {kDestinationOptions, 0, 1, 4, 0, 0, 0, 0, kTcp, 0, 1, 4, 0, 0, 0, 0};
    }
    const std::vector<uint8_t> segment = tcpSegment(from.port, to.port, payload);
    std::vector<uint8_t> frame(kEthernetLength + kIpv6Length, 0);
    frame[12] = 0x86; // IPv6 ethertype
    frame[13] = 0xDD;
    const size_t ip = kEthernetLength;
    frame[ip] = 0x60;
    putBe16(frame, ip + 4, static_cast<uint16_t>(extensions.size() + segment.size()));
    frame[ip + 6] = extensionHeaders ? kHopByHop : kTcp;
    frame[ip + 7] = 64;
    for (size_t i = 0; i < 16; ++i) {
        frame[ip + 8 + i] = from.address[i];
        frame[ip + 24 + i] = to.address[i];
    }
    frame.insert(frame.end(), extensions.begin(), extensions.end());
    frame.insert(frame.end(), segment.begin(), segment.end());
    return frame;
}

int LinkTypeOf(LinkLayer layer)
{
    switch (layer) {
    case LinkLayer::LinuxCooked:
        return 113;
    case LinkLayer::LinuxCooked2:
        return 276;
    default:
        return 1;
    }
}

std::vector<uint8_t> Reencapsulate(const std::vector<uint8_t> &ethernetFrame, LinkLayer layer)
{
    const std::vector<uint8_t> type(ethernetFrame.begin() + 12, ethernetFrame.begin() + kEthernetLength);
    const std::vector<uint8_t> packet(ethernetFrame.begin() + kEthernetLength, ethernetFrame.end());
    std::vector<uint8_t> frame;
    switch (layer) {
    case LinkLayer::Ethernet:
        return ethernetFrame;
    case LinkLayer::OneVlanTag:
        frame.assign(ethernetFrame.begin(), ethernetFrame.begin() + 12);
        frame.insert(frame.end(), {0x81, 0x00, 0x00, 0x64});
        break;
    case LinkLayer::TwoVlanTags:
        frame.assign(ethernetFrame.begin(), ethernetFrame.begin() + 12);
        frame.insert(frame.end(), {0x88, 0xA8, 0x00, 0x0A, 0x81, 0x00, 0x00, 0x64});
        break;
    case LinkLayer::LinuxCooked:
        // Packet type "sent by us", ARPHRD_ETHER, a 6-byte address padded to 8.
        frame = {0, 4, 0, 1, 0, 6, 2, 0, 0, 0, 0, 1, 0, 0};
        break;
    case LinkLayer::LinuxCooked2:
        // Protocol, reserved, interface index, ARPHRD_ETHER, packet type, address.
        frame.insert(frame.end(), type.begin(), type.end());
        frame.insert(frame.end(), {0, 0, 0, 0, 0, 1, 0, 1, 4, 6, 2, 0, 0, 0, 0, 1, 0, 0});
        frame.insert(frame.end(), packet.begin(), packet.end());
        return frame;
    }
    frame.insert(frame.end(), type.begin(), type.end());
    frame.insert(frame.end(), packet.begin(), packet.end());
    return frame;
}

std::string_view AsText(const std::vector<uint8_t> &bytes)
{
    return {reinterpret_cast<const char *>(bytes.data()), bytes.size()};
}

}
