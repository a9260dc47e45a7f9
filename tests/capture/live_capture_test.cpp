// Captures on the loopback device while real clients talk to a real server on
// 127.0.0.1. Needs the privilege to capture; skipped without it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "local_media_server.h"
#include "log_texts.h"
#include "quillnet.h"
#include "recording_window.h"
#include "run_program.h"
#include "temporary_directory.h"

using namespace quillnet;
using namespace testing_support;
using namespace std::chrono_literals;

namespace {

constexpr char kLoopback[] = "lo";

bool hasLog(const std::vector<ReceivedMessage> &messages, const char *text)
{
    for (const ReceivedMessage &message : messages) {
        if (message.dwData == kKindLogText && std::string(reinterpret_cast<const char *>(message.data.data())) == text)
            return true;
    }
    return false;
}

class LiveCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "capturing on '" << kLoopback << "' needs root; run the tests as root to include it";
    }

    void TearDown() override
    {
        if (capture.joinable()) {
            StopCapture(nullptr);
            capture.join();
        }
    }

    // Starts capturing on `device` and waits until frames are read.
    void startCapture(const char *device = kLoopback)
    {
        capture = std::thread([this, device] { result = StartCapture(kCallerToken, window.handle(), device, 255); });
        ASSERT_TRUE(window.waitUntil([](const auto &messages) { return hasLog(messages, logtext::kReadyNextEx); }, 10s))
            << "the loopback device did not open";
    }

    RecordingWindow window;
    std::thread capture;
    int result = -2;
};

TEST_F(LiveCapture, FetchOfAFlvFileIsReported)
{
    if (!OnPath("python3") || !OnPath("curl"))
        GTEST_SKIP() << "needs python3 and curl";
    const TemporaryDirectory folder;
    WriteWholeFile(folder.file("v.flv"), "FLV\x01 not really a video");
    const LocalMediaServer server(folder.path());
    ASSERT_TRUE(server.accepting()) << "the local HTTP server did not start";
    const auto fromServer = [&](const ReceivedMessage &message) {
        quillnet::HttpUrlRecord record;
        if (message.dwData != kKindHttpUrl || message.data.size() != sizeof record)
            return false;
        std::memcpy(&record, message.data.data(), sizeof record);
        return record.port == server.port();
    };

    startCapture();
    const int curlStatus = RunProgram({"curl", "-s", "-o", "/dev/null", server.url("v.flv")}).status;
    const bool reported = window.waitUntil(
        [&](const auto &messages) { return std::any_of(messages.begin(), messages.end(), fromServer); }, 15s);
    StopCapture(window.handle());
    capture.join();

    EXPECT_EQ(curlStatus, 0);
    ASSERT_TRUE(reported) << "no HTTP record within 15 s";
    std::vector<HttpUrlRecord> records;
    for (const HttpUrlRecord &record : window.httpRecords()) {
        if (record.port == server.port())
            records.push_back(record);
    }
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::string(records[0].host), "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_STREQ(records[0].path, "/v.flv");
    EXPECT_STREQ(records[0].contentType, "video/x-flv");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(window.endedCount(), 1);
}

// The records of fetches of `path` once one has arrived, or none after 15 s.
std::vector<HttpUrlRecord> recordsOf(RecordingWindow &window, const std::string &path)
{
    const auto isFetchOfPath = [&](const ReceivedMessage &message) {
        HttpUrlRecord record;
        if (message.dwData != kKindHttpUrl || message.data.size() != sizeof record)
            return false;
        std::memcpy(&record, message.data.data(), sizeof record);
        return record.path == path;
    };
    window.waitUntil(
        [&](const auto &messages) { return std::any_of(messages.begin(), messages.end(), isFetchOfPath); }, 15s);
    std::vector<HttpUrlRecord> records;
    for (const HttpUrlRecord &record : window.httpRecords()) {
        if (record.path == path)
            records.push_back(record);
    }
    return records;
}

TEST_F(LiveCapture, FetchesOverIpv6AndOnTheAnyDeviceAreReported)
{
    if (!OnPath("python3") || !OnPath("curl"))
        GTEST_SKIP() << "needs python3 and curl";
    const TemporaryDirectory folder;
    WriteWholeFile(folder.file("six.flv"), "FLV\x01 over IPv6");
    WriteWholeFile(folder.file("four.flv"), "FLV\x01 over IPv4");
    const LocalMediaServer server6(folder.path(), true);
    const LocalMediaServer server4(folder.path());
    if (!server6.accepting())
        GTEST_SKIP() << "this machine's loopback device has no ::1";
    ASSERT_TRUE(server4.accepting());

    startCapture();
    EXPECT_EQ(RunProgram({"curl", "-s", "-o", "/dev/null", server6.url("six.flv")}).status, 0);
    const auto onLoopback = recordsOf(window, "/six.flv");
    StopCapture(window.handle());
    capture.join();
    ASSERT_EQ(onLoopback.size(), 1u);
    EXPECT_EQ(std::string(onLoopback[0].host), "[::1]:" + std::to_string(server6.port()));
    EXPECT_STREQ(onLoopback[0].contentType, "video/x-flv");

    window.clear();
    startCapture("any");
    EXPECT_EQ(RunProgram({"curl", "-s", "-o", "/dev/null", server6.url("six.flv")}).status, 0);
    EXPECT_EQ(RunProgram({"curl", "-s", "-o", "/dev/null", server4.url("four.flv")}).status, 0);
    const auto six = recordsOf(window, "/six.flv");
    const auto four = recordsOf(window, "/four.flv");
    StopCapture(window.handle());
    capture.join();
    ASSERT_EQ(six.size(), 1u) << "the any device's link layer was not read";
    ASSERT_EQ(four.size(), 1u);
    EXPECT_EQ(std::string(six[0].host), "[::1]:" + std::to_string(server6.port()));
    EXPECT_EQ(std::string(four[0].host), "127.0.0.1:" + std::to_string(server4.port()));
    EXPECT_EQ(result, 0);
}

TEST_F(LiveCapture, StopOnAnIdleDeviceEndsWithinAboutASecond)
{
    startCapture();
    const auto stopAt = std::chrono::steady_clock::now();
    StopCapture(window.handle());
    const bool ended = window.waitUntil(
        [](const auto &messages) { return !messages.empty() && messages.back().message == kMessageCaptureEnded; },
        5s);
    const auto waited = std::chrono::steady_clock::now() - stopAt;
    capture.join();
    EXPECT_TRUE(ended);
    EXPECT_LT(waited, 3s);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(hasLog(window.messages(), logtext::kStopBreak));
    const auto statistics = window.statistics();
    ASSERT_FALSE(statistics.empty());
    EXPECT_EQ(statistics.back().end, kCaptureStopped);
}

}
