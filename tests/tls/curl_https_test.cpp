// curl fetching media over HTTPS from local servers, as a browser would with
// SSLKEYLOGFILE set: what passed between them, recorded by a relay, opened by
// the tracker with curl's key log. Needs curl, openssl, python3 and nghttpd;
// skipped without them.
#include <gtest/gtest.h>

#include <algorithm>

#include "local_https_server.h"
#include "recording_relay.h"
#include "run_program.h"
#include "tls_transcript.h"

using namespace quillnet;
using namespace quillnet::tls;
using namespace testing_support;
using namespace std::chrono_literals;

namespace {

constexpr size_t kSegmentSize = 1448;

struct Fetched {
    RecordingSink sink;
    Counts counts;
};

// Fetches both files in one curl run through the relay, then replays what the relay saw.
Fetched fetchThroughRelay(LocalHttpsServer::Protocol protocol, const TemporaryDirectory &folder)
{
    Fetched fetched;
    const LocalHttpsServer server(folder.path(), protocol);
    EXPECT_TRUE(server.accepting()) << "the local HTTPS server did not start";
    RecordingRelay relay(server.port());
    const std::string base = "https://127.0.0.1:" + std::to_string(relay.port()) + "/";
    const std::string keyLog = folder.file("keys.log");
    const ProgramResult curl =
        RunProgram({"env", "SSLKEYLOGFILE=" + keyLog, "curl", "--silent", "--show-error", "--insecure",
                    "--max-time", "20", protocol == LocalHttpsServer::Protocol::kHttp2 ? "--http2" : "--http1.1",
                    "--output", "/dev/null", "--output", "/dev/null", base + "clip.flv", base + "live/index.m3u8"});
    EXPECT_EQ(curl.status, 0) << curl.err;
    const std::vector<Transcript> connections = relay.finish(5s);
    EXPECT_FALSE(connections.empty());

    TlsTracker tracker(keyLog);
    for (size_t i = 0; i < connections.size(); ++i) {
        Flow flow = kClientToServer;
        flow.sourcePort = static_cast<uint16_t>(flow.sourcePort + i);
        Feed(tracker, SegmentsOf(connections[i], kSegmentSize, flow), fetched.sink);
    }
    tracker.finish(fetched.sink);
    fetched.counts = tracker.counts();
    return fetched;
}

class CurlOverHttps : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto protocol : {LocalHttpsServer::Protocol::kHttp1, LocalHttpsServer::Protocol::kHttp2}) {
            const std::string missing = LocalHttpsServer::missingProgram(protocol);
            if (!missing.empty())
                GTEST_SKIP() << "needs " << missing;
        }
        if (!OnPath("curl"))
            GTEST_SKIP() << "needs curl";
        WriteWholeFile(folder.file("clip.flv"), "FLV\x01 not really a video");
        std::filesystem::create_directory(folder.path() / "live");
        WriteWholeFile(folder.file("live/index.m3u8"), "#EXTM3U\n#EXT-X-VERSION:3\n");
    }

    TemporaryDirectory folder;
};

TEST_F(CurlOverHttps, Http1RequestsAndAnswersComeOutInOrder)
{
    const Fetched fetched = fetchThroughRelay(LocalHttpsServer::Protocol::kHttp1, folder);
    const std::string requests = fetched.sink.plaintext(kClientToServer);
    const std::string answers = fetched.sink.plaintext(kClientToServer.reversed());
    EXPECT_NE(requests.find("GET /clip.flv HTTP/1.1\r\n"), std::string::npos) << requests;
    EXPECT_NE(requests.find("GET /live/index.m3u8 HTTP/1.1\r\n"), std::string::npos) << requests;
    EXPECT_NE(answers.find("Content-type: video/x-flv\r\n"), std::string::npos) << answers;
    EXPECT_NE(answers.find("Content-type: application/vnd.apple.mpegurl\r\n"), std::string::npos) << answers;
    EXPECT_TRUE(fetched.sink.offsetsInOrder);
    EXPECT_EQ(fetched.counts.decrypted, fetched.counts.seen);
    EXPECT_EQ(fetched.counts.withoutKeys + fetched.counts.undecryptable, 0u);
}

TEST_F(CurlOverHttps, Http2GetsArePairedWithTheirAnswers)
{
    const Fetched fetched = fetchThroughRelay(LocalHttpsServer::Protocol::kHttp2, folder);
    std::vector<Http2Exchange> exchanges = fetched.sink.exchanges;
    std::sort(exchanges.begin(), exchanges.end(), [](const auto &a, const auto &b) { return a.path < b.path; });
    ASSERT_EQ(exchanges.size(), 2u);
    EXPECT_EQ(exchanges[0].path, "/clip.flv");
    EXPECT_EQ(exchanges[0].status, "200");
    EXPECT_EQ(exchanges[0].contentType, "video/x-flv");
    EXPECT_EQ(exchanges[1].path, "/live/index.m3u8");
    EXPECT_EQ(exchanges[1].contentType, "application/vnd.apple.mpegurl");
    EXPECT_EQ(exchanges[0].authority.rfind("127.0.0.1:", 0), 0u) << exchanges[0].authority;
    EXPECT_EQ(fetched.counts.seen, 1u);
    EXPECT_EQ(fetched.counts.decrypted, 1u);
}

}
