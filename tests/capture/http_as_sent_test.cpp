// HTTP as real clients and servers send it: header blocks across segments,
// answers paired by sequence numbers, frames seen twice, proxy requests and
// requests without a Host line.
#include <gtest/gtest.h>

#include <mutex>

#include "capture_loop.h"
#include "frame_test.h"
#include "http.h"
#include "protocol_payloads.h"

using namespace quillnet;
using namespace testing_support;

namespace {

class HttpAsSentTest : public FrameTest {
protected:
    // A segment with its own sequence and acknowledgement numbers.
    void send(const Endpoint &from, const Endpoint &to, const std::string &payload, uint32_t sequence,
              uint32_t acknowledgement)
    {
        FrameShape shape;
        shape.sequence = sequence;
        shape.acknowledgement = acknowledgement;
        feed(BuildTcpFrame(from, to, payload, shape));
    }
};

std::string answer(const std::string &type)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: 4\r\n\r\nbody";
}

TEST_F(HttpAsSentTest, ARequestSplitAcrossSegmentsIsReadAsOneBlock)
{
    // As an Android WebView sends it: the request line, then the rest.
    feed(kClient, kServer, "GET /tracking/pixel.gif HTTP/1.1\r\n");
    feed(kClient, kServer, "Host: ads.example\r\nUser-Agent: WebView\r\n\r\n");
    feed(kServer, kClient, answer("image/gif"));
    // Split inside the request line and inside the Host line.
    const Endpoint other{kClient.address, 51001};
    feed(other, kServer, "GET /video/cl");
    feed(other, kServer, "ip.mp4 HTTP/1.1\r\nHo");
    feed(other, kServer, "st: cdn.example\r\n\r\n");
    feed(kServer, other, answer("video/mp4"));
    // The method itself in pieces; and two bytes that only looked like one are read as what follows them.
    const Endpoint third{kClient.address, 51002};
    feed(third, kServer, "G");
    feed(third, kServer, "E");
    feed(third, kServer, "T /live/a.m3u8 HTTP/1.1\r\nHost: cdn.example\r\n\r\n");
    feed(kServer, third, answer("application/vnd.apple.mpegurl"));
    const Endpoint fourth{kClient.address, 51003};
    feed(fourth, kServer, "GE");
    feed(fourth, kServer, "POST /form HTTP/1.1\r\n\r\n");
    feed(fourth, kServer, "GET /late.flv HTTP/1.1\r\nHost: cdn.example\r\n\r\n");
    feed(kServer, fourth, answer("video/x-flv"));

    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_STREQ(records[2].path, "/live/a.m3u8");
    EXPECT_STREQ(records[3].path, "/late.flv");
    EXPECT_STREQ(records[0].host, "ads.example");
    EXPECT_STREQ(records[0].path, "/tracking/pixel.gif");
    EXPECT_STREQ(records[1].host, "cdn.example");
    EXPECT_STREQ(records[1].path, "/video/clip.mp4");
    EXPECT_STREQ(records[1].contentType, "video/mp4");
}

TEST_F(HttpAsSentTest, AnswersPairBySequenceNumbersWhenOneIsNeverCaptured)
{
    // One keep-alive connection: three requests, each sent once the answer
    // before it had arrived; the first answer (1000 bytes) is not captured.
    const std::string first = "GET /application.min.js HTTP/1.1\r\nHost: e\r\n\r\n";
    const std::string second = "GET /logo.png HTTP/1.1\r\nHost: e\r\n\r\n";
    const std::string third = "GET /clip.mp4 HTTP/1.1\r\nHost: e\r\n\r\n";
    const uint32_t client = 5000;
    const uint32_t server = 90000;
    const auto size = [](const std::string &text) { return static_cast<uint32_t>(text.size()); };
    send(kClient, kServer, first, client, server);
    send(kClient, kServer, second, client + size(first), server + 1000);
    const std::string png = answer("image/png");
    send(kServer, kClient, png, server + 1000, client + size(first) + size(second));
    send(kClient, kServer, third, client + size(first) + size(second), server + 1000 + size(png));
    send(kServer, kClient, answer("video/mp4"), server + 1000 + size(png),
         client + size(first) + size(second) + size(third));

    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].path, "/logo.png");
    EXPECT_STREQ(records[0].contentType, "image/png");
    EXPECT_STREQ(records[1].path, "/clip.mp4");
    EXPECT_STREQ(records[1].contentType, "video/mp4");
    EXPECT_EQ(PendingRequestCount(), 0u) << "the request whose answer was missed is dropped";
}

TEST_F(HttpAsSentTest, PipelinedRequestsAreAnsweredInOrder)
{
    const std::string both = "GET /a.flv HTTP/1.1\r\nHost: e\r\n\r\nGET /b.mp3 HTTP/1.1\r\nHost: e\r\n\r\n";
    send(kClient, kServer, both, 100, 7000);
    const std::string a = answer("video/x-flv");
    send(kServer, kClient, a, 7000, 100 + static_cast<uint32_t>(both.size()));
    send(kServer, kClient, answer("audio/mpeg"), 7000 + static_cast<uint32_t>(a.size()),
         100 + static_cast<uint32_t>(both.size()));
    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].path, "/a.flv");
    EXPECT_STREQ(records[0].contentType, "video/x-flv");
    EXPECT_STREQ(records[1].path, "/b.mp3");
    EXPECT_STREQ(records[1].contentType, "audio/mpeg");
}

TEST_F(HttpAsSentTest, EveryFrameCapturedTwiceGivesEachRowOnce)
{
    const Endpoint mms{{172, 16, 0, 9}, 1755};
    const Endpoint rtmp{{10, 0, 0, 6}, 1935};
    const std::vector<std::vector<uint8_t>> frames = {
        BuildTcpFrame(kClient, kServer, "GET /v.flv HTTP/1.1\r\nHost: e\r\n\r\n", FrameShape{true, 0, 0x4000, 10, 20}),
        BuildTcpFrame(kServer, kClient, answer("video/x-flv"), FrameShape{true, 0, 0x4000, 20, 45}),
        BuildTcpFrame(kClient, kServer, "DESCRIBE rtsp://cam/a RTSP/1.0\r\n\r\n", FrameShape{true, 0, 0x4000, 45, 80}),
        BuildTcpFrame(kClient, mms, MmsOpenFile(u"clip.wmv"), FrameShape{true, 0, 0x4000, 1, 1}),
        BuildTcpFrame(kClient, rtmp, RtmpConnect({{"app", "vod"}}), FrameShape{true, 0, 0x4000, 1, 1}),
        BuildTcpFrame(kClient, rtmp, RtmpPlay("s"), FrameShape{true, 0, 0x4000, 900, 1}),
    };
    for (const auto &frame : frames) {
        feed(frame);
        feed(frame);
    }
    EXPECT_EQ(window.httpRecords().size(), 1u);
    EXPECT_EQ(window.urlTexts().size(), 2u);
    EXPECT_EQ(window.rtmpRecords().size(), 1u);
}

TEST_F(HttpAsSentTest, ARequestToAProxyGivesItsOwnUrl)
{
    const Endpoint proxy{{10, 0, 0, 1}, 3128};
    feed(kClient, proxy, "GET HTTP://Bro.ORG/ HTTP/1.1\r\nHost: bro.org\r\n\r\n");
    feed(proxy, kClient, answer("text/html"));
    const Endpoint other{kClient.address, 51002};
    feed(other, proxy, "GET http://Media.Example:8080/videos/2026/Clip-0001.FLV HTTP/1.1\r\nHost: ignored\r\n\r\n");
    feed(proxy, other, answer("video/x-flv"));
    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].host, "bro.org");
    EXPECT_STREQ(records[0].path, "/");
    EXPECT_EQ(records[0].port, 80) << "the URL's port, not the proxy's";
    EXPECT_STREQ(records[1].host, "media.example:8080");
    EXPECT_STREQ(records[1].path, "/videos/2026/Clip-0001.FLV");
    EXPECT_EQ(records[1].port, 8080);
}

TEST_F(HttpAsSentTest, ALongSignedUrlComesWholeWithTheHeadersNeededToFetchIt)
{
    const std::string target = "/video/clip.mp4?expires=1767225600&sig=" + std::string(2960, 's');
    const std::string request = "GET " + target +
                                " HTTP/1.1\r\nHost: cdn.example\r\nUser-Agent: Player/1.0\r\n"
                                "Referer: https://site.example/watch?v=1\r\nCookie: a=1\r\ncookie:  b=2\r\n"
                                "Origin: https://site.example\r\nAuthorization: Bearer secret\r\n\r\n";
    // Cut inside the request line, as a 1,400-byte segment would cut it.
    feed(kClient, kServer, request.substr(0, 1400));
    feed(kClient, kServer, request.substr(1400));
    feed(kServer, kClient, answer("video/mp4"));
    const Endpoint other{kClient.address, 51009};
    feed(other, kServer, "GET /short.flv HTTP/1.1\r\nHost: cdn.example\r\n\r\n");
    feed(kServer, other, answer("video/x-flv"));

    const auto urls = window.foundUrls();
    ASSERT_EQ(urls.size(), 2u);
    EXPECT_TRUE(urls[0].whole) << "too long for the fixed record";
    EXPECT_EQ(urls[0].host, "cdn.example");
    EXPECT_EQ(urls[0].path, target);
    EXPECT_EQ(urls[0].contentType, "video/mp4");
    const std::map<uint16_t, std::string> expected{{kHeaderUserAgent, "Player/1.0"},
                                                   {kHeaderReferer, "https://site.example/watch?v=1"},
                                                   {kHeaderCookie, "a=1; b=2"},
                                                   {kHeaderOrigin, "https://site.example"}};
    EXPECT_EQ(urls[0].headers, expected) << "and never Authorization";
    EXPECT_FALSE(urls[1].whole);
    EXPECT_EQ(urls[1].path, "/short.flv");
    EXPECT_TRUE(urls[1].headers.empty()) << "no record of headers for a request that had none";
}

TEST_F(HttpAsSentTest, ARequestWithoutHostNamesTheServerByAddress)
{
    const Endpoint server{{192, 0, 2, 7}, 8080};
    feed(kClient, server, "GET /path HTTP/1.0\r\n\r\n");
    feed(server, kClient, answer("text/plain"));
    const Endpoint6 client6{{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20}, 52000};
    const Endpoint6 server6{{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x07}, 80};
    feed(BuildTcpFrame6(client6, server6, "GET /six HTTP/1.0\r\n\r\n"));
    feed(BuildTcpFrame6(server6, client6, answer("text/plain")));
    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].host, "192.0.2.7:8080");
    EXPECT_STREQ(records[1].host, "[2001:db8::7]");
}

TEST_F(HttpAsSentTest, AFloodOfUnfinishedBlocksStaysBoundedAndLosesNoAnswer)
{
    constexpr int kConnections = static_cast<int>(kMostUnfinishedBlocks) + 904;
    const auto client = [](int i) {
        return Endpoint{{192, 168, static_cast<uint8_t>(i / 60000), 30}, static_cast<uint16_t>(1024 + i % 60000)};
    };
    for (int i = 0; i < kConnections; ++i) {
        feed(client(i), kServer, "GET /f" + std::to_string(i) + " HTTP/1.1\r\nHost: e\r\n\r\n");
        feed(kServer, client(i), "HTTP/1.1 200 OK\r\n");
    }
    EXPECT_EQ(window.httpRecords().size(), 904u) << "the oldest unfinished answers beyond the bound are sent";
    {
        const std::lock_guard guard(CaptureLock());
        FinishHttpBlocks(window.handle());
    }
    EXPECT_EQ(window.httpRecords().size(), static_cast<size_t>(kConnections));
    EXPECT_STREQ(window.httpRecords().front().path, "/f0");
}

}
