// RTMP connect/play pairs: a client's connect is kept until its play arrives on
// the same connection, then both are parsed into one SendInfo record.
#pragma once

#include <cstdint>
#include <optional>

#include "frame_dispatch.h"

namespace quillnet {

inline constexpr int kRtmpSlotCount = 500;

struct RtmpConnection {
    int32_t free;
    int32_t sourcePort;
    int32_t destPort;
    Ipv4Address sourceAddress; // wire order
    Ipv4Address destAddress;
    uint8_t connectBytes[1500];
    int32_t RtmpConnectionLen;
    uint8_t playBytes[500];
    int32_t RtmpPlayLen;
    uint64_t takenAt; // when the slot was last taken, to reuse the oldest when all are busy
};

enum class RtmpCommand { Connect, CreateStream, Play };

struct RtmpCommandMatch {
    RtmpCommand command;
    size_t position; // frame offset of the command's first byte
};

// Marks every slot free.
void ResetRtmpTable();

// The number (1-500) of the slot a new connect is to take: the lowest free one,
// or when none is free the one taken longest ago. The caller marks it in use.
int AllocateRtmpSlot();

// Slot `index` (0-499).
const RtmpConnection &RtmpTableSlot(int index);

// The first connect, createStream or play command in the frame's payload.
std::optional<RtmpCommandMatch> FindRtmpCommand(ByteView frame, size_t payloadStart);

void ScanRtmp(Frame &frame);

// Parses the connect and play bytes of slot `index`, sends the SendInfo record
// and frees the slot.
void GetRtmpInfoFromPacket(HWND window, int index);

// Folder of the parser's diagnostic dumps.
std::string RtmpDumpFolder();

}
