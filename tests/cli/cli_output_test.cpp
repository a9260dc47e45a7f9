// tarvolin-cli's output over the sample captures, byte for byte against the
// files in tests/cli/expected/. Any change to how rows are found, classified or
// written shows here. After a change meant to alter the output, run this test
// once with TARVOLIN_WRITE_EXPECTED=1 to write the files anew, and read their diff.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "capture_file.h"
#include "frame_builder.h"
#include "installed_cli.h"
#include "run_program.h"
#include "sample_traffic.h"
#include "temporary_directory.h"

using namespace testing_support;

namespace {

const Endpoint kClient{{192, 168, 1, 20}, 52000};
const Endpoint kWebServer{{10, 0, 0, 5}, 80};
const Endpoint kAltServer{{10, 0, 0, 6}, 8080};
constexpr size_t kTransactionCount = 24;
constexpr size_t kLongPathLength = 1300; // past the fixed URL record's path field

// One request and its answer on a connection of its own.
void addExchange(Frames &frames, uint16_t clientPort, const Endpoint &server, const std::string &request,
                 const std::string &contentType)
{
    const Endpoint client{kClient.address, clientPort};
    frames.push_back(BuildTcpFrame(client, server, request));
    frames.push_back(BuildTcpFrame(server, client, "HTTP/1.1 200 OK\r\nContent-Type: " + contentType + "\r\n\r\n"));
}

std::string get(const std::string &target, const std::string &host, const std::string &headers = "")
{
    return "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n" + headers + "\r\n";
}

// The bytes and cases the printer and the classification must treat alike
// from run to run: escapes in both forms, headers, the rules' edges.
Frames awkwardTraffic()
{
    Frames frames;
    uint16_t port = kClient.port;
    addExchange(frames, port++, kWebServer,
                get("/watch/clip.MP4?x=1", "media.example.com",
                    "User-Agent: Agent\t1.0\r\nReferer: http://pages.example/caf\xE9\r\nCookie: a=1\r\nCookie: b=2\r\n"
                    "Accept: */*\r\nAccept-Language: de\r\nAccept-Encoding: gzip\r\nOrigin: http://pages.example\r\n"
                    "Connection: keep-alive\r\n"),
                " Video/MP4 ");
    addExchange(frames, port++, kWebServer, get("/say\"hi\"\\caf\xC3\xA9\xE9\x7F.flv", "media.example.com"),
                "video/x-flv");
    addExchange(frames, port++, kWebServer, get("/ctl\x01x.mp3", "media.example.com"), "audio/mpeg");
    addExchange(frames, port++, kAltServer, get("/live/list.m3u8", "live.example.com:8080"),
                "application/vnd.apple.mpegurl");
    addExchange(frames, port++, kAltServer, get("/live/list2.m3u8", "live.example.com"), "audio/x-mpegurl");
    addExchange(frames, port++, kWebServer, get("/live/seg1.ts", "live.example.com"), "video/mp2t");
    addExchange(frames, port++, kWebServer, get("/live/seg2", "live.example.com"), "video/iso.segment");
    addExchange(frames, port++, kWebServer, get("/page.php3", "www.example.com"), "video/x-flv");
    addExchange(frames, port++, kWebServer, get("/get?id=1", "cdn.example.com"), "audio/mpeg");
    addExchange(frames, port++, kWebServer, get("/show.smil", "cdn.example.com"), "application/smil;charset=utf-8");
    addExchange(frames, port++, kWebServer, get("/doc", "cdn.example.com"), "application/smil;charset=utf-8");
    addExchange(frames, port++, kWebServer, get("/image.PNG", "cdn.example.com"), "image/png");
    addExchange(frames, port++, kWebServer, get("/WATCH/CLIP.mp4?X=1", "MEDIA.example.com"), "video/mp4");
    addExchange(frames, port++, kWebServer, get("/" + std::string(kLongPathLength, 'L') + ".webm", "big.example.com"),
                "video/webm");
    return frames;
}

struct Capture {
    std::string name;
    Frames frames;
};

struct Form {
    std::string name;
    std::vector<std::string> options;
};

std::string expectedPath(const std::string &capture, const std::string &form)
{
    return std::string(TARVOLIN_CLI_EXPECTED_DIR) + "/" + capture + "." + form + ".txt";
}

}

TEST(CliOutput, IsByteIdenticalToTheExpectedFiles)
{
    const std::vector<Capture> captures{
        {"sample", SampleTraffic()},
        {"transactions", HttpTransactions(kTransactionCount)},
        {"awkward", awkwardTraffic()},
    };
    const std::vector<Form> forms{
        {"tsv", {}},
        {"media", {"--media"}},
        {"json", {"--json"}},
        {"json-headers", {"--json", "--headers"}},
    };
    const bool writing = std::getenv("TARVOLIN_WRITE_EXPECTED") != nullptr;
    for (const Capture &capture : captures) {
        const CaptureFile file(capture.frames);
        for (const Form &form : forms) {
            std::vector<std::string> arguments{InstalledCli(), "--read", file.path()};
            arguments.insert(arguments.end(), form.options.begin(), form.options.end());
            const ProgramResult result = RunProgram(arguments);
            const std::string path = expectedPath(capture.name, form.name);
            ASSERT_EQ(result.status, 0) << path << ": " << result.err;
            if (writing) {
                WriteWholeFile(path, result.out);
                continue;
            }
            ASSERT_TRUE(std::filesystem::exists(path)) << path;
            EXPECT_EQ(result.out, ReadWholeFile(path)) << "differs from " << path;
        }
    }
}
