#include "frame_dispatch.h"

#include <mutex>
#include <optional>

#include "capture_loop.h"
#include "http.h"
#include "https.h"
#include "notifications.h"
#include "quic_dispatch.h"
#include "rtmp.h"
#include "rtsp_mms.h"
#include "seen_segments.h"

namespace quillnet {

namespace {

// Link layers.
constexpr size_t kEthernetTypeField = 12;
constexpr size_t kEthernetHeaderLength = 14;
constexpr size_t kCookedProtocolField = 14;
constexpr size_t kCookedHeaderLength = 16;
constexpr size_t kCooked2ProtocolField = 0;
constexpr size_t kCooked2HeaderLength = 20;
constexpr uint16_t kTypeVlan = 0x8100;
constexpr uint16_t kTypeQinQ = 0x88A8;
constexpr uint16_t kTypeQinQLegacy = 0x9100;
constexpr size_t kVlanTagLength = 4; // the tag's control field, then the next type
constexpr size_t kVlanInnerType = 2;
constexpr int kMostVlanTags = 2;
constexpr uint16_t kTypeIpv4 = 0x0800;
constexpr uint16_t kTypeIpv6 = 0x86DD;

// IPv4, relative to its header.
constexpr size_t kIpv4MinimumHeaderLength = 20;
constexpr size_t kIpv4TotalLength = 2;
constexpr size_t kIpv4FragmentField = 6;
constexpr uint16_t kIpv4FragmentOffsetMask = 0x1FFF;
constexpr size_t kIpv4Protocol = 9;
constexpr size_t kIpv4SourceAddress = 12;
constexpr size_t kIpv4DestAddress = 16;

// IPv6, relative to its header, and the extension headers before TCP or UDP.
constexpr size_t kIpv6HeaderLength = 40;
constexpr size_t kIpv6PayloadLength = 4;
constexpr size_t kIpv6NextHeader = 6;
constexpr size_t kIpv6SourceAddress = 8;
constexpr size_t kIpv6DestAddress = 24;
constexpr uint8_t kHopByHop = 0;
constexpr uint8_t kRouting = 43;
constexpr uint8_t kFragment = 44;
constexpr uint8_t kAuthentication = 51;
constexpr uint8_t kDestinationOptions = 60;
constexpr size_t kFragmentHeaderLength = 8;
constexpr size_t kFragmentOffsetField = 2;
constexpr uint16_t kFragmentOffsetMask = 0xFFF8;
constexpr int kMostExtensionHeaders = 8;

constexpr uint8_t kProtocolTcp = 6;
constexpr uint8_t kProtocolUdp = 17;

// TCP.
constexpr size_t kTcpMinimumHeaderLength = 20;
constexpr size_t kTcpSourcePort = 0;
constexpr size_t kTcpDestPort = 2;
constexpr size_t kTcpSequence = 4;
constexpr size_t kTcpAcknowledgement = 8;
constexpr size_t kTcpDataOffset = 12;
constexpr size_t kTcpFlags = 13;

// UDP.
constexpr size_t kUdpHeaderLength = 8;
constexpr size_t kUdpSourcePort = 0;
constexpr size_t kUdpDestPort = 2;
constexpr size_t kUdpLength = 4;

struct NetworkLayer {
    size_t start;
    uint16_t type;
};

// Where the IP packet ends and its TCP or UDP header begins.
struct IpPacket {
    size_t transportStart;
    size_t end;
    uint8_t protocol; // kProtocolTcp or kProtocolUdp
};

struct Transport {
    size_t start;
    uint8_t protocol;
};

bool isTransport(uint8_t protocol)
{
    return protocol == kProtocolTcp || protocol == kProtocolUdp;
}

bool isVlanType(uint16_t type)
{
    return type == kTypeVlan || type == kTypeQinQ || type == kTypeQinQLegacy;
}

std::optional<NetworkLayer> skipVlanTags(ByteView frame, NetworkLayer layer)
{
    for (int tags = 0; isVlanType(layer.type); ++tags) {
        const auto inner = frame.be16(layer.start + kVlanInnerType);
        if (tags == kMostVlanTags || !inner)
            return std::nullopt;
        layer = {layer.start + kVlanTagLength, *inner};
    }
    return layer;
}

std::optional<NetworkLayer> locateNetwork(ByteView frame, int linkType)
{
    size_t typeField = 0;
    size_t headerLength = 0;
    switch (linkType) {
    case kLinkEthernet:
        typeField = kEthernetTypeField;
        headerLength = kEthernetHeaderLength;
        break;
    case kLinkLinuxCooked:
        typeField = kCookedProtocolField;
        headerLength = kCookedHeaderLength;
        break;
    case kLinkLinuxCooked2:
        typeField = kCooked2ProtocolField;
        headerLength = kCooked2HeaderLength;
        break;
    default:
        return std::nullopt;
    }
    const auto type = frame.be16(typeField);
    if (!type)
        return std::nullopt;
    return skipVlanTags(frame, {headerLength, *type});
}

// The packet ends where its own length says, or at the end of what was
// captured when that is shorter. A length of 0 is what a sender's capture shows
// for segmentation offload: the packet then runs to the end of the frame.
size_t packetEnd(ByteView frame, size_t start, size_t declaredLength)
{
    if (declaredLength == 0 || !frame.has(start, declaredLength))
        return frame.size();
    return start + declaredLength;
}

std::optional<IpPacket> locateIpv4(ByteView frame, size_t ip, FrameAddresses &addresses)
{
    const auto versionAndLength = frame.u8(ip);
    const auto totalLength = frame.be16(ip + kIpv4TotalLength);
    const auto fragment = frame.be16(ip + kIpv4FragmentField);
    const uint8_t protocol = frame.u8(ip + kIpv4Protocol).value_or(0);
    if (!versionAndLength || !totalLength || !fragment || (*fragment & kIpv4FragmentOffsetMask) != 0 ||
        !isTransport(protocol))
        return std::nullopt;
    const size_t headerLength = static_cast<size_t>(*versionAndLength & 0x0F) * 4;
    if (headerLength < kIpv4MinimumHeaderLength || !frame.has(ip, headerLength))
        return std::nullopt;
    if (*totalLength != 0 && *totalLength < headerLength)
        return std::nullopt;

    std::array<uint8_t, 4> source{};
    std::array<uint8_t, 4> dest{};
    frame.read(ip + kIpv4SourceAddress, source);
    frame.read(ip + kIpv4DestAddress, dest);
    addresses.sourceAddress = IpAddress::v4(source);
    addresses.destAddress = IpAddress::v4(dest);
    return IpPacket{ip + headerLength, packetEnd(frame, ip, *totalLength), protocol};
}

// Walks the extension headers to TCP or UDP; empty for other protocols and
// for fragments other than the first.
std::optional<Transport> locateTransportAfterIpv6(ByteView frame, size_t ip)
{
    auto next = frame.u8(ip + kIpv6NextHeader);
    size_t position = ip + kIpv6HeaderLength;
    for (int headers = 0; next && headers <= kMostExtensionHeaders; ++headers) {
        size_t length = 0;
        switch (*next) {
        case kProtocolTcp:
        case kProtocolUdp:
            return Transport{position, *next};
        case kHopByHop:
        case kRouting:
        case kDestinationOptions:
        case kAuthentication: {
            // The second byte counts the header's length: 8-byte units beyond the
            // first, or 4-byte units beyond the first two for AH.
            const auto units = frame.u8(position + 1);
            if (!units)
                return std::nullopt;
            length = *next == kAuthentication ? (static_cast<size_t>(*units) + 2) * 4
                                              : (static_cast<size_t>(*units) + 1) * 8;
            break;
        }
        case kFragment: {
            const auto offset = frame.be16(position + kFragmentOffsetField);
            if (!offset || (*offset & kFragmentOffsetMask) != 0)
                return std::nullopt;
            length = kFragmentHeaderLength;
            break;
        }
        default:
            return std::nullopt;
        }
        next = frame.u8(position);
        position += length;
    }
    return std::nullopt;
}

std::optional<IpPacket> locateIpv6(ByteView frame, size_t ip, FrameAddresses &addresses)
{
    const auto payloadLength = frame.be16(ip + kIpv6PayloadLength);
    if (!payloadLength || !frame.has(ip, kIpv6HeaderLength))
        return std::nullopt;
    const auto transport = locateTransportAfterIpv6(frame, ip);
    if (!transport)
        return std::nullopt;

    std::array<uint8_t, 16> source{};
    std::array<uint8_t, 16> dest{};
    frame.read(ip + kIpv6SourceAddress, source);
    frame.read(ip + kIpv6DestAddress, dest);
    addresses.sourceAddress = IpAddress::v6(source);
    addresses.destAddress = IpAddress::v6(dest);
    const size_t declared = *payloadLength == 0 ? 0 : kIpv6HeaderLength + *payloadLength;
    return IpPacket{transport->start, packetEnd(frame, ip, declared), transport->protocol};
}

std::optional<IpPacket> locateIp(ByteView frame, NetworkLayer network, FrameAddresses &addresses)
{
    if (network.type == kTypeIpv4)
        return locateIpv4(frame, network.start, addresses);
    if (network.type == kTypeIpv6)
        return locateIpv6(frame, network.start, addresses);
    return std::nullopt;
}

// Reads the TCP header; the payload's frame offset, or empty when the header
// is not all there or its length is impossible.
std::optional<size_t> readTcp(ByteView packet, size_t tcpStart, Frame &frame)
{
    const auto sourcePort = packet.be16(tcpStart + kTcpSourcePort);
    const auto destPort = packet.be16(tcpStart + kTcpDestPort);
    const auto sequence = packet.be32(tcpStart + kTcpSequence);
    const auto acknowledgement = packet.be32(tcpStart + kTcpAcknowledgement);
    const auto dataOffset = packet.u8(tcpStart + kTcpDataOffset);
    const auto flags = packet.u8(tcpStart + kTcpFlags);
    if (!sourcePort || !destPort || !sequence || !acknowledgement || !dataOffset || !flags)
        return std::nullopt;
    const size_t headerLength = static_cast<size_t>(*dataOffset >> 4) * 4;
    if (headerLength < kTcpMinimumHeaderLength || !packet.has(tcpStart, headerLength))
        return std::nullopt;
    frame.addresses.sourcePort = *sourcePort;
    frame.addresses.destPort = *destPort;
    frame.tcp = {*sequence, *acknowledgement, *flags};
    return tcpStart + headerLength;
}

// Reads the UDP header; the payload, or empty when the header is not all
// there or its length is impossible. A length of 0 is a jumbogram's, which
// runs to the end of its packet.
std::optional<ByteView> readUdp(ByteView packet, size_t udpStart, Frame &frame)
{
    const auto sourcePort = packet.be16(udpStart + kUdpSourcePort);
    const auto destPort = packet.be16(udpStart + kUdpDestPort);
    const auto length = packet.be16(udpStart + kUdpLength);
    if (!sourcePort || !destPort || !length || !packet.has(udpStart, kUdpHeaderLength) ||
        (*length != 0 && *length < kUdpHeaderLength))
        return std::nullopt;
    frame.addresses.sourcePort = *sourcePort;
    frame.addresses.destPort = *destPort;
    const size_t payloadLength = *length == 0 ? ByteView::npos : *length - kUdpHeaderLength;
    return packet.sub(udpStart + kUdpHeaderLength, payloadLength);
}

enum class Payload { kNone, kTcp, kUdp };

Payload locatePayload(Frame &frame, int linkType)
{
    const auto network = locateNetwork(frame.bytes, linkType);
    if (!network)
        return Payload::kNone;
    const auto packet = locateIp(frame.bytes, *network, frame.addresses);
    if (!packet)
        return Payload::kNone;
    // Bytes after the IP packet are link padding or a trailer, never payload.
    frame.bytes = frame.bytes.sub(0, packet->end);
    if (packet->protocol == kProtocolUdp) {
        const auto payload = readUdp(frame.bytes, packet->transportStart, frame);
        if (!payload)
            return Payload::kNone;
        frame.payload = *payload;
        return Payload::kUdp;
    }
    const auto payloadStart = readTcp(frame.bytes, packet->transportStart, frame);
    if (!payloadStart)
        return Payload::kNone;
    frame.payloadStart = *payloadStart;
    frame.payload = frame.bytes.sub(*payloadStart);
    return Payload::kTcp;
}

using Recogniser = void (*)(Frame &);

Recogniser recogniserFor(ByteView payload)
{
    if (StartsRequest(payload))
        return HandleHttpRequest;
    if (StartsResponse(payload))
        return HandleHttpResponse;
    if (payload.startsWith("DESCRIBE "))
        return HandleRtspDescribe;
    if (IsMmsOpenFile(payload))
        return HandleMmsOpenFile;
    return nullptr;
}

// Out of line, so that the TCP path keeps its registers for itself.
[[gnu::noinline]] void handleUdp(const Frame &frame, uint64_t time)
{
    const std::lock_guard guard(CaptureLock());
    HandleQuicDatagram(frame, time);
}

void dispatch(Frame &frame, Recogniser recogniser)
{
    if (HandleTlsSegment(frame))
        return;
    if (ContinueHttpBlock(frame))
        return;
    if (!recogniser) {
        ScanRtmp(frame);
        return;
    }
    if (!SeenBefore(frame.segment()))
        recogniser(frame);
}

}

bool IsSupportedLinkType(int linkType)
{
    return linkType == kLinkEthernet || linkType == kLinkLinuxCooked || linkType == kLinkLinuxCooked2;
}

const FrameAddresses &Frame::describedAddresses()
{
    if (!described_) {
        FormatIp(addresses.sourceAddress, addresses.sourceIpText);
        FormatIp(addresses.destAddress, addresses.destIpText);
        described_ = true;
    }
    return addresses;
}

SegmentKey Frame::segment() const
{
    return {flow(), tcp.sequence, static_cast<uint32_t>(payload.size())};
}

Flow Frame::flow() const
{
    return {addresses.sourceAddress, addresses.destAddress, static_cast<uint16_t>(addresses.sourcePort),
            static_cast<uint16_t>(addresses.destPort)};
}

void HandleFrame(HWND window, int linkType, const uint8_t *bytes, uint32_t capturedLength, uint64_t time)
{
    if (capturedLength == 0)
        return;
    Frame frame{window, ByteView(bytes, capturedLength)};
    const Payload payload = locatePayload(frame, linkType);
    if (payload != Payload::kTcp) {
        if (payload == Payload::kUdp)
            handleUdp(frame, time);
        return;
    }

    // What the payload may start is told by its first bytes alone; a frame that
    // may start something is checked for a copy, whose place is fetched meanwhile.
    const Recogniser recogniser = recogniserFor(frame.payload);
    if (recogniser)
        PrefetchSeenSegment(frame.segment());
    const std::lock_guard guard(CaptureLock());
    dispatch(frame, recogniser);
    if (frame.sendPendingUrl)
        SendUrlText(window, frame.pendingUrlText);
}

void HandleFrame(HWND window, int linkType, const uint8_t *bytes, uint32_t capturedLength)
{
    HandleFrame(window, linkType, bytes, capturedLength, kTimeOfHandling);
}

void HandleFrame(HWND window, const uint8_t *bytes, uint32_t capturedLength)
{
    HandleFrame(window, kLinkEthernet, bytes, capturedLength, kTimeOfHandling);
}

void ResetFrameState(const std::string &keyLogPath)
{
    ResetRequestTable();
    ResetRtmpTable();
    ForgetSeenSegments();
    ResetHttps(keyLogPath);
    ResetQuic(keyLogPath);
}

void FinishFrameState(HWND window)
{
    FinishHttps(window);
    FinishQuic(window);
    FinishHttpBlocks(window);
}

uint64_t EvictedEntryCount()
{
    return EvictedRequestCount() + EvictedConnectCount();
}

}
