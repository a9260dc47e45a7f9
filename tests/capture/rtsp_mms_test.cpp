#include <gtest/gtest.h>

#include "frame_test.h"
#include "protocol_payloads.h"
#include "records.h"

using namespace quillnet;
using namespace testing_support;

namespace {

class RtspMmsTest : public FrameTest {};

const Endpoint kMmsServer{{172, 16, 0, 9}, 1755};

TEST_F(RtspMmsTest, DescribeSendsItsUrlAsTheFramesLastMessage)
{
    feed(kClient, kServer, "DESCRIBE rtsp://cam.example/live.sdp RTSP/1.0\r\nCSeq: 2\r\n\r\n");
    const auto messages = window.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].wParam, 109u);
    EXPECT_EQ(messages[0].dwData, 109u);
    const std::string url = "rtsp://cam.example/live.sdp";
    EXPECT_EQ(messages[0].cbData, url.size() + 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(messages[0].data.data())), url);
}

TEST_F(RtspMmsTest, DescribeLineTooShortForAUrlSendsNothing)
{
    feed(kClient, kServer, "DESCRIBE  RTSP/1.0\r\n"); // 18 characters
    feed(kClient, kServer, "DESCRIBE rtsp://x/y RTSP/1.0"); // no CR LF
    EXPECT_TRUE(window.messages().empty());
    feed(kClient, kServer, "DESCRIBE x RTSP/1.0\r\n");
    EXPECT_EQ(window.urlTexts(), std::vector<std::string>{"x"});
}

TEST_F(RtspMmsTest, MmsOpenFileNamesTheServerByAddress)
{
    feed(kClient, kMmsServer, MmsOpenFile(u"clips/intro.wmv"));
    const Endpoint otherPort{{172, 16, 0, 9}, 8080};
    feed(kClient, otherPort, MmsOpenFile(u"live"));
    EXPECT_EQ(window.urlTexts(),
              (std::vector<std::string>{"mms://172.16.0.9/clips/intro.wmv", "mms://172.16.0.9:8080/live"}));
}

TEST_F(RtspMmsTest, MmsNameKeepsLowBytesAndEndsAtNulOrCapture)
{
    feed(kClient, kMmsServer, MmsOpenFile(u"a\u4e2db"));
    std::string cut = MmsOpenFile(u"abc");
    cut.resize(cut.size() - 3); // ends inside the 'c'
    feed(kClient, kMmsServer, cut);
    feed(kClient, kMmsServer, MmsOpenFile(u""));
    EXPECT_EQ(window.urlTexts(),
              (std::vector<std::string>{"mms://172.16.0.9/a-b", "mms://172.16.0.9/abc", "mms://172.16.0.9/"}));
}

TEST_F(RtspMmsTest, MmsNameStopsAt945Characters)
{
    feed(kClient, kMmsServer, MmsOpenFile(std::u16string(2000, u'n')));
    const auto urls = window.urlTexts();
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(urls[0], "mms://172.16.0.9/" + std::string(945, 'n'));
}

TEST_F(RtspMmsTest, MmsTestNeedsSealAndMessageId)
{
    std::string payload = MmsOpenFile(u"x");
    payload[38] = 4;
    feed(kClient, kMmsServer, payload);
    payload = MmsOpenFile(u"x");
    payload[13] = 'm';
    feed(kClient, kMmsServer, payload);
    EXPECT_TRUE(window.urlTexts().empty());
    feed(kClient, kMmsServer, MmsOpenFile(u"x").substr(0, 39)); // the identifier's last tested byte is captured
    EXPECT_EQ(window.urlTexts(), std::vector<std::string>{"mms://172.16.0.9/"});
}

}
