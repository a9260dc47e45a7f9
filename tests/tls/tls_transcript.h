// The fixtures of make_fixtures.py as the TCP segments a capture would hold,
// and a sink that records what the tracker hands on.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tls_tracker.h"

namespace testing_support {

struct Transcript {
    struct Chunk {
        bool fromClient;
        std::string bytes;
    };
    std::vector<Chunk> chunks;
    std::string keyLog;           // path of the fixture's key log
    std::string clientPlaintext;  // what the client application sent
    std::string serverPlaintext;
};

// Loads tests/tls/data/<name>.*; chunks empty when the fixture is missing.
Transcript LoadTranscript(const std::string &name);

struct TestSegment {
    quillnet::Flow flow;
    uint32_t sequence;
    uint32_t acknowledgement;
    uint8_t flags;
    std::string payload;

    quillnet::tls::Segment view() const;
};

inline const quillnet::Flow kClientToServer{quillnet::IpAddress::v4({192, 168, 1, 20}),
                                            quillnet::IpAddress::v4({10, 0, 0, 5}), 51000, 443};

// The chunks cut into segments of at most `maxPayload` bytes, in the order the
// sides wrote them, each acknowledging all the other side sent before.
std::vector<TestSegment> SegmentsOf(const Transcript &transcript, size_t maxPayload,
                                    const quillnet::Flow &clientToServer = kClientToServer);

struct Http2Exchange {
    std::string authority, path, status, contentType;
    bool operator==(const Http2Exchange &) const = default;
};

class RecordingSink : public quillnet::tls::PlaintextSink {
public:
    void onPlaintext(const quillnet::Flow &flow, uint64_t streamOffset, quillnet::ByteView bytes) override;
    void onHttp2Exchange(const quillnet::Flow &clientToServer, std::string_view authority, std::string_view path,
                         std::string_view status, std::string_view contentType,
                         const quillnet::RequestHeaders &headers) override;

    std::string plaintext(const quillnet::Flow &flow) const;
    std::vector<Http2Exchange> exchanges;
    std::vector<quillnet::Flow> exchangeFlows;
    std::vector<std::string> exchangeHeaders; // each exchange's kind 112 record
    bool offsetsInOrder = true; // each delivery started where the last one of its direction ended

private:
    std::map<std::string, std::string> plaintext_;
};

void Feed(quillnet::tls::TlsTracker &tracker, const std::vector<TestSegment> &segments,
          quillnet::tls::PlaintextSink &sink);

}
