// tarvolin-cli with --keylog capturing on the loopback device while curl,
// with SSLKEYLOGFILE set, fetches from local servers: a .flv and an .m3u8
// over HTTPS with HTTP/1.1 and HTTP/2, and a long signed URL with the headers
// a protected stream needs, in plain HTTP and over HTTP/2. Needs the
// privilege to capture; skipped without it.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <thread>

#include "../cli/installed_cli.h"
#include "local_media_server.h"
#include "local_https_server.h"
#include "run_program.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

// Why the test cannot run here, or "".
std::string missingForLiveTest(std::initializer_list<LocalHttpsServer::Protocol> protocols)
{
    if (geteuid() != 0)
        return "capturing on 'lo' needs root; run the tests as root to include it";
    for (const auto protocol : protocols) {
        const std::string missing = LocalHttpsServer::missingProgram(protocol);
        if (!missing.empty())
            return "needs " + missing;
    }
    return OnPath("curl") ? "" : "needs curl";
}

TEST(CliLiveHttps, KeyLogTurnsFetchesIntoHttpsLines)
{
    const std::string missing =
        missingForLiveTest({LocalHttpsServer::Protocol::kHttp1, LocalHttpsServer::Protocol::kHttp2});
    if (!missing.empty())
        GTEST_SKIP() << missing;

    const TemporaryDirectory directory;
    WriteWholeFile(directory.file("clip.flv"), "FLV\x01 not really a video");
    std::filesystem::create_directory(directory.path() / "live");
    WriteWholeFile(directory.file("live/index.m3u8"), "#EXTM3U\n#EXT-X-VERSION:3\n");
    const LocalHttpsServer http1(directory.path(), LocalHttpsServer::Protocol::kHttp1);
    const LocalHttpsServer http2(directory.path(), LocalHttpsServer::Protocol::kHttp2);
    ASSERT_TRUE(http1.accepting() && http2.accepting()) << "the local HTTPS servers did not start";

    const std::string keyLog = directory.file("keys.log");
    WriteWholeFile(keyLog, "");
    const std::string outPath = directory.file("out");
    const std::string errPath = directory.file("err");
    const int cliPid =
        StartProgram({InstalledCli(), "--interface", "lo", "--keylog", keyLog}, outPath, errPath);
    ASSERT_GT(cliPid, 0);
    std::vector<std::string> expected;
    for (const LocalHttpsServer *server : {&http1, &http2}) {
        expected.push_back("\t" + server->url("clip.flv") + "\tvideo/x-flv\n");
        expected.push_back("\t" + server->url("live/index.m3u8") + "\tapplication/vnd.apple.mpegurl\n");
    }
    const auto allListed = [&] {
        const std::string out = ReadWholeFile(outPath);
        return std::all_of(expected.begin(), expected.end(),
                           [&](const std::string &line) { return out.find(line) != std::string::npos; });
    };
    // The capture opens a moment after the start, so fetch until the lines show.
    for (int attempt = 0; attempt < 20 && !allListed(); ++attempt) {
        for (const auto &[server, version] : {std::pair{&http1, "--http1.1"}, std::pair{&http2, "--http2"}}) {
            WaitForProgram(StartProgram({"env", "SSLKEYLOGFILE=" + keyLog, "curl", "--silent", "--insecure",
                                         "--max-time", "10", version, "--output", "/dev/null", "--output",
                                         "/dev/null", server->url("clip.flv"), server->url("live/index.m3u8")},
                                        "/dev/null", "/dev/null"));
        }
        std::this_thread::sleep_for(500ms);
    }
    kill(cliPid, SIGTERM);
    const int status = WaitForProgramWithin(cliPid, 10s);

    EXPECT_EQ(status, 0) << ReadWholeFile(errPath);
    const std::string out = ReadWholeFile(outPath);
    for (const std::string &line : expected)
        EXPECT_NE(out.find(line), std::string::npos) << "missing" << line << "in:\n" << out;
    // Every connection whose ClientHello was captured had its keys in the log.
    EXPECT_NE(ReadWholeFile(errPath).find(" decrypted, 0 without keys, 0 undecryptable"), std::string::npos)
        << ReadWholeFile(errPath);
}

TEST(CliLiveHttps, ALongSignedUrlComesWholeWithTheHeadersToFetchIt)
{
    const std::string missing = missingForLiveTest({LocalHttpsServer::Protocol::kHttp2});
    if (!missing.empty())
        GTEST_SKIP() << missing;

    const TemporaryDirectory directory;
    WriteWholeFile(directory.file("clip.flv"), "FLV\x01 not really a video");
    const LocalMediaServer plain(directory.path());
    const LocalHttpsServer http2(directory.path(), LocalHttpsServer::Protocol::kHttp2);
    ASSERT_TRUE(plain.accepting() && http2.accepting()) << "the local servers did not start";
    const std::string query = "?expires=1767225600&sig=" + std::string(2970, 's');
    const std::vector<std::string> urls{plain.url("clip.flv") + query, http2.url("clip.flv") + query};

    const std::string keyLog = directory.file("keys.log");
    WriteWholeFile(keyLog, "");
    const std::string outPath = directory.file("out");
    const std::string errPath = directory.file("err");
    const int cliPid = StartProgram(
        {InstalledCli(), "--interface", "lo", "--keylog", keyLog, "--json", "--headers"}, outPath, errPath);
    ASSERT_GT(cliPid, 0);
    // Two cookies in two header lines, or two HTTP/2 fields: joined as one.
    const std::string headers = ",\"headers\":{\"user-agent\":\"Player/2.0\","
                                "\"referer\":\"https://site.example/watch?v=1\",\"cookie\":\"a=1; b=2\"";
    const auto listed = [&](const std::string &url) {
        const std::string out = ReadWholeFile(outPath);
        const size_t row = out.find("\"url\":\"" + url + "\"");
        return row != std::string::npos && out.find(headers, row) < out.find('\n', row);
    };
    for (int attempt = 0; attempt < 20 && !(listed(urls[0]) && listed(urls[1])); ++attempt) {
        for (const std::string &url : urls) {
            WaitForProgram(StartProgram({"env", "SSLKEYLOGFILE=" + keyLog, "curl", "--silent", "--insecure",
                                         "--max-time", "10", "-A", "Player/2.0", "-e",
                                         "https://site.example/watch?v=1", "-H", "Cookie: a=1", "-H", "Cookie: b=2", "--output",
                                         "/dev/null", url},
                                        "/dev/null", "/dev/null"));
        }
        std::this_thread::sleep_for(500ms);
    }
    kill(cliPid, SIGTERM);
    EXPECT_EQ(WaitForProgramWithin(cliPid, 10s), 0) << ReadWholeFile(errPath);
    for (const std::string &url : urls)
        EXPECT_TRUE(listed(url)) << "no whole row with its headers for " << url.substr(0, 60) << "... in:\n"
                                 << ReadWholeFile(outPath).substr(0, 2000);
}

}
