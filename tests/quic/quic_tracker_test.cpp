#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "quic_builder.h"
#include "quic_tracker.h"
#include "rfc_samples.h"
#include "tls_tracker.h"

using namespace quillnet;
using namespace quillnet::quic;
using namespace quic_testing;

namespace {

using Events = std::vector<std::string>;

constexpr uint64_t kSecond = 1000000;

Flow clientFlow(uint16_t port = 50000)
{
    Flow flow;
    flow.source = IpAddress::v4({192, 168, 1, 10});
    flow.dest = IpAddress::v4({203, 0, 113, 5});
    flow.sourcePort = port;
    flow.destPort = 443;
    return flow;
}

// A tracker with its key log and sink, and a clock that moves a millisecond a datagram.
struct Capture {
    explicit Capture(bool withKeyLog = true) : tracker(withKeyLog ? &keyLog : nullptr) {}

    bool client(const Bytes &datagram, const Flow &flow = clientFlow())
    {
        time += kSecond / 1000;
        return tracker.handleDatagram({flow, time, ViewOf(datagram)}, sink);
    }
    bool server(const Bytes &datagram, const Flow &flow = clientFlow()) { return client(datagram, flow.reversed()); }

    // The handshake in Initial packets, the client's split and out of order as browsers send it.
    void handshake(Conversation &talk, const Flow &flow = clientFlow())
    {
        const Bytes hello = talk.clientHello();
        const size_t half = hello.size() / 2;
        EXPECT_TRUE(client(talk.clientInitial(0, CryptoFrame(half, Bytes(hello.begin() + half, hello.end()))), flow));
        EXPECT_TRUE(client(talk.clientInitial(1, CryptoFrame(0, Bytes(hello.begin(), hello.begin() + half))), flow));
        EXPECT_TRUE(server(talk.serverInitial(0, Join({AckFrame(1), CryptoFrame(0, talk.serverHello())})), flow));
    }

    uint64_t outcomes() const
    {
        const Counts counts = tracker.counts();
        return counts.decrypted + counts.withoutKeys + counts.undecryptable;
    }

    tls::KeyLog keyLog{""};
    QuicTracker tracker;
    RecordingSink sink;
    uint64_t time = 1000 * kSecond;
};

TEST(QuicTracker, ReadsTheClientHelloOfTheRfcSamplesWithoutAKeyLog)
{
    for (const auto &samples : {quic_samples::kVersion1Samples, quic_samples::kVersion2Samples}) {
        Capture capture(false);
        EXPECT_TRUE(capture.client(FromHex(samples.clientPacket)));
        EXPECT_EQ(capture.sink.events, Events{"hello example.com alpn"});
        ASSERT_EQ(capture.sink.hellos.size(), 1u);
        EXPECT_EQ(capture.sink.hellos[0].version, samples.version);
        EXPECT_EQ(ToHex(ByteView(capture.sink.hellos[0].random.data(), tls::kRandomLength)),
                  "ebf8fa56f12939b9584a3896472ec40bb863cfd3e86804fe3a47f06a2b69484c");
        EXPECT_EQ(capture.sink.hellos[0].clientFlow, clientFlow());
        // The server's answer belongs to the connection, which is not followed further.
        EXPECT_TRUE(capture.server(FromHex(samples.serverPacket)));
        EXPECT_EQ(capture.tracker.counts().seen, 1u);
        EXPECT_EQ(capture.tracker.counts().withoutKeys, 1u);
        capture.tracker.finish(capture.sink);
        EXPECT_EQ(capture.sink.events.back(), "closed 0");
        EXPECT_EQ(capture.outcomes(), 1u);
    }
}

TEST(QuicTracker, FollowsAConnectionAcrossCoalescedPacketsKeyUpdatesAndMigration)
{
    Capture capture;
    Conversation talk({});
    capture.keyLog.addText(talk.keyLogLines());
    capture.handshake(talk);
    // The server's Handshake packet rides with its Initial; the client's first 1-RTT packet with its Handshake one.
    const Bytes encryptedExtensions{8, 0, 0, 2, 0, 0};
    EXPECT_TRUE(capture.server(
        Join({talk.serverInitial(1, AckFrame(1)), talk.serverHandshake(0, CryptoFrame(0, encryptedExtensions))})));
    EXPECT_TRUE(capture.client(
        Join({talk.clientHandshake(0, CryptoFrame(0, {20, 0, 0, 1, 0})),
              talk.clientOneRtt(0, Join({StreamFrame(2, 0, "control"), StreamFrame(0, 0, "GET /video", true)}))})));
    const Bytes newId = FromHex("a1a2a3a4a5a6a7a8");
    EXPECT_TRUE(capture.server(talk.serverOneRtt(0, Join({HandshakeDoneFrame(), NewConnectionIdFrame(1, newId),
                                                           StreamFrame(3, 0, "settings"),
                                                           StreamFrame(0, 6, "world", true)}))));
    EXPECT_TRUE(capture.server(talk.serverOneRtt(1, Join({StreamFrame(0, 0, "hello "), StreamFrame(1, 0, "push")}))));
    talk.updateServerKeys();
    EXPECT_TRUE(capture.server(talk.serverOneRtt(2, StreamFrame(7, 0, "encoder"))));
    // The client moves to another port and to the ID the server handed out.
    const Flow moved = clientFlow(50001);
    EXPECT_TRUE(capture.client(talk.clientOneRtt(1, StreamFrame(4, 0, "GET /next", true), &newId), moved));
    EXPECT_TRUE(
        capture.server(talk.serverOneRtt(3, Join({StreamFrame(4, 0, "partial"), ResetStreamFrame(4, 7)})), moved));
    EXPECT_TRUE(capture.server(talk.serverOneRtt(4, ConnectionCloseFrame()), moved));

    const Events expected{"hello media.example h3 h3-29",
                          "c2 @0 control",
                          "c0 @0 GET /video",
                          "c0 end",
                          "s3 @0 settings",
                          "s0 @0 hello ",
                          "s0 @6 world",
                          "s0 end",
                          "s7 @0 encoder",
                          "c4 @0 GET /next",
                          "c4 end",
                          "s4 @0 partial",
                          "s4 reset",
                          "closed 0"};
    EXPECT_EQ(capture.sink.events, expected);
    const Counts counts = capture.tracker.counts();
    EXPECT_EQ(counts.seen, 1u);
    EXPECT_EQ(counts.decrypted, 1u);
    EXPECT_EQ(capture.outcomes(), 1u);
    // Closed: forgotten, and its late packets are no one's.
    EXPECT_TRUE(capture.tracker.idle());
    EXPECT_EQ(capture.tracker.heldBytes(), 0u);
    EXPECT_FALSE(capture.server(talk.serverOneRtt(5, StreamFrame(3, 8, "late"))));
}

TEST(QuicTracker, HoldsPacketsUntilTheKeyLogHasTheirKeys)
{
    Capture capture;
    Conversation talk({.seed = 2});
    capture.handshake(talk);
    EXPECT_TRUE(capture.server(talk.serverOneRtt(0, StreamFrame(3, 0, "settings"))));
    EXPECT_TRUE(capture.client(talk.clientOneRtt(0, StreamFrame(0, 0, "GET", true))));
    EXPECT_EQ(capture.sink.events, Events{"hello media.example h3 h3-29"});

    capture.keyLog.addText(talk.keyLogLines()); // the browser wrote them a little late
    EXPECT_TRUE(capture.client(talk.clientOneRtt(1, StreamFrame(2, 0, "control"))));
    const Events expected{"hello media.example h3 h3-29", "s3 @0 settings", "c0 @0 GET", "c0 end", "c2 @0 control"};
    EXPECT_EQ(capture.sink.events, expected);
    capture.tracker.finish(capture.sink);
    EXPECT_EQ(capture.tracker.counts().decrypted, 1u);
    EXPECT_EQ(capture.outcomes(), 1u);
}

TEST(QuicTracker, CountsEachConnectionByWhatBecameOfIt)
{
    Capture capture;
    Conversation decrypted({.seed = 3});
    Conversation withoutKeys({.seed = 4});
    Conversation wrongKeys({.seed = 5});
    Conversation ccmSuite({.announcedSuite = 0x1304, .seed = 6});
    Conversation serverHelloLost({.seed = 7});
    std::string wrongLines = wrongKeys.keyLogLines();
    for (size_t at = wrongLines.find('\n'); at != std::string::npos; at = wrongLines.find('\n', at + 1))
        wrongLines[at - 1] = wrongLines[at - 1] == '0' ? '1' : '0'; // each secret's last digit
    capture.keyLog.addText(decrypted.keyLogLines() + wrongLines + ccmSuite.keyLogLines() +
                           serverHelloLost.keyLogLines());

    uint16_t port = 40000;
    for (Conversation *talk : {&decrypted, &withoutKeys, &wrongKeys, &ccmSuite}) {
        const Flow flow = clientFlow(++port);
        capture.handshake(*talk, flow);
        for (uint64_t number = 0; number < 20; ++number)
            capture.server(talk->serverOneRtt(number, StreamFrame(3, number, "x")), flow);
        EXPECT_LE(capture.outcomes(), capture.tracker.counts().seen);
    }
    const Bytes hello = serverHelloLost.clientHello();
    EXPECT_TRUE(capture.client(serverHelloLost.clientInitial(0, CryptoFrame(0, hello)), clientFlow(++port)));
    EXPECT_TRUE(capture.server(serverHelloLost.serverOneRtt(0, StreamFrame(3, 0, "x")), clientFlow(port)));
    capture.tracker.finish(capture.sink);

    const Counts counts = capture.tracker.counts();
    EXPECT_EQ(counts.seen, 5u);
    EXPECT_EQ(counts.decrypted, 1u);
    EXPECT_EQ(counts.withoutKeys, 1u);
    EXPECT_EQ(counts.undecryptable, 3u); // wrong keys, a suite not opened, and the hello lost with keys there
    EXPECT_EQ(counts.evicted, 0u);
    EXPECT_EQ(capture.outcomes(), counts.seen);
}

class VersionsAndSuites : public testing::TestWithParam<std::pair<uint32_t, uint16_t>> {};

TEST_P(VersionsAndSuites, OpenTheirPackets)
{
    Capture capture;
    Conversation talk({.version = GetParam().first, .suite = GetParam().second, .clientId = FromHex("c1c2c3c4")});
    capture.keyLog.addText(talk.keyLogLines());
    capture.handshake(talk);
    EXPECT_TRUE(capture.client(talk.clientOneRtt(0, StreamFrame(0, 0, "GET", true))));
    EXPECT_TRUE(capture.server(talk.serverOneRtt(0, StreamFrame(0, 0, "2"))));
    talk.updateServerKeys();
    EXPECT_TRUE(capture.server(talk.serverOneRtt(1, StreamFrame(0, 1, "00", true))));
    capture.tracker.finish(capture.sink);
    const Events expected{"hello media.example h3 h3-29", "c0 @0 GET", "c0 end", "s0 @0 2", "s0 @1 00", "s0 end",
                          "closed 0"};
    EXPECT_EQ(capture.sink.events, expected);
    EXPECT_EQ(capture.tracker.counts().decrypted, 1u);
}

INSTANTIATE_TEST_SUITE_P(QuicTracker, VersionsAndSuites,
                         testing::Values(std::pair(kVersion1, uint16_t{0x1301}), std::pair(kVersion1, uint16_t{0x1302}),
                                         std::pair(kVersion1, uint16_t{0x1303}), std::pair(kVersion2, uint16_t{0x1301}),
                                         std::pair(kVersion2, uint16_t{0x1302}),
                                         std::pair(kVersion2, uint16_t{0x1303})));

TEST(QuicTracker, FollowsTheInitialKeysARetryChooses)
{
    Capture capture;
    // The samples' Retry answers a client whose first Destination Connection ID was the samples' one.
    Conversation before({.originalDestination = FromHex(quic_samples::kDestination)});
    Conversation after({.originalDestination = FromHex("f067a5502a4262b5")}); // the ID the Retry chose
    const Bytes hello = before.clientHello();
    EXPECT_TRUE(capture.client(before.clientInitial(0, CryptoFrame(0, Bytes(hello.begin(), hello.begin() + 100)))));
    EXPECT_TRUE(capture.server(FromHex(quic_samples::kVersion1Samples.retry)));
    // The client starts over under the new keys, and so does the server.
    EXPECT_TRUE(capture.client(after.clientInitial(1, CryptoFrame(0, hello))));
    EXPECT_TRUE(capture.server(after.serverInitial(0, CryptoFrame(0, after.serverHello()))));
    capture.keyLog.addText(after.keyLogLines());
    EXPECT_TRUE(capture.server(after.serverOneRtt(0, StreamFrame(3, 0, "settings"))));
    EXPECT_EQ(capture.sink.events, (Events{"hello media.example h3 h3-29", "s3 @0 settings"}));
    EXPECT_EQ(capture.tracker.counts().seen, 1u);
}

TEST(QuicTracker, LeavesOtherUdpAlone)
{
    Capture capture;
    const Bytes dns = FromHex("123401000001000000000000076578616d706c6503636f6d0000010001");
    Bytes noise(1300);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>(i * 37 + 11);
    Bytes unknownVersion = FromHex(quic_samples::kVersion1Samples.clientPacket);
    unknownVersion[4] = 0x07;
    Bytes garbledInitial = FromHex(quic_samples::kVersion1Samples.clientPacket);
    garbledInitial[600] ^= 0xff;
    const Bytes empty;
    for (const Bytes *datagram :
         std::initializer_list<const Bytes *>{&dns, &noise, &unknownVersion, &garbledInitial, &empty})
        EXPECT_FALSE(capture.client(*datagram, clientFlow(9999)));
    EXPECT_TRUE(capture.tracker.idle());

    // With a connection followed, datagrams of other flows still are no one's.
    Conversation talk({});
    capture.handshake(talk);
    noise[0] = 0x43; // a short header's first byte
    for (const Bytes *datagram : std::initializer_list<const Bytes *>{&dns, &noise, &garbledInitial})
        EXPECT_FALSE(capture.client(*datagram, clientFlow(9999)));
    EXPECT_EQ(capture.tracker.counts().seen, 1u);

    // A connection quiet for minutes is gone.
    capture.time += 10 * 60 * kSecond;
    EXPECT_FALSE(capture.client(dns, clientFlow(9999)));
    EXPECT_TRUE(capture.tracker.idle());
    EXPECT_EQ(capture.sink.events.back(), "closed 0");
}

TEST(QuicTracker, SurvivesMalformedFramesInsideAuthenticPackets)
{
    Capture capture;
    capture.sink.recordData = false;
    std::mt19937 random(7);
    // Frame types the reader knows, followed by anything at all.
    const std::vector<uint8_t> types{0x00, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x0b, 0x0d, 0x0f,
                                     0x11, 0x18, 0x1a, 0x1c, 0x1d, 0x1e, 0x30, 0x31, 0x40, 0xc0};
    std::optional<Conversation> talk;
    uint64_t number = 0;
    uint8_t seed = 0;
    for (int i = 0; i < 3000; ++i) {
        if (capture.tracker.idle()) { // a CONNECTION_CLOSE came by chance: on with a new one
            talk.emplace(Conversation::Options{.seed = ++seed, .clientId = FromHex("0102030405")});
            capture.keyLog.addText(talk->keyLogLines());
            capture.handshake(*talk);
        }
        Bytes frames(1 + random() % 64);
        for (uint8_t &byte : frames)
            byte = static_cast<uint8_t>(random());
        frames[0] = types[random() % types.size()];
        if (i % 2)
            EXPECT_TRUE(capture.server(talk->serverOneRtt(number++, frames)));
        else
            EXPECT_TRUE(capture.client(talk->clientOneRtt(number++, frames)));
        // And a datagram cut or damaged on the way.
        Bytes damaged = talk->serverOneRtt(number++, frames);
        damaged.resize(random() % damaged.size());
        if (!damaged.empty())
            damaged[random() % damaged.size()] ^= static_cast<uint8_t>(1 + random() % 255);
        capture.server(damaged);
    }
    // Hellos that are cut, damaged or not hellos at all, in Initial packets anyone can open.
    for (int i = 0; i < 300; ++i) {
        Conversation other({.seed = static_cast<uint8_t>(100 + i % 100), .clientId = {static_cast<uint8_t>(i)}});
        Bytes hello = i % 3 ? other.clientHello() : Bytes(1 + random() % 300);
        hello.resize(std::max<size_t>(1, random() % (hello.size() + 8)));
        hello[random() % hello.size()] = static_cast<uint8_t>(random());
        const Flow flow = clientFlow(static_cast<uint16_t>(2000 + i));
        capture.client(other.clientInitial(0, Join({CryptoFrame(random() % 4, hello), CryptoFrame(0, {1})})), flow);
        capture.server(other.serverInitial(0, CryptoFrame(0, Bytes(1 + random() % 90, 2))), flow);
    }
    EXPECT_GT(capture.tracker.counts().decrypted, 0u);
    EXPECT_LE(capture.outcomes(), capture.tracker.counts().seen);
    EXPECT_LE(capture.tracker.heldBytes(), tls::kMaxHeldBytes);
    capture.tracker.finish(capture.sink);
    EXPECT_EQ(capture.outcomes(), capture.tracker.counts().seen);
}

TEST(QuicTracker, StaysWithinItsMemoryBoundGivingUpTheOldest)
{
    Capture capture;
    capture.sink.recordData = false;
    constexpr int kConnections = 12;
    constexpr int kStreams = 7;
    constexpr int kChunks = 60;
    const std::string chunk(16000, 'v');
    size_t most = 0;
    for (int i = 0; i < kConnections; ++i) {
        const Flow flow = clientFlow(static_cast<uint16_t>(30000 + i));
        Conversation talk({.seed = static_cast<uint8_t>(20 + i)});
        capture.keyLog.addText(talk.keyLogLines());
        capture.handshake(talk, flow);
        uint64_t number = 0;
        // Each response's first bytes never come: the rest waits behind the gap.
        for (int stream = 0; stream < kStreams; ++stream) {
            for (int k = 0; k < kChunks; ++k) {
                capture.server(talk.serverOneRtt(number++, StreamFrame(4 * stream, 1 + k * chunk.size(), chunk)), flow);
                most = std::max(most, capture.tracker.heldBytes());
            }
        }
    }
    EXPECT_LE(most, tls::kMaxHeldBytes);
    EXPECT_GT(most, tls::kMaxHeldBytes / 2);
    capture.tracker.finish(capture.sink);
    const Counts counts = capture.tracker.counts();
    EXPECT_EQ(counts.seen, static_cast<uint64_t>(kConnections));
    EXPECT_GT(counts.evicted, 0u);
    EXPECT_EQ(capture.outcomes(), counts.seen);
    EXPECT_EQ(capture.sink.streamBytes, 0u);
    EXPECT_EQ(capture.tracker.heldBytes(), 0u);
}

}
