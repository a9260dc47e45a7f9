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
    char sourceIpText[16]; // filled by Frame::describedAddresses
    char destIpText[16];
    int32_t sourcePort;
    int32_t destPort;
    Ipv4Address sourceAddress; // wire order
    Ipv4Address destAddress;
};

// What one frame's recognisers share while it is handled.
struct Frame {
    Frame(HWND window, ByteView bytes) : window(window), bytes(bytes) {}

    HWND window;
    ByteView bytes;           // the whole captured frame
    size_t payloadStart = 0;  // frame offset of the first TCP payload byte
    ByteView payload;
    FrameAddresses addresses{}; // ports and addresses; the texts only once described
    std::string pendingUrlText; // sent as a UrlText record once the frame is done
    bool sendPendingUrl = false;

    // The addresses with their dotted texts, formatted on first use: most
    // frames never need them.
    const FrameAddresses &describedAddresses();

private:
    bool described_ = false;
};

// Handles one captured frame of `capturedLength` bytes; reports go to `window`.
void HandleFrame(HWND window, const uint8_t *frame, uint32_t capturedLength);

// Formats an address as four dotted decimal numbers.
void FormatIpv4(const Ipv4Address &address, char (&text)[16]);

}
