#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "frame_test.h"
#include "plain_rtmp_scan.h"
#include "protocol_payloads.h"
#include "temporary_directory.h"
#include "log_texts.h"
#include "notifications.h"
#include "rtmp.h"

using namespace quillnet;
using namespace testing_support;

namespace {

const Endpoint kRtmpServer{{10, 0, 0, 7}, 1935};

using Properties = RtmpProperties;

const Properties kProperties = {
    {"app", "vod"},
    {"flashVer", "LNX 9,0,124,2"},
    {"swfUrl", "http://example.com/player.swf"},
    {"tcUrl", "rtmp://example.com/vod"},
    {"fpad", ""},
    {"pageUrl", "http://example.com/watch?v=1"},
};

std::string connectMessage(const Properties &properties = kProperties)
{
    return RtmpConnect(properties);
}

class RtmpTest : public FrameTest {};

TEST_F(RtmpTest, ConnectThenPlaySendsOneRecordLaidOutByteForByte)
{
    feed(kClient, kRtmpServer, connectMessage());
    EXPECT_NE(FindPendingConnect(0), nullptr);
    feed(kClient, kRtmpServer, RtmpPlay("mp4:movie.mp4"));
    EXPECT_EQ(FindPendingConnect(0), nullptr);

    const auto messages = window.messages();
    int records = 0;
    for (const ReceivedMessage &message : messages) {
        if (message.dwData != kKindSendInfo)
            continue;
        ++records;
        EXPECT_EQ(message.wParam, 108u);
        ASSERT_EQ(message.cbData, 2708u);
        const auto text = [&](size_t offset) { return std::string(reinterpret_cast<const char *>(&message.data[offset])); };
        EXPECT_EQ(message.data[0] | message.data[1] << 8, 1935);
        EXPECT_EQ(text(8), "rtmp://example.com/vod");
        EXPECT_EQ(text(508), "vod");
        EXPECT_EQ(text(708), "mp4:movie.mp4");
        EXPECT_EQ(text(1208), "http://example.com/player.swf");
        EXPECT_EQ(text(2208), "http://example.com/watch?v=1");
    }
    EXPECT_EQ(records, 1);
}

TEST_F(RtmpTest, LogsTheConnectAndPlayStages)
{
    const std::string connect = connectMessage();
    feed(kClient, kRtmpServer, connect);
    const int connectAt = static_cast<int>(PayloadOffset());
    EXPECT_EQ(window.logs(), (std::vector<std::string>{
                                 FormatText(logtext::kFoundConnect, "192.168.1.20", 51000, "10.0.0.7", 1935, connectAt),
                                 FormatText(logtext::kConnectStored, 0),
                             }));
    window.clear();
    const std::string play = RtmpPlay("s");
    feed(kClient, kRtmpServer, play);
    const auto logs = window.logs();
    const int playAt = connectAt + 12;
    const int playLength = static_cast<int>(play.size()) - 12;
    ASSERT_GE(logs.size(), 6u);
    EXPECT_EQ(logs[0], FormatText(logtext::kFoundPlay, "192.168.1.20", 51000, "10.0.0.7", 1935, playLength, playAt));
    EXPECT_EQ(logs[1], logtext::kPlayMatchesConnect);
    EXPECT_EQ(logs[2], FormatText(logtext::kPlayLength, playLength));
    EXPECT_EQ(logs[3], "");
    EXPECT_EQ(logs[4], logtext::kStartParsing);
    EXPECT_EQ(logs[5], FormatText(logtext::kConnectDechunk, static_cast<int>(connect.size())));
    EXPECT_NE(std::find(logs.begin(), logs.end(), FormatText(logtext::kAppLength, "0003", 0, 3)), logs.end());
    EXPECT_NE(std::find(logs.begin(), logs.end(), FormatText(logtext::kPlaypathLengthValue, 1)), logs.end());
}

TEST_F(RtmpTest, PropertiesSplitByChunkBoundariesAreReassembled)
{
    // The long flashVer pushes swfUrl's name across the first chunk boundary and
    // pageUrl's value across the second.
    const Properties properties = {
        {"flashVer", std::string(88, 'f')},
        {"swfUrl", "http://example.com/player.swf"},
        {"app", "live"},
        {"tcUrl", "rtmp://example.com/live"},
        {"pageUrl", "http://example.com/" + std::string(60, 'p')},
    };
    const std::string connect = connectMessage(properties);
    ASSERT_GT(connect.size(), 12u + 256u);
    ASSERT_EQ(static_cast<uint8_t>(connect[12 + 128]), 0xC3);
    const size_t swfName = connect.find("swf");
    ASSERT_TRUE(connect.find("swfUrl") == std::string::npos && swfName < 12 + 128 && swfName + 6 > 12 + 128);

    feed(kClient, kRtmpServer, connect);
    feed(kClient, kRtmpServer, RtmpPlay("live_stream"));
    const auto records = window.rtmpRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].swfUrl, "http://example.com/player.swf");
    EXPECT_STREQ(records[0].app, "live");
    EXPECT_STREQ(records[0].tcUrl, "rtmp://example.com/live");
    EXPECT_EQ(std::string(records[0].pageUrl), "http://example.com/" + std::string(60, 'p'));
    EXPECT_STREQ(records[0].playpath, "live_stream");
}

TEST_F(RtmpTest, CommandsAreFoundAnywhereInThePayload)
{
    feed(kClient, kRtmpServer, std::string(37, 'x') + connectMessage());
    EXPECT_NE(FindPendingConnect(0), nullptr);
    feed(kClient, kRtmpServer, "\x01\x01" + RtmpPlay("s1"));
    ASSERT_EQ(window.rtmpRecords().size(), 1u);
    EXPECT_STREQ(window.rtmpRecords()[0].app, "vod");
}

TEST_F(RtmpTest, PlayMustTravelOnTheConnectsConnectionAndDirection)
{
    feed(kClient, kRtmpServer, RtmpPlay("orphan"));
    feed(kClient, kRtmpServer, connectMessage());
    feed(kRtmpServer, kClient, RtmpPlay("reversed"));
    feed(Endpoint{kClient.address, 51001}, kRtmpServer, RtmpPlay("other port"));
    EXPECT_TRUE(window.rtmpRecords().empty());
    EXPECT_NE(FindPendingConnect(0), nullptr);
}

TEST_F(RtmpTest, CapitalPlayIsScannedButItsStreamNameIsNot)
{
    feed(kClient, kRtmpServer, connectMessage());
    feed(kClient, kRtmpServer, RtmpPlay("name", "Play"));
    const auto records = window.rtmpRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].playpath, "");
    EXPECT_STREQ(records[0].tcUrl, "rtmp://example.com/vod");
}

TEST_F(RtmpTest, TheEarlierCommandInAPacketWins)
{
    feed(kClient, kRtmpServer, connectMessage());
    const std::string createStream = RtmpChunked(3, 20, AmfString("createStream") + kAmfNumberOne + "\x05");
    feed(kClient, kRtmpServer, createStream + RtmpPlay("s"));
    EXPECT_TRUE(window.rtmpRecords().empty());
    const auto logs = window.logs();
    const size_t payloadLength = createStream.size() + RtmpPlay("s").size();
    EXPECT_EQ(logs.back(), FormatText(logtext::kCreateStreamLength, static_cast<int>(payloadLength)));
    feed(kClient, kRtmpServer, RtmpPlay("s") + createStream);
    EXPECT_EQ(window.rtmpRecords().size(), 1u);
}

TEST_F(RtmpTest, TwoConnectsWithOneKeyArePlayedLowestFirst)
{
    feed(kClient, kRtmpServer, connectMessage({{"app", "first"}}));
    feed(kClient, kRtmpServer, connectMessage({{"app", "second"}}));
    feed(kClient, kRtmpServer, RtmpPlay("s"));
    ASSERT_EQ(window.rtmpRecords().size(), 1u);
    EXPECT_STREQ(window.rtmpRecords()[0].app, "first");
    EXPECT_EQ(FindPendingConnect(0), nullptr);
    EXPECT_NE(FindPendingConnect(1), nullptr);
}

TEST_F(RtmpTest, PropertyScanTakesNamesWhereverTheyStand)
{
    // "pageUrl" needs no string marker; "app" inside another value counts, and
    // the later occurrence wins.
    std::string body = RtmpConnectBody({{"tcUrl", std::string("x/app\x02\x00\x03zzz", 11)}});
    body += std::string("\x00\x07pageUrl\x05\x00\x04page", 16);
    feed(kClient, kRtmpServer, RtmpChunked(3, 20, body));
    feed(kClient, kRtmpServer, RtmpPlay("s"));
    const auto records = window.rtmpRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].app, "zzz");
    EXPECT_STREQ(records[0].pageUrl, "page");
}

TEST_F(RtmpTest, ConnectThatIsNotAnAmf0CommandKeepsOnlyThePlaypath)
{
    std::string connect = connectMessage();
    connect[7] = 17;
    feed(kClient, kRtmpServer, connect);
    feed(kClient, kRtmpServer, RtmpPlay("only"));
    const auto records = window.rtmpRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].tcUrl, "");
    EXPECT_STREQ(records[0].app, "");
    EXPECT_STREQ(records[0].playpath, "only");
    EXPECT_NE(std::find(window.logs().begin(), window.logs().end(), FormatText(logtext::kConnectScanEnd, 0, 0)),
              window.logs().end());
}

TEST_F(RtmpTest, LongPlayDropsOneHeaderByteOrTwelveAfterC2)
{
    std::string distinct;
    for (size_t i = 0; i < 200; ++i)
        distinct += static_cast<char>('a' + i % 26);

    feed(kClient, kRtmpServer, connectMessage());
    feed(kClient, kRtmpServer, RtmpPlay(distinct, "play", 8));
    feed(kClient, kRtmpServer, connectMessage());
    feed(kClient, kRtmpServer, RtmpPlay(distinct, "play", 2));
    const auto records = window.rtmpRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(std::string(records[0].playpath), distinct);
    // The name starts at play byte 20: 108 characters before the 0xC2 header,
    // then eleven more are skipped with it.
    const std::string expected = distinct.substr(0, 108) + distinct.substr(119);
    EXPECT_EQ(std::string(records[1].playpath), expected);
    const auto logs = window.logs();
    EXPECT_EQ(std::count(logs.begin(), logs.end(), logtext::kSkipC2Header), 1);
}

TEST_F(RtmpTest, EveryOutstandingConnectIsKeptUntilItsPlay)
{
    constexpr int kConnects = 600;
    const auto client = [](int i) { return Endpoint{kClient.address, static_cast<uint16_t>(10000 + i)}; };
    for (int i = 0; i < kConnects; ++i)
        feed(client(i), kRtmpServer, connectMessage({{"app", "a" + std::to_string(i)}}));
    for (int i = 0; i < kConnects; ++i)
        feed(client(i), kRtmpServer, RtmpPlay("s"));
    const auto records = window.rtmpRecords();
    ASSERT_EQ(records.size(), static_cast<size_t>(kConnects));
    EXPECT_STREQ(records.front().app, "a0");
    EXPECT_STREQ(records.back().app, ("a" + std::to_string(kConnects - 1)).c_str());
    EXPECT_EQ(PendingConnectCount(), 0u);
}

TEST_F(RtmpTest, HostileLengthsStayInsideTheCollectedBytes)
{
    std::string body = AmfString("connect") + kAmfNumberOne + "\x03";
    body += std::string("\x00\x03" "app" "\x02\xFF\xFF", 8) + "short";
    feed(kClient, kRtmpServer, RtmpChunked(3, 20, body));
    std::string play = RtmpPlay("s");
    play[play.size() - 2] = '\xFF';
    play[play.size() - 3] = '\xFF';
    feed(kClient, kRtmpServer, play);
    const auto records = window.rtmpRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].app, "short");
    EXPECT_STREQ(records[0].playpath, "s");
}

TEST_F(RtmpTest, OversizedCommandsAreStoredUpToTheirAreas)
{
    const std::string connect = connectMessage({{"swfUrl", std::string(3000, 's')}});
    feed(kClient, kRtmpServer, connect);
    ASSERT_NE(FindPendingConnect(0), nullptr);
    EXPECT_EQ(FindPendingConnect(0)->RtmpConnectionLen, 1500);
    feed(kClient, kRtmpServer, RtmpPlay(std::string(900, 'p')));
    const auto records = window.rtmpRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::string(records[0].swfUrl).size(), 999u);
    // 500 play bytes, less the name's 20-byte lead and three chunk headers.
    EXPECT_EQ(std::string(records[0].playpath), std::string(477, 'p'));
}

TEST_F(RtmpTest, DumpsGoToTheLibrarysOwnFolder)
{
    // A temporary directory of this test's own, so that no other process writes the same dumps.
    const TemporaryDirectory temporary;
    const char *previous = std::getenv("TMPDIR");
    const std::string restore = previous ? previous : "";
    setenv("TMPDIR", temporary.path().c_str(), 1);
    const std::filesystem::path folder(RtmpDumpFolder());
    EXPECT_EQ(folder.parent_path(), temporary.path());
    feed(kClient, kRtmpServer, connectMessage());
    feed(kClient, kRtmpServer, RtmpPlay("dumped"));
    EXPECT_EQ(std::filesystem::file_size(folder / "rtmp-connect-bytes.bin"), 1500u);
    EXPECT_EQ(std::filesystem::file_size(folder / "rtmp-play-bytes.bin"), 500u);
    EXPECT_EQ(std::filesystem::file_size(folder / "rtmp-playpath-field.bin"), 500u);
    const std::string line = FormatText(logtext::kDumpWritten, (folder / "rtmp-play-bytes.bin").c_str(), 500);
    const auto logs = window.logs();
    EXPECT_NE(std::find(logs.begin(), logs.end(), line), logs.end());

    // A dump is never written through a link, nor into a folder others may write in.
    const std::filesystem::path victim = temporary.path() / "victim";
    WriteWholeFile(victim.string(), "kept");
    std::filesystem::remove(folder / "rtmp-play-bytes.bin");
    std::filesystem::create_symlink(victim, folder / "rtmp-play-bytes.bin");
    feed(kClient, kRtmpServer, connectMessage());
    feed(kClient, kRtmpServer, RtmpPlay("again"));
    EXPECT_EQ(ReadWholeFile(victim.string()), "kept");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::all);
    feed(kClient, kRtmpServer, connectMessage());
    feed(kClient, kRtmpServer, RtmpPlay("again"));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    EXPECT_EQ(window.rtmpRecords().size(), 3u) << "the records go on all the same";
    if (previous)
        setenv("TMPDIR", restore.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

TEST(RtmpScan, FindsWhatAPlainLoopFinds)
{
    std::mt19937 random(20261208);
    const std::string patterns[] = {
        connectMessage(), RtmpPlay("x"), RtmpPlay("x", "Play"),
        RtmpChunked(3, 20, AmfString("createStream") + kAmfNumberOne),
        std::string("\x03\x00\x00\x00\x00\x00\x00\x14\x00\x00\x00\x00\x02\x00\x07" "connec", 21),
        std::string("\x02\x00\x04plax", 7),
    };
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> frame(random() % 1600);
        // Bias towards the bytes the scan looks for.
        for (uint8_t &byte : frame) {
            const unsigned pick = random() % 8;
            byte = pick < 3 ? static_cast<uint8_t>(pick == 0 ? 0 : pick + 1) : static_cast<uint8_t>(random());
        }
        if (round % 2 == 0 && !frame.empty()) {
            const std::string &pattern = patterns[random() % std::size(patterns)];
            const size_t at = random() % frame.size();
            for (size_t k = 0; k < pattern.size() && at + k < frame.size(); ++k)
                frame[at + k] = static_cast<uint8_t>(pattern[k]);
        }
        const size_t start = random() % 80;
        const auto expected = PlainRtmpScan(frame, start);
        const auto found = FindRtmpCommand(ByteView(frame.data(), frame.size()), start);
        ASSERT_EQ(found.has_value(), expected.has_value()) << "round " << round;
        if (expected) {
            ASSERT_EQ(found->position, expected->position) << "round " << round;
            ASSERT_EQ(found->command, expected->command) << "round " << round;
        }
    }
}

TEST(RtmpScan, PatternBytesPastTheCaptureNeverMatch)
{
    std::vector<uint8_t> frame(54, 0);
    const std::string play("\x02\x00\x04play", 7);
    frame.insert(frame.end(), play.begin(), play.end());
    frame.resize(frame.size() + 14, 'x'); // the play starts exactly at n - 21
    EXPECT_TRUE(FindRtmpCommand(ByteView(frame.data(), frame.size()), 54).has_value());
    frame.pop_back(); // now at n - 20: past the scanned positions
    EXPECT_FALSE(FindRtmpCommand(ByteView(frame.data(), frame.size()), 54).has_value());
}

}
