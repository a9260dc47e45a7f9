// RTMP connect/play pairs: a client's connect is kept until its play arrives on
// the same connection, then both are parsed into one SendInfo record.
#pragma once

#include <cstdint>
#include <optional>

#include "frame_dispatch.h"

namespace quillnet {

// Most connects kept waiting for their plays at once; beyond it the oldest is
// given up. Each holds about 2 KB.
inline constexpr size_t kMostPendingConnects = 16384;

struct RtmpConnection {
    int32_t destPort;
    uint8_t connectBytes[1500];
    int32_t RtmpConnectionLen;
    uint8_t playBytes[500];
    int32_t RtmpPlayLen;
};

enum class RtmpCommand { Connect, CreateStream, Play };

struct RtmpCommandMatch {
    RtmpCommand command;
    size_t position; // frame offset of the command's first byte
};

// Forgets every waiting connect and the eviction count.
void ResetRtmpTable();

// The waiting connect logged as stored at `index` (the lowest index free when
// it was stored, from 0), or null.
const RtmpConnection *FindPendingConnect(int index);
size_t PendingConnectCount();
uint64_t EvictedConnectCount();

// The first connect, createStream or play command in the frame's payload.
std::optional<RtmpCommandMatch> FindRtmpCommand(ByteView frame, size_t payloadStart);

// Looks for a command in a frame no other recogniser took, unless its
// connection is one that carries HTTP responses.
void ScanRtmp(Frame &frame);

// Notes that `flow` carries HTTP responses, so that its frames are not scanned.
void NoteHttpResponseFlow(const Flow &flow);

// Parses a connect and its play bytes and sends the SendInfo record.
void GetRtmpInfoFromPacket(HWND window, const RtmpConnection &connection);

// Folder of the parser's diagnostic dumps.
std::string RtmpDumpFolder();

}
