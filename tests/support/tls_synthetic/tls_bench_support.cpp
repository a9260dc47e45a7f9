#include "tls_bench_support.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "synthetic_tls.h"
#include "tls_tracker.h"

namespace quillnet::tls {

namespace {

constexpr size_t kRecordSize = 1400;
constexpr size_t kTls13Overhead = kRecordHeaderLength + 1 + kTagLength;
constexpr size_t kConnections = 12;
constexpr size_t kRecordsPerConnection = 1500;
constexpr uint16_t kSuites[] = {0x1301, 0x1302, 0x1303};

struct OwnedSegment {
    Flow flow;
    uint32_t sequence;
    uint32_t acknowledgement;
    std::string payload;
};

class CountingSink : public PlaintextSink {
public:
    void onPlaintext(const Flow &, uint64_t, ByteView bytes) override { plaintext += bytes.size(); }
    void onHttp2Exchange(const Flow &, std::string_view, std::string_view, std::string_view, std::string_view,
                         const RequestHeaders &) override
    {
    }
    uint64_t plaintext = 0;
};

// One connection's segments: the handshake, a request, then the answer in records of kRecordSize.
void addConnection(size_t index, std::vector<OwnedSegment> &segments, std::string &keyLog)
{
    SyntheticTls tls(kTls13, kSuites[index % std::size(kSuites)], "http/1.1", static_cast<uint8_t>(index));
    keyLog += tls.keyLog();
    const Flow client{IpAddress::v4({192, 168, 1, 20}), IpAddress::v4({10, 0, 0, 5}),
                      static_cast<uint16_t>(50000 + index), 443};
    uint32_t clientNext = 1000;
    uint32_t serverNext = 90000;
    const auto add = [&](bool fromClient, std::string payload) {
        uint32_t &next = fromClient ? clientNext : serverNext;
        segments.push_back({fromClient ? client : client.reversed(), next, fromClient ? serverNext : clientNext,
                            std::move(payload)});
        next += static_cast<uint32_t>(segments.back().payload.size());
    };
    add(true, tls.clientHello());
    add(false, tls.serverHandshake());
    std::string request = tls.clientFinished();
    request += tls.application(true, "GET /video.mp4 HTTP/1.1\r\nHost: media.example\r\n\r\n");
    add(true, request);
    const std::string body(kRecordSize - kTls13Overhead, 'v');
    for (size_t i = 0; i < kRecordsPerConnection; ++i)
        add(false, tls.application(false, body));
}

}

DecryptionBenchResult RunDecryptionBench(size_t frames)
{
    std::vector<OwnedSegment> segments;
    std::string keyLog;
    for (size_t i = 0; i < kConnections; ++i)
        addConnection(i, segments, keyLog);

    const TemporaryKeyLog keyLogFile(keyLog);
    DecryptionBenchResult result;
    if (!keyLogFile.path().empty()) {
        CountingSink sink;
        const auto start = std::chrono::steady_clock::now();
        while (result.frames < frames) {
            // The same connections again, as new ones to a new tracker.
            TlsTracker tracker(keyLogFile.path());
            for (const OwnedSegment &segment : segments) {
                tracker.handleSegment({segment.flow, segment.sequence, segment.acknowledgement, kTcpAck,
                                       ByteView(segment.payload)},
                                      sink);
                result.bytes += segment.payload.size();
            }
            tracker.finish(sink);
            result.frames += segments.size();
        }
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.plaintext = sink.plaintext;
    }
    return result;
}

}
