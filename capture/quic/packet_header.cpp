#include "packet_header.h"

#include "wire_reader.h"

namespace quillnet::quic {

namespace {

constexpr size_t kVersionLength = 4;
constexpr unsigned kTypeShift = 4;
constexpr uint8_t kTypeBits = 0x03;
constexpr uint8_t kFixedBit = 0x40;
constexpr size_t kMinClientInitialDatagram = 1200;
constexpr size_t kMinClientInitialIdLength = 8;

}

std::optional<LongHeader> ParseLongHeader(ByteView bytes)
{
    WireReader reader(bytes);
    const uint8_t first = reader.u8();
    const auto number = reader.bytes(kVersionLength).be32(0);
    if (!IsLongHeader(first) || !number)
        return std::nullopt;
    LongHeader header;
    header.version = FindVersion(*number);
    if (!header.version)
        return std::nullopt;
    header.type = header.version->longTypes[(first >> kTypeShift) & kTypeBits];
    const uint8_t destinationLength = reader.u8();
    header.destination = reader.bytes(destinationLength);
    const uint8_t sourceLength = reader.u8();
    header.source = reader.bytes(sourceLength);
    if (!reader.ok() || destinationLength > kMaxConnectionIdLength || sourceLength > kMaxConnectionIdLength)
        return std::nullopt;
    if (header.type == PacketType::kRetry) {
        header.length = bytes.size();
        return header;
    }
    if (header.type == PacketType::kInitial)
        reader.bytes(reader.varint()); // the token
    const uint64_t length = reader.varint();
    header.numberOffset = reader.position();
    if (!reader.ok() || length > bytes.size() - header.numberOffset)
        return std::nullopt;
    header.length = header.numberOffset + static_cast<size_t>(length);
    return header;
}

bool LooksLikeClientInitial(ByteView payload)
{
    constexpr size_t kDestinationLengthOffset = 1 + kVersionLength;
    const auto first = payload.u8(0);
    const auto destinationLength = payload.u8(kDestinationLengthOffset);
    if (payload.size() < kMinClientInitialDatagram || !first || !(*first & kFixedBit) || !destinationLength ||
        *destinationLength < kMinClientInitialIdLength)
        return false;
    const auto header = ParseLongHeader(payload);
    return header && header->type == PacketType::kInitial;
}

}
