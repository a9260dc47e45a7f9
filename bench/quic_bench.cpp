// Throughput of the QUIC layer: 1-RTT packets of 1,350 bytes opened and
// their stream bytes handed on, for each suite, next to what a saturated
// 1 Gbit/s link carries; and the cost of UDP datagrams that are not QUIC,
// or belong to connections without keys, next to that of a TCP frame through
// HandleFrame that starts no connection.
//
//   quic_bench

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "frame_builder.h"
#include "frame_dispatch.h"
#include "quic_builder.h"
#include "quic_tracker.h"

using namespace quillnet;
using namespace quillnet::quic;
using namespace quic_testing;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kDatagramLength = 1350;
constexpr size_t kPackets = 40000;
constexpr int kPasses = 3;
// 1 Gbit/s of 1,350-byte UDP payloads, not counting any header below them.
constexpr double kLinkPackets = 1e9 / 8 / kDatagramLength;

double seconds(Clock::duration elapsed)
{
    return std::chrono::duration<double>(elapsed).count();
}

Flow flowOf(uint16_t clientPort, uint8_t serverHost = 5)
{
    Flow flow;
    flow.source = IpAddress::v4({192, 168, 1, 10});
    flow.dest = IpAddress::v4({203, 0, 113, serverHost});
    flow.sourcePort = clientPort;
    flow.destPort = 443;
    return flow;
}

// A connection's handshake, through `tracker`.
void shakeHands(QuicTracker &tracker, Conversation &talk, const Flow &flow, QuicSink &sink)
{
    const Bytes client = talk.clientInitial(0, CryptoFrame(0, talk.clientHello()));
    const Bytes server = talk.serverInitial(0, CryptoFrame(0, talk.serverHello()));
    tracker.handleDatagram({flow, 1, ViewOf(client)}, sink);
    tracker.handleDatagram({flow.reversed(), 2, ViewOf(server)}, sink);
}

void benchSuite(uint16_t suite, const char *name)
{
    Conversation talk({.suite = suite});
    std::vector<Bytes> packets;
    packets.reserve(kPackets);
    // A stream frame's header: type, stream ID, an offset of up to four bytes and a two-byte length.
    constexpr size_t kStreamFrameHeader = 1 + 1 + 4 + 2;
    constexpr size_t kShortHeader = 1 + 2; // no Destination Connection ID, a two-byte packet number
    const std::string data(kDatagramLength - kShortHeader - 16 - kStreamFrameHeader, 'm');
    size_t bytes = 0;
    for (size_t i = 0; i < kPackets; ++i) {
        packets.push_back(talk.serverOneRtt(i, StreamFrame(0, i * data.size(), data)));
        bytes += packets.back().size();
    }

    double best = 0;
    uint64_t delivered = 0;
    for (int pass = 0; pass < kPasses; ++pass) {
        tls::KeyLog keyLog("");
        keyLog.addText(talk.keyLogLines());
        QuicTracker tracker(&keyLog);
        RecordingSink sink;
        sink.recordData = false;
        shakeHands(tracker, talk, flowOf(40000), sink);
        const Flow toClient = flowOf(40000).reversed();
        const auto begin = Clock::now();
        for (const Bytes &packet : packets)
            tracker.handleDatagram({toClient, 3, ViewOf(packet)}, sink);
        best = std::max(best, kPackets / seconds(Clock::now() - begin));
        delivered = sink.streamBytes;
    }
    const double averageLength = static_cast<double>(bytes) / kPackets;
    std::printf("1-RTT packets, %-18s %9.0f packets/s, %5.2f Gbit/s: %4.1f times a saturated 1 Gbit/s link%s\n", name,
                best, best * averageLength * 8 / 1e9, best / kLinkPackets,
                delivered == kPackets * data.size() ? "" : " (NOT ALL DELIVERED)");
}

// Nanoseconds per datagram through the tracker, best of `passes`.
double datagramCost(QuicTracker &tracker, const std::vector<Bytes> &datagrams, const std::vector<Flow> &flows,
                    QuicSink &sink, int passes = kPasses)
{
    double best = 1e9;
    size_t claimed = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const auto begin = Clock::now();
        for (size_t i = 0; i < datagrams.size(); ++i)
            claimed += tracker.handleDatagram({flows[i % flows.size()], 3, ViewOf(datagrams[i])}, sink);
        best = std::min(best, seconds(Clock::now() - begin) * 1e9 / datagrams.size());
    }
    if (claimed != 0 && claimed != passes * datagrams.size())
        std::printf("  (%zu of %zu claimed)\n", claimed, passes * datagrams.size());
    return best;
}

intptr_t acceptSend(HWND, uint32_t, uintptr_t, intptr_t)
{
    return 1;
}

int acceptPost(HWND, uint32_t, uintptr_t, intptr_t)
{
    return 1;
}

// Nanoseconds per TCP frame of 1,400 random bytes that starts no connection, through HandleFrame.
double tcpFrameCost(std::mt19937 &random)
{
    MessageWindow window{acceptSend, acceptPost};
    std::vector<std::vector<uint8_t>> frames;
    for (size_t i = 0; i < 20000; ++i) {
        std::string payload(1400, '\0');
        for (char &c : payload)
            c = static_cast<char>(random());
        frames.push_back(testing_support::BuildTcpFrame({{203, 0, 113, 5}, 443}, {{192, 168, 1, 10}, 40000}, payload));
    }
    double best = 1e9;
    for (int pass = 0; pass < kPasses; ++pass) {
        const auto begin = Clock::now();
        for (const auto &frame : frames)
            HandleFrame(&window, frame.data(), static_cast<uint32_t>(frame.size()));
        best = std::min(best, seconds(Clock::now() - begin) * 1e9 / frames.size());
    }
    return best;
}

void benchOtherTraffic()
{
    std::mt19937 random(1);
    const auto randomBytes = [&](size_t length, uint8_t first) {
        Bytes bytes(length);
        for (uint8_t &byte : bytes)
            byte = static_cast<uint8_t>(random());
        bytes[0] = first;
        return bytes;
    };
    std::vector<Bytes> small;
    std::vector<Bytes> large;
    std::vector<Flow> otherFlows;
    for (size_t i = 0; i < 20000; ++i) {
        small.push_back(randomBytes(60, static_cast<uint8_t>(random())));
        // Short headers' first byte: the worst case, looked up as QUIC.
        large.push_back(randomBytes(1300, 0x40 | static_cast<uint8_t>(random() & 0x3f)));
        otherFlows.push_back(flowOf(static_cast<uint16_t>(10000 + i % 5000), 99));
    }

    RecordingSink sink;
    sink.recordData = false;
    QuicTracker idle(nullptr);
    std::printf("UDP that is not QUIC, no QUIC connection followed:     %6.1f ns a small datagram, %6.1f ns a "
                "1,300-byte one\n",
                datagramCost(idle, small, otherFlows, sink), datagramCost(idle, large, otherFlows, sink));

    // A thousand connections without keys, which keep sending.
    constexpr uint16_t kConnections = 1000;
    tls::KeyLog keyLog("");
    QuicTracker busy(&keyLog);
    std::vector<Bytes> waitingFor;
    std::vector<Flow> waitingFlows;
    std::vector<Bytes> theirs;
    std::vector<Flow> theirFlows;
    for (uint16_t i = 0; i < kConnections; ++i) {
        const Bytes id{static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i), 1, 2, 3, 4, 5, 6};
        Conversation talk({.seed = static_cast<uint8_t>(i), .clientId = id, .originalDestination = id});
        shakeHands(busy, talk, flowOf(static_cast<uint16_t>(20000 + i)), sink);
        // More than a connection holds while it waits for keys: then it gives up, and the rest is steady state.
        for (uint64_t number = 0; number < 60; ++number) {
            const Bytes packet = talk.serverOneRtt(number, StreamFrame(3, number * 1200, std::string(1200, 'k')));
            (number < 40 ? waitingFor : theirs).push_back(packet);
            (number < 40 ? waitingFlows : theirFlows).push_back(flowOf(static_cast<uint16_t>(20000 + i)).reversed());
        }
    }
    std::printf("UDP that is not QUIC, %u QUIC connections followed:   %6.1f ns a small datagram, %6.1f ns a "
                "1,300-byte one\n",
                kConnections, datagramCost(busy, small, otherFlows, sink), datagramCost(busy, large, otherFlows, sink));
    const double waiting = datagramCost(busy, waitingFor, waitingFlows, sink, 1);
    std::printf("1-RTT packets of those connections, without keys:     %6.1f ns a datagram (%.1f ns while the "
                "first 48 KB of each are held for keys to come)\n",
                datagramCost(busy, theirs, theirFlows, sink), waiting);
    const Counts counts = busy.counts();
    if (counts.withoutKeys != kConnections || counts.evicted != 0)
        std::printf("  (%llu connections without keys, %llu evicted)\n",
                    static_cast<unsigned long long>(counts.withoutKeys),
                    static_cast<unsigned long long>(counts.evicted));
    std::printf("for comparison, a TCP frame that starts no connection: %6.1f ns through HandleFrame\n",
                tcpFrameCost(random));
}

}

int main()
{
    benchSuite(0x1301, "AES-128-GCM:");
    benchSuite(0x1302, "AES-256-GCM:");
    benchSuite(0x1303, "ChaCha20-Poly1305:");
    benchOtherTraffic();
    return 0;
}
