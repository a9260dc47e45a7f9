// Per-frame dissection: the link layer, IPv4 or IPv6, TCP or UDP; where the
// payload starts and ends, whose it is, and which recogniser gets it: UDP
// goes to the QUIC tracker, TCP to the others.
#pragma once

#include <cstdint>
#include <string>

#include "byte_view.h"
#include "flow.h"
#include "message_window.h"
#include "seen_segments.h"

namespace quillnet {

// Link types the dissector reads (pcap's DLT_ numbers).
inline constexpr int kLinkEthernet = 1;      // DLT_EN10MB, with up to two VLAN tags
inline constexpr int kLinkLinuxCooked = 113; // DLT_LINUX_SLL, the "any" device
inline constexpr int kLinkLinuxCooked2 = 276; // DLT_LINUX_SLL2

bool IsSupportedLinkType(int linkType);

struct FrameAddresses {
    char sourceIpText[kIpTextSize]; // filled by Frame::describedAddresses; unset before
    char destIpText[kIpTextSize];
    int32_t sourcePort = 0;
    int32_t destPort = 0;
    IpAddress sourceAddress;
    IpAddress destAddress;
};

struct TcpHeaderFields {
    uint32_t sequence = 0;
    uint32_t acknowledgement = 0;
    uint8_t flags = 0;
};

// What one frame's recognisers share while it is handled.
struct Frame {
    Frame(HWND window, ByteView bytes) : window(window), bytes(bytes) {}

    HWND window;
    ByteView bytes;           // the frame up to the end of its IP packet
    size_t payloadStart = 0;  // frame offset of the first TCP payload byte
    ByteView payload;         // up to the end of the IP packet, never into a trailer; UDP's as long as it says
    FrameAddresses addresses; // ports and addresses; the texts only once described
    TcpHeaderFields tcp;
    bool secure = false;        // bytes decrypted from a TLS connection
    std::string pendingUrlText; // sent as a UrlText record once the frame is done
    bool sendPendingUrl = false;

    // The addresses with their texts, formatted on first use: most frames never
    // need them.
    const FrameAddresses &describedAddresses();

    // The direction of the connection this frame travels.
    Flow flow() const;

    // The frame's place in its connection, to know it when it is seen again.
    SegmentKey segment() const;

private:
    bool described_ = false;
};

// Stands for a frame's capture time when it is not known: the time it is handled then.
inline constexpr uint64_t kTimeOfHandling = UINT64_MAX;

// Handles one captured frame of `capturedLength` bytes of link type
// `linkType`, captured at `time` (microseconds since the epoch, as pcap
// gives it); reports go to `window`.
void HandleFrame(HWND window, int linkType, const uint8_t *frame, uint32_t capturedLength, uint64_t time);

// The same for a frame whose capture time is not known.
void HandleFrame(HWND window, int linkType, const uint8_t *frame, uint32_t capturedLength);

// The same for an Ethernet frame.
void HandleFrame(HWND window, const uint8_t *frame, uint32_t capturedLength);

// Forgets what the recognisers keep between frames, for a new capture that
// decrypts HTTPS and QUIC with the keys of `keyLogPath` ("" for none).
void ResetFrameState(const std::string &keyLogPath = "");

// At the end of a capture, what still waits is reported as it stands.
void FinishFrameState(HWND window);

// Outstanding requests and connects given up since the last reset to bound memory.
uint64_t EvictedEntryCount();

}
