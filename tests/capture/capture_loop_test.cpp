#include <gtest/gtest.h>

#include <cerrno>

#include <pcap/pcap.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "capture_file.h"
#include "frame_test.h"
#include "library_loader.h"
#include "log_texts.h"
#include "notifications.h"
#include "quillnet.h"

using namespace quillnet;
using namespace testing_support;
using namespace std::chrono_literals;

namespace {

const std::string kGet = "GET /v.flv HTTP/1.1\r\nHost: example\r\n\r\n";
const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\n\r\n";

std::vector<std::string> openingLogs(const std::string &source, int netmask)
{
    return {FormatText(logtext::kAdapter, source.c_str(), netmask), logtext::kReadyOpen, logtext::kReadyDatalink,
            logtext::kReadyCompile, logtext::kReadySetfilter, logtext::kReadyNextEx};
}

// The same bytes over a transport the capture filter keeps out.
std::vector<uint8_t> sctpFrame(std::string_view payload)
{
    std::vector<uint8_t> frame = BuildTcpFrame(kClient, kServer, payload, FrameShape{false});
    frame[14 + 9] = 132;
    return frame;
}

TEST(CaptureLoop, WrongTokenIsSilent)
{
    RecordingWindow window;
    const CaptureFile file({BuildTcpFrame(kClient, kServer, kGet)});
    EXPECT_EQ(StartCapture(kCallerToken + 1, window.handle(), file.source().c_str(), 0), 0);
    EXPECT_TRUE(window.messages().empty());
}

TEST(CaptureLoop, FailedOpenSendsTwoLinesAndNoEnd)
{
    for (const std::string source : {"file:///nonexistent/none.pcap", "no-such-device0", "rpcap://no-such-device1"}) {
        RecordingWindow window;
        EXPECT_EQ(StartCapture(kCallerToken, window.handle(), source.c_str(), -256), -1) << source;
        EXPECT_EQ(window.logs(), (std::vector<std::string>{FormatText(logtext::kAdapter, source.c_str(), -256),
                                                           logtext::kReadyOpen}));
        EXPECT_EQ(window.endedCount(), 0);
    }
}

TEST(CaptureLoop, NonEthernetCaptureIsRefused)
{
    RecordingWindow window;
    const CaptureFile file({{0x45, 0, 0, 20}}, DLT_RAW);
    EXPECT_EQ(StartCapture(kCallerToken, window.handle(), file.source().c_str(), 0), -1);
    EXPECT_EQ(window.logs().back(), logtext::kReadyDatalink);
    EXPECT_EQ(window.endedCount(), 0);
}

TEST(CaptureLoop, ReplaysAFileThroughTheFilterAndEndsWithOnePost)
{
    RecordingWindow window;
    const CaptureFile file({
        sctpFrame("GET /sctp.flv HTTP/1.1\r\nHost: x\r\n\r\n"),
        BuildTcpFrame(kClient, kServer, kGet),
        BuildTcpFrame(kServer, kClient, kOk),
        BuildTcpFrame(kClient, kServer, "DESCRIBE rtsp://cam/a RTSP/1.0\r\n"),
    });
    EXPECT_EQ(StartCapture(kCallerToken, window.handle(), file.source().c_str(), 16777215), 0);

    const auto logs = window.logs();
    const auto opening = openingLogs(file.source(), 16777215);
    ASSERT_GE(logs.size(), opening.size() + 1);
    EXPECT_TRUE(std::equal(opening.begin(), opening.end(), logs.begin()));
    EXPECT_EQ(logs[opening.size()], logtext::kFoundGet);
    EXPECT_EQ(logs.back(), logtext::kEndCaptureAll);

    const auto records = window.httpRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].path, "/v.flv");
    EXPECT_EQ(window.urlTexts(), std::vector<std::string>{"rtsp://cam/a"});
    ASSERT_FALSE(window.statistics().empty());
    EXPECT_EQ(window.statistics().back().framesReceived, 3u) << "the filter lets no SCTP through";

    const auto messages = window.messages();
    EXPECT_EQ(window.endedCount(), 1);
    EXPECT_TRUE(messages.back().posted);
    EXPECT_EQ(messages.back().message, 1081u);
    EXPECT_EQ(messages.back().wParam, 0u);
    EXPECT_EQ(messages.back().lParam, 0);
}

TEST(CaptureLoop, StopEndsTheLoopBeforeTheNextFrame)
{
    RecordingWindow window;
    window.onMessage([&](const ReceivedMessage &message) {
        if (message.dwData == kKindHttpUrl)
            StopCapture(window.handle());
    });
    const CaptureFile file({
        BuildTcpFrame(kClient, kServer, kGet),
        BuildTcpFrame(kServer, kClient, kOk),
        BuildTcpFrame(kClient, kServer, kGet),
        BuildTcpFrame(kServer, kClient, kOk),
    });
    EXPECT_EQ(StartCapture(kCallerToken, window.handle(), file.source().c_str(), 0), 0);
    EXPECT_EQ(window.httpRecords().size(), 1u);
    const auto logs = window.logs();
    ASSERT_GE(logs.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(logs.end() - 4, logs.end()),
              (std::vector<std::string>{logtext::kStopWasRunning, logtext::kStopCleared, logtext::kStopBreak,
                                        logtext::kEndCaptureAll}));
    EXPECT_EQ(window.messages().back().message, kMessageCaptureEnded);
}

TEST(CaptureLoop, ADamagedFileIsAReadErrorAfterItsRowsNotAnEnd)
{
    const std::vector<std::vector<uint8_t>> frames = {
        BuildTcpFrame(kClient, kServer, kGet),
        BuildTcpFrame(kServer, kClient, kOk),
        BuildTcpFrame(kClient, kServer, kGet),
        BuildTcpFrame(kServer, kClient, kOk),
    };
    const CaptureFile whole(frames);
    RecordingWindow clean;
    EXPECT_EQ(StartCapture(kCallerToken, clean.handle(), whole.source().c_str(), 0), 0);
    ASSERT_EQ(clean.statistics().size(), 1u);
    EXPECT_EQ(clean.statistics()[0].end, kCaptureEndOfFile);
    EXPECT_EQ(clean.statistics()[0].framesReceived, 4u);

    // Cut in the middle of the last frame.
    const CaptureFile damaged(frames);
    std::filesystem::resize_file(damaged.path(), std::filesystem::file_size(damaged.path()) - 10);
    RecordingWindow window;
    EXPECT_EQ(StartCapture(kCallerToken, window.handle(), damaged.source().c_str(), 0), -1);
    EXPECT_EQ(window.httpRecords().size(), 1u);
    EXPECT_EQ(window.logs().back(), logtext::kEndCaptureAll);
    const auto statistics = window.statistics();
    ASSERT_EQ(statistics.size(), 1u);
    EXPECT_EQ(statistics[0].end, kCaptureReadError);
    EXPECT_EQ(statistics[0].framesReceived, 3u);
    EXPECT_NE(std::string(statistics[0].errorText), "");
    const auto messages = window.messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages.back().message, kMessageCaptureEnded);
    EXPECT_EQ(messages[messages.size() - 2].dwData, kKindCaptureStatistics);
}

TEST(CaptureLoop, StopEndsAReadOfAFifoThatSendsNothing)
{
    const CaptureFile header({});
    const std::string fifo = header.path() + ".fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The writer sends the file header, then nothing, and keeps the pipe open.
    std::promise<void> finished;
    std::thread writer([&] {
        std::ifstream in(header.path(), std::ios::binary);
        std::ofstream out(fifo, std::ios::binary);
        out << in.rdbuf() << std::flush;
        finished.get_future().wait();
    });
    RecordingWindow window;
    const std::string source = "file://" + fifo;
    auto capture = std::async(std::launch::async,
                              [&] { return StartCapture(kCallerToken, window.handle(), source.c_str(), 0); });
    ASSERT_TRUE(window.waitUntil(
        [](const auto &messages) {
            return std::any_of(messages.begin(), messages.end(), [](const ReceivedMessage &m) {
                return m.dwData == kKindLogText &&
                       std::string(reinterpret_cast<const char *>(m.data.data())) == logtext::kReadyNextEx;
            });
        },
        10s));
    StopCapture(nullptr);
    const bool ended = capture.wait_for(10s) == std::future_status::ready;
    finished.set_value();
    writer.join();
    std::filesystem::remove(fifo);
    ASSERT_TRUE(ended) << "the read did not end after StopCapture";
    EXPECT_EQ(capture.get(), 0);
    ASSERT_EQ(window.statistics().size(), 1u);
    EXPECT_EQ(window.statistics()[0].end, kCaptureStopped);
}

TEST(CaptureLoop, StopWhenIdleOnlyLogs)
{
    RecordingWindow window;
    EXPECT_EQ(StopCapture(window.handle()), 0);
    window.clear();
    EXPECT_EQ(StopCapture(window.handle()), 0);
    EXPECT_EQ(window.logs(), (std::vector<std::string>{logtext::kStopWasIdle, logtext::kStopCleared}));
}

TEST(CaptureLoop, EachCaptureStartsWithEmptyTables)
{
    RecordingWindow window;
    const CaptureFile requests({BuildTcpFrame(kClient, kServer, kGet)});
    const CaptureFile responses({BuildTcpFrame(kServer, kClient, kOk)});
    ASSERT_EQ(StartCapture(kCallerToken, window.handle(), requests.source().c_str(), 0), 0);
    ASSERT_EQ(StartCapture(kCallerToken, window.handle(), responses.source().c_str(), 0), 0);
    EXPECT_TRUE(window.httpRecords().empty());
}

TEST(CaptureLoop, ASecondStartWaitsForTheRunningLoop)
{
    RecordingWindow first;
    std::promise<void> firstRunning;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    first.onMessage([&](const ReceivedMessage &message) {
        if (message.dwData == kKindLogText && std::string(reinterpret_cast<const char *>(message.data.data())) ==
                                                  logtext::kReadyNextEx) {
            firstRunning.set_value();
            released.wait();
        }
    });
    const CaptureFile file({BuildTcpFrame(kClient, kServer, kGet)});
    std::thread firstCapture([&] { StartCapture(kCallerToken, first.handle(), file.source().c_str(), 0); });
    firstRunning.get_future().wait();

    RecordingWindow second;
    std::thread secondCapture([&] { StartCapture(kCallerToken, second.handle(), file.source().c_str(), 0); });
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(second.logs().size(), 1u) << "only the adapter line before the wait";
    release.set_value();
    firstCapture.join();
    secondCapture.join();
    EXPECT_EQ(second.endedCount(), 1);
    EXPECT_EQ(second.logs().back(), logtext::kEndCaptureAll);
}

TEST(CaptureLoop, TextRecordsCarryTheirNul)
{
    RecordingWindow window;
    SendLogText(window.handle(), "");
    SendUrlText(window.handle(), "abc");
    const auto messages = window.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].wParam, 300u);
    EXPECT_EQ(messages[0].cbData, 1u);
    EXPECT_EQ(messages[0].data, std::vector<uint8_t>{0});
    EXPECT_EQ(messages[1].cbData, 4u);
    EXPECT_EQ(messages[1].data, (std::vector<uint8_t>{'a', 'b', 'c', 0}));
}

TEST(CaptureLoop, NullWindowIsAcceptedEverywhere)
{
    const CaptureFile file({BuildTcpFrame(kClient, kServer, kGet), BuildTcpFrame(kServer, kClient, kOk)});
    EXPECT_EQ(StartCapture(kCallerToken, nullptr, file.source().c_str(), 0), 0);
    EXPECT_EQ(StartCapture(kCallerToken, nullptr, nullptr, 0), -1);
    EXPECT_EQ(StopCapture(nullptr), 0);
}

TEST(LogTexts, ChineseLinesAreGbkBytes)
{
    EXPECT_EQ(std::string(logtext::kFoundGet), "\xB7\xA2\xCF\xD6 <Get >");
    EXPECT_EQ(std::string(logtext::kBadPathLength), "\xB4\xED\xCE\xF3\xB5\xC4path \xB3\xA4\xB6\xC8: %d");
    EXPECT_EQ(std::string(logtext::kResponseSlot),
              "\xD4\xDA\xC1\xD9\xCA\xB1\xCA\xFD\xD7\xE9\xD6\xD0\xB4\xE6\xD4\xDA Get, l_Exist_Get_ArryID = %d");
    EXPECT_EQ(std::string(logtext::kSkipC2Header),
              "\xD3\xF6\xB5\xBD" "c2\xD7\xD6\xB7\xFB\xA3\xAC\xCC\xF8\xB9\xFD" "11\xB8\xF6\xD7\xD6\xBD\xDA");
}

// The shared library as the program sees it: three exports by name, nothing else.
class SharedLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibrary(QUILLNET_LIBRARY_PATH);
        ASSERT_NE(module, nullptr) << LastLibraryError();
    }
    void TearDown() override { FreeLibrary(module); }
    HMODULE module = nullptr;
};

TEST_F(SharedLibrary, ExportsOnlyItsFiveFunctions)
{
    EXPECT_NE(GetProcAddress(module, "StartCapture"), nullptr);
    EXPECT_NE(GetProcAddress(module, "StopCapture"), nullptr);
    EXPECT_NE(GetProcAddress(module, "GetAdapterList"), nullptr);
    EXPECT_NE(GetProcAddress(module, "SetKeyLogFile"), nullptr);
    EXPECT_NE(GetProcAddress(module, "SetLogRecords"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "_ZN8quillnet11HandleFrameEP13MessageWindowPKhj"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "_ZN8quillnet17ResetRequestTableEv"), nullptr);
    EXPECT_EQ(LoadLibrary("/nonexistent/libquillnet.so"), nullptr);
    EXPECT_FALSE(LastLibraryError().empty());
}

TEST_F(SharedLibrary, CapturesThroughTheLoadedExports)
{
    auto start = reinterpret_cast<StartCaptureFunction>(GetProcAddress(module, "StartCapture"));
    ASSERT_NE(start, nullptr);
    RecordingWindow window;
    const CaptureFile file({BuildTcpFrame(kClient, kServer, kGet), BuildTcpFrame(kServer, kClient, kOk)});
    EXPECT_EQ(start(kCallerToken, window.handle(), file.source().c_str(), 0), 0);
    ASSERT_EQ(window.httpRecords().size(), 1u);
    EXPECT_STREQ(window.httpRecords()[0].contentType, "video/x-flv");
    // The file's progress ends whole.
    ASSERT_FALSE(window.statistics().empty());
    EXPECT_EQ(window.statistics().back().bytesTotal, std::filesystem::file_size(file.path()));
    EXPECT_EQ(window.statistics().back().bytesRead, window.statistics().back().bytesTotal);
    EXPECT_EQ(window.logs()[6], "\xB7\xA2\xCF\xD6 <Get >");

    // A key log that cannot be read is said at once, and the capture goes on without it.
    auto setKeyLog = reinterpret_cast<SetKeyLogFileFunction>(GetProcAddress(module, "SetKeyLogFile"));
    ASSERT_NE(setKeyLog, nullptr);
    EXPECT_EQ(setKeyLog("/nonexistent/keys.log"), ENOENT);
    EXPECT_EQ(setKeyLog("/dev/zero"), QUILLNET_KEYLOG_NOT_REGULAR);
    EXPECT_EQ(start(kCallerToken, window.handle(), file.source().c_str(), 0), 0);
    EXPECT_EQ(window.httpRecords().size(), 2u);
    EXPECT_EQ(setKeyLog(nullptr), 0);

    // A receiver that drops log lines is sent none, and still every URL.
    auto setLogRecords = reinterpret_cast<SetLogRecordsFunction>(GetProcAddress(module, "SetLogRecords"));
    ASSERT_NE(setLogRecords, nullptr);
    window.clear();
    EXPECT_EQ(setLogRecords(0), 0);
    EXPECT_EQ(start(kCallerToken, window.handle(), file.source().c_str(), 0), 0);
    setLogRecords(1);
    EXPECT_TRUE(window.logs().empty());
    EXPECT_EQ(window.httpRecords().size(), 1u);
}

}
