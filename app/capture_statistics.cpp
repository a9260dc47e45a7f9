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
constexpr int kPercent = 100;
// A rate taken over less is too unsteady to tell the time left by.
constexpr std::chrono::seconds kFirstEstimateAfter(2);
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kSecondsPerHour = 3600;
constexpr int64_t kFirstTwoDigitNumber = 10;

// "0:42", "12:05", "1:02:03".
std::string durationText(std::chrono::steady_clock::duration duration)
{
    const int64_t total = std::chrono::duration_cast<std::chrono::seconds>(duration).count();
    const auto twoDigits = [](int64_t value) {
        return (value < kFirstTwoDigitNumber ? "0" : "") + std::to_string(value);
    };
    const int64_t hours = total / kSecondsPerHour;
    const int64_t minutes = total / kSecondsPerMinute % kSecondsPerMinute;
    const std::string seconds = twoDigits(total % kSecondsPerMinute);
    if (hours == 0)
        return std::to_string(minutes) + ':' + seconds;
    return std::to_string(hours) + ':' + twoDigits(minutes) + ':' + seconds;
}

// At the rate read so far.
std::optional<std::chrono::steady_clock::duration> timeLeft(const quillnet::CaptureStatistics &statistics,
                                                             std::chrono::steady_clock::duration elapsed)
{
    if (elapsed < kFirstEstimateAfter || statistics.bytesRead == 0 || statistics.bytesRead >= statistics.bytesTotal)
        return std::nullopt;
    const double rest = static_cast<double>(statistics.bytesTotal - statistics.bytesRead) /
                        static_cast<double>(statistics.bytesRead);
    const auto left = std::chrono::duration_cast<std::chrono::steady_clock::duration>(elapsed * rest);
    // Rounded up, so that the last second still shows as one.
    return std::chrono::ceil<std::chrono::seconds>(left);
}

// "TLS D/S decrypted", ", E evicted" when some were; empty when none was seen.
std::string connectionStatus(const char *protocol, const ConnectionCounts &counts)
{
    if (counts.seen == 0)
        return {};
    std::string status = std::string(protocol) + " " + std::to_string(counts.decrypted) + "/" +
                         std::to_string(counts.seen) + " decrypted";
    if (counts.evicted != 0)
        status += kStatusSeparator + std::to_string(counts.evicted) + " evicted";
    return status;
}

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

ConnectionCounts TlsConnections(const quillnet::CaptureStatistics &statistics)
{
    return {statistics.tlsConnectionsSeen, statistics.tlsConnectionsDecrypted, statistics.tlsConnectionsWithoutKeys,
            statistics.tlsConnectionsUndecryptable, statistics.tlsConnectionsEvicted};
}

ConnectionCounts QuicConnections(const quillnet::CaptureStatistics &statistics)
{
    return {statistics.quicConnectionsSeen, statistics.quicConnectionsDecrypted,
            statistics.quicConnectionsWithoutKeys, statistics.quicConnectionsUndecryptable,
            statistics.quicConnectionsEvicted};
}

std::string StatisticsStatus(const quillnet::CaptureStatistics &statistics)
{
    std::string status;
    const uint64_t dropped = DroppedFrames(statistics);
    for (const std::string &part : {dropped == 0 ? std::string() : "Dropped: " + FrameCount(dropped),
                                    connectionStatus("TLS", TlsConnections(statistics)),
                                    connectionStatus("QUIC", QuicConnections(statistics))}) {
        if (part.empty())
            continue;
        if (!status.empty())
            status += kStatusSeparator;
        status += part;
    }
    return status;
}

std::optional<int> ReadPermille(const quillnet::CaptureStatistics &statistics)
{
    if (statistics.bytesTotal == 0)
        return std::nullopt;
    if (statistics.bytesRead >= statistics.bytesTotal)
        return kWholeFilePermille;
    return static_cast<int>(static_cast<double>(statistics.bytesRead) * kWholeFilePermille /
                            static_cast<double>(statistics.bytesTotal));
}

std::string ProgressStatus(const quillnet::CaptureStatistics &statistics, std::chrono::steady_clock::duration elapsed)
{
    const std::optional<int> permille = ReadPermille(statistics);
    if (!permille)
        return FrameCount(statistics.framesReceived) + kStatusSeparator + durationText(elapsed);
    std::string status = std::to_string(*permille * kPercent / kWholeFilePermille) + '%';
    if (const auto left = timeLeft(statistics, elapsed))
        status += kStatusSeparator + durationText(*left) + " left";
    return status;
}

}
