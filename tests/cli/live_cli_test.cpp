// tarvolin-cli capturing on the loopback device while curl fetches a media
// file from a local server. Needs the privilege to capture; skipped without it.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "installed_cli.h"
#include "local_media_server.h"
#include "run_program.h"
#include "temporary_directory.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

class CliLive : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "capturing on 'lo' needs root; run the tests as root to include it";
    }
};

TEST_F(CliLive, SigtermStopsTheCaptureAtAnyMoment)
{
    const TemporaryDirectory directory;
    for (const auto delay : {20ms, 50ms, 200ms, 1500ms}) {
        const int pid = StartProgram({InstalledCli(), "--interface", "lo"}, directory.file("out"), directory.file("err"));
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(delay);
        kill(pid, SIGTERM);
        EXPECT_EQ(WaitForProgramWithin(pid, 10s), 0) << "SIGTERM after " << delay.count() << " ms";
    }
}

TEST_F(CliLive, InterfaceLoPrintsTheMediaLineOfARealFetch)
{
    if (!OnPath("python3") || !OnPath("curl"))
        GTEST_SKIP() << "needs python3 and curl";

    const TemporaryDirectory directory;
    WriteWholeFile(directory.file("clip.flv"), "FLV\x01 not really a video");
    const LocalMediaServer server(directory.path());
    ASSERT_TRUE(server.accepting()) << "the local HTTP server did not start";

    const std::string outPath = directory.file("out");
    const std::string errPath = directory.file("err");
    const int cliPid = StartProgram({InstalledCli(), "--interface", "lo", "--media"}, outPath, errPath);
    ASSERT_GT(cliPid, 0);
    const std::string url = server.url("clip.flv");
    const std::string expected = "media\t.flv\t" + url + "\tvideo/x-flv\n";
    // The capture opens a moment after the start, so fetch until the line shows.
    for (int attempt = 0; attempt < 20 && ReadWholeFile(outPath).find(expected) == std::string::npos; ++attempt) {
        WaitForProgram(StartProgram({"curl", "-s", "-o", "/dev/null", url}, "/dev/null", "/dev/null"));
        std::this_thread::sleep_for(500ms);
    }
    kill(cliPid, SIGTERM);
    const int status = WaitForProgramWithin(cliPid, 10s);

    EXPECT_EQ(status, 0) << ReadWholeFile(errPath);
    EXPECT_EQ(ReadWholeFile(outPath), expected) << "one media line however many fetches it took";
    EXPECT_EQ(ReadWholeFile(errPath).rfind("Records: ", 0), 0u) << ReadWholeFile(errPath);
}

}
