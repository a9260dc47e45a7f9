// tarvolin-cli with --keylog capturing on the loopback device while curl,
// with SSLKEYLOGFILE set, fetches a .flv and an .m3u8 over HTTP/1.1 and
// HTTP/2 from local HTTPS servers. Needs the privilege to capture; skipped
// without it.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <thread>

#include "../cli/installed_cli.h"
#include "local_https_server.h"
#include "run_program.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

TEST(CliLiveHttps, KeyLogTurnsFetchesIntoHttpsLines)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "capturing on 'lo' needs root; run the tests as root to include it";
    for (const auto protocol : {LocalHttpsServer::Protocol::kHttp1, LocalHttpsServer::Protocol::kHttp2}) {
        const std::string missing = LocalHttpsServer::missingProgram(protocol);
        if (!missing.empty())
            GTEST_SKIP() << "needs " << missing;
    }
    if (!OnPath("curl"))
        GTEST_SKIP() << "needs curl";

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

}
