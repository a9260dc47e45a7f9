#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frame_test.h"
#include "http.h"
#include "log_texts.h"
#include "notifications.h"
#include "pending_table.h"

using namespace quillnet;
using namespace testing_support;

namespace {

std::string get(const std::string &path, const std::string &host = "example")
{
    return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nAccept: */*\r\n\r\n";
}

std::string ok(const std::string &contentType)
{
    return "HTTP/1.1 200 OK\r\nServer: test\r\nContent-Type: " + contentType + "\r\nContent-Length: 3\r\n\r\nabc";
}

class HttpTest : public FrameTest {};

TEST_F(HttpTest, RequestThenResponseSendsOneRecordLaidOutByteForByte)
{
    feed(kClient, kServer, get("/v.flv"));
    const PendingRequest *request = FindPendingRequest(1);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->path, "/v.flv");
    EXPECT_EQ(request->host, "example");

    feed(kServer, kClient, ok("video/x-flv"));
    EXPECT_EQ(FindPendingRequest(1), nullptr);

    int records = 0;
    for (const ReceivedMessage &message : window.messages()) {
        if (message.message != WM_COPYDATA || message.dwData != kKindHttpUrl)
            continue;
        ++records;
        EXPECT_EQ(message.wParam, 107u);
        ASSERT_EQ(message.cbData, 1804u);
        const uint8_t *bytes = message.data.data();
        EXPECT_EQ(bytes[0], 80);
        EXPECT_EQ(bytes[1], 0);
        EXPECT_EQ(bytes[2], 0);
        EXPECT_EQ(bytes[3], 0);
        EXPECT_STREQ(reinterpret_cast<const char *>(bytes + 4), "example");
        EXPECT_STREQ(reinterpret_cast<const char *>(bytes + 304), "/v.flv");
        EXPECT_STREQ(reinterpret_cast<const char *>(bytes + 1604), "video/x-flv");
    }
    EXPECT_EQ(records, 1);
}

TEST_F(HttpTest, LogsEachStageInOrder)
{
    feed(kClient, kServer, get("/a"));
    feed(kServer, kClient, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n");
    const std::vector<std::string> expected = {
        logtext::kFoundGet,
        logtext::kFoundHost,
        logtext::kFoundAccept,
        logtext::kFoundResponse,
        FormatText(logtext::kResponseSlot, 1),
        FormatText(logtext::kResponseHeader, "HTTP/1.1 200 OK"),
        FormatText(logtext::kResponseHeader, "Content-Type: text/html"),
        FormatText(logtext::kFoundContentType, "Content-Type: text/html", 23),
        FormatText(logtext::kContentTypeValue, "text/html"),
    };
    EXPECT_EQ(window.logs(), expected);
}

TEST_F(HttpTest, ResponsesPairWithTheirOwnConnection)
{
    const Endpoint otherClient{{192, 168, 1, 21}, 40000};
    const Endpoint otherPortSameHost{{192, 168, 1, 20}, 51001};
    feed(kClient, kServer, get("/first.flv"));
    feed(otherClient, kServer, get("/second.mp4"));
    feed(otherPortSameHost, kServer, get("/third.mp3"));

    feed(kServer, otherClient, ok("video/mp4"));
    feed(kServer, otherPortSameHost, ok("audio/mpeg"));
    feed(kServer, kClient, ok("video/x-flv"));

    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_STREQ(records[0].path, "/second.mp4");
    EXPECT_STREQ(records[0].contentType, "video/mp4");
    EXPECT_STREQ(records[1].path, "/third.mp3");
    EXPECT_STREQ(records[2].path, "/first.flv");
    EXPECT_STREQ(records[2].contentType, "video/x-flv");
}

TEST_F(HttpTest, PipelinedRequestsInOneSegmentAreAllAnsweredInOrder)
{
    feed(kClient, kServer, get("/one") + get("/two"));
    EXPECT_EQ(FindPendingRequest(1)->path, "/one");
    EXPECT_EQ(FindPendingRequest(2)->path, "/two");
    feed(kClient, kServer, get("/three"));
    EXPECT_EQ(FindPendingRequest(3)->path, "/three");
    feed(kServer, kClient, ok("text/plain"));
    feed(kServer, kClient, ok("text/plain"));
    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].path, "/one");
    EXPECT_STREQ(records[1].path, "/two");
}

TEST_F(HttpTest, ASecondGetLineInOnePayloadTakesItsOwnSlot)
{
    feed(kClient, kServer, "GET /a HTTP/1.1\r\nHost: one\r\nGET /b HTTP/1.1\r\nHost: two\r\n\r\n");
    EXPECT_EQ(FindPendingRequest(1)->host, "one");
    EXPECT_EQ(FindPendingRequest(2)->path, "/b");
    EXPECT_EQ(FindPendingRequest(2)->host, "two");
}

TEST_F(HttpTest, HeaderNamesInAnyCaseBlanksAfterTheColonOrNoneAndBareLineFeeds)
{
    feed(kClient, kServer, "GET /a HTTP/1.1\r\nHost:example\r\n\r\n");
    EXPECT_EQ(FindPendingRequest(1)->host, "example");
    feed(kServer, kClient, "HTTP/1.1 200 OK\r\ncontent-type:video/mp4\r\n\r\n");
    feed(kClient, kServer, "GET /b HTTP/1.1\nhost: \tlocalhost:8888 \nACCEPT: */*\n\n");
    feed(kServer, kClient, "HTTP/1.0 200 OK\nCONTENT-TYPE:  audio/ogg\n\n");
    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].contentType, "video/mp4");
    EXPECT_STREQ(records[1].host, "localhost:8888");
    EXPECT_STREQ(records[1].contentType, "audio/ogg");
}

TEST_F(HttpTest, ContentTypeIsLookedForThroughTheBody)
{
    feed(kClient, kServer, get("/page"));
    feed(kServer, kClient, "HTTP/1.0 200 OK\r\n\r\nbody line\r\nContent-Type: text/odd\r\n");
    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].contentType, "text/odd");
}

TEST_F(HttpTest, RequestHeadersStopAtTheEmptyLine)
{
    feed(kClient, kServer, "GET /a HTTP/1.1\r\n\r\nHost: body\r\n\r\n");
    EXPECT_EQ(FindPendingRequest(1)->host, "");
}

TEST_F(HttpTest, IcyResponsesDefaultToAudioMpeg)
{
    feed(kClient, kServer, get("/stream"));
    feed(kServer, kClient, "ICY 200 OK\r\nicy-name: radio\r\n\r\n");
    feed(kClient, kServer, get("/typed"));
    feed(kServer, kClient, "ICY 200 OK\r\nContent-Type: audio/aacp\r\n\r\n");
    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].contentType, "audio/mpeg");
    EXPECT_STREQ(records[1].contentType, "audio/aacp");
}

TEST_F(HttpTest, AResponseWhoseHeadersGoOnInTheNextSegmentWaitsForThem)
{
    feed(kClient, kServer, get("/x"));
    feed(kServer, kClient, "HTTP/1.1 200 OK\r\n"); // the status line alone, as some servers send it
    EXPECT_TRUE(window.httpRecords().empty());
    feed(kServer, kClient, "Server: split\r\nContent-Ty");
    feed(kServer, kClient, "pe: video/mp4\r\n\r\n");
    // A response whose connection closes before its Content-Type is sent as it stands.
    feed(kClient, kServer, get("/y"));
    feed(kServer, kClient, "HTTP/1.1 200 OK\r\nServer: split");
    feed(kServer, kClient, "", FrameShape{true, 0, 0x4000, 0, 0, 0x11});
    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].contentType, "video/mp4");
    EXPECT_STREQ(records[0].path, "/x");
    EXPECT_STREQ(records[1].contentType, "");
    EXPECT_STREQ(records[1].path, "/y");
}

TEST_F(HttpTest, ResponseWithoutRequestOnlyLogs)
{
    feed(kServer, kClient, ok("video/x-flv"));
    EXPECT_TRUE(window.httpRecords().empty());
    EXPECT_EQ(window.logs(), std::vector<std::string>{logtext::kFoundResponse});
}

TEST_F(HttpTest, LowerCaseMethodIsNotARequest)
{
    feed(kClient, kServer, "get /a HTTP/1.1\r\nHost: example\r\n\r\n");
    EXPECT_EQ(FindPendingRequest(1), nullptr);
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(HttpTest, GetWithoutACompleteLineTracksNothing)
{
    feed(kClient, kServer, "GET ");
    EXPECT_EQ(FindPendingRequest(1), nullptr);
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(HttpTest, OversizedValuesAreLoggedAndNeverMakeAUrl)
{
    // A host that cannot be kept: the server is named by its address.
    const std::string longHost(300, 'h');
    feed(kClient, kServer, "GET /clip.flv HTTP/1.1\r\nHost: " + longHost + "\r\n\r\n");
    EXPECT_EQ(window.logs().back(), FormatText(logtext::kBadHostLength, 300));
    feed(kServer, kClient, ok(std::string(200, 't')));
    auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].host, "10.0.0.5");
    EXPECT_STREQ(records[0].path, "/clip.flv");
    EXPECT_STREQ(records[0].contentType, "");
    EXPECT_EQ(window.logs().back(), FormatText(logtext::kBadContentTypeLength, 200));

    // A target past the bound is answered, and gives no row; the next request on the connection still does.
    const std::string tooLong = "/" + std::string(kMaxRequestTargetLength, 'p');
    feed(kClient, kServer, "GET " + tooLong + " HTTP/1.1\r\nHost: example\r\n\r\n");
    const auto logs = window.logs();
    EXPECT_NE(std::find(logs.begin(), logs.end(), FormatText(logtext::kBadPathLength, tooLong.size())),
              logs.end());
    feed(kServer, kClient, ok("video/x-flv"));
    feed(kClient, kServer, get("/after.flv"));
    feed(kServer, kClient, ok("video/x-flv"));
    records = window.httpRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[1].path, "/after.flv");
}

TEST_F(HttpTest, LongestValuesThatFitAreKeptWhole)
{
    const std::string path = "/" + std::string(1298, 'p'); // 1299 characters
    const std::string host(299, 'h');
    feed(kClient, kServer, "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    EXPECT_EQ(FindPendingRequest(1)->path, path);
    EXPECT_EQ(FindPendingRequest(1)->host, host);
}

TEST_F(HttpTest, EachResponseFindsItsContentTypePastLongLinesInterimAnswersAndSplitBlocks)
{
    // A header line too long to read is passed over, not the end of the scan.
    feed(kClient, kServer, get("/long"));
    feed(kServer, kClient, "HTTP/1.1 200 OK\r\nContent-Security-Policy: " + std::string(5000, 'x') +
                               "\r\nContent-Type: a/b\r\n\r\n");
    // 103 Early Hints and 100 Continue leave the request for its final answer,
    // in a segment of its own or in the same one.
    feed(kClient, kServer, get("/hinted"));
    feed(kServer, kClient, "HTTP/1.1 103 Early Hints\r\nLink: </s.css>; rel=preload\r\n\r\n");
    feed(kServer, kClient, ok("video/mp4"));
    feed(kClient, kServer, get("/continued"));
    feed(kServer, kClient, "HTTP/1.1 100 Continue\r\n\r\n" + ok("video/webm"));
    // The empty line that ends a block may open the next segment; the next
    // response on the connection is then its own.
    feed(kClient, kServer, get("/list.m3u8"));
    feed(kServer, kClient, "HTTP/1.1 200 OK\r\nContent-Length: 8\r\n");
    feed(kServer, kClient, "\r\n#EXTM3U\n");
    feed(kClient, kServer, get("/next.mp4"));
    feed(kServer, kClient, ok("video/mp4"));
    // The same for a request: a later request's Host is not the waiting one's.
    feed(kClient, kServer, "GET /split HTTP/1.1\r\nHost: first.example\r\n");
    feed(kClient, kServer, "\r\n");
    feed(kClient, kServer, "POST /form HTTP/1.1\r\nHost: other.example\r\n\r\n");
    feed(kServer, kClient, ok("text/plain"));

    const auto records = window.httpRecords();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"/long", "a/b"},         {"/hinted", "video/mp4"}, {"/continued", "video/webm"}, {"/list.m3u8", ""},
        {"/next.mp4", "video/mp4"}, {"/split", "text/plain"}};
    ASSERT_EQ(records.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(records[i].path, expected[i].first);
        EXPECT_EQ(records[i].contentType, expected[i].second) << records[i].path;
    }
    EXPECT_STREQ(records.back().host, "first.example");
}

TEST_F(HttpTest, AThousandOutstandingRequestsAreAllAnsweredInReverseOrder)
{
    constexpr int kRequests = 1000;
    const auto client = [](int i) { return Endpoint{{192, 168, 1, 20}, static_cast<uint16_t>(20000 + i)}; };
    for (int i = 0; i < kRequests; ++i)
        feed(client(i), kServer, get("/r" + std::to_string(i) + ".flv"));
    EXPECT_EQ(PendingRequestCount(), static_cast<size_t>(kRequests));
    for (int i = kRequests - 1; i >= 0; --i)
        feed(kServer, client(i), ok("video/x-flv"));

    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), static_cast<size_t>(kRequests));
    for (int i = 0; i < kRequests; ++i)
        EXPECT_EQ(std::string(records[static_cast<size_t>(i)].path), "/r" + std::to_string(kRequests - 1 - i) + ".flv");
    EXPECT_EQ(PendingRequestCount(), 0u);
    EXPECT_EQ(EvictedRequestCount(), 0u);

    // The number a new request is logged under is the lowest one free again.
    feed(client(0), kServer, get("/next"));
    feed(kServer, client(0), ok("text/html"));
    const auto logs = window.logs();
    EXPECT_NE(std::find(logs.begin(), logs.end(), FormatText(logtext::kResponseSlot, 1)), logs.end());
}

TEST(PendingTableTest, BeyondItsBoundTheOldestIsEvictedAndCounted)
{
    PendingTable<std::string> table(3);
    const auto flow = [](uint16_t port) { return Flow{IpAddress::v4({10, 0, 0, 1}), IpAddress::v4({10, 0, 0, 2}), port, 80}; };
    table.add(flow(1)).entry = "a";
    table.add(flow(2)).entry = "b";
    table.add(flow(1)).entry = "c";
    table.add(flow(3)).entry = "d"; // "a" goes
    EXPECT_EQ(table.evictions(), 1u);
    EXPECT_EQ(table.size(), 3u);
    ASSERT_NE(table.oldest(flow(1)), nullptr);
    EXPECT_EQ(table.oldest(flow(1))->entry, "c");
    EXPECT_EQ(table.oldest(flow(3))->number, 1) << "the evicted entry's number is free again";
    table.removeOldest(flow(1));
    EXPECT_EQ(table.oldest(flow(1)), nullptr);
    EXPECT_EQ(table.oldest(flow(2))->entry, "b");
}

TEST_F(HttpTest, LengthErrorsOfHeadersThatAreNotKept)
{
    feed(kClient, kServer,
         "GET /a HTTP/1.1\r\nUser-Agent: " + std::string(500, 'u') + "\r\nReferer: \r\nConnection: close\r\n\r\n");
    const std::vector<std::string> expected = {
        logtext::kFoundGet,
        logtext::kFoundUserAgent,
        FormatText(logtext::kBadUserAgentLength, 500),
        logtext::kFoundReferer,
        FormatText(logtext::kBadRefererLength, 0),
        logtext::kFoundConnection,
    };
    EXPECT_EQ(window.logs(), expected);
}

}
