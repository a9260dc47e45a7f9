#include <gtest/gtest.h>

#include "frame_dispatch.h"
#include "frame_test.h"
#include "http.h"
#include "log_texts.h"

using namespace quillnet;
using namespace testing_support;

namespace {

class FrameDispatchTest : public FrameTest {};

const std::string kRequest = "GET /v.flv HTTP/1.1\r\nHost: example\r\n\r\n";

TEST_F(FrameDispatchTest, PayloadIsFoundAfterTheHeadersOwnLengths)
{
    for (const FrameShape shape : {FrameShape{false, 0}, FrameShape{true, 0}, FrameShape{true, 2}, FrameShape{false, 10}}) {
        SetUp();
        window.clear();
        feed(kClient, kServer, kRequest, shape);
        ASSERT_NE(FindPendingRequest(1), nullptr) << "payload at " << PayloadOffset(shape);
        EXPECT_EQ(FindPendingRequest(1)->path, "/v.flv");
        // The answer pairs only when the ports were read after the IPv4 options.
        feed(kServer, kClient, "HTTP/1.1 200 OK\r\n\r\n", shape);
        ASSERT_EQ(window.httpRecords().size(), 1u);
        EXPECT_EQ(window.httpRecords()[0].port, 80);
    }
}

TEST_F(FrameDispatchTest, FramesWithoutACompleteTcpHeaderAreIgnored)
{
    const std::vector<uint8_t> frame = BuildTcpFrame(kClient, kServer, kRequest);
    const size_t headers = PayloadOffset();
    for (size_t length = 1; length < headers; ++length) {
        const std::vector<uint8_t> cut(frame.begin(), frame.begin() + static_cast<long>(length));
        feed(cut);
    }
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(FrameDispatchTest, ImpossibleHeaderLengthsAreIgnored)
{
    std::vector<uint8_t> shortIp = BuildTcpFrame(kClient, kServer, kRequest);
    shortIp[14] = 0x44; // IHL 4: shorter than any IPv4 header
    feed(shortIp);
    std::vector<uint8_t> shortTcp = BuildTcpFrame(kClient, kServer, kRequest, FrameShape{false});
    shortTcp[14 + 20 + 12] = 0x40; // data offset 4
    feed(shortTcp);
    std::vector<uint8_t> pastEnd = BuildTcpFrame(kClient, kServer, "", FrameShape{false});
    pastEnd[14 + 20 + 12] = 0xF0; // 60-byte TCP header in a 54-byte frame
    feed(pastEnd);
    EXPECT_TRUE(window.messages().empty());
    EXPECT_EQ(FindPendingRequest(1), nullptr);
}

TEST_F(FrameDispatchTest, OnlyFirstFragmentsCarryATcpHeader)
{
    feed(kClient, kServer, kRequest, FrameShape{true, 0, 0x2000}); // more fragments, offset 0
    EXPECT_NE(FindPendingRequest(1), nullptr);
    SetUp();
    feed(kClient, kServer, kRequest, FrameShape{true, 0, 0x0010}); // a later fragment
    EXPECT_EQ(FindPendingRequest(1), nullptr);
    EXPECT_EQ(window.logs().size(), 2u); // the first request's GET and Host lines only
}

TEST_F(FrameDispatchTest, EmptyFrameIsIgnored)
{
    HandleFrame(window.handle(), nullptr, 0);
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(FrameDispatchTest, AddressesAreDottedDecimalOrRfc5952)
{
    const std::pair<std::array<uint8_t, 4>, const char *> v4[] = {
        {{0, 0, 0, 0}, "0.0.0.0"},
        {{255, 255, 255, 255}, "255.255.255.255"},
        {{10, 0, 100, 9}, "10.0.100.9"},
    };
    for (const auto &[address, text] : v4)
        EXPECT_EQ(IpText(IpAddress::v4(address)), text);
    const std::pair<std::array<uint8_t, 16>, const char *> v6[] = {
        {{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, "2001:db8::1"},
        {{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}, "2001:db8:0:1::1"},
        {{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1}, "2001:db8::1:0:0:1"},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, "::1"},
        {{0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0xab, 0xcd, 0, 0, 0, 0, 0, 0}, "fe80::abcd:0:0:0"},
    };
    for (const auto &[address, text] : v6)
        EXPECT_EQ(IpText(IpAddress::v6(address)), text);
}

TEST_F(FrameDispatchTest, BranchIsChosenByTheFirstPayloadBytes)
{
    feed(kClient, kServer, "DESCRIBE rtsp://media/x RTSP/1.0\r\n");
    feed(kServer, kClient, "HTTP/1.0 200 OK\r\n\r\n");
    feed(kServer, kClient, "ICY 200 OK\r\n\r\n");
    feed(kServer, kClient, "HTTP/2 200\r\n\r\n"); // neither: goes to the RTMP scan, which finds nothing
    const auto logs = window.logs();
    EXPECT_EQ(std::count(logs.begin(), logs.end(), logtext::kFoundResponse), 2);
    EXPECT_EQ(window.urlTexts(), std::vector<std::string>{"rtsp://media/x"});
}

}
