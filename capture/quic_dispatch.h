// HTTP/3 through the browser's key log: QUIC connections are followed from
// the capture's UDP datagrams, and the GETs of those that speak HTTP/3 are
// reported with https URLs, as those of HTTP/2 are.
#pragma once

#include <cstdint>
#include <string>

#include "frame_dispatch.h"
#include "records.h"

namespace quillnet {

// Starts over for a new capture, reading keys from `keyLogPath` ("" for none).
void ResetQuic(const std::string &keyLogPath);

// A UDP datagram captured at `time` (microseconds, or kTimeOfHandling). True
// when it belongs to a QUIC connection being followed, or starts one.
bool HandleQuicDatagram(const Frame &frame, uint64_t time);

// At the end of a capture: a last look at the key log, then every connection ends.
void FinishQuic(HWND window);

// The QUIC counts of the capture so far, as the statistics record carries them.
void FillQuicCounts(CaptureStatistics &statistics);

}
