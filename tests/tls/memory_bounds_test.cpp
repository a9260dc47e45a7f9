// Floods that once held gigabytes: the tracker's own accounting stays within
// its budget, and every connection ends up in exactly one count.
#include <gtest/gtest.h>

#include "http2.h"
#include "memory_floods.h"
#include "tls_transcript.h"

using namespace quillnet;
using namespace quillnet::tls;
using namespace testing_support;

namespace {

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

}
