#include "memory_floods.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <vector>

#include "synthetic_tls.h"

namespace quillnet::tls {

namespace {

constexpr uint16_t kSuite = 0x1301;
constexpr size_t kSegmentSize = 16384;
constexpr size_t kPathLength = 8000;
constexpr size_t kFillLength = 60000;
constexpr uint32_t kHugeTableSize = 0xFFFFFFFF;
constexpr uint32_t kServerTableSize = 65536;

enum : uint8_t { kHeadersFrame = 1, kSettingsFrame = 4 };
constexpr uint8_t kEndStreamAndHeaders = 0x05;
constexpr uint8_t kEndHeaders = 0x04;
constexpr uint16_t kHeaderTableSizeSetting = 1;
constexpr std::string_view kPreface = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";

// HPACK fields (RFC 7541): static entries, and literals added to the table.
constexpr char kMethodGet = '\x82';
constexpr char kSchemeHttps = '\x87';
constexpr char kStatus200 = '\x88';
constexpr size_t kAuthorityName = 1;
constexpr size_t kPathName = 4;
constexpr size_t kFirstDynamicIndex = 62;

std::string bigEndian(uint64_t value, size_t length)
{
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i)
        bytes[length - 1 - i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

std::string hpackInteger(uint8_t flags, int prefixBits, size_t value)
{
    const size_t limit = (size_t{1} << prefixBits) - 1;
    if (value < limit)
        return std::string(1, static_cast<char>(flags | value));
    std::string bytes(1, static_cast<char>(flags | limit));
    for (value -= limit; value >= 128; value /= 128)
        bytes += static_cast<char>(value % 128 + 128);
    return bytes + static_cast<char>(value);
}

std::string hpackString(std::string_view text)
{
    return hpackInteger(0, 7, text.size()) + std::string(text);
}

// A literal with incremental indexing: under a static name, or a new one.
std::string indexedLiteral(size_t nameIndex, std::string_view value)
{
    return hpackInteger(0x40, 6, nameIndex) + hpackString(value);
}

std::string indexedLiteral(std::string_view name, std::string_view value)
{
    return hpackInteger(0x40, 6, 0) + hpackString(name) + hpackString(value);
}

// An encoder takes a larger table than the default only once it said so.
std::string tableSizeUpdate(size_t size)
{
    return hpackInteger(0x20, 5, size);
}

std::string h2Frame(uint8_t type, uint8_t flags, uint32_t stream, std::string_view payload)
{
    return bigEndian(payload.size(), 3) + static_cast<char>(type) + static_cast<char>(flags) + bigEndian(stream, 4) +
           std::string(payload);
}

std::string tableSizeSetting(uint32_t size)
{
    return h2Frame(kSettingsFrame, 0, 0, bigEndian(kHeaderTableSizeSetting, 2) + bigEndian(size, 4));
}

// One connection's segments, each acknowledging all the other side sent before.
class ConnectionWriter {
public:
    explicit ConnectionWriter(size_t index)
        : client_{IpAddress::v4({192, 168, static_cast<uint8_t>(index / kPortsPerAddress), 20}),
                  IpAddress::v4({10, 0, 0, 5}), static_cast<uint16_t>(kFirstPort + index % kPortsPerAddress), 443}
    {
    }

    void add(bool fromClient, const std::string &bytes)
    {
        for (size_t offset = 0; offset < bytes.size(); offset += kSegmentSize) {
            uint32_t &next = fromClient ? clientNext_ : serverNext_;
            const std::string &payload = payloads_.emplace_back(bytes.substr(offset, kSegmentSize));
            segments_.push_back({fromClient ? client_ : client_.reversed(), next,
                                 fromClient ? serverNext_ : clientNext_, kTcpAck, ByteView(payload)});
            next += static_cast<uint32_t>(payload.size());
        }
    }

    const std::vector<Segment> &segments() const { return segments_; }

private:
    static constexpr size_t kPortsPerAddress = 50000;
    static constexpr size_t kFirstPort = 10000;

    std::deque<std::string> payloads_; // where the segments point: a deque does not move them
    std::vector<Segment> segments_;
    Flow client_;
    uint32_t clientNext_ = 1000;
    uint32_t serverNext_ = 90000;
};

void waitingConnection(size_t index, const FloodShape &shape, ConnectionWriter &writer)
{
    SyntheticTls tls(kTls13, kSuite, "h2", static_cast<uint8_t>(index));
    writer.add(true, tls.clientHello());
    writer.add(false, tls.serverHandshake());
    writer.add(false, tls.application(false, std::string(shape.waitingBytes, 'w')));
}

void http2Connection(size_t index, const FloodShape &shape, ConnectionWriter &writer)
{
    SyntheticTls tls(kTls13, kSuite, "h2", static_cast<uint8_t>(index));
    writer.add(true, tls.clientHello());
    writer.add(false, tls.serverHandshake());
    // Sealed in this order: the application keys come with the client's Finished.
    std::string client = tls.clientFinished();
    client += tls.application(true, std::string(kPreface) + tableSizeSetting(kHugeTableSize));
    writer.add(true, client);
    std::string server = tableSizeSetting(kServerTableSize);
    for (size_t i = 0; i < shape.tableFills; ++i) {
        std::string block = i == 0 ? tableSizeUpdate(shape.serverTableSize) : std::string();
        block += std::string(1, kStatus200) +
                 indexedLiteral("x-fill-" + std::to_string(i), std::string(kFillLength, 'f'));
        server += h2Frame(kHeadersFrame, kEndHeaders, static_cast<uint32_t>(100001 + 2 * i), block);
    }
    writer.add(false, tls.application(false, server));
    // The first request puts its authority and path in the table; the others name them by index.
    std::string requests;
    for (size_t i = 0; i < shape.streams; ++i) {
        std::string block{kMethodGet, kSchemeHttps};
        if (i == 0)
            block = tableSizeUpdate(kServerTableSize) + block + indexedLiteral(kAuthorityName, "media.example") +
                     indexedLiteral(kPathName, "/" + std::string(kPathLength - 1, 'p'));
        else
            block += hpackInteger(0x80, 7, kFirstDynamicIndex + 1) + hpackInteger(0x80, 7, kFirstDynamicIndex);
        requests += h2Frame(kHeadersFrame, kEndStreamAndHeaders, static_cast<uint32_t>(1 + 2 * i), block);
    }
    writer.add(true, tls.application(true, requests));
}

class NullSink : public PlaintextSink {
public:
    void onPlaintext(const Flow &, uint64_t, ByteView) override {}
    void onHttp2Exchange(const Flow &, std::string_view, std::string_view, std::string_view, std::string_view,
                         const RequestHeaders &) override
    {
    }
};

}

FloodResult RunFlood(const FloodShape &shape, const std::function<void(const TlsTracker &)> &afterEachConnection)
{
    // The HTTP/2 connections' keys are known before any of their segments come.
    std::string keyLog;
    for (size_t i = 0; shape.kind == FloodKind::kHttp2 && i < shape.connections; ++i)
        keyLog += SyntheticTls(kTls13, kSuite, "h2", static_cast<uint8_t>(i)).keyLog();
    const TemporaryKeyLog keyLogFile(keyLog);
    FloodResult result;
    if (!keyLogFile.path().empty()) {
        TlsTracker tracker(keyLogFile.path());
        NullSink sink;
        const auto start = std::chrono::steady_clock::now();
        for (size_t i = 0; i < shape.connections; ++i) {
            ConnectionWriter writer(i);
            if (shape.kind == FloodKind::kHttp2)
                http2Connection(i, shape, writer);
            else
                waitingConnection(i, shape, writer);
            for (const Segment &segment : writer.segments()) {
                tracker.handleSegment(segment, sink);
                result.bytes += segment.payload.size();
            }
            result.frames += writer.segments().size();
            result.peakHeapBytes = std::max(result.peakHeapBytes, mallinfo2().uordblks);
            if (afterEachConnection)
                afterEachConnection(tracker);
        }
        tracker.finish(sink);
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.counts = tracker.counts();
    }
    return result;
}

}
