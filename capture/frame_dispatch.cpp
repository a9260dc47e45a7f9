#include "frame_dispatch.h"

#include <mutex>

#include "capture_loop.h"
#include "http.h"
#include "notifications.h"
#include "rtmp.h"
#include "rtsp_mms.h"

namespace quillnet {

namespace {

// Ethernet II, then IPv4, then TCP; the capture filter admits nothing else.
constexpr size_t kEthernetHeaderLength = 14;
constexpr size_t kIpv4Start = kEthernetHeaderLength;
constexpr size_t kIpv4MinimumHeaderLength = 20;
constexpr size_t kIpv4FragmentField = kIpv4Start + 6;
constexpr uint16_t kIpv4FragmentOffsetMask = 0x1FFF;
constexpr size_t kIpv4SourceAddress = kIpv4Start + 12;
constexpr size_t kIpv4DestAddress = kIpv4Start + 16;
constexpr size_t kTcpMinimumHeaderLength = 20;
constexpr size_t kTcpSourcePort = 0;
constexpr size_t kTcpDestPort = 2;
constexpr size_t kTcpDataOffset = 12;

Ipv4Address addressAt(ByteView frame, size_t offset)
{
    Ipv4Address address{};
    copyBytes(address, frame.sub(offset, address.size()));
    return address;
}

// Finds the TCP header and payload from the frame's own header lengths. Empty
// for a frame too short for its headers and for an IPv4 fragment other than
// the first, which carry no TCP header of their own.
std::optional<size_t> locatePayload(ByteView frame, FrameAddresses &addresses)
{
    const auto versionAndLength = frame.u8(kIpv4Start);
    const auto fragment = frame.be16(kIpv4FragmentField);
    if (!versionAndLength || !fragment || (*fragment & kIpv4FragmentOffsetMask) != 0)
        return std::nullopt;
    const size_t ipHeaderLength = static_cast<size_t>(*versionAndLength & 0x0F) * 4;
    if (ipHeaderLength < kIpv4MinimumHeaderLength || !frame.has(kIpv4Start, ipHeaderLength))
        return std::nullopt;

    const size_t tcpStart = kIpv4Start + ipHeaderLength;
    const auto sourcePort = frame.be16(tcpStart + kTcpSourcePort);
    const auto destPort = frame.be16(tcpStart + kTcpDestPort);
    const auto dataOffset = frame.u8(tcpStart + kTcpDataOffset);
    if (!sourcePort || !destPort || !dataOffset)
        return std::nullopt;
    const size_t tcpHeaderLength = static_cast<size_t>(*dataOffset >> 4) * 4;
    if (tcpHeaderLength < kTcpMinimumHeaderLength || !frame.has(tcpStart, tcpHeaderLength))
        return std::nullopt;

    addresses.sourceAddress = addressAt(frame, kIpv4SourceAddress);
    addresses.destAddress = addressAt(frame, kIpv4DestAddress);
    addresses.sourcePort = *sourcePort;
    addresses.destPort = *destPort;
    return tcpStart + tcpHeaderLength;
}

void dispatch(Frame &frame)
{
    const ByteView payload = frame.payload;
    if (payload.startsWith("GET "))
        HandleHttpRequest(frame);
    else if (payload.startsWith("HTTP/1.") || payload.startsWith("ICY "))
        HandleHttpResponse(frame);
    else if (payload.startsWith("DESCRIBE "))
        HandleRtspDescribe(frame);
    else if (IsMmsOpenFile(payload))
        HandleMmsOpenFile(frame);
    else
        ScanRtmp(frame);
}

}

void FormatIpv4(const Ipv4Address &address, char (&text)[16])
{
    size_t out = 0;
    for (size_t i = 0; i < address.size(); ++i) {
        const unsigned value = address[i];
        if (i > 0)
            text[out++] = '.';
        if (value >= 100)
            text[out++] = static_cast<char>('0' + value / 100);
        if (value >= 10)
            text[out++] = static_cast<char>('0' + value / 10 % 10);
        text[out++] = static_cast<char>('0' + value % 10);
    }
    text[out] = '\0';
}

const FrameAddresses &Frame::describedAddresses()
{
    if (!described_) {
        FormatIpv4(addresses.sourceAddress, addresses.sourceIpText);
        FormatIpv4(addresses.destAddress, addresses.destIpText);
        described_ = true;
    }
    return addresses;
}

void HandleFrame(HWND window, const uint8_t *bytes, uint32_t capturedLength)
{
    if (capturedLength == 0)
        return;
    Frame frame{window, ByteView(bytes, capturedLength)};
    const auto payloadStart = locatePayload(frame.bytes, frame.addresses);
    if (!payloadStart)
        return;
    frame.payloadStart = *payloadStart;
    frame.payload = frame.bytes.sub(*payloadStart);

    const std::lock_guard guard(CaptureLock());
    dispatch(frame);
    if (frame.sendPendingUrl)
        SendUrlText(window, frame.pendingUrlText);
}

}
