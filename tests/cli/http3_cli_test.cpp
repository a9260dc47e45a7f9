// tarvolin-cli reading HTTP/3: ngtcp2's example client, with SSLKEYLOGFILE
// set, fetches a .mp4 under a 2,000-character URL and an .m3u8 from ngtcp2's
// example server on the loopback device. The traffic is recorded once and
// read with and without the key log; the same fetch is also watched live.
// Needs the privilege to capture and both example programs; skipped without.
#include <gtest/gtest.h>

#include <pcap/pcap.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "installed_cli.h"
#include "local_http3_server.h"
#include "loopback_recorder.h"
#include "quic_tracker.h"
#include "run_program.h"
#include "temporary_directory.h"
#include "wire_reader.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

constexpr size_t kLongUrlLength = 2000;
// gtlsserver aborts on a path beyond 1,024 characters, so the query makes the length.
constexpr char kMediaFile[] = "videos/clip.mp4";
constexpr char kPlaylist[] = "live/index.m3u8";
// The headers gtlsclient sends besides the pseudo-headers.
constexpr char kClientHeaders[] = "\"headers\":{\"user-agent\":\"nghttp3/ngtcp2 client\"}";

// Why the tests cannot run here, or "".
std::string missingForHttp3Test()
{
    if (geteuid() != 0)
        return "capturing on 'lo' needs root; run the tests as root to include it";
    const std::string missing = LocalHttp3Server::missingProgram();
    return missing.empty() ? "" : "needs " + missing + " (Debian packages ngtcp2-client and ngtcp2-server)";
}

// The media file's URL signed as streaming sites sign theirs, `length` characters in all.
std::string signedUrl(const LocalHttp3Server &server, size_t length)
{
    const std::string unsigned_ = server.url(kMediaFile) + "?expires=1767225600&sig=";
    return unsigned_ + std::string(length - unsigned_.size(), 's');
}

std::vector<std::string> sortedLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The two files, served over HTTP/3 from a folder of their own.
struct Http3Site {
    Http3Site() : server(servedFiles(folder))
    {
        if (!server.listening())
            return;
        mediaUrl = signedUrl(server, kLongUrlLength);
        playlistUrl = server.url(kPlaylist);
    }

    // Writes both files under `folder`; the folder they are in.
    static std::filesystem::path servedFiles(const TemporaryDirectory &folder)
    {
        const std::filesystem::path served = folder.path() / "htdocs";
        for (const std::filesystem::path file : {kMediaFile, kPlaylist})
            std::filesystem::create_directories(served / file.parent_path());
        WriteWholeFile(served / kMediaFile, "not really a video");
        WriteWholeFile(served / kPlaylist, "#EXTM3U\n#EXT-X-VERSION:3\n");
        return served;
    }

    // The lines tarvolin-cli prints for the two files, sorted.
    std::vector<std::string> expectedRows() const
    {
        std::string rows;
        for (const char *list : {"all", "media"}) {
            rows += std::string(list) + "\t.mp4\t" + mediaUrl + "\tvideo/mp4\n";
            rows += std::string(list) + "\t.m3u8\t" + playlistUrl + "\tapplication/vnd.apple.mpegurl\n";
        }
        return sortedLines(rows);
    }

    TemporaryDirectory folder;
    LocalHttp3Server server;
    std::string mediaUrl;
    std::string playlistUrl;
};

// One fetch of both files, recorded on lo once for the tests that read it.
struct Recording {
    Recording()
    {
        if (!site.server.listening()) {
            problem = "the local HTTP/3 server did not start";
            return;
        }
        LoopbackRecorder recorder(capture, "udp port " + std::to_string(site.server.port()));
        if (!recorder.error().empty()) {
            problem = "cannot record on lo: " + recorder.error();
            return;
        }
        if (!FetchOverHttp3(site.server, {site.mediaUrl, site.playlistUrl}, keyLog))
            problem = "gtlsclient did not fetch both files";
    }

    Http3Site site;
    const std::string capture = site.folder.file("http3.pcap");
    const std::string keyLog = site.folder.file("keys.log");
    std::string problem; // why the recording failed, or ""
};

class CliHttp3 : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string missing = missingForHttp3Test();
        if (!missing.empty())
            GTEST_SKIP() << missing;
    }

    static const Recording &recording()
    {
        static const Recording made;
        return made;
    }
};

// The bytes the client sent on each of its streams, as QUIC hands them on.
class ClientStreams : public quillnet::quic::QuicSink {
public:
    void onClientHello(const quillnet::quic::ConnectionInfo &) override {}
    void onStreamData(const quillnet::quic::StreamRef &stream, uint64_t, quillnet::ByteView bytes) override
    {
        if (stream.fromClient)
            streams[stream.id] += bytes.text();
    }
    void onStreamEnd(const quillnet::quic::StreamRef &) override {}
    void onStreamReset(const quillnet::quic::StreamRef &) override {}
    void onConnectionClosed(uint64_t) override {}

    std::map<uint64_t, std::string> streams;
};

// The UDP datagram of an Ethernet frame carrying IPv4, as the frame dispatch would hand it to QUIC.
std::optional<quillnet::quic::Datagram> udpDatagram(quillnet::ByteView frame, uint64_t time)
{
    constexpr size_t kEtherTypeAt = 12;
    constexpr size_t kIpAt = 14;
    constexpr uint16_t kIpv4 = 0x0800;
    constexpr size_t kProtocolAt = 9;
    constexpr uint8_t kUdp = 17;
    constexpr size_t kSourceAt = 12;
    constexpr size_t kDestAt = 16;
    constexpr uint8_t kHeaderWords = 0x0f;
    constexpr size_t kUdpHeaderLength = 8;
    constexpr size_t kUdpLengthAt = 4;
    const auto headerByte = frame.u8(kIpAt);
    if (frame.be16(kEtherTypeAt) != kIpv4 || !headerByte || !frame.byteIs(kIpAt + kProtocolAt, kUdp))
        return std::nullopt;
    const size_t udpAt = kIpAt + (*headerByte & kHeaderWords) * 4u;
    std::array<uint8_t, 4> source{};
    std::array<uint8_t, 4> dest{};
    const auto sourcePort = frame.be16(udpAt);
    const auto destPort = frame.be16(udpAt + 2);
    const auto udpLength = frame.be16(udpAt + kUdpLengthAt);
    if (!frame.read(kIpAt + kSourceAt, source) || !frame.read(kIpAt + kDestAt, dest) || !sourcePort || !destPort ||
        !udpLength || *udpLength < kUdpHeaderLength || !frame.has(udpAt, *udpLength))
        return std::nullopt;
    quillnet::quic::Datagram datagram;
    datagram.flow = {quillnet::IpAddress::v4(source), quillnet::IpAddress::v4(dest), *sourcePort, *destPort};
    datagram.time = time;
    datagram.payload = frame.sub(udpAt + kUdpHeaderLength, *udpLength - kUdpHeaderLength);
    return datagram;
}

// Opens the recording with its key log as the capture library's QUIC layer does.
ClientStreams openedStreams(const std::string &capturePath, const std::string &keyLogPath,
                            quillnet::quic::Counts &counts)
{
    ClientStreams sink;
    quillnet::tls::KeyLog keyLog(keyLogPath);
    quillnet::quic::QuicTracker tracker(&keyLog);
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    const std::unique_ptr<pcap_t, void (*)(pcap_t *)> capture(pcap_open_offline(capturePath.c_str(), errorBuffer),
                                                              pcap_close);
    EXPECT_TRUE(capture) << errorBuffer;
    pcap_pkthdr *header = nullptr;
    const u_char *bytes = nullptr;
    while (capture && pcap_next_ex(capture.get(), &header, &bytes) == 1) {
        const uint64_t time = static_cast<uint64_t>(header->ts.tv_sec) * 1000000u +
                              static_cast<uint64_t>(header->ts.tv_usec);
        if (const auto datagram = udpDatagram({bytes, header->caplen}, time))
            tracker.handleDatagram(*datagram, sink);
    }
    tracker.finish(sink);
    counts = tracker.counts();
    return sink;
}

TEST_F(CliHttp3, TheClientsRequestsReferToItsQpackDynamicTable)
{
    ASSERT_EQ(recording().problem, "");
    quillnet::quic::Counts counts;
    const ClientStreams opened = openedStreams(recording().capture, recording().keyLog, counts);
    EXPECT_EQ(counts.seen, 1u);
    EXPECT_EQ(counts.decrypted, 1u);
    // HTTP/3 HEADERS frames (type 1) open both request streams; a field section
    // whose Required Insert Count, its first byte, is not 0 needs the encoder stream.
    constexpr uint64_t kHeadersFrame = 0x01;
    constexpr uint64_t kEncoderStreamType = 0x02;
    int referring = 0;
    for (const uint64_t id : {0u, 4u}) {
        ASSERT_TRUE(opened.streams.count(id)) << "no request on stream " << id;
        quillnet::quic::WireReader reader(quillnet::ByteView(opened.streams.at(id)));
        EXPECT_EQ(reader.varint(), kHeadersFrame);
        reader.varint();
        referring += reader.u8() != 0;
    }
    EXPECT_GT(referring, 0) << "gtlsclient no longer uses its dynamic table: no case exercises QPACK's encoder stream";
    const auto encoder = std::find_if(opened.streams.begin(), opened.streams.end(), [&](const auto &stream) {
        return stream.first % 4 == 2 && quillnet::ByteView(stream.second).byteIs(0, kEncoderStreamType);
    });
    ASSERT_NE(encoder, opened.streams.end());
    EXPECT_GT(encoder->second.size(), 1u) << "the encoder stream carries no instruction";
}

TEST_F(CliHttp3, TheKeyLogTurnsTheCaptureIntoBothRowsWithTheWholeUrlAndItsHeaders)
{
    const Recording &recorded = recording();
    ASSERT_EQ(recorded.problem, "");
    ASSERT_EQ(recorded.site.mediaUrl.size(), kLongUrlLength);

    const ProgramResult rows = RunProgram({InstalledCli(), "--read", recorded.capture, "--keylog", recorded.keyLog});
    EXPECT_EQ(rows.status, 0) << rows.err;
    EXPECT_EQ(sortedLines(rows.out), recorded.site.expectedRows()) << rows.out;
    EXPECT_NE(rows.err.find(", QUIC connections: 1 seen, 1 decrypted, 0 without keys, 0 undecryptable, 0 evicted\n"),
              std::string::npos)
        << rows.err;
    EXPECT_EQ(rows.err.find("TLS connections"), std::string::npos) << "QUIC counted as TLS: " << rows.err;

    const ProgramResult json = RunProgram(
        {InstalledCli(), "--read", recorded.capture, "--keylog", recorded.keyLog, "--json", "--headers", "--media"});
    EXPECT_EQ(json.status, 0) << json.err;
    for (const auto &[url, type, extension] :
         {std::tuple{recorded.site.mediaUrl, "video/mp4", ".mp4"},
          std::tuple{recorded.site.playlistUrl, "application/vnd.apple.mpegurl", ".m3u8"}}) {
        const std::string line = "{\"list\":\"media\",\"extension\":\"" + std::string(extension) + "\",\"url\":\"" +
                                 url + "\",\"content_type\":\"" + type + "\"," + kClientHeaders + "}\n";
        EXPECT_NE(json.out.find(line), std::string::npos) << "no line\n" << line << "in:\n" << json.out;
    }
}

TEST_F(CliHttp3, WithoutTheKeyLogTheConnectionIsCountedAndNothingListed)
{
    const Recording &recorded = recording();
    ASSERT_EQ(recorded.problem, "");
    // The environment's SSLKEYLOGFILE would stand in for --keylog.
    const ProgramResult read = RunProgram({"env", "-u", "SSLKEYLOGFILE", InstalledCli(), "--read", recorded.capture});
    EXPECT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out, "");
    EXPECT_NE(read.err.find(", QUIC connections: 1 seen, 0 decrypted, 1 without keys, 0 undecryptable, 0 evicted\n"),
              std::string::npos)
        << read.err;
}

TEST_F(CliHttp3, ALiveCaptureWithTheKeyLogPrintsTheSameRows)
{
    const Http3Site site;
    ASSERT_TRUE(site.server.listening()) << "the local HTTP/3 server did not start";
    const std::string keyLog = site.folder.file("keys.log");
    WriteWholeFile(keyLog, "");
    const std::string outPath = site.folder.file("out");
    const std::string errPath = site.folder.file("err");
    const int cliPid = StartProgram({InstalledCli(), "--interface", "lo", "--keylog", keyLog}, outPath, errPath);
    ASSERT_GT(cliPid, 0);
    // The capture opens a moment after the start, so fetch until the lines show;
    // a fetch it opened during may have given some of them already.
    const auto distinctLines = [](const std::string &text) {
        std::vector<std::string> lines = sortedLines(text);
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
        return lines;
    };
    int fetches = 0;
    for (; fetches < 20 && distinctLines(ReadWholeFile(outPath)) != site.expectedRows(); ++fetches) {
        EXPECT_TRUE(FetchOverHttp3(site.server, {site.mediaUrl, site.playlistUrl}, keyLog));
        std::this_thread::sleep_for(500ms);
    }
    kill(cliPid, SIGTERM);
    EXPECT_EQ(WaitForProgramWithin(cliPid, 10s), 0) << ReadWholeFile(errPath);

    EXPECT_EQ(distinctLines(ReadWholeFile(outPath)), site.expectedRows()) << "after " << fetches << " fetches";
    // Every connection whose first Initial packet was captured had its keys in the log.
    const std::string summary = ReadWholeFile(errPath);
    std::smatch counts;
    ASSERT_TRUE(std::regex_search(summary, counts, std::regex(", QUIC connections: (\\d+) seen, (\\d+) decrypted, "
                                                              "0 without keys, 0 undecryptable, 0 evicted\n")))
        << summary;
    EXPECT_EQ(counts[1], counts[2]) << summary;
}

}
