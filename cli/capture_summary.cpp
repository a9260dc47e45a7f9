#include "capture_summary.h"

#include "capture_statistics.h"

namespace tarvolin::cli {

namespace {

// ", TLS connections: N seen, N decrypted, N without keys, N undecryptable, N evicted".
std::string connectionCounts(const char *protocol, const ConnectionCounts &counts)
{
    return std::string(", ") + protocol + " connections: " + std::to_string(counts.seen) + " seen, " +
           std::to_string(counts.decrypted) + " decrypted, " + std::to_string(counts.withoutKeys) +
           " without keys, " + std::to_string(counts.undecryptable) + " undecryptable, " +
           std::to_string(counts.evicted) + " evicted";
}

}

std::string CaptureSummary(const UrlStore &store, const char *programName)
{
    // Without a statistics record (a library that sends none) nothing is known to be lost.
    const quillnet::CaptureStatistics statistics = store.captureStatistics().value_or(quillnet::CaptureStatistics{});
    const uint64_t dropped = DroppedFrames(statistics);
    std::string summary = "Records: " + std::to_string(store.recordCount()) +
                          ", HTTP records: " + std::to_string(store.httpRecordCount()) +
                          ", media files: " + std::to_string(store.mediaCount()) +
                          ", dropped frames: " + std::to_string(dropped);
    for (const auto &[protocol, counts] :
         {std::pair{"TLS", TlsConnections(statistics)}, std::pair{"QUIC", QuicConnections(statistics)}}) {
        if (counts.seen != 0)
            summary += connectionCounts(protocol, counts);
    }
    summary += '\n';
    if (dropped != 0)
        summary += std::string(programName) + ": warning: " + FrameCount(dropped) + " dropped (kernel: " +
                   std::to_string(statistics.framesDroppedByKernel) +
                   ", interface: " + std::to_string(statistics.framesDroppedByInterface) +
                   "), so the list may be incomplete\n";
    return summary;
}

}
