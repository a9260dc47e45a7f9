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

// The statistics a WM_COPYDATA record carries, tlsConnectionsEvicted 0 when the
// record ends before it; nothing for a record of another kind or one shorter.
std::optional<quillnet::CaptureStatistics> ReadCaptureStatistics(const COPYDATASTRUCT &copy);

uint64_t DroppedFrames(const quillnet::CaptureStatistics &statistics);
// "1 frame", "N frames".
std::string FrameCount(uint64_t frames);
bool EndedByReadError(const quillnet::CaptureStatistics &statistics);
// pcap's reason for a read error, never empty.
std::string ReadErrorText(const quillnet::CaptureStatistics &statistics);

// "Dropped: N frames", "TLS D/S decrypted" (", E evicted" when some were), both,
// or empty when neither frames were dropped nor TLS connections seen.
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
