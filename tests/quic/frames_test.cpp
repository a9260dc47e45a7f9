#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frames.h"
#include "quic_builder.h"
#include "stream_reassembly.h"
#include "streams.h"
#include "wire_reader.h"

using namespace quillnet;
using namespace quillnet::quic;
using namespace quic_testing;

namespace {

TEST(WireReader, ReadsVariableLengthIntegers)
{
    // RFC 9000 appendix A.1.
    const Bytes bytes = FromHex("c2197c5eff14e88c 9d7f3e7d 7bbd 25 4025 40");
    WireReader reader(ViewOf(bytes));
    EXPECT_EQ(reader.varint(), 151288809941952652u);
    EXPECT_EQ(reader.varint(), 494878333u);
    EXPECT_EQ(reader.varint(), 15293u);
    EXPECT_EQ(reader.varint(), 37u);
    EXPECT_EQ(reader.varint(), 37u);
    EXPECT_TRUE(reader.ok());
    EXPECT_EQ(reader.varint(), 0u) << "cut after its first byte";
    EXPECT_FALSE(reader.ok());
    EXPECT_TRUE(reader.atEnd());
}

std::vector<std::string> readAll(const Bytes &frames)
{
    std::vector<std::string> seen;
    FrameReader reader(ViewOf(frames));
    while (const auto frame = reader.next()) {
        seen.push_back(std::to_string(static_cast<int>(frame->type)) + ":" + std::to_string(frame->streamId) + ":" +
                       std::to_string(frame->offset) + ":" + std::string(frame->data.text()) +
                       (frame->fin ? ":fin" : ""));
    }
    return seen;
}

TEST(FrameReader, HandsOutWhatCarriesDataAndSkipsTheRestByLayout)
{
    const Bytes skipped{0x00, 0x00, 0x01, 0x03, 0x05, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x10, 0x44, 0x00, 0x11,
                        0x04, 0x00, 0x12, 0x01, 0x13, 0x01, 0x14, 0x01, 0x15, 0x00, 0x01, 0x16, 0x01, 0x17, 0x01,
                        0x19, 0x00, 0x1a, 1,    2,    3,    4,    5,    6,    7,    8,    0x1b, 1,    2,    3,
                        4,    5,    6,    7,    8,    0x05, 0x00, 0x00, 0x07, 0x02, 'o',  'k',  0x31, 0x01, 'd'};
    // The STREAM variants with a length; those without run to the packet's end.
    const Bytes frames = Join({AckFrame(9), {0x0a, 0x04, 0x02, 'h', 'i', 0x0b, 0x04, 0x02, 'h', 'i'}, skipped,
                               {0x0e, 0x04, 0x07, 0x02, 'h', 'i', 0x0f, 0x04, 0x07, 0x02, 'h', 'i'},
                               CryptoFrame(5, {'a', 'b'}), ResetStreamFrame(8, 3),
                               NewConnectionIdFrame(1, {1, 2, 3, 4}), HandshakeDoneFrame(), ConnectionCloseFrame(),
                               {0x1c, 0x0a, 0x08, 0x00}, {0x0c, 0x04, 0x09, 't', 'a', 'i', 'l'}});
    const std::vector<std::string> expected{
        "1:4:0:hi", "1:4:0:hi:fin", "1:4:7:hi", "1:4:7:hi:fin", "0:0:5:ab", "2:8:3:", "3:0:0:\x01\x02\x03\x04",
        "5:0:0:",   "4:0:0:",       "4:0:0:",   "1:4:9:tail"};
    EXPECT_EQ(readAll(frames), expected);
    EXPECT_EQ(readAll({0x08, 0x04, 'r', 'e', 's', 't'}), std::vector<std::string>{"1:4:0:rest"});
    EXPECT_EQ(readAll({0x09, 0x04, 'r', 'e', 's', 't'}), std::vector<std::string>{"1:4:0:rest:fin"});
    EXPECT_EQ(readAll({0x0d, 0x04, 0x09, 'e', 'n', 'd'}), std::vector<std::string>{"1:4:9:end:fin"});
    EXPECT_EQ(readAll({0x0d, 0x04, 0x09}), std::vector<std::string>{"1:4:9::fin"});
}

TEST(FrameReader, StopsAtUnknownCutOrOutOfRangeFrames)
{
    const auto count = [](const Bytes &frames) {
        FrameReader reader(ViewOf(frames));
        size_t frameCount = 0;
        while (reader.next())
            ++frameCount;
        return frameCount;
    };
    EXPECT_EQ(count(Join({HandshakeDoneFrame(), {0x21}, HandshakeDoneFrame()})), 1u) << "unknown type";
    EXPECT_EQ(count(Join({HandshakeDoneFrame(), {0x06, 0x00, 0x05, 'a'}})), 1u) << "CRYPTO cut short";
    EXPECT_EQ(count({0x18, 0x01, 0x00, 0x15, 0x01}), 0u) << "a connection ID longer than 20 bytes";
    // An offset and length past 2^62 - 1.
    EXPECT_EQ(count({0x0e, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01, 'x'}), 0u);
    EXPECT_EQ(count({0x02, 0x01, 0x00, 0x40}), 0u) << "ACK cut in its ranges";
}

TEST(StreamReassembly, HandsOnEachByteOnceAndInOrder)
{
    StreamReassembly stream;
    std::string out;
    std::vector<uint64_t> offsets;
    const auto add = [&](uint64_t offset, std::string_view text, size_t maxHeld = 4096) {
        return stream.add(offset, ByteView(text), maxHeld, [&](uint64_t at, ByteView bytes) {
            EXPECT_EQ(at, out.size());
            out += bytes.text();
            offsets.push_back(at);
        });
    };
    EXPECT_TRUE(add(6, "ghij"));
    EXPECT_TRUE(add(3, "def"));
    EXPECT_TRUE(add(7, "hi")); // covered by what is held
    EXPECT_EQ(out, "");
    EXPECT_GT(stream.heldBytes(), 0u);
    EXPECT_TRUE(add(0, "abcd")); // overlaps what is held
    EXPECT_EQ(out, "abcdefghij");
    EXPECT_EQ(stream.heldBytes(), 0u);
    EXPECT_TRUE(add(0, "abcdefghij")); // sent again
    EXPECT_TRUE(add(8, "ijkl"));
    EXPECT_EQ(out, "abcdefghijkl");
    EXPECT_EQ(stream.next(), 12u);

    EXPECT_FALSE(add(100, std::string(5000, 'x'))) << "beyond the bound";
    EXPECT_EQ(stream.heldBytes(), 0u);
}

TEST(Streams, DeliverTheStreamsHttp3ReadsAndRememberThoseDone)
{
    RecordingSink sink;
    Streams streams(7);
    const auto stream = [&](bool fromClient, uint64_t id, uint64_t offset, std::string_view data, bool fin = false) {
        const Bytes frame = StreamFrame(id, offset, data, fin);
        return streams.onStream(fromClient, *FrameReader(ViewOf(frame)).next(), sink);
    };
    const auto reset = [&](bool fromClient, uint64_t id) {
        const Bytes frame = ResetStreamFrame(id, 0);
        streams.onReset(fromClient, *FrameReader(ViewOf(frame)).next(), sink);
    };
    stream(true, 0, 0, "GET", true);
    stream(false, 0, 4, "body", true); // ahead of a gap
    stream(false, 0, 0, "HEAD");
    stream(false, 0, 0, "HEADbody", true); // all of it again, after its end
    stream(true, 0, 0, "GET", true);
    stream(false, 1, 0, "server bidirectional");
    stream(true, 2, 0, "control");
    stream(false, 2, 0, "wrong sender");
    stream(false, 3, 0, "server control");
    stream(true, 4, 0, "GET2");
    reset(false, 4); // the server's side of stream 4 never began
    stream(false, 4, 0, "late");
    reset(true, 4);
    stream(true, 4, 4, "more");
    const std::vector<std::string> expected{"c0 @0 GET", "c0 end",         "s0 @0 HEAD",           "s0 @4 body",
                                            "s0 end",    "c2 @0 control", "s3 @0 server control", "c4 @0 GET2",
                                            "c4 reset"};
    EXPECT_EQ(sink.events, expected);

    // A stream that holds more than its bound ahead of a gap is given up, and its bytes counted as lost.
    sink.events.clear();
    const std::string chunk(64 * 1024, 'x');
    bool kept = true;
    for (uint64_t offset = 1; kept && offset < 2 * kMaxStreamHeldBytes; offset += chunk.size())
        kept = stream(false, 8, offset, chunk);
    EXPECT_FALSE(kept);
    EXPECT_EQ(sink.events, std::vector<std::string>{"s8 reset"});
    EXPECT_LT(streams.heldBytes(), 64 * 1024u);
    EXPECT_TRUE(stream(false, 8, 0, "x")) << "done with: not a new stream";
    EXPECT_EQ(sink.events.size(), 1u);
}

}
