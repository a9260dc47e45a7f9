// UDP through the frame handler to the QUIC tracker and HTTP/3 above it: what
// reaches it over each link layer, what it leaves alone, the rows of
// decrypted HTTP/3, and the counts the statistics record carries.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "capture_file.h"
#include "capture_loop.h"
#include "frame_dispatch.h"
#include "http3_messages.h"
#include "https.h"
#include "quic_builder.h"
#include "quic_dispatch.h"
#include "quic_tracker.h"
#include "quillnet.h"
#include "recording_window.h"
#include "synthetic_tls.h"
#include "tls_tracker.h"
#include "udp_frames.h"

using namespace quillnet;
using namespace quic_testing;
using namespace testing_support;

namespace {

using Frames = std::vector<std::vector<uint8_t>>;

const Endpoint kBrowser{{192, 168, 1, 20}, 51000};
const Endpoint kServer{{203, 0, 113, 5}, 443};
const Endpoint6 kBrowser6{{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20}, 52000};
const Endpoint6 kServer6{{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x07}, 4433};

std::string_view textOf(const Bytes &bytes)
{
    return {reinterpret_cast<const char *>(bytes.data()), bytes.size()};
}

// Where one QUIC connection's datagrams travel: IPv4 or IPv6, in frames of one link layer.
struct Path {
    LinkLayer layer = LinkLayer::Ethernet;
    bool ipv6 = false;
    uint16_t clientPort = kBrowser.port;

    std::vector<uint8_t> frame(bool fromClient, const Bytes &datagram) const
    {
        Endpoint client = kBrowser;
        Endpoint6 client6 = kBrowser6;
        client.port = client6.port = clientPort;
        std::vector<uint8_t> ethernet;
        if (ipv6)
            ethernet = fromClient ? BuildUdpFrame6(client6, kServer6, datagram, true)
                                  : BuildUdpFrame6(kServer6, client6, datagram, true);
        else
            ethernet = fromClient ? BuildUdpFrame(client, kServer, datagram) : BuildUdpFrame(kServer, client, datagram);
        return Reencapsulate(ethernet, layer);
    }
};

// The Initial packets both ways, which anyone can open.
Frames handshake(Conversation &talk, const Path &path)
{
    return {path.frame(true, talk.clientInitial(0, CryptoFrame(0, talk.clientHello()))),
            path.frame(false, talk.serverInitial(0, Join({AckFrame(0), CryptoFrame(0, talk.serverHello())})))};
}

// A GET of `request` fields answered with `response` fields, each side opening its control stream first.
Frames http3Exchange(Conversation &talk, const Path &path, const Fields &request, const Fields &response)
{
    constexpr uint64_t kRequestStream = 0;
    constexpr uint64_t kClientControl = 2;
    constexpr uint64_t kServerControl = 3;
    const Bytes control = ControlStreamOpening();
    const Bytes answer = Join({LiteralHeaders(response), DataFrameStart(5), {'m', 'e', 'd', 'i', 'a'}});
    return {path.frame(true, talk.clientOneRtt(0, Join({StreamFrame(kClientControl, 0, textOf(control)),
                                                       StreamFrame(kRequestStream, 0,
                                                                   textOf(LiteralHeaders(request)), true)}))),
            path.frame(false, talk.serverOneRtt(0, Join({StreamFrame(kServerControl, 0, textOf(control)),
                                                        StreamFrame(kRequestStream, 0, textOf(answer), true)})))};
}

CaptureStatistics countsNow()
{
    const std::lock_guard guard(CaptureLock());
    CaptureStatistics statistics{};
    FillQuicCounts(statistics);
    FillTlsCounts(statistics);
    return statistics;
}

class QuicCaptureTest : public ::testing::Test {
protected:
    void SetUp() override { reset(""); }

    void reset(const std::string &keyLogPath)
    {
        const std::lock_guard guard(CaptureLock());
        ResetFrameState(keyLogPath);
    }

    void feed(const std::vector<uint8_t> &frame, LinkLayer layer = LinkLayer::Ethernet)
    {
        time += 1000;
        HandleFrame(window.handle(), LinkTypeOf(layer), frame.data(), static_cast<uint32_t>(frame.size()), time);
    }

    void feed(const Frames &frames, LinkLayer layer = LinkLayer::Ethernet)
    {
        for (const auto &frame : frames)
            feed(frame, layer);
    }

    void finish()
    {
        const std::lock_guard guard(CaptureLock());
        FinishFrameState(window.handle());
    }

    RecordingWindow window;
    uint64_t time = 1'700'000'000'000'000;
};

TEST_F(QuicCaptureTest, ConnectionsOverEachLinkLayerAndIpVersionAreCountedWithoutAKeyLog)
{
    const Path paths[] = {
        {LinkLayer::Ethernet, false, 40001},     {LinkLayer::OneVlanTag, true, 40002},
        {LinkLayer::TwoVlanTags, true, 40003},   {LinkLayer::TwoVlanTags, false, 40004},
        {LinkLayer::LinuxCooked, true, 40005},   {LinkLayer::LinuxCooked2, false, 40006},
    };
    uint64_t expected = 0;
    for (const Path &path : paths) {
        Conversation talk({.seed = static_cast<uint8_t>(10 + expected)});
        feed(handshake(talk, path), path.layer);
        ++expected;
        const CaptureStatistics counts = countsNow();
        EXPECT_EQ(counts.quicConnectionsSeen, expected)
            << "link type " << LinkTypeOf(path.layer) << " IPv6 " << path.ipv6;
        EXPECT_EQ(counts.quicConnectionsWithoutKeys, expected);
    }
    finish();
    const CaptureStatistics counts = countsNow();
    EXPECT_EQ(counts.quicConnectionsSeen, expected);
    EXPECT_EQ(counts.quicConnectionsWithoutKeys, expected);
    EXPECT_EQ(counts.quicConnectionsDecrypted + counts.quicConnectionsUndecryptable + counts.tlsConnectionsSeen, 0u);
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(QuicCaptureTest, UdpThatIsNotQuicChangesNothing)
{
    Bytes unknownVersion(1250, 0x11);
    unknownVersion[0] = 0xc3;
    unknownVersion[5] = 8; // an ID length as clients choose, then a version no one reads
    Bytes initialOfNoConnection = unknownVersion;
    initialOfNoConnection[1] = initialOfNoConnection[2] = initialOfNoConnection[3] = 0;
    initialOfNoConnection[4] = 1; // version 1, but it does not open under the keys its ID gives
    Bytes shortHeader(1300, 0x5a);
    shortHeader[0] = 0x43;
    std::vector<uint8_t> lengthTooShort = BuildUdpFrame(kBrowser, kServer, {1, 2, 3, 4});
    lengthTooShort[14 + 20 + 5] = 4; // a UDP length shorter than its header
    const Frames others = {BuildUdpFrame(kBrowser, {{192, 168, 1, 1}, 53}, {0x12, 0x34, 1, 0, 0, 1}),
                           BuildUdpFrame(kBrowser, kServer, unknownVersion),
                           BuildUdpFrame(kBrowser, kServer, initialOfNoConnection),
                           BuildUdpFrame6(kBrowser6, kServer6, shortHeader), lengthTooShort};

    feed(others);
    EXPECT_EQ(countsNow().quicConnectionsSeen, 0u);
    // The same while a connection is followed, whose datagrams the others might be taken for.
    Conversation talk({.seed = 3});
    feed(handshake(talk, Path{}));
    feed(others);
    finish();
    const CaptureStatistics counts = countsNow();
    EXPECT_EQ(counts.quicConnectionsSeen, 1u);
    EXPECT_EQ(counts.quicConnectionsWithoutKeys, 1u);
    EXPECT_EQ(counts.quicConnectionsUndecryptable, 0u);
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(QuicCaptureTest, BrokenHttp3MakesItsConnectionUndecryptableAndReadsNothingMore)
{
    Conversation talk({.seed = 4});
    const tls::TemporaryKeyLog keyLog(talk.keyLogLines());
    ASSERT_FALSE(keyLog.path().empty());
    reset(keyLog.path());
    feed(handshake(talk, Path{}));
    // SETTINGS whose only identifier is cut short.
    const Bytes brokenControl = Join({{0x00}, Http3Frame(0x04, {0x40})});
    feed(Path{}.frame(true, talk.clientOneRtt(0, StreamFrame(2, 0, textOf(brokenControl)))));
    const Fields request = {{":method", "GET"}, {":scheme", "https"}, {":authority", "media.example"},
                            {":path", "/after"}};
    feed(Path{}.frame(true, talk.clientOneRtt(1, StreamFrame(0, 0, textOf(LiteralHeaders(request)), true))));
    const Bytes answer = LiteralHeaders({{":status", "200"}});
    feed(Path{}.frame(false, talk.serverOneRtt(0, StreamFrame(0, 0, textOf(answer), true))));
    finish();
    const CaptureStatistics counts = countsNow();
    EXPECT_EQ(counts.quicConnectionsSeen, 1u);
    EXPECT_EQ(counts.quicConnectionsUndecryptable, 1u);
    EXPECT_EQ(counts.quicConnectionsDecrypted, 0u);
    EXPECT_TRUE(window.foundUrls().empty());
}

TEST_F(QuicCaptureTest, PacketsWhoseFixedBitIsGreasedAreRead)
{
    Conversation talk({.seed = 8});
    const tls::TemporaryKeyLog keyLog(talk.keyLogLines());
    ASSERT_FALSE(keyLog.path().empty());
    reset(keyLog.path());
    feed(handshake(talk, Path{}));
    talk.greaseFixedBit();
    const Fields request = {{":method", "GET"}, {":scheme", "https"}, {":authority", "media.example"},
                            {":path", "/greased.mp4"}};
    feed(http3Exchange(talk, Path{}, request, {{":status", "200"}, {"content-type", "video/mp4"}}));
    // Zeros after a packet pad its datagram, and are no packet that fails to open, however often they come.
    for (uint64_t number = 0; number < 20; ++number)
        feed(Path{}.frame(false, Join({talk.serverHandshake(number, {0x01}), Bytes(200, 0)})));
    finish();
    const auto urls = window.foundUrls();
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(urls[0].path, "/greased.mp4");
    EXPECT_EQ(countsNow().quicConnectionsDecrypted, 1u);
}

TEST(QuicCapture, Http3GetsFromACaptureFileBecomeHttpsRowsAndTheRecordCountsEachConnectionOnce)
{
    Conversation named({.seed = 5});
    Conversation unnamed({.seed = 6, .serverName = "cdn.example"});
    tls::SyntheticTls handshakeOnly(tls::kTls13, 0x1301, "h2", 7);
    const tls::TemporaryKeyLog keyLog(named.keyLogLines() + unnamed.keyLogLines() + handshakeOnly.keyLog());
    ASSERT_FALSE(keyLog.path().empty());

    const Fields request = {{":method", "GET"},       {":scheme", "https"},
                            {":authority", "media.example"}, {":path", "/v/clip.mp4?x=1"},
                            {"user-agent", "Quillfox/1.0"},  {"referer", "https://media.example/watch"},
                            {"cookie", "a=1"},               {"authorization", "Bearer secret"},
                            {"cookie", "b=2"}};
    const Fields noAuthority = {{":method", "GET"}, {":scheme", "https"}, {":path", "/live/seg1.ts"}};
    const Path ipv4{};
    const Path ipv6Tagged{LinkLayer::TwoVlanTags, true, 52000};
    // Tagged frames are Ethernet frames too.
    Frames frames = handshake(named, ipv4);
    for (const auto &frame : handshake(unnamed, ipv6Tagged))
        frames.push_back(frame);
    frames.push_back(BuildUdpFrame(kBrowser, {{192, 168, 1, 1}, 53}, {0x12, 0x34, 1, 0, 0, 1}));
    for (const auto &frame : http3Exchange(named, ipv4, request, {{":status", "200"}, {"content-type", "video/mp4"}}))
        frames.push_back(frame);
    for (const auto &frame :
         http3Exchange(unnamed, ipv6Tagged, noAuthority, {{":status", "200"}, {"content-type", "video/mp2t"}}))
        frames.push_back(frame);
    // A TLS connection that shakes hands with its keys known and carries nothing.
    const Endpoint tlsClient{{192, 168, 1, 20}, 51500};
    const std::string hello = handshakeOnly.clientHello();
    const std::string serverFlight = handshakeOnly.serverHandshake();
    const auto clientAfterHello = static_cast<uint32_t>(1000 + hello.size());
    const auto serverAfterFlight = static_cast<uint32_t>(5000 + serverFlight.size());
    frames.push_back(BuildTcpFrame(tlsClient, kServer, hello, {.sequence = 1000, .acknowledgement = 5000}));
    frames.push_back(
        BuildTcpFrame(kServer, tlsClient, serverFlight, {.sequence = 5000, .acknowledgement = clientAfterHello}));
    frames.push_back(BuildTcpFrame(tlsClient, kServer, handshakeOnly.clientFinished(),
                                   {.sequence = clientAfterHello, .acknowledgement = serverAfterFlight}));

    const CaptureFile file(frames, LinkTypeOf(LinkLayer::Ethernet));
    ASSERT_EQ(SetKeyLogFile(keyLog.path().c_str()), 0);
    RecordingWindow window;
    const int32_t result = StartCapture(kCallerToken, window.handle(), file.source().c_str(), 0);
    SetKeyLogFile(nullptr);
    ASSERT_EQ(result, 0);

    const auto urls = window.foundUrls();
    ASSERT_EQ(urls.size(), 2u);
    EXPECT_TRUE(urls[0].secure);
    EXPECT_EQ(urls[0].port, 443);
    EXPECT_EQ(urls[0].host, "media.example");
    EXPECT_EQ(urls[0].path, "/v/clip.mp4?x=1");
    EXPECT_EQ(urls[0].contentType, "video/mp4");
    const std::map<uint16_t, std::string> headers = {{kHeaderUserAgent, "Quillfox/1.0"},
                                                     {kHeaderReferer, "https://media.example/watch"},
                                                     {kHeaderCookie, "a=1; b=2"}};
    EXPECT_EQ(urls[0].headers, headers);
    // Without :authority the server's name from the hello stands in; the port is the one the datagrams went to.
    EXPECT_TRUE(urls[1].secure);
    EXPECT_EQ(urls[1].port, 4433);
    EXPECT_EQ(urls[1].host, "cdn.example");
    EXPECT_EQ(urls[1].path, "/live/seg1.ts");
    EXPECT_EQ(urls[1].contentType, "video/mp2t");
    EXPECT_TRUE(urls[1].headers.empty());

    const auto statistics = window.statistics();
    ASSERT_FALSE(statistics.empty());
    const CaptureStatistics &last = statistics.back();
    EXPECT_EQ(last.end, kCaptureEndOfFile);
    EXPECT_EQ(last.quicConnectionsSeen, 2u);
    EXPECT_EQ(last.quicConnectionsDecrypted, 2u);
    EXPECT_EQ(last.quicConnectionsWithoutKeys + last.quicConnectionsUndecryptable + last.quicConnectionsEvicted, 0u);
    // The handshake alone, with its keys, is in exactly one count.
    EXPECT_EQ(last.tlsConnectionsSeen, 1u);
    EXPECT_EQ(last.tlsConnectionsWithoutKeys, 1u);
    EXPECT_EQ(last.tlsConnectionsDecrypted + last.tlsConnectionsUndecryptable + last.tlsConnectionsEvicted, 0u);
}

// A sink whose protocol above holds a fixed amount for every connection.
class HeavySink : public RecordingSink {
public:
    size_t heldBytes(uint64_t) const override { return kEach; }
    static constexpr size_t kEach = tls::kMaxHeldBytes / 4 + 1;
};

TEST(QuicCapture, WhatTheProtocolAboveHoldsCountsInTheBudgetAndTheOldestGiveWay)
{
    tls::KeyLog keyLog("");
    quic::QuicTracker tracker(&keyLog);
    HeavySink sink;
    sink.recordData = false;
    constexpr int kConnections = 6;
    for (int i = 0; i < kConnections; ++i) {
        Conversation talk({.seed = static_cast<uint8_t>(20 + i)});
        Flow flow;
        flow.source = IpAddress::v4({192, 168, 1, 20});
        flow.dest = IpAddress::v4({203, 0, 113, 5});
        flow.sourcePort = static_cast<uint16_t>(41000 + i);
        flow.destPort = 443;
        const Bytes initial = talk.clientInitial(0, CryptoFrame(0, talk.clientHello()));
        EXPECT_TRUE(tracker.handleDatagram({flow, static_cast<uint64_t>(i), ViewOf(initial)}, sink));
        EXPECT_LE(tracker.heldBytes(), tls::kMaxHeldBytes);
    }
    const quic::Counts counts = tracker.counts();
    EXPECT_EQ(counts.seen, static_cast<uint64_t>(kConnections));
    EXPECT_EQ(counts.evicted, static_cast<uint64_t>(kConnections - 3));
    std::vector<std::string> closed;
    std::copy_if(sink.events.begin(), sink.events.end(), std::back_inserter(closed),
                 [](const std::string &event) { return event.starts_with("closed"); });
    EXPECT_EQ(closed, (std::vector<std::string>{"closed 0", "closed 1", "closed 2"})) << "the oldest go first";
    tracker.finish(sink);
    EXPECT_EQ(tracker.counts().withoutKeys, static_cast<uint64_t>(kConnections));
    EXPECT_EQ(tracker.heldBytes(), 0u);
}

}
