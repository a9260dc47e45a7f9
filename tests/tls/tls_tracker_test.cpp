// HTTPS decryption end to end: the TCP segments of real TLS 1.2 and 1.3
// connections (tests/tls/make_fixtures.py) and of the RFC 8448 trace, with
// their key logs, through the tracker to the plaintext and HTTP/2 exchanges.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "http2.h"
#include "temporary_directory.h"
#include "tls_transcript.h"

using namespace quillnet;
using namespace quillnet::tls;
using namespace testing_support;

namespace {

constexpr size_t kSegmentSize = 1000;

const std::vector<Http2Exchange> kFixtureExchanges{
    {"media.example", "/live/index.m3u8", "200", "application/vnd.apple.mpegurl"},
    {"media.example", "/video/seg1.mp4", "200", "video/mp4"},
};

// Compares long byte strings without printing them whole.
::testing::AssertionResult SameBytes(const std::string &actual, const std::string &expected)
{
    if (actual == expected)
        return ::testing::AssertionSuccess();
    const auto differ = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    return ::testing::AssertionFailure() << actual.size() << " bytes where " << expected.size()
                                         << " were expected, first difference at "
                                         << (differ.first - actual.begin());
}

struct Fixture {
    const char *name;
    bool http2;
};

void PrintTo(const Fixture &fixture, std::ostream *out)
{
    *out << fixture.name;
}

// The client's first segment, then every segment of the server, then the client's others.
std::vector<TestSegment> serverSegmentsFirst(const std::vector<TestSegment> &segments)
{
    std::vector<TestSegment> reordered{segments.front()};
    std::copy_if(segments.begin(), segments.end(), std::back_inserter(reordered),
                 [](const TestSegment &s) { return !(s.flow == kClientToServer); });
    std::copy_if(segments.begin() + 1, segments.end(), std::back_inserter(reordered),
                 [](const TestSegment &s) { return s.flow == kClientToServer; });
    return reordered;
}

class EachVersionAndCipher : public ::testing::TestWithParam<Fixture> {};

TEST_P(EachVersionAndCipher, DecryptsWhatTheApplicationsSent)
{
    const Transcript transcript = LoadTranscript(GetParam().name);
    ASSERT_FALSE(transcript.chunks.empty()) << "fixture missing";
    TlsTracker tracker(transcript.keyLog);
    RecordingSink sink;
    for (const TestSegment &segment : SegmentsOf(transcript, kSegmentSize))
        EXPECT_TRUE(tracker.handleSegment(segment.view(), sink));
    tracker.finish(sink);

    if (GetParam().http2) {
        EXPECT_EQ(sink.exchanges, kFixtureExchanges); // the POST is not among them
        ASSERT_FALSE(sink.exchangeFlows.empty());
        EXPECT_EQ(sink.exchangeFlows.front(), kClientToServer);
        const std::string userAgent{"\x01\x00\x07\x00" "fixture", 11}; // the header record of user-agent: fixture
        EXPECT_EQ(sink.exchangeHeaders.front(), userAgent);
        EXPECT_EQ(sink.plaintext(kClientToServer), "");
    } else {
        EXPECT_TRUE(SameBytes(sink.plaintext(kClientToServer), transcript.clientPlaintext));
        EXPECT_TRUE(SameBytes(sink.plaintext(kClientToServer.reversed()), transcript.serverPlaintext));
        EXPECT_TRUE(sink.offsetsInOrder);
    }
    const Counts counts = tracker.counts();
    EXPECT_EQ(counts.seen, 1u);
    EXPECT_EQ(counts.decrypted, 1u);
    EXPECT_EQ(counts.withoutKeys, 0u);
    EXPECT_EQ(counts.undecryptable, 0u);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EachVersionAndCipher,
                         ::testing::Values(Fixture{"rfc8448_simple", false}, Fixture{"tls12_aes128gcm_http1", false},
                                           Fixture{"tls12_aes256gcm_http1", false}, Fixture{"tls12_chacha20_h2", true},
                                           Fixture{"tls13_aes128gcm_h2", true},
                                           Fixture{"tls13_aes256gcm_keyupdate", false},
                                           Fixture{"tls13_chacha20_http1", false}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(TlsTracker, RetransmittedAndReorderedSegmentsGiveTheSameBytes)
{
    const Transcript transcript = LoadTranscript("tls13_chacha20_http1");
    std::vector<TestSegment> segments = SegmentsOf(transcript, 300);
    ASSERT_GT(segments.size(), 20u);
    // Swap neighbours after the ClientHello (the server's first segment comes
    // before the one it follows), repeat every third segment and send one
    // segment again cut across its start.
    for (size_t i = 1; i + 1 < segments.size(); i += 3)
        std::swap(segments[i], segments[i + 1]);
    std::vector<TestSegment> shaken;
    for (size_t i = 0; i < segments.size(); ++i) {
        shaken.push_back(segments[i]);
        if (i % 3 == 0)
            shaken.push_back(segments[i]);
    }
    TestSegment overlapping = segments[10];
    overlapping.sequence -= 100;
    overlapping.payload = std::string(100, 'x') + overlapping.payload;
    shaken.insert(shaken.begin() + 14, overlapping);

    TlsTracker tracker(transcript.keyLog);
    RecordingSink sink;
    Feed(tracker, shaken, sink);
    EXPECT_TRUE(SameBytes(sink.plaintext(kClientToServer), transcript.clientPlaintext));
    EXPECT_TRUE(SameBytes(sink.plaintext(kClientToServer.reversed()), transcript.serverPlaintext));
    EXPECT_TRUE(sink.offsetsInOrder);

    // A segment lost for good: the bytes behind it are held until their bound, then the connection is given up.
    TlsTracker lossy(transcript.keyLog);
    RecordingSink lossySink;
    std::vector<TestSegment> lost = SegmentsOf(transcript, 300);
    const auto firstServerData =
        std::find_if(lost.begin() + 8, lost.end(), [](const TestSegment &s) { return !(s.flow == kClientToServer); });
    ASSERT_NE(firstServerData, lost.end());
    lost.erase(firstServerData);
    Feed(lossy, lost, lossySink);
    lossy.finish(lossySink);
    EXPECT_EQ(lossySink.plaintext(kClientToServer.reversed()), "");
    EXPECT_EQ(lossy.counts().undecryptable, 1u);
}

TEST(TlsTracker, KeysWrittenAfterTheFirstRecordsStillOpenThem)
{
    const TemporaryDirectory folder;
    const std::string keyLog = folder.file("keys.log");
    for (const char *name : {"tls12_aes256gcm_http1", "tls13_aes128gcm_h2"}) {
        SCOPED_TRACE(name);
        const Transcript transcript = LoadTranscript(name);
        const std::string lines = ReadWholeFile(transcript.keyLog);
        WriteWholeFile(keyLog, "# keys come later\n");
        TlsTracker tracker(keyLog);
        RecordingSink sink;
        const std::vector<TestSegment> segments = SegmentsOf(transcript, kSegmentSize);
        const size_t half = segments.size() / 2;
        Feed(tracker, {segments.begin(), segments.begin() + static_cast<ptrdiff_t>(half)}, sink);
        EXPECT_EQ(tracker.counts().decrypted, 0u);

        // The browser writes its lines while the capture goes on; a line counts once whole.
        const size_t cut = lines.size() - 20;
        std::ofstream(keyLog, std::ios::app) << lines.substr(0, cut);
        Feed(tracker, {segments.begin() + static_cast<ptrdiff_t>(half), segments.end() - 1}, sink);
        std::ofstream(keyLog, std::ios::app) << lines.substr(cut);
        Feed(tracker, {segments.end() - 1, segments.end()}, sink);
        tracker.finish(sink);

        if (std::string(name).find("h2") != std::string::npos)
            EXPECT_EQ(sink.exchanges, kFixtureExchanges);
        else
            EXPECT_TRUE(SameBytes(sink.plaintext(kClientToServer.reversed()), transcript.serverPlaintext));
        EXPECT_EQ(tracker.counts().decrypted, 1u);
        EXPECT_EQ(tracker.counts().withoutKeys, 0u);
    }
}

TEST(TlsTracker, KeysThatArriveForAnIdleConnectionOpenItWhenAnotherOneReadsTheLog)
{
    const TemporaryDirectory folder;
    const std::string keyLog = folder.file("keys.log");
    WriteWholeFile(keyLog, "");
    const Transcript idle = LoadTranscript("tls13_aes128gcm_h2");
    const Transcript busy = LoadTranscript("tls12_aes128gcm_http1");
    TlsTracker tracker(keyLog);
    RecordingSink sink;
    Feed(tracker, SegmentsOf(idle, kSegmentSize), sink);
    EXPECT_TRUE(sink.exchanges.empty());

    std::ofstream(keyLog, std::ios::app) << ReadWholeFile(idle.keyLog) << ReadWholeFile(busy.keyLog);
    Flow other = kClientToServer;
    other.sourcePort += 1;
    Feed(tracker, SegmentsOf(busy, kSegmentSize, other), sink);
    EXPECT_EQ(sink.exchanges, kFixtureExchanges) << "not before the end of the capture";
    EXPECT_EQ(tracker.counts().decrypted, 2u);
}

TEST(TlsTracker, Tls13OpensWithTheTrafficSecretsAlone)
{
    // Without the handshake secrets the ALPN stays hidden: the client's first bytes tell HTTP/2.
    const TemporaryDirectory folder;
    const Transcript transcript = LoadTranscript("tls13_aes128gcm_h2");
    std::istringstream lines(ReadWholeFile(transcript.keyLog));
    std::string trafficOnly;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("_TRAFFIC_SECRET_0 ") != std::string::npos)
            trafficOnly += line + "\n";
    }
    WriteWholeFile(folder.file("keys.log"), trafficOnly);
    TlsTracker tracker(folder.file("keys.log"));
    RecordingSink sink;
    Feed(tracker, SegmentsOf(transcript, kSegmentSize), sink);
    tracker.finish(sink);
    EXPECT_EQ(sink.exchanges, kFixtureExchanges);
    EXPECT_EQ(tracker.counts().undecryptable, 0u);

    // The server's SETTINGS may be read before the client's preface.
    const std::vector<TestSegment> segments = SegmentsOf(transcript, kSegmentSize);
    const std::vector<TestSegment> serverFirst = serverSegmentsFirst(segments);
    TlsTracker serverFirstTracker(folder.file("keys.log"));
    RecordingSink serverFirstSink;
    Feed(serverFirstTracker, serverFirst, serverFirstSink);
    EXPECT_EQ(serverFirstSink.exchanges, kFixtureExchanges);
}

TEST(TlsTracker, ConnectionsWithoutKeysAreCountedAtTheirBoundOrAtTheEnd)
{
    const TemporaryDirectory folder;
    const std::string emptyLog = folder.file("empty.log");
    WriteWholeFile(emptyLog, "");
    const Transcript transcript = LoadTranscript("tls12_aes128gcm_http1");
    const std::vector<TestSegment> segments = SegmentsOf(transcript, kSegmentSize);

    TlsTracker waiting(emptyLog);
    RecordingSink sink;
    Feed(waiting, segments, sink);
    EXPECT_EQ(waiting.counts().withoutKeys, 0u) << "still waiting for keys";
    waiting.finish(sink);
    EXPECT_EQ(waiting.counts().seen, 1u);
    EXPECT_EQ(waiting.counts().withoutKeys, 1u);
    EXPECT_EQ(sink.plaintext(kClientToServer.reversed()), "");

    // More records than a connection may keep: counted before the end, and its further segments are still its own.
    TlsTracker bounded(emptyLog);
    std::vector<TestSegment> many = segments;
    TestSegment next = many.back();
    next.sequence += static_cast<uint32_t>(next.payload.size());
    next.payload.assign(kSegmentSize, '\x17');
    for (int i = 0; i < 80; ++i) {
        many.push_back(next);
        next.sequence += static_cast<uint32_t>(next.payload.size());
    }
    Feed(bounded, many, sink);
    EXPECT_EQ(bounded.counts().withoutKeys, 1u);
    EXPECT_TRUE(bounded.handleSegment(many.back().view(), sink));

    // No key log at all: counted at the ClientHello, and never taken for plaintext HTTP.
    TlsTracker none("");
    for (const TestSegment &segment : segments)
        EXPECT_TRUE(none.handleSegment(segment.view(), sink));
    EXPECT_EQ(none.counts().seen, 1u);
    EXPECT_EQ(none.counts().withoutKeys, 1u);
    none.finish(sink);
    EXPECT_EQ(none.counts().withoutKeys, 1u);
}

TEST(TlsTracker, RecordsThatCannotBeOpenedEndTheirConnection)
{
    // A flipped ciphertext byte in the server's answer: authentication fails there.
    const Transcript transcript = LoadTranscript("tls12_aes128gcm_http1");
    std::vector<TestSegment> segments = SegmentsOf(transcript, kSegmentSize);
    TestSegment &last = segments.back();
    ASSERT_FALSE(last.flow == kClientToServer);
    last.payload[last.payload.size() / 2] ^= 0x01;
    TlsTracker tracker(transcript.keyLog);
    RecordingSink sink;
    Feed(tracker, segments, sink);
    tracker.finish(sink);
    EXPECT_TRUE(SameBytes(sink.plaintext(kClientToServer), transcript.clientPlaintext));
    EXPECT_LT(sink.plaintext(kClientToServer.reversed()).size(), transcript.serverPlaintext.size());
    EXPECT_EQ(tracker.counts().decrypted, 0u) << "what was lost outweighs what was opened";
    EXPECT_EQ(tracker.counts().undecryptable, 1u);

    // A CBC suite is not guessed at, though its keys are in the log.
    const Transcript cbc = LoadTranscript("tls12_cbc_http1");
    TlsTracker cbcTracker(cbc.keyLog);
    RecordingSink cbcSink;
    Feed(cbcTracker, SegmentsOf(cbc, kSegmentSize), cbcSink);
    cbcTracker.finish(cbcSink);
    EXPECT_EQ(cbcSink.plaintext(kClientToServer), "");
    EXPECT_EQ(cbcTracker.counts().seen, 1u);
    EXPECT_EQ(cbcTracker.counts().decrypted, 0u);
    EXPECT_EQ(cbcTracker.counts().undecryptable, 1u);
}

TEST(TlsTracker, Http2AnswersReadBeforeTheirRequestsArePairedByStream)
{
    const Transcript transcript = LoadTranscript("tls13_aes128gcm_h2");
    const std::vector<TestSegment> segments = SegmentsOf(transcript, kSegmentSize);
    const std::vector<TestSegment> serverFirst = serverSegmentsFirst(segments);
    TlsTracker tracker(transcript.keyLog);
    RecordingSink sink;
    Feed(tracker, serverFirst, sink);
    EXPECT_EQ(sink.exchanges, kFixtureExchanges);
}

TEST(Http2Connection, APromiseWhoseHeaderBlockGoesOnInAContinuationLeavesTheConnectionReadable)
{
    const auto frame = [](uint8_t type, uint8_t flags, uint32_t stream, std::string payload) {
        const std::string header{static_cast<char>(payload.size() >> 16), static_cast<char>(payload.size() >> 8),
                                 static_cast<char>(payload.size()),       static_cast<char>(type),
                                 static_cast<char>(flags),                static_cast<char>(stream >> 24),
                                 static_cast<char>(stream >> 16),         static_cast<char>(stream >> 8),
                                 static_cast<char>(stream)};
        return header + payload;
    };
    const auto feed = [](Http2Connection &connection, bool fromClient, const std::string &bytes, PlaintextSink &sink) {
        return connection.feed(fromClient, ByteView(std::string_view(bytes)), sink);
    };
    constexpr uint8_t kHeaders = 1, kPushPromise = 5, kContinuation = 9, kEndStream = 1, kEndHeaders = 4;
    Http2Connection connection(kClientToServer, "a.example");
    RecordingSink sink;
    // GET / on stream 1 (HPACK: GET, https, "/", :authority a.example).
    const std::string request = frame(kHeaders, kEndStream | kEndHeaders, 1, "\x82\x87\x84\x41\x09" "a.example");
    ASSERT_TRUE(feed(connection, true, "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n" + request, sink));
    // The server promises stream 2 on stream 1, and the block goes on in a CONTINUATION on stream 1.
    const std::string promise = frame(kPushPromise, 0, 1, std::string("\0\0\0\x02\x82\x87", 6)) +
                                frame(kContinuation, kEndHeaders, 1, "\x04\x03/v1\x41\x09" "a.example");
    EXPECT_TRUE(feed(connection, false, promise, sink));
    EXPECT_TRUE(feed(connection, false, frame(kHeaders, kEndHeaders, 1, "\x88"), sink)); // :status 200
    EXPECT_EQ(sink.exchanges, (std::vector<Http2Exchange>{{"a.example", "/", "200", ""}}));
}

TEST(TlsTracker, OtherTrafficIsNotTaken)
{
    const Transcript transcript = LoadTranscript("tls13_chacha20_http1");
    TlsTracker tracker(transcript.keyLog);
    RecordingSink sink;
    const std::string get = "GET /v.flv HTTP/1.1\r\nHost: example\r\n\r\n";
    const Flow plainHttp{kClientToServer.source, kClientToServer.dest, 51001, 80};
    EXPECT_FALSE(tracker.handleSegment({plainHttp, 1, 1, kTcpAck, ByteView(get)}, sink));
    const std::vector<TestSegment> segments = SegmentsOf(transcript, kSegmentSize);
    Feed(tracker, segments, sink);
    EXPECT_FALSE(tracker.handleSegment({plainHttp, 1, 1, kTcpAck, ByteView(get)}, sink));
    // Closed from both sides: its addresses are free for what comes next.
    TestSegment fin = segments.back();
    fin.flags |= kTcpFin;
    fin.payload.clear();
    tracker.handleSegment(fin.view(), sink);
    tracker.handleSegment({kClientToServer, segments.front().sequence + 5000, 0, kTcpAck | kTcpFin, {}}, sink);
    EXPECT_FALSE(tracker.handleSegment({kClientToServer, 1, 1, kTcpAck, ByteView(get)}, sink));
    EXPECT_EQ(tracker.counts().decrypted, 1u);
    EXPECT_EQ(tracker.counts().withoutKeys + tracker.counts().undecryptable, 0u);
}

}
