// tarvolin-cli end to end on capture files the tests write, and its pieces.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pcap/pcap.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "capture_file.h"
#include "capture_statistics.h"
#include "capture_summary.h"
#include "cli_options.h"
#include "frame_builder.h"
#include "installed_cli.h"
#include "protocol_payloads.h"
#include "row_printer.h"
#include "run_program.h"
#include "temporary_directory.h"

using namespace testing_support;
using namespace tarvolin;
using namespace tarvolin::cli;
using namespace std::chrono_literals;

namespace {

const Endpoint kClient{{192, 168, 1, 20}, 51000};
const Endpoint kOtherClient{{192, 168, 1, 20}, 51001};
const Endpoint kWebServer{{10, 0, 0, 5}, 80};
const Endpoint kAltServer{{10, 0, 0, 6}, 8080};
const Endpoint kRtmpServer{{10, 0, 0, 7}, 1935};
const Endpoint kRtspServer{{10, 0, 0, 8}, 554};
const Endpoint kMmsServer{{172, 16, 0, 9}, 1755};
const FrameShape kNoTcpOptions{false};

const std::string kFirstRequest = "GET /v.flv HTTP/1.1\r\nHost: example.com\r\n\r\n";
const std::string kFirstResponse = "HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\n\r\n";

// The next segment of a connection after `sent`, so that it is no retransmission of it.
FrameShape after(const std::string &sent)
{
    return {.sequence = static_cast<uint32_t>(sent.size())};
}

const std::string kRtmpUrl =
    "rtmp://example.com/vod<playpath>mp4:movie.mp4 <swfUrl>http://example.com/player.swf "
    "<pageUrl>http://example.com/watch?v=1";

std::vector<std::vector<uint8_t>> sampleFrames()
{
    return {
        BuildTcpFrame(kClient, kWebServer, kFirstRequest),
        BuildTcpFrame(kWebServer, kClient, kFirstResponse),
        BuildTcpFrame(kOtherClient, kAltServer, "GET /index.html HTTP/1.1\r\nHost: www.example.com\r\n\r\n", kNoTcpOptions),
        BuildTcpFrame(kAltServer, kOtherClient, "HTTP/1.1 200 OK\r\nContent-Type: Text/HTML \r\n\r\n", kNoTcpOptions),
        BuildTcpFrame(kClient, kRtmpServer,
                      RtmpConnect({{"app", "vod"},
                                   {"swfUrl", "http://example.com/player.swf"},
                                   {"tcUrl", "rtmp://example.com/vod"},
                                   {"pageUrl", "http://example.com/watch?v=1"}})),
        BuildTcpFrame(kClient, kRtmpServer, RtmpPlay("mp4:movie.mp4")),
        BuildTcpFrame(kClient, kRtspServer, "DESCRIBE rtsp://cam.example/live.sdp RTSP/1.0\r\nCSeq: 2\r\n\r\n"),
        BuildTcpFrame(kClient, kMmsServer, MmsOpenFile(u"clips/intro.wmv")),
        // The same file again, in other letters: a new "All" row only.
        BuildTcpFrame(kClient, kWebServer, "GET /V.FLV HTTP/1.1\r\nHost: EXAMPLE.COM\r\n\r\n", after(kFirstRequest)),
        BuildTcpFrame(kWebServer, kClient, kFirstResponse, after(kFirstResponse)),
    };
}

ProgramResult runCli(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), InstalledCli());
    return RunProgram(arguments);
}

// The text pcap gives for the first record of the file it cannot read; empty when it reads them all.
std::string pcapReadError(const std::string &path)
{
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_t *handle = pcap_open_offline(path.c_str(), errorBuffer);
    if (!handle)
        return errorBuffer;
    pcap_pkthdr *header = nullptr;
    const u_char *data = nullptr;
    int result = 0;
    while ((result = pcap_next_ex(handle, &header, &data)) == 1) {
    }
    const std::string error = result == PCAP_ERROR ? pcap_geterr(handle) : "";
    pcap_close(handle);
    return error;
}

bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit)
{
    for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (done())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

class SilentView : public UrlListView {
public:
    void appendRow(UrlList, const UrlRow &) override {}
    void clearList(UrlList) override {}
    void setCaption(UrlList, const std::string &) override {}
    void setStatus(const std::string &) override {}
};

TEST(CliRead, PrintsEveryRowInOrderAndTheCounters)
{
    const CaptureFile file(sampleFrames());
    const ProgramResult result = runCli({"--read", file.path()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "all\t.flv\thttp://example.com/v.flv\tvideo/x-flv\n"
                          "media\t.flv\thttp://example.com/v.flv\tvideo/x-flv\n"
                          "all\t\thttp://www.example.com:8080/index.html\ttext/html\n"
                          "all\t.flv\t" + kRtmpUrl + "\t\n"
                          "media\t.flv\t" + kRtmpUrl + "\t\n"
                          "all\t.sdp\trtsp://cam.example/live.sdp\t\n"
                          "media\t.sdp\trtsp://cam.example/live.sdp\t\n"
                          "all\t.wmv\tmms://172.16.0.9/clips/intro.wmv\t\n"
                          "media\t.wmv\tmms://172.16.0.9/clips/intro.wmv\t\n"
                          "all\t.flv\thttp://EXAMPLE.COM/V.FLV\tvideo/x-flv\n");
    EXPECT_EQ(result.err, "Records: 6, HTTP records: 3, media files: 4, dropped frames: 0\n");

    // The library's own log lines only when asked for, and never among the rows.
    const ProgramResult logged = runCli({"--read", file.path(), "--log"});
    EXPECT_EQ(logged.out, result.out);
    EXPECT_NE(logged.err.find(" <Get >\n"), std::string::npos);
    EXPECT_TRUE(logged.err.ends_with(result.err));
}

TEST(CliRead, MediaAndJsonOptions)
{
    const CaptureFile file(sampleFrames());
    const ProgramResult result = runCli({"--json", "--read", file.path(), "--media"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "{\"list\":\"media\",\"extension\":\".flv\",\"url\":\"http://example.com/v.flv\",\"content_type\":\"video/x-flv\"}\n"
              "{\"list\":\"media\",\"extension\":\".flv\",\"url\":\"" + kRtmpUrl + "\",\"content_type\":\"\"}\n"
              "{\"list\":\"media\",\"extension\":\".sdp\",\"url\":\"rtsp://cam.example/live.sdp\",\"content_type\":\"\"}\n"
              "{\"list\":\"media\",\"extension\":\".wmv\",\"url\":\"mms://172.16.0.9/clips/intro.wmv\",\"content_type\":\"\"}\n");
    EXPECT_EQ(result.err, "Records: 6, HTTP records: 3, media files: 4, dropped frames: 0\n");
}

TEST(CliRead, HeadersOnlyWhenAskedForAndLongTargetsWhole)
{
    const std::string target = "/media/" + std::string(2989, 'v') + ".mp4";
    ASSERT_EQ(target.size(), 3000u);
    const std::string request = "GET " + target +
                                " HTTP/1.1\r\nHost: example.com\r\nUser-Agent: Agent/1.0\r\n"
                                "Referer: http://example.com/watch\r\nCookie: a=1\r\nCookie: b=2\r\n\r\n";
    const CaptureFile file({BuildTcpFrame(kClient, kWebServer, request),
                            BuildTcpFrame(kWebServer, kClient, "HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\n\r\n")});
    const std::string row = "\"extension\":\".mp4\",\"url\":\"http://example.com" + target +
                            "\",\"content_type\":\"video/mp4\"";
    const std::string headers = ",\"headers\":{\"user-agent\":\"Agent/1.0\",\"referer\":\"http://example.com/watch\","
                                "\"cookie\":\"a=1; b=2\"}";

    ProgramResult result = runCli({"--read", file.path(), "--json", "--headers"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "{\"list\":\"all\"," + row + headers + "}\n{\"list\":\"media\"," + row + headers + "}\n");

    result = runCli({"--read", file.path(), "--json"});
    EXPECT_EQ(result.out, "{\"list\":\"all\"," + row + "}\n{\"list\":\"media\"," + row + "}\n")
        << "cookies are printed only when asked for";
    EXPECT_EQ(result.err, "Records: 1, HTTP records: 1, media files: 1, dropped frames: 0\n");
}

TEST(CliRead, RelativePathAndAnEmptyCapture)
{
    const CaptureFile file({});
    const std::string relative = std::filesystem::relative(file.path()).string();
    const ProgramResult result = runCli({"--read", relative});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Records: 0, HTTP records: 0, media files: 0, dropped frames: 0\n");
}

TEST(CliRead, ProgressGoesToStandardErrorEndingAtTheWholeFileOnALineOfItsOwn)
{
    const CaptureFile file(sampleFrames());
    const std::string summary = "Records: 6, HTTP records: 3, media files: 4, dropped frames: 0\n";
    const ProgramResult plain = runCli({"--read", file.path()});
    EXPECT_EQ(plain.err, summary) << "standard error is no terminal here";
    const ProgramResult result = runCli({"--read", file.path(), "--progress"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, plain.out) << "the rows alone";
    ASSERT_TRUE(result.err.starts_with("\rRead: ")) << result.err;
    ASSERT_TRUE(result.err.ends_with("\n" + summary)) << result.err;
    const std::string progress = result.err.substr(0, result.err.size() - summary.size() - 1);
    EXPECT_EQ(progress.find('\n'), std::string::npos) << "one line, written over";
    const std::string last = progress.substr(progress.rfind('\r') + 1);
    EXPECT_EQ(last.substr(0, last.find_last_not_of(' ') + 1), "Read: 100%");
    EXPECT_EQ(runCli({"--no-progress", "--read", file.path()}).err, summary);
}

TEST(CliRead, FailuresNameTheirCause)
{
    const TemporaryDirectory directory;
    const std::string missing = directory.file("missing.pcap");
    ProgramResult result = runCli({"--read", missing});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "tarvolin-cli: cannot read " + missing + ": no such file\n");

    const std::string text = directory.file("notes.pcap");
    WriteWholeFile(text, "these are not frames\n");
    result = runCli({"--read", text});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("tarvolin-cli: " + text + " is not a capture file (pcap or pcapng)", 0), 0u)
        << result.err;

    const CaptureFile raw({{0x45, 0, 0, 20}}, DLT_RAW);
    result = runCli({"--read", raw.path()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "tarvolin-cli: " + raw.path() + " holds RAW frames; only Ethernet and Linux cooked captures can be read\n");

    result = runCli({"--read", directory.path().string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("it is a directory"), std::string::npos) << result.err;

    const CaptureFile frames(sampleFrames());
    const int pid = StartProgram({InstalledCli(), "--read", frames.path()}, "/dev/full", directory.file("err"));
    EXPECT_EQ(WaitForProgram(pid), 1) << "output lost is not success";
    EXPECT_EQ(ReadWholeFile(directory.file("err")), "tarvolin-cli: cannot write the output\n");
}

TEST(CliRead, ADamagedFileKeepsTheRowsBeforeTheDamageAndSaysWhere)
{
    const TemporaryDirectory directory;
    const std::string path = directory.file("cut.pcap");
    const std::string lastResponse = "HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n";
    const std::vector<uint8_t> lastFrame = BuildTcpFrame(kWebServer, kClient, lastResponse, after(kFirstResponse));
    WriteCaptureFile(path, {
        BuildTcpFrame(kClient, kWebServer, kFirstRequest),
        BuildTcpFrame(kWebServer, kClient, kFirstResponse),
        BuildTcpFrame(kOtherClient, kAltServer, "GET /index.html HTTP/1.1\r\nHost: www.example.com\r\n\r\n"),
        BuildTcpFrame(kAltServer, kOtherClient, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n"),
        BuildTcpFrame(kClient, kWebServer, "GET /a.mp3 HTTP/1.1\r\nHost: example.com\r\n\r\n", after(kFirstRequest)),
        lastFrame,
    });
    const std::string whole = ReadWholeFile(path);
    WriteWholeFile(path, whole.substr(0, whole.size() - lastFrame.size() / 2));
    const std::string reason = pcapReadError(path);
    ASSERT_FALSE(reason.empty()) << "the cut file reads to its end";

    const std::string asGiven = std::filesystem::relative(path).string();
    const ProgramResult result = runCli({"--read", asGiven});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "all\t.flv\thttp://example.com/v.flv\tvideo/x-flv\n"
                          "media\t.flv\thttp://example.com/v.flv\tvideo/x-flv\n"
                          "all\t\thttp://www.example.com:8080/index.html\ttext/html\n");
    EXPECT_EQ(result.err, asGiven + ": damaged after 5 frames: " + reason + "\n");
}

TEST(CliRead, AnUnreadableKeyLogEndsTheProgramBeforeItCaptures)
{
    const TemporaryDirectory directory;
    const CaptureFile file(sampleFrames());
    const std::string missing = directory.file("missing.log");
    ProgramResult result = runCli({"--read", file.path(), "--keylog", missing});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, missing + ": cannot read: No such file or directory\n");

    // A FIFO would hold the capture up until a writer came; the environment's file is checked alike.
    const std::string fifo = directory.file("keys.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    result = RunProgram({"env", "SSLKEYLOGFILE=" + fifo, InstalledCli(), "--read", file.path()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, fifo + ": cannot read: not a regular file\n");

    const std::string readable = directory.file("keys.log");
    WriteWholeFile(readable, "");
    result = RunProgram({"env", "SSLKEYLOGFILE=" + fifo, InstalledCli(), "--read", file.path(), "--keylog", readable});
    EXPECT_EQ(result.status, 0) << "--keylog outweighs the environment: " << result.err;
}

TEST(CliRead, InterruptingAReadOfAFifoThatSendsNothingEndsIt)
{
    const TemporaryDirectory directory;
    const std::string fifo = directory.file("stream.pcap");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    // Held open for writing to the end, so the reader never sees the end of the file.
    const int writer = open(fifo.c_str(), O_RDWR);
    ASSERT_GE(writer, 0) << std::strerror(errno);
    const CaptureFile headerOnly({});
    const std::string header = ReadWholeFile(headerOnly.path());
    ASSERT_EQ(write(writer, header.data(), header.size()), static_cast<ssize_t>(header.size()));

    const int pid = StartProgram({InstalledCli(), "--read", fifo}, directory.file("out"), directory.file("err"));
    ASSERT_GT(pid, 0);
    // Once the header is taken, the capture waits for a frame that never comes.
    const bool headerTaken = waitUntil(
        [&] {
            int queued = 0;
            return ioctl(writer, FIONREAD, &queued) == 0 && queued == 0;
        },
        10s);
    kill(pid, SIGINT);
    EXPECT_TRUE(headerTaken);
    EXPECT_EQ(WaitForProgramWithin(pid, 30s), 0) << ReadWholeFile(directory.file("err"));
    close(writer);
    EXPECT_EQ(ReadWholeFile(directory.file("out")), "");
    EXPECT_EQ(ReadWholeFile(directory.file("err")), "Records: 0, HTTP records: 0, media files: 0, dropped frames: 0\n");
}

TEST(CliSummary, CountsDroppedFramesAndTlsAndQuicConnectionsAndWarnsOfTheDrops)
{
    Settings settings;
    settings.NoLimitBufferSize = 1;
    SilentView view;
    UrlStore store(settings, view);
    const std::string url = "rtsp://cam.example/live.sdp";
    COPYDATASTRUCT text{quillnet::kKindUrlText, static_cast<uint32_t>(url.size() + 1), const_cast<char *>(url.c_str())};
    store.handleMessage(WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&text));
    EXPECT_EQ(CaptureSummary(store, "tarvolin-cli"), "Records: 1, HTTP records: 0, media files: 1, dropped frames: 0\n")
        << "no statistics: nothing known to be lost";

    quillnet::CaptureStatistics statistics{};
    statistics.framesDroppedByKernel = 40;
    statistics.framesDroppedByInterface = 2;
    // Three TLS connections still open; evicted ones are among those that ended.
    statistics.tlsConnectionsSeen = 10;
    statistics.tlsConnectionsDecrypted = 4;
    statistics.tlsConnectionsWithoutKeys = 2;
    statistics.tlsConnectionsUndecryptable = 1;
    statistics.tlsConnectionsEvicted = 3;
    statistics.quicConnectionsSeen = 9;
    statistics.quicConnectionsDecrypted = 5;
    statistics.quicConnectionsWithoutKeys = 3;
    statistics.quicConnectionsUndecryptable = 1;
    statistics.quicConnectionsEvicted = 2;
    COPYDATASTRUCT record{quillnet::kKindCaptureStatistics, sizeof statistics, &statistics};
    store.handleMessage(WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&record));
    EXPECT_EQ(CaptureSummary(store, "tarvolin-cli"),
              "Records: 1, HTTP records: 0, media files: 1, dropped frames: 42, TLS connections: 10 seen, "
              "4 decrypted, 2 without keys, 1 undecryptable, 3 evicted, QUIC connections: 9 seen, 5 decrypted, "
              "3 without keys, 1 undecryptable, 2 evicted\n"
              "tarvolin-cli: warning: 42 frames dropped (kernel: 40, interface: 2), so the list may be incomplete\n");

    // HTTP/3 alone: no TLS counts.
    statistics = {};
    statistics.quicConnectionsSeen = 1;
    statistics.quicConnectionsWithoutKeys = 1;
    store.handleMessage(WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&record));
    EXPECT_EQ(CaptureSummary(store, "tarvolin-cli"),
              "Records: 1, HTTP records: 0, media files: 1, dropped frames: 0, QUIC connections: 1 seen, "
              "0 decrypted, 1 without keys, 0 undecryptable, 0 evicted\n");
}

TEST(CliProgress, TellsTheShareReadAndTheTimeLeftOrTheFramesAndTheTimeSinceTheStart)
{
    quillnet::CaptureStatistics statistics{};
    statistics.framesReceived = 1;
    statistics.bytesRead = 250;
    statistics.bytesTotal = 1000;
    EXPECT_EQ(ProgressStatus(statistics, 1s), "25%") << "too early to tell the time left";
    EXPECT_EQ(ProgressStatus(statistics, 20s), "25%, 1:00 left");
    statistics.bytesRead = 999;
    EXPECT_EQ(ProgressStatus(statistics, 3h), "99%, 0:11 left");
    statistics.bytesTotal = 0;
    EXPECT_EQ(ProgressStatus(statistics, 3723s), "1 frame, 1:02:03") << "a device or a pipe";
}

TEST(CliUsage, ErrorsExitWithTwoAndHelpWithZero)
{
    for (const std::vector<std::string> &arguments : std::vector<std::vector<std::string>>{
             {}, {"--read"}, {"--bogus"}, {"--read", "a", "--interface", "lo"}, {"--list-interfaces", "--json"},
             {"--media"}, {"--read", "a", "--media", "--media"}, {"--read", "a", "--keylog"},
             {"--keylog", "", "--read", "a"}, {"--read", "a", "--keylog", "k", "--keylog", "k"},
             {"--list-interfaces", "--keylog", "k"}, {"--read", "a", "--headers"}, {"--interface", "lo", "--progress"},
             {"--read", "a", "--progress", "--no-progress"}}) {
        const ProgramResult result = runCli(arguments);
        EXPECT_EQ(result.status, 2) << ::testing::PrintToString(arguments);
        EXPECT_EQ(result.err.rfind("tarvolin-cli: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find("Usage:"), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
    const ProgramResult help = runCli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, kUsage);
    EXPECT_EQ(ParseArguments({"--keylog", "keys.log", "--interface", "lo"}).options.keyLogFile, "keys.log");
}

TEST(CliInterface, MissingDeviceAndMissingPermissionAreNamed)
{
    ProgramResult result = runCli({"--interface", "no-such-device0"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "tarvolin-cli: no capture device named no-such-device0 (see --list-interfaces)\n");

    std::vector<std::string> unprivileged = {InstalledCli(), "--interface", "lo"};
    if (geteuid() == 0) {
        if (!OnPath("setpriv"))
            GTEST_SKIP() << "running as root without setpriv, so no unprivileged run is possible";
        unprivileged.insert(unprivileged.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    result = RunProgram(unprivileged);
    if (result.status == 0)
        GTEST_SKIP() << "this user may capture on lo, so there is no permission failure to see";
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "tarvolin-cli: no permission to capture on lo: capturing needs root or the CAP_NET_RAW capability\n");
}

TEST(CliInterface, ListShowsTheLoopbackDevice)
{
    const ProgramResult result = runCli({"--list-interfaces"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("lo\tlo\t255.0.0.0\n"), std::string::npos) << result.out;
}

TEST(RowText, FieldsCannotBreakLinesOrJson)
{
    EXPECT_EQ(TabSeparatedField("a\tb\r\nc\x7F\xE9"), "a%09b%0D%0Ac%7F\xE9");
    EXPECT_EQ(JsonString("q\"b\\s/\n\x01"), "\"q\\\"b\\\\s/\\n\\u0001\"");
    EXPECT_EQ(JsonString("caf\xC3\xA9 \xE4\xB8\xAD"), "\"caf\xC3\xA9 \xE4\xB8\xAD\"") << "UTF-8 passes through";
    EXPECT_EQ(JsonString("\xE9t\xE9"), "\"\\u00E9t\\u00E9\"") << "other bytes are read as Latin-1";
    EXPECT_EQ(JsonString("\xC3"), "\"\\u00C3\"") << "a cut sequence";
    EXPECT_EQ(JsonString("\xC0\xAF"), "\"\\u00C0\\u00AF\"") << "an overlong form";
    EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\\u00ED\\u00A0\\u0080\"") << "a surrogate";
    EXPECT_EQ(JsonString("\xF0\x9F\x8E\xAC"), "\"\xF0\x9F\x8E\xAC\"");
}

}
