#include <gtest/gtest.h>

#include <nghttp3/nghttp3.h>

#include <algorithm>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "http3.h"
#include "quic_builder.h"

using namespace quillnet;
using namespace quillnet::quic;
using namespace quic_testing;

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

constexpr uint64_t kClientControl = 2;
constexpr uint64_t kClientEncoder = 6;
constexpr uint64_t kClientDecoder = 10;
constexpr uint64_t kClientGrease = 14;
constexpr uint64_t kServerControl = 3;
constexpr uint64_t kServerEncoder = 7;
constexpr uint8_t kControlType = 0x00;
constexpr uint8_t kEncoderType = 0x02;
constexpr uint8_t kDecoderType = 0x03;
constexpr uint8_t kGreaseType = 0x21;
constexpr uint64_t kDataFrame = 0x00;
constexpr uint64_t kHeadersFrame = 0x01;
constexpr uint64_t kSettingsFrame = 0x04;
constexpr uint64_t kGreaseFrame = 0x21;
constexpr size_t kTableCapacity = 4096;

Bytes Frame(uint64_t type, const Bytes &payload)
{
    Bytes frame;
    AppendVarint(frame, type);
    AppendVarint(frame, payload.size());
    return Join({frame, payload});
}

Bytes Text(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

// A control stream's opening: its type and SETTINGS with QPACK's two and a grease setting.
Bytes ControlStream(uint64_t tableCapacity)
{
    Bytes settings;
    for (const uint64_t value : {uint64_t{0x01}, tableCapacity, uint64_t{0x07}, uint64_t{100}, uint64_t{0x21},
                                 uint64_t{7}})
        AppendVarint(settings, value);
    return Join({{kControlType}, Frame(kSettingsFrame, settings)});
}

// libnghttp3's encoder, as a browser or server uses it: blocks may refer to
// entries whose instructions are still on their way.
class BlockEncoder {
public:
    struct Encoded {
        Bytes block;
        Bytes instructions;
    };

    explicit BlockEncoder(size_t tableCapacity)
    {
        nghttp3_qpack_encoder_new(&encoder_, tableCapacity, nghttp3_mem_default());
        nghttp3_qpack_encoder_set_max_dtable_capacity(encoder_, tableCapacity);
        nghttp3_qpack_encoder_set_max_blocked_streams(encoder_, 100);
    }
    ~BlockEncoder() { nghttp3_qpack_encoder_del(encoder_); }
    BlockEncoder(const BlockEncoder &) = delete;
    BlockEncoder &operator=(const BlockEncoder &) = delete;

    Encoded encode(int64_t stream, const Fields &fields)
    {
        std::vector<nghttp3_nv> list;
        for (const auto &[name, value] : fields)
            list.push_back({reinterpret_cast<uint8_t *>(const_cast<char *>(name.data())),
                            reinterpret_cast<uint8_t *>(const_cast<char *>(value.data())), name.size(), value.size(),
                            NGHTTP3_NV_FLAG_NONE});
        nghttp3_buf prefix, rest, instructions;
        for (nghttp3_buf *buffer : {&prefix, &rest, &instructions})
            nghttp3_buf_init(buffer);
        EXPECT_EQ(nghttp3_qpack_encoder_encode(encoder_, &prefix, &rest, &instructions, stream, list.data(),
                                               list.size()),
                  0);
        Encoded encoded{Join({bytesOf(prefix), bytesOf(rest)}), bytesOf(instructions)};
        for (nghttp3_buf *buffer : {&prefix, &rest, &instructions})
            nghttp3_buf_free(buffer, nghttp3_mem_default());
        return encoded;
    }

    // As when the peer's decoder stream acknowledged every block.
    void acknowledgeAll() { nghttp3_qpack_encoder_ack_everything(encoder_); }

private:
    static Bytes bytesOf(const nghttp3_buf &buffer) { return Bytes(buffer.pos, buffer.last); }

    nghttp3_qpack_encoder *encoder_ = nullptr;
};

struct Exchange {
    std::string authority, path, status, contentType, headers;
    bool operator==(const Exchange &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Exchange &exchange)
{
    return out << exchange.authority << ' ' << exchange.path << ' ' << exchange.status << ' ' << exchange.contentType
               << " headers " << ToHex(ByteView(exchange.headers));
}

class RecordingHttp3Sink : public Http3Sink {
public:
    void onHttp3Exchange(std::string_view authority, std::string_view path, std::string_view status,
                         std::string_view contentType, const RequestHeaders &headers) override
    {
        exchanges.push_back({std::string(authority), std::string(path), std::string(status),
                             std::string(contentType), headers.record()});
    }

    std::vector<Exchange> exchanges;
};

// The kind 112 fields as receivers read them.
std::string HeaderRecord(std::initializer_list<std::pair<RequestHeader, std::string_view>> fields)
{
    std::string record;
    for (const auto &[name, value] : fields) {
        const RequestHeaderField field{name, static_cast<uint16_t>(value.size())};
        record.append(reinterpret_cast<const char *>(&field), sizeof field);
        record.append(value);
    }
    return record;
}

// One HTTP/3 connection as the QUIC layer hands it on: each direction of
// each stream in order, in pieces of the sizes asked for.
struct Http3Wire {
    void send(uint64_t stream, bool fromClient, const Bytes &bytes, const std::vector<size_t> &pieces = {})
    {
        uint64_t &offset = sent[{stream, fromClient}];
        for (size_t at = 0, piece = 0; at < bytes.size(); ++piece) {
            const size_t length = pieces.empty() ? bytes.size() : pieces[piece % pieces.size()];
            const ByteView part = ViewOf(bytes).sub(at, length);
            connection.onStreamData(stream, fromClient, offset, part, sink);
            offset += part.size();
            at += part.size();
        }
    }
    void client(uint64_t stream, const Bytes &bytes, const std::vector<size_t> &pieces = {})
    {
        send(stream, true, bytes, pieces);
    }
    void server(uint64_t stream, const Bytes &bytes, const std::vector<size_t> &pieces = {})
    {
        send(stream, false, bytes, pieces);
    }
    void end(uint64_t stream, bool fromClient) { connection.onStreamEnd(stream, fromClient, sink); }

    void openControlStreams(uint64_t clientCapacity = kTableCapacity, uint64_t serverCapacity = kTableCapacity)
    {
        client(kClientControl, ControlStream(clientCapacity));
        server(kServerControl, ControlStream(serverCapacity));
    }

    // A request and its answer, both with static references and literals only.
    void exchange(uint64_t stream, const Fields &request, const Fields &response)
    {
        BlockEncoder plain(0);
        client(stream, Frame(kHeadersFrame, plain.encode(static_cast<int64_t>(stream), request).block));
        server(stream, Frame(kHeadersFrame, plain.encode(static_cast<int64_t>(stream), response).block));
    }

    Http3Connection connection{"sni.example"};
    RecordingHttp3Sink sink;
    std::map<std::pair<uint64_t, bool>, uint64_t> sent;
};

Fields Get(const std::string &path)
{
    return {{":method", "GET"}, {":scheme", "https"}, {":authority", "media.example"}, {":path", path}};
}

Fields Answer(const std::string &status, const std::string &contentType = "video/mp2t")
{
    return {{":status", status}, {"content-type", contentType}};
}

TEST(Http3Connection, DecodesRequestsAndResponsesThroughBothDynamicTables)
{
    Http3Wire wire;
    // Settings one byte at a time; a grease stream and the decoder stream tell nothing.
    wire.client(kClientControl, ControlStream(kTableCapacity), {1});
    wire.server(kServerControl, ControlStream(kTableCapacity), {3, 1});
    wire.client(kClientGrease, Join({{kGreaseType}, Text("whatever")}));
    wire.client(kClientDecoder, {kDecoderType, 0x80});
    wire.client(kClientEncoder, {kEncoderType});
    wire.server(kServerEncoder, {kEncoderType});

    BlockEncoder browser(kTableCapacity);
    BlockEncoder server(kTableCapacity);
    const Fields request = {{":method", "GET"},        {":scheme", "https"},
                            {":authority", "media.example"}, {":path", "/live/master.m3u8"},
                            {"user-agent", "Tester/1.0"},    {"cookie", "a=1"},
                            {"cookie", "b=2"},               {"accept", "*/*"},
                            {"x-other", "y"}};
    const auto first = browser.encode(0, request);
    ASSERT_FALSE(first.instructions.empty()) << "the block should need the encoder stream";

    // The request's block before the instructions it needs, its frame split everywhere, after an unknown frame.
    wire.client(0, Join({Frame(kGreaseFrame, Text("xx")), Frame(kHeadersFrame, first.block)}), {1, 2, 3});
    const auto answer = server.encode(0, Answer("200", "application/vnd.apple.mpegurl"));
    wire.server(kServerEncoder, answer.instructions);
    wire.server(0, Join({Frame(kHeadersFrame, answer.block), Frame(kDataFrame, Bytes(3000, '#'))}), {5, 700});
    wire.end(0, false);
    EXPECT_TRUE(wire.sink.exchanges.empty()) << "the request is still blocked";
    const size_t heldWhileBlocked = wire.connection.heldBytes();
    EXPECT_GT(heldWhileBlocked, first.block.size());

    // The instructions, cut inside one: the block is read when the entries it needs are in.
    const size_t half = first.instructions.size() / 2;
    wire.client(kClientEncoder, Bytes(first.instructions.begin(), first.instructions.begin() + half));
    EXPECT_TRUE(wire.sink.exchanges.empty());
    wire.client(kClientEncoder, Bytes(first.instructions.begin() + half, first.instructions.end()));
    wire.end(0, true);

    const std::string headers =
        HeaderRecord({{kHeaderUserAgent, "Tester/1.0"}, {kHeaderCookie, "a=1; b=2"}, {kHeaderAccept, "*/*"}});
    ASSERT_EQ(wire.sink.exchanges.size(), 1u);
    EXPECT_EQ(wire.sink.exchanges[0],
              (Exchange{"media.example", "/live/master.m3u8", "200", "application/vnd.apple.mpegurl", headers}));

    // Once acknowledged, a block refers to those entries with nothing new on the encoder stream.
    browser.acknowledgeAll();
    server.acknowledgeAll();
    Fields next = request;
    next[3].second = "/live/segment1.ts";
    const auto second = browser.encode(4, next);
    const auto secondAnswer = server.encode(4, Answer("206"));
    EXPECT_TRUE(second.instructions.empty());
    wire.client(4, Frame(kHeadersFrame, second.block), {4});
    wire.server(kServerEncoder, secondAnswer.instructions);
    wire.server(4, Frame(kHeadersFrame, secondAnswer.block));
    ASSERT_EQ(wire.sink.exchanges.size(), 2u);
    EXPECT_EQ(wire.sink.exchanges[1], (Exchange{"media.example", "/live/segment1.ts", "206", "video/mp2t", headers}));
    EXPECT_FALSE(wire.connection.broken());
}

TEST(Http3Connection, ReadsBlocksThatCameBeforeTheSettingsTheyDependOn)
{
    // After 0-RTT a browser encodes with the settings it remembers before the server's arrive.
    Http3Wire wire;
    wire.client(kClientControl, ControlStream(kTableCapacity));
    BlockEncoder browser(kTableCapacity);
    const auto early = browser.encode(0, Get("/early.mpd"));
    wire.client(0, Frame(kHeadersFrame, early.block));
    wire.client(kClientEncoder, Join({{kEncoderType}, early.instructions}));
    BlockEncoder server(0);
    wire.server(0, Frame(kHeadersFrame, server.encode(0, Answer("200", "application/dash+xml")).block));
    EXPECT_TRUE(wire.sink.exchanges.empty());

    wire.server(kServerControl, ControlStream(kTableCapacity), {2});
    ASSERT_EQ(wire.sink.exchanges.size(), 1u);
    EXPECT_EQ(wire.sink.exchanges[0], (Exchange{"media.example", "/early.mpd", "200", "application/dash+xml", ""}));
    EXPECT_FALSE(wire.connection.broken());
}

TEST(Http3Connection, ReadsABlockBeforeLaterInstructionsEvictWhatItNeeds)
{
    // The browser's decoder read the block, acknowledged it, and its encoder then evicted the entry; the capture
    // hands on all those instructions at once, after the block.
    Http3Wire wire;
    wire.openControlStreams();
    const Bytes path = Text("/evicted.ts");
    const Bytes block = Join({{0x02, 0x00},                          // Required Insert Count 1, base 1
                              {0xd1},                                // :method GET, static
                              {0x80},                                // the dynamic entry: :path
                              {0x50, 0x0d}, Text("media.example")}); // :authority, literal value
    wire.client(0, Frame(kHeadersFrame, block));
    wire.client(kClientEncoder, Join({{kEncoderType, 0x3f, 0x21},                      // capacity 64
                                      {0xc1, static_cast<uint8_t>(path.size())}, path, // 48 bytes of it
                                      {0xc1, 0x05}, Text("/x.ts")}));                  // evicts it
    wire.server(0, Frame(kHeadersFrame, BlockEncoder(0).encode(0, Answer("200")).block));
    EXPECT_EQ(wire.sink.exchanges, (std::vector<Exchange>{{"media.example", "/evicted.ts", "200", "video/mp2t", ""}}));
    EXPECT_FALSE(wire.connection.broken());
}

TEST(Http3Connection, ReportsOnlyGetsWithTheirFinalAnswer)
{
    Http3Wire wire;
    wire.openControlStreams();
    Fields post = Get("/upload");
    post[0].second = "POST";
    Fields head = Get("/probe.ts");
    head[0].second = "HEAD";
    wire.exchange(0, post, Answer("200"));
    wire.exchange(4, head, Answer("200"));
    EXPECT_TRUE(wire.sink.exchanges.empty());

    // Interim answers before the real one; one that never gets past 100.
    BlockEncoder plain(0);
    wire.client(8, Frame(kHeadersFrame, plain.encode(8, Get("/video.mp4")).block));
    wire.server(8, Join({Frame(kHeadersFrame, plain.encode(8, {{":status", "103"}, {"link", "</a.js>"}}).block),
                         Frame(kHeadersFrame, plain.encode(8, Answer("200", "video/mp4")).block)}));
    wire.exchange(12, Get("/never"), {{":status", "100"}});

    // Without :authority, host names the server, and without both the server name does.
    wire.exchange(16, {{":method", "GET"}, {":path", "/hosted.m3u8"}, {"host", "host.example"}}, Answer("200"));
    wire.exchange(20, {{":method", "GET"}, {":path", "/bare.m3u8"}}, Answer("404", "text/html"));

    const std::vector<Exchange> expected = {{"media.example", "/video.mp4", "200", "video/mp4", ""},
                                            {"host.example", "/hosted.m3u8", "200", "video/mp2t", ""},
                                            {"sni.example", "/bare.m3u8", "404", "text/html", ""}};
    EXPECT_EQ(wire.sink.exchanges, expected);
}

TEST(Http3Connection, ResetAndOversizedStreamsGiveUpWhatTheyHold)
{
    Http3Wire wire;
    wire.openControlStreams();
    wire.client(kClientEncoder, {kEncoderType});
    const size_t idle = wire.connection.heldBytes();

    // A blocked request and half a frame on another stream, both reset.
    BlockEncoder browser(kTableCapacity);
    const auto blocked = browser.encode(0, Get("/reset.m3u8"));
    wire.client(0, Frame(kHeadersFrame, blocked.block));
    const Bytes partial = Frame(kHeadersFrame, BlockEncoder(0).encode(4, Get("/cut.m3u8")).block);
    wire.client(4, Bytes(partial.begin(), partial.begin() + 6));
    EXPECT_GT(wire.connection.heldBytes(), idle);
    wire.connection.onStreamReset(0, true);
    wire.connection.onStreamReset(4, true);
    EXPECT_EQ(wire.connection.heldBytes(), idle);

    // What comes on them later is not taken for a new stream.
    wire.client(kClientEncoder, blocked.instructions);
    const size_t withEntries = wire.connection.heldBytes();
    EXPECT_GT(withEntries, idle);
    wire.client(4, Bytes(partial.begin() + 6, partial.end()));
    wire.server(0, Frame(kHeadersFrame, BlockEncoder(0).encode(0, Answer("200")).block));
    wire.server(4, Frame(kHeadersFrame, BlockEncoder(0).encode(4, Answer("200")).block));

    // A header block longer than any browser sends gives up its stream, not the connection.
    Bytes huge;
    AppendVarint(huge, kHeadersFrame);
    AppendVarint(huge, 1u << 30);
    wire.client(8, Join({huge, Bytes(4096, 0)}));
    EXPECT_EQ(wire.connection.heldBytes(), withEntries);

    wire.exchange(12, Get("/after.ts"), Answer("200"));
    EXPECT_EQ(wire.sink.exchanges, (std::vector<Exchange>{{"media.example", "/after.ts", "200", "video/mp2t", ""}}));
    EXPECT_FALSE(wire.connection.broken());
}

TEST(Http3Connection, BreaksOnBadQpackOrSettingsWithoutCrashing)
{
    const auto request = [](const Bytes &block) {
        return [block](Http3Wire &wire) {
            wire.openControlStreams();
            wire.client(0, Frame(kHeadersFrame, block));
        };
    };
    const std::vector<std::pair<std::string, std::function<void(Http3Wire &)>>> cases = {
        {"dynamic reference past the table", request({0x00, 0x00, 0x81})},
        {"required insert count beyond any table", request({0xff, 0x7f, 0x00, 0xd1})},
        {"field cut short", request({0x00, 0x00, 0x51, 0x05, 'a'})},
        {"table larger than announced",
         [](Http3Wire &wire) {
             wire.openControlStreams();
             wire.client(kClientEncoder, {kEncoderType, 0x3f, 0xe1, 0x3f}); // 8192, over the 4096 announced
         }},
        {"insert into a table never sized",
         [](Http3Wire &wire) {
             wire.openControlStreams();
             wire.server(kServerEncoder, {kEncoderType, 0xc1, 0x03, 'a', 'b', 'c'});
         }},
        {"settings cut inside a value",
         [](Http3Wire &wire) {
             wire.server(kServerControl, ControlStream(kTableCapacity));
             wire.client(kClientControl, Join({{kControlType}, Frame(kSettingsFrame, {0x01, 0x40})}));
         }},
    };
    for (const auto &[name, breakIt] : cases) {
        SCOPED_TRACE(name);
        Http3Wire wire;
        breakIt(wire);
        EXPECT_TRUE(wire.connection.broken());
        EXPECT_EQ(wire.connection.heldBytes(), 0u);
        wire.exchange(16, Get("/later.ts"), Answer("200"));
        EXPECT_TRUE(wire.sink.exchanges.empty());
    }
}

TEST(Http3Connection, HoldsBoundedMemoryUnderAFloodOfUnansweredRequests)
{
    Http3Wire wire;
    wire.openControlStreams();
    wire.client(kClientEncoder, {kEncoderType});
    BlockEncoder plain(0);
    // Bounds plus what the decoders keep for blocks they began: far below what the flood carries.
    const size_t bound = Http3Connection::kMaxExchangeBytes + 256 * 1024;
    size_t most = 0;
    uint64_t stream = 0;
    for (int i = 0; i < 20000; ++i, stream += 4) {
        const auto request = plain.encode(static_cast<int64_t>(stream), Get("/flood/" + std::to_string(i)));
        wire.client(stream, Frame(kHeadersFrame, request.block));
        most = std::max(most, wire.connection.heldBytes());
    }
    // Blocks that wait for instructions that never come, 100 KiB each.
    for (int i = 0; i < 300; ++i, stream += 4) {
        Bytes block = {0x02, 0x00}; // Required Insert Count 1, not there yet
        block.resize(100 * 1024, 0x51);
        wire.client(stream, Frame(kHeadersFrame, block), {60000});
        most = std::max(most, wire.connection.heldBytes());
    }
    EXPECT_LE(most, bound);

    // The oldest requests were given up; a new one is still followed.
    wire.server(0, Frame(kHeadersFrame, plain.encode(0, Answer("200")).block));
    const uint64_t lastPlain = 4 * 19999;
    wire.server(lastPlain, Frame(kHeadersFrame, plain.encode(static_cast<int64_t>(lastPlain), Answer("200")).block));
    EXPECT_TRUE(wire.sink.exchanges.empty()) << "given up for the blocked ones that came after";
    wire.exchange(stream, Get("/fresh.ts"), Answer("200"));
    EXPECT_EQ(wire.sink.exchanges, (std::vector<Exchange>{{"media.example", "/fresh.ts", "200", "video/mp2t", ""}}));
    EXPECT_FALSE(wire.connection.broken());
}

}
