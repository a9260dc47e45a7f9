#include "frame_builder.h"

namespace testing_support {

namespace {

constexpr size_t kEthernetLength = 14;
constexpr size_t kIpv4Length = 20;
constexpr size_t kTcpLength = 20;
constexpr size_t kTimestampOptionLength = 12;

void putBe16(std::vector<uint8_t> &bytes, size_t offset, uint16_t value)
{
    bytes[offset] = static_cast<uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<uint8_t>(value);
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
    frame[tcp + 12] = static_cast<uint8_t>(tcpLength / 4 << 4);
    frame[tcp + 13] = 0x18; // PSH ACK
    if (shape.tcpTimestamps) {
        const uint8_t options[kTimestampOptionLength] = {1, 1, 8, 10, 0, 0, 0x10, 0, 0, 0, 0x20, 0};
        for (size_t i = 0; i < kTimestampOptionLength; ++i)
            frame[tcp + kTcpLength + i] = options[i];
    }
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

std::string_view AsText(const std::vector<uint8_t> &bytes)
{
    return {reinterpret_cast<const char *>(bytes.data()), bytes.size()};
}

}
