#include "capture_statistics.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "text.h"

namespace tarvolin {

namespace {

// pcap gives no text now and then; the user still learns that reading failed.
constexpr char kUnnamedReadError[] = "the capture could not be read further";
constexpr char kStatusSeparator[] = ", ";
// A library from before the eviction count sends the record without it.
constexpr size_t kShortestStatistics = offsetof(quillnet::CaptureStatistics, tlsConnectionsEvicted);

}

std::optional<quillnet::CaptureStatistics> ReadCaptureStatistics(const COPYDATASTRUCT &copy)
{
    if (copy.dwData != quillnet::kKindCaptureStatistics || !copy.lpData || copy.cbData < kShortestStatistics)
        return std::nullopt;
    quillnet::CaptureStatistics statistics{};
    // The sender's buffer need not be aligned.
    std::memcpy(&statistics, copy.lpData, std::min<size_t>(copy.cbData, sizeof statistics));
    return statistics;
}

uint64_t DroppedFrames(const quillnet::CaptureStatistics &statistics)
{
    return statistics.framesDroppedByKernel + statistics.framesDroppedByInterface;
}

std::string FrameCount(uint64_t frames)
{
    return std::to_string(frames) + (frames == 1 ? " frame" : " frames");
}

bool EndedByReadError(const quillnet::CaptureStatistics &statistics)
{
    return statistics.end == quillnet::kCaptureReadError;
}

std::string ReadErrorText(const quillnet::CaptureStatistics &statistics)
{
    const std::string_view text = Trim(FixedText(statistics.errorText, sizeof statistics.errorText));
    return text.empty() ? kUnnamedReadError : std::string(text);
}

std::string StatisticsStatus(const quillnet::CaptureStatistics &statistics)
{
    std::string status;
    if (const uint64_t dropped = DroppedFrames(statistics); dropped != 0)
        status = "Dropped: " + FrameCount(dropped);
    if (statistics.tlsConnectionsSeen == 0)
        return status;
    if (!status.empty())
        status += kStatusSeparator;
    status += "TLS " + std::to_string(statistics.tlsConnectionsDecrypted) + "/" +
              std::to_string(statistics.tlsConnectionsSeen) + " decrypted";
    if (statistics.tlsConnectionsEvicted == 0)
        return status;
    return status + kStatusSeparator + std::to_string(statistics.tlsConnectionsEvicted) + " evicted";
}

}
