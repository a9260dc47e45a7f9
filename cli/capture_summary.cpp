#include "capture_summary.h"

#include "capture_statistics.h"

namespace tarvolin::cli {

namespace {

std::string tlsCounts(const quillnet::CaptureStatistics &statistics)
{
    return ", TLS connections: " + std::to_string(statistics.tlsConnectionsSeen) + " seen, " +
           std::to_string(statistics.tlsConnectionsDecrypted) + " decrypted, " +
           std::to_string(statistics.tlsConnectionsWithoutKeys) + " without keys, " +
           std::to_string(statistics.tlsConnectionsUndecryptable) + " undecryptable, " +
           std::to_string(statistics.tlsConnectionsEvicted) + " evicted";
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
    if (statistics.tlsConnectionsSeen != 0)
        summary += tlsCounts(statistics);
    summary += '\n';
    if (dropped != 0)
        summary += std::string(programName) + ": warning: " + FrameCount(dropped) + " dropped (kernel: " +
                   std::to_string(statistics.framesDroppedByKernel) +
                   ", interface: " + std::to_string(statistics.framesDroppedByInterface) +
                   "), so the list may be incomplete\n";
    return summary;
}

}
