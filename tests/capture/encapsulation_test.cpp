// Frames as today's networks carry them: IPv6, VLAN tags, Linux cooked
// headers, trailers after the IP packet.
#include <gtest/gtest.h>

#include <algorithm>

#include "capture_file.h"
#include "frame_dispatch.h"
#include "frame_test.h"
#include "http.h"
#include "log_texts.h"
#include "notifications.h"
#include "protocol_payloads.h"
#include "quillnet.h"

using namespace quillnet;
using namespace testing_support;

namespace {

const Endpoint6 kClient6{{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20}, 52000};
const Endpoint6 kServer6{{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x07}, 8080};

std::string get(const std::string &path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: example\r\n\r\n";
}

const std::string kFlvAnswer = "HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\n\r\n";

class EncapsulationTest : public FrameTest {};

TEST_F(EncapsulationTest, ReplayedFilesOfEveryLinkLayerListTheirRequests)
{
    std::vector<uint8_t> udp = BuildTcpFrame(kClient, kServer, get("/udp.flv"));
    udp[14 + 9] = 17;
    const std::vector<std::vector<uint8_t>> ethernet = {
        udp,
        BuildTcpFrame(kClient, kServer, get("/four.flv")),
        BuildTcpFrame(kServer, kClient, kFlvAnswer),
        BuildTcpFrame6(kClient6, kServer6, get("/six.flv"), true),
        BuildTcpFrame6(kServer6, kClient6, kFlvAnswer),
    };
    for (const LinkLayer layer : {LinkLayer::Ethernet, LinkLayer::OneVlanTag, LinkLayer::TwoVlanTags,
                                  LinkLayer::LinuxCooked, LinkLayer::LinuxCooked2}) {
        std::vector<std::vector<uint8_t>> frames;
        for (const auto &frame : ethernet)
            frames.push_back(Reencapsulate(frame, layer));
        const CaptureFile file(frames, LinkTypeOf(layer));
        RecordingWindow replay;
        EXPECT_EQ(StartCapture(kCallerToken, replay.handle(), file.source().c_str(), 0), 0);
        const auto records = replay.httpRecords();
        ASSERT_EQ(records.size(), 2u) << "link layer " << static_cast<int>(layer);
        EXPECT_STREQ(records[0].path, "/four.flv");
        EXPECT_EQ(records[0].port, 80);
        EXPECT_STREQ(records[1].path, "/six.flv");
        EXPECT_EQ(records[1].port, 8080);
        EXPECT_STREQ(records[1].contentType, "video/x-flv");
    }
}

TEST_F(EncapsulationTest, Ipv6AddressesAppearInTheirTextForm)
{
    feed(BuildTcpFrame6(kClient6, Endpoint6{kServer6.address, 1755}, MmsOpenFile(u"clip.wmv")));
    feed(BuildTcpFrame6(kClient6, Endpoint6{kServer6.address, 554}, MmsOpenFile(u"other.wmv")));
    EXPECT_EQ(window.urlTexts(),
              (std::vector<std::string>{"mms://[2001:db8::7]/clip.wmv", "mms://[2001:db8::7]:554/other.wmv"}));

    feed(BuildTcpFrame6(kClient6, Endpoint6{kServer6.address, 1935}, RtmpConnect({{"app", "vod"}})));
    const auto logs = window.logs();
    const std::string expected = FormatText(logtext::kFoundConnect, "2001:db8::20", 52000, "2001:db8::7", 1935,
                                            static_cast<int>(14 + 40 + 20));
    EXPECT_NE(std::find(logs.begin(), logs.end(), expected), logs.end());
}

TEST_F(EncapsulationTest, BytesAfterTheIpPacketAreNeverPayload)
{
    // A bare acknowledgement padded with a trailer that reads like a request.
    std::vector<uint8_t> padded = BuildTcpFrame(kClient, kServer, "");
    const std::string trailer = get("/nobody-asked.flv");
    padded.insert(padded.end(), trailer.begin(), trailer.end());
    feed(padded);
    std::vector<uint8_t> padded6 = BuildTcpFrame6(kClient6, kServer6, "");
    padded6.insert(padded6.end(), trailer.begin(), trailer.end());
    feed(padded6);
    EXPECT_EQ(PendingRequestCount(), 0u);

    // A request whose trailer would add a Host line of its own.
    std::vector<uint8_t> request = BuildTcpFrame(kClient, kServer, "GET /a.flv HTTP/1.1\r\n");
    const std::string host = "Host: evil\r\n\r\n";
    request.insert(request.end(), host.begin(), host.end());
    feed(request);
    feed(kServer, kClient, kFlvAnswer);
    ASSERT_EQ(window.httpRecords().size(), 1u);
    EXPECT_STREQ(window.httpRecords()[0].host, "10.0.0.5") << "the trailer's Host line was read";

    // A sender's own capture under segmentation offload shows a total length of 0.
    std::vector<uint8_t> offloaded = BuildTcpFrame(kClient, kServer, get("/big.flv"));
    offloaded[14 + 2] = 0;
    offloaded[14 + 3] = 0;
    feed(offloaded);
    EXPECT_EQ(PendingRequestCount(), 1u);
}

}
