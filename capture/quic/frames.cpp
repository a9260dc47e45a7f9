#include "frames.h"

#include "packet_header.h"

namespace quillnet::quic {

namespace {

enum FrameCode : uint64_t {
    kPadding = 0x00,
    kPing = 0x01,
    kAck = 0x02,
    kAckWithCounts = 0x03,
    kResetStreamCode = 0x04,
    kStopSending = 0x05,
    kCryptoCode = 0x06,
    kNewToken = 0x07,
    kStreamFirst = 0x08,
    kStreamLast = 0x0f,
    kMaxData = 0x10,
    kMaxStreamData = 0x11,
    kMaxStreamsBidirectional = 0x12,
    kMaxStreamsUnidirectional = 0x13,
    kDataBlocked = 0x14,
    kStreamDataBlocked = 0x15,
    kStreamsBlockedBidirectional = 0x16,
    kStreamsBlockedUnidirectional = 0x17,
    kNewConnectionIdCode = 0x18,
    kRetireConnectionId = 0x19,
    kPathChallenge = 0x1a,
    kPathResponse = 0x1b,
    kTransportClose = 0x1c,
    kApplicationClose = 0x1d,
    kHandshakeDoneCode = 0x1e,
    kDatagram = 0x30, // RFC 9221: to the end of the packet
    kDatagramWithLength = 0x31,
};

constexpr uint64_t kStreamFin = 0x01;
constexpr uint64_t kStreamHasLength = 0x02;
constexpr uint64_t kStreamHasOffset = 0x04;
constexpr size_t kPathDataLength = 8;
constexpr size_t kResetTokenLength = 16;

}

std::optional<Frame> FrameReader::next()
{
    while (reader_.ok() && !reader_.atEnd()) {
        const uint64_t type = reader_.varint();
        Frame frame;
        switch (type) {
        case kPadding:
            while (reader_.nextIs(0))
                reader_.u8();
            continue;
        case kPing:
            continue;
        case kHandshakeDoneCode:
            frame.type = FrameType::kHandshakeDone;
            return frame;
        case kAck:
        case kAckWithCounts:
            if (!skipAck(type))
                return std::nullopt;
            continue;
        case kResetStreamCode:
            frame.type = FrameType::kResetStream;
            frame.streamId = reader_.varint();
            reader_.varint(); // application error code
            frame.offset = reader_.varint();
            return reader_.ok() ? std::optional(frame) : std::nullopt;
        case kCryptoCode: {
            frame.type = FrameType::kCrypto;
            frame.offset = reader_.varint();
            frame.data = reader_.bytes(reader_.varint());
            const bool fits = frame.offset <= kMaxVarint - frame.data.size();
            return reader_.ok() && fits ? std::optional(frame) : std::nullopt;
        }
        case kNewToken:
        case kDatagramWithLength:
            reader_.bytes(reader_.varint());
            continue;
        case kMaxData:
        case kMaxStreamsBidirectional:
        case kMaxStreamsUnidirectional:
        case kDataBlocked:
        case kStreamsBlockedBidirectional:
        case kStreamsBlockedUnidirectional:
        case kRetireConnectionId:
            reader_.varint();
            continue;
        case kStopSending:
        case kMaxStreamData:
        case kStreamDataBlocked:
            reader_.varint();
            reader_.varint();
            continue;
        case kNewConnectionIdCode: {
            frame.type = FrameType::kNewConnectionId;
            reader_.varint(); // sequence number
            reader_.varint(); // retire prior to
            const uint8_t length = reader_.u8();
            frame.data = reader_.bytes(length);
            reader_.bytes(kResetTokenLength);
            const bool valid = length > 0 && length <= kMaxConnectionIdLength;
            return reader_.ok() && valid ? std::optional(frame) : std::nullopt;
        }
        case kPathChallenge:
        case kPathResponse:
            reader_.bytes(kPathDataLength);
            continue;
        case kTransportClose:
        case kApplicationClose:
            reader_.varint(); // error code
            if (type == kTransportClose)
                reader_.varint(); // the frame type that caused it
            reader_.bytes(reader_.varint());
            frame.type = FrameType::kConnectionClose;
            return reader_.ok() ? std::optional(frame) : std::nullopt;
        case kDatagram:
            reader_.rest();
            continue;
        default:
            if (type >= kStreamFirst && type <= kStreamLast)
                return readStream(type);
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool FrameReader::skipAck(uint64_t type)
{
    constexpr int kEcnCounts = 3;
    reader_.varint(); // largest acknowledged
    reader_.varint(); // delay
    const uint64_t ranges = reader_.varint();
    reader_.varint(); // first range
    // Each further range is two varints of at least a byte: no more of them fit than bytes remain.
    for (uint64_t i = 0; i < ranges && reader_.ok(); ++i) {
        reader_.varint(); // gap
        reader_.varint(); // length
    }
    if (type == kAckWithCounts) {
        for (int i = 0; i < kEcnCounts; ++i)
            reader_.varint();
    }
    return reader_.ok();
}

std::optional<Frame> FrameReader::readStream(uint64_t type)
{
    Frame frame;
    frame.type = FrameType::kStream;
    frame.streamId = reader_.varint();
    if (type & kStreamHasOffset)
        frame.offset = reader_.varint();
    frame.data = (type & kStreamHasLength) ? reader_.bytes(reader_.varint()) : reader_.rest();
    frame.fin = type & kStreamFin;
    const bool fits = frame.offset <= kMaxVarint - frame.data.size();
    return reader_.ok() && fits ? std::optional(frame) : std::nullopt;
}

}
