// Per-frame dissection: where the TCP payload starts, whose it is, and which
// recogniser gets it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "byte_view.h"
#include "message_window.h"

namespace quillnet {

using Ipv4Address = std::array<uint8_t, 4>;

struct FrameAddresses {
    char sourceIpText[16];
    char destIpText[16];
    int32_t sourcePort;
    int32_t destPort;
    Ipv4Address sourceAddress; // wire order
    Ipv4Address destAddress;
};

// What one frame's recognisers share while it is handled.
struct Frame {
    HWND window;
    ByteView bytes;      // the whole captured frame
    size_t payloadStart; // frame offset of the first TCP payload byte
    ByteView payload;
    FrameAddresses addresses;
    std::string pendingUrlText; // sent as a UrlText record once the frame is done
    bool sendPendingUrl;
};

// Handles one captured frame of `capturedLength` bytes; reports go to `window`.
void HandleFrame(HWND window, const uint8_t *frame, uint32_t capturedLength);

// Formats an address as four dotted decimal numbers.
void FormatIpv4(const Ipv4Address &address, char (&text)[16]);

}
