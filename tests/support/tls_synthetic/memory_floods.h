// Traffic made to push the TLS tracker's memory, for the tests of its bounds
// and the benchmark: connections whose keys never come, each with records
// waiting, and HTTP/2 connections whose peers announce a huge header table,
// fill it and open streams that are never answered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "tls_tracker.h"

namespace quillnet::tls {

enum class FloodKind {
    kWaitingForKeys, // TLS 1.3 without keys; the server's records wait
    kHttp2,          // TLS 1.3 with keys, carrying HTTP/2
};

struct FloodShape {
    FloodKind kind = FloodKind::kWaitingForKeys;
    size_t connections = 0;
    size_t waitingBytes = 60000; // kWaitingForKeys: the records that wait, per connection
    size_t streams = 600;        // kHttp2: streams with an 8 KB path that are never answered
    size_t tableFills = 40;      // kHttp2: 60 KB header fields the server adds to its table
    size_t serverTableSize = 64 * 1024; // kHttp2: the table the server's encoder takes, of the 4 GB allowed
};

struct FloodResult {
    uint64_t frames = 0;
    uint64_t bytes = 0;
    size_t peakHeapBytes = 0; // the most the heap held in use, after any connection's segments
    Counts counts;
    double seconds = 0;
};

// Feeds the flood, one connection after the other, through a tracker whose
// key log has the keys of the HTTP/2 connections; `afterEachConnection` sees
// the tracker after each. The counts are those after finish().
FloodResult RunFlood(const FloodShape &shape,
                     const std::function<void(const TlsTracker &)> &afterEachConnection = {});

}
