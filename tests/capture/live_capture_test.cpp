// Captures on the loopback device while real clients talk to a real server on
// 127.0.0.1. Needs the privilege to capture; skipped without it.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "log_texts.h"
#include "quillnet.h"
#include "recording_window.h"

using namespace quillnet;
using namespace testing_support;
using namespace std::chrono_literals;

extern char **environ;

namespace {

constexpr char kLoopback[] = "lo";

bool onPath(const char *program)
{
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

uint16_t freePort()
{
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
}

bool accepting(uint16_t port)
{
    const int client = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    close(client);
    return connected;
}

pid_t spawn(std::vector<std::string> arguments)
{
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}

int waitFor(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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

    // Starts capturing on the loopback device and waits until frames are read.
    void startCapture()
    {
        capture = std::thread([this] { result = StartCapture(kCallerToken, window.handle(), kLoopback, 255); });
        ASSERT_TRUE(window.waitUntil([](const auto &messages) { return hasLog(messages, logtext::kReadyNextEx); }, 10s))
            << "the loopback device did not open";
    }

    RecordingWindow window;
    std::thread capture;
    int result = -2;
};

TEST_F(LiveCapture, FetchOfAFlvFileIsReported)
{
    if (!onPath("python3") || !onPath("curl"))
        GTEST_SKIP() << "needs python3 and curl";
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("quillnet-live-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "v.flv") << "FLV\x01 not really a video";
    const uint16_t port = freePort();
    const std::string server =
        "import functools, http.server\n"
        "handler = http.server.SimpleHTTPRequestHandler\n"
        "handler.extensions_map['.flv'] = 'video/x-flv'\n"
        "http.server.ThreadingHTTPServer(('127.0.0.1', " + std::to_string(port) + "),"
        " functools.partial(handler, directory='" + folder.string() + "')).serve_forever()\n";
    const pid_t serverPid = spawn({"python3", "-c", server});
    ASSERT_GT(serverPid, 0);
    for (int i = 0; i < 100 && !accepting(port); ++i)
        std::this_thread::sleep_for(50ms);

    startCapture();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/v.flv";
    const int curlStatus = waitFor(spawn({"curl", "-s", "-o", "/dev/null", url}));
    const bool reported = window.waitUntil(
        [](const auto &messages) {
            for (const ReceivedMessage &message : messages)
                if (message.dwData == kKindHttpUrl)
                    return true;
            return false;
        },
        15s);
    StopCapture(window.handle());
    capture.join();
    kill(serverPid, SIGTERM);
    waitFor(serverPid);
    std::filesystem::remove_all(folder);

    EXPECT_EQ(curlStatus, 0);
    ASSERT_TRUE(reported) << "no HTTP record within 15 s";
    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].port, port);
    EXPECT_EQ(std::string(records[0].host), "127.0.0.1:" + std::to_string(port));
    EXPECT_STREQ(records[0].path, "/v.flv");
    EXPECT_STREQ(records[0].contentType, "video/x-flv");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(window.endedCount(), 1);
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
}

}
