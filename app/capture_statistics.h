// The capture library's statistics record: reading it from a message and the
// texts the programs make of it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "message_window.h"
#include "records.h"

namespace tarvolin {

// The statistics a WM_COPYDATA record carries, the fields from
// tlsConnectionsEvicted on 0 where the record ends before them; nothing for a
// record of another kind or one shorter.
std::optional<quillnet::CaptureStatistics> ReadCaptureStatistics(const COPYDATASTRUCT &copy);

// The connections of one protocol: each one that ended is in exactly one of
// decrypted, without keys and undecryptable; evicted counts those of them given
// up early.
struct ConnectionCounts {
    uint64_t seen = 0;
    uint64_t decrypted = 0;
    uint64_t withoutKeys = 0;
    uint64_t undecryptable = 0;
    uint64_t evicted = 0;
};

ConnectionCounts TlsConnections(const quillnet::CaptureStatistics &statistics);
// HTTP/3's.
ConnectionCounts QuicConnections(const quillnet::CaptureStatistics &statistics);

uint64_t DroppedFrames(const quillnet::CaptureStatistics &statistics);
// "1 frame", "N frames".
std::string FrameCount(uint64_t frames);
bool EndedByReadError(const quillnet::CaptureStatistics &statistics);
// pcap's reason for a read error, never empty.
std::string ReadErrorText(const quillnet::CaptureStatistics &statistics);

// "Dropped: N frames", "TLS D/S decrypted" and "QUIC D/S decrypted" (each
// followed by ", E evicted" when some were) joined by commas, the connections
// only when some were seen; empty when there is none of them.
std::string StatisticsStatus(const quillnet::CaptureStatistics &statistics);

inline constexpr int kWholeFilePermille = 1000;

// How much of a capture file has been read, 0 to 1000; nothing for a device or
// a pipe, whose size is not known.
std::optional<int> ReadPermille(const quillnet::CaptureStatistics &statistics);

// How far a capture has come, `elapsed` after its start: for a capture file of
// known size "42%", with ", 1:23 left" once the rest can be estimated; for a
// device or a pipe "N frames, 0:42".
std::string ProgressStatus(const quillnet::CaptureStatistics &statistics, std::chrono::steady_clock::duration elapsed);

}
