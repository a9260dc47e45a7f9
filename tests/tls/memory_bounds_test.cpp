// Floods that once held gigabytes: the tracker's own accounting stays within
// its budget, and every connection ends up in exactly one count.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <fstream>

#include "http2.h"
#include "memory_floods.h"
#include "record_crypto.h"
#include "temporary_directory.h"
#include "tls_transcript.h"

using namespace quillnet;
using namespace quillnet::tls;
using namespace testing_support;

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes &bytes, size_t value)
{
    bytes.push_back(static_cast<uint8_t>(value >> 8));
    bytes.push_back(static_cast<uint8_t>(value));
}

Bytes tlsRecord(uint8_t type, const Bytes &body)
{
    Bytes record{type, 3, 3};
    put16(record, body.size());
    record.insert(record.end(), body.begin(), body.end());
    return record;
}

Bytes handshakeRecord(uint8_t type, const Bytes &body)
{
    Bytes message{type, 0};
    put16(message, body.size());
    message.insert(message.end(), body.begin(), body.end());
    return tlsRecord(22, message);
}

Bytes clientHello(uint8_t random)
{
    Bytes body;
    put16(body, 0x0303);
    body.insert(body.end(), 32, random);
    body.push_back(0); // no session
    put16(body, 2);
    put16(body, 0x1301);
    body.insert(body.end(), {1, 0}); // no compression
    return handshakeRecord(1, body);
}

Bytes serverHello(uint16_t suite, bool tls13)
{
    Bytes body;
    put16(body, 0x0303);
    body.insert(body.end(), 32, 0x55);
    body.push_back(0);
    put16(body, suite);
    body.push_back(0);
    if (tls13) {
        for (const size_t field : {6, 43, 2, 0x0304}) // supported_versions: TLS 1.3
            put16(body, field);
    }
    return handshakeRecord(2, body);
}

// A TLS 1.3 record of `plain` under `keys`, record number `number`.
Bytes sealed(const TrafficKeys &keys, uint64_t number, Bytes plain)
{
    Bytes record{23, 3, 3};
    put16(record, plain.size() + 16);
    std::array<uint8_t, 12> nonce = keys.iv;
    for (int i = 0; i < 8; ++i)
        nonce[11 - i] ^= static_cast<uint8_t>(number >> (8 * i));
    Bytes out(plain.size() + 16);
    int written = 0;
    EVP_CIPHER_CTX *context = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(context, EVP_aes_128_gcm(), nullptr, keys.key.data(), nonce.data());
    EVP_EncryptUpdate(context, nullptr, &written, record.data(), static_cast<int>(record.size()));
    EVP_EncryptUpdate(context, out.data(), &written, plain.data(), static_cast<int>(plain.size()));
    EVP_EncryptFinal_ex(context, out.data() + written, &written);
    EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_AEAD_GET_TAG, 16, out.data() + plain.size());
    EVP_CIPHER_CTX_free(context);
    record.insert(record.end(), out.begin(), out.end());
    return record;
}

Flow clientFlow(int number)
{
    return {IpAddress::v4({10, 0, static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number)}),
            IpAddress::v4({10, 1, 0, 1}), 40000, 443};
}

struct NullSink : PlaintextSink {
    void onPlaintext(const Flow &, uint64_t, ByteView) override {}
    void onHttp2Exchange(const Flow &, std::string_view, std::string_view, std::string_view, std::string_view,
                         const RequestHeaders &) override
    {
    }
};

// Evicted connections are among these, not beside them.
uint64_t ended(const Counts &counts)
{
    return counts.decrypted + counts.withoutKeys + counts.undecryptable;
}

TEST(MemoryBounds, ConnectionsWaitingForKeysStayWithinTheBudgetAndTheOldestAreEvicted)
{
    FloodShape shape;
    shape.connections = 1400; // each waits with 60 KB: 84 MB without a bound
    size_t mostHeld = 0;
    const FloodResult result =
        RunFlood(shape, [&](const TlsTracker &tracker) { mostHeld = std::max(mostHeld, tracker.heldBytes()); });
    EXPECT_LE(mostHeld, kMaxHeldBytes);
    EXPECT_GT(mostHeld, kMaxHeldBytes / 2) << "the flood does not reach the budget";
    EXPECT_EQ(result.counts.seen, shape.connections);
    EXPECT_GT(result.counts.evicted, 0u);
    EXPECT_LT(result.counts.evicted, result.counts.seen);
    EXPECT_EQ(ended(result.counts), result.counts.seen);
}

TEST(MemoryBounds, Http2HeaderTablesAndUnansweredStreamsStayWithinTheirBounds)
{
    FloodShape shape;
    shape.kind = FloodKind::kHttp2;
    shape.connections = 1;
    // Without bounds: 4.8 MB of paths for one connection.
    const size_t perConnectionBound = Http2Connection::kMaxExchangeBytes + 2 * Http2Connection::kMaxHeaderTableSize;
    size_t held = 0;
    FloodResult result = RunFlood(shape, [&](const TlsTracker &tracker) { held = tracker.heldBytes(); });
    EXPECT_GT(held, Http2Connection::kMaxExchangeBytes / 2);
    EXPECT_LE(held, perConnectionBound + 128 * 1024);
    EXPECT_EQ(result.counts.decrypted, 1u) << "a table within the bound is read on";

    // An encoder that takes a 16 MB table (2.4 MB filled) is not followed there: the connection is lost, and says so.
    shape.serverTableSize = 16 * 1024 * 1024;
    result = RunFlood(shape, [&](const TlsTracker &tracker) { held = tracker.heldBytes(); });
    EXPECT_LE(held, perConnectionBound);
    EXPECT_EQ(result.counts.undecryptable, 1u);

    // Many connections that keep their streams: the oldest give way.
    shape.serverTableSize = FloodShape{}.serverTableSize;
    shape.connections = 90;
    size_t mostHeld = 0;
    result = RunFlood(shape, [&](const TlsTracker &tracker) { mostHeld = std::max(mostHeld, tracker.heldBytes()); });
    EXPECT_LE(mostHeld, kMaxHeldBytes);
    EXPECT_GT(result.counts.evicted, 0u);
    // What was opened of an evicted connection keeps its count.
    EXPECT_EQ(result.counts.decrypted, result.counts.seen);
    EXPECT_EQ(ended(result.counts), result.counts.seen);
}

TEST(MemoryBounds, AConnectionThatCarriedNoApplicationDataCountsAsWithoutKeys)
{
    // As a browser's spare connection: the handshake, decrypted with its keys, and nothing after it.
    Transcript transcript = LoadTranscript("tls13_aes128gcm_h2");
    ASSERT_GE(transcript.chunks.size(), 2u) << "fixture missing";
    transcript.chunks.resize(2);
    TlsTracker tracker(transcript.keyLog);
    RecordingSink sink;
    Feed(tracker, SegmentsOf(transcript, 1000), sink);
    tracker.finish(sink);
    EXPECT_EQ(tracker.counts().seen, 1u);
    EXPECT_EQ(tracker.counts().withoutKeys, 1u);
    EXPECT_EQ(ended(tracker.counts()), 1u);
    EXPECT_EQ(tracker.heldBytes(), 0u);
}

// Keys found while one connection is read let others grow; the one being read
// may be the oldest and give way to them, and is then read no further.
TEST(MemoryBounds, AConnectionPushedOutWhileKeysArriveForOthersIsReadNoFurther)
{
    const CipherSuite suite = *FindCipherSuite(0x1301);
    Secret secret;
    secret.size = 32;
    for (uint8_t i = 0; i < 32; ++i)
        secret.bytes[i] = i;
    // The waiting connection's secret lies past what one look into the key log reads.
    const TemporaryDirectory folder;
    const std::string keyLog = folder.file("keys.log");
    {
        std::ofstream log(keyLog);
        const std::string comment = std::string(99, '#') + "\n";
        for (size_t line = 0; line < 32u * 1024 * 1024 / comment.size() + 2; ++line)
            log << comment;
        log << "SERVER_HANDSHAKE_TRAFFIC_SECRET " << std::string(64, '2') << ' ';
        for (uint8_t i = 0; i < 32; ++i)
            log << "0123456789abcdef"[i >> 4] << "0123456789abcdef"[i & 15];
        log << "\n";
    }
    TlsTracker tracker(keyLog);
    NullSink sink;
    const auto send = [&](const Flow &flow, uint32_t sequence, uint32_t acknowledgement, uint8_t flags,
                          const Bytes &payload) {
        tracker.handleSegment(Segment{flow, sequence, acknowledgement, flags, ByteView(payload.data(), payload.size())},
                              sink);
    };
    // The oldest: TLS 1.2, waiting for its keys.
    const Flow oldest = clientFlow(1);
    send(oldest, 1000, 7000, kTcpAck, clientHello(0x11));
    Bytes serverFirst = serverHello(0xC02F, false);
    const Bytes changeCipherSpec = tlsRecord(20, {1});
    serverFirst.insert(serverFirst.end(), changeCipherSpec.begin(), changeCipherSpec.end());
    send(oldest.reversed(), 7000, 2000, kTcpAck, serverFirst);
    // TLS 1.3 holding a certificate that grows into its plaintext once its key is found.
    const Flow growing = clientFlow(2);
    send(growing, 1000, 5000, kTcpAck, clientHello(0x22));
    TrafficKeys keys;
    DeriveTls13Keys(suite, secret, keys);
    Bytes server = serverHello(0x1301, true);
    for (uint64_t number = 0; number < 4; ++number) {
        Bytes plain = number == 0 ? Bytes{0x0b, 0x03, 0x0d, 0x40} : Bytes{};
        plain.resize(16000, 0xAB);
        plain.push_back(22);
        Bytes record = sealed(keys, number, plain);
        if (number == 3)
            record.resize(1000); // still on its way
        server.insert(server.end(), record.begin(), record.end());
    }
    send(growing.reversed(), 5000, 2000, kTcpAck, server);
    // Others hold bytes behind a gap, up to just under the budget.
    const Bytes chunk(1000, 0x42);
    for (int number = 10; tracker.heldBytes() < kMaxHeldBytes - 20000; ++number) {
        const Bytes opening = clientHello(static_cast<uint8_t>(number));
        send(clientFlow(number), 1000, 9000, kTcpAck, opening);
        const auto behindGap = static_cast<uint32_t>(1000 + opening.size() + 5000);
        for (uint32_t i = 0; i < 250 && tracker.heldBytes() < kMaxHeldBytes - 20000; ++i)
            send(clientFlow(number), behindGap + i * 1000, 9000, kTcpAck, chunk);
    }
    ASSERT_EQ(tracker.counts().evicted, 0u);

    // Its closing segment sends the oldest to the key log, which frees the growing one.
    Bytes protectedRecord{23, 3, 3, 0, 40};
    protectedRecord.resize(45, 0x33);
    send(oldest.reversed(), static_cast<uint32_t>(7000 + serverFirst.size()), 2000, kTcpAck | kTcpRst, protectedRecord);
    EXPECT_GT(tracker.counts().evicted, 0u);
    EXPECT_LE(tracker.heldBytes(), kMaxHeldBytes);
}

}
