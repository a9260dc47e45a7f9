#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "capture_statistics.h"
#include "details_history.h"
#include "text.h"
#include "url_fingerprints.h"
#include "url_store.h"

using namespace tarvolin;
using quillnet::CaptureStatistics;
using quillnet::HttpUrlRecord;
using quillnet::SendInfo;

namespace {

struct Row {
    UrlList list;
    std::string extension;
    std::string url;
    std::string third;
    bool operator==(const Row &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Row &row)
{
    return out << (row.list == kAllList ? "all" : "media") << '|' << row.extension << '|' << row.url << '|' << row.third;
}

class RecordingView : public UrlListView {
public:
    void appendRow(UrlList list, const UrlRow &row) override
    {
        rows.push_back({list, row.extension, row.url, row.third});
        appended.push_back(row);
    }
    void clearList(UrlList list) override { cleared.push_back(list); }
    void setCaption(UrlList list, const std::string &caption) override { captions[list] = caption; }
    void setStatus(const std::string &text) override { statuses.push_back(text); }

    std::vector<Row> rowsOf(UrlList list) const
    {
        std::vector<Row> result;
        for (const Row &row : rows)
            if (row.list == list)
                result.push_back(row);
        return result;
    }

    std::vector<Row> rows;
    std::vector<UrlRow> appended; // as the store gave them, keys included
    std::vector<UrlList> cleared;
    std::string captions[2];
    std::vector<std::string> statuses;
};

template <size_t N>
void setText(char (&field)[N], const std::string &text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

class UrlStoreTest : public ::testing::Test {
protected:
    UrlStoreTest() { settings.NoLimitBufferSize = 1; }

    intptr_t deliver(uintptr_t kind, const void *data, uint32_t size)
    {
        COPYDATASTRUCT copy{kind, size, const_cast<void *>(data)};
        return store.handleMessage(WM_COPYDATA, kind, reinterpret_cast<intptr_t>(&copy));
    }

    void webRecord(uintptr_t kind, int32_t port, const std::string &host, const std::string &path,
                   const std::string &contentType)
    {
        HttpUrlRecord record;
        std::memset(&record, 0xAB, sizeof record); // bytes after each NUL mean nothing
        record.port = port;
        setText(record.host, host);
        setText(record.path, path);
        setText(record.contentType, contentType);
        EXPECT_EQ(deliver(kind, &record, sizeof record), 1);
    }

    void http(int32_t port, const std::string &host, const std::string &path, const std::string &contentType = "")
    {
        webRecord(quillnet::kKindHttpUrl, port, host, path, contentType);
    }

    void https(int32_t port, const std::string &host, const std::string &path, const std::string &contentType = "")
    {
        webRecord(quillnet::kKindHttpsUrl, port, host, path, contentType);
    }

    void rtmp(const std::string &tcUrl, const std::string &playpath, const std::string &swfUrl,
              const std::string &pageUrl)
    {
        SendInfo record{};
        record.port = 1935;
        setText(record.tcUrl, tcUrl);
        setText(record.app, "ignored");
        setText(record.playpath, playpath);
        setText(record.swfUrl, swfUrl);
        setText(record.pageUrl, pageUrl);
        EXPECT_EQ(deliver(quillnet::kKindSendInfo, &record, sizeof record), 1);
    }

    // A kind 112 record of `fields`, its last `cut` bytes left off.
    void headers(const std::vector<std::pair<uint16_t, std::string>> &fields, size_t cut = 0)
    {
        std::string record;
        for (const auto &[name, value] : fields) {
            const quillnet::RequestHeaderField field{name, static_cast<uint16_t>(value.size())};
            record.append(reinterpret_cast<const char *>(&field), sizeof field).append(value);
        }
        EXPECT_EQ(deliver(quillnet::kKindRequestHeaders, record.data(), static_cast<uint32_t>(record.size() - cut)), 1);
    }

    // A kind 113 record; `missing` bytes of its texts are not sent.
    void longHttp(int32_t port, bool secure, const std::string &host, const std::string &path,
                  const std::string &contentType, size_t missing = 0)
    {
        const quillnet::LongHttpUrlRecord header{port, secure ? 1 : 0, static_cast<uint32_t>(host.size()),
                                                 static_cast<uint32_t>(path.size()),
                                                 static_cast<uint32_t>(contentType.size())};
        std::string record(reinterpret_cast<const char *>(&header), sizeof header);
        record += host + path + contentType;
        EXPECT_EQ(deliver(quillnet::kKindLongHttpUrl, record.data(), static_cast<uint32_t>(record.size() - missing)),
                  1);
    }

    void text(uintptr_t kind, const std::string &text)
    {
        EXPECT_EQ(deliver(kind, text.c_str(), static_cast<uint32_t>(text.size() + 1)), 1);
    }

    std::string httpUrl(int32_t port, const std::string &host, const std::string &path)
    {
        http(port, host, path);
        return store.currentUrl();
    }

    Settings settings;
    RecordingView view;
    UrlStore store{settings, view};
};

TEST_F(UrlStoreTest, HttpUrlAddsThePortOnlyWhenTheHostLacksIt)
{
    EXPECT_EQ(httpUrl(80, "example.com", "/a"), "http://example.com/a");
    EXPECT_EQ(httpUrl(80, "example.com:8080", "/a"), "http://example.com:8080/a");
    EXPECT_EQ(httpUrl(8080, "example.com:8080", "/a"), "http://example.com:8080/a");
    EXPECT_EQ(httpUrl(8080, "example.com", "/a"), "http://example.com:8080/a");
    EXPECT_EQ(httpUrl(443, "example.com:4430", "/a"), "http://example.com:4430/a") << "a plain substring search";
    EXPECT_EQ(httpUrl(-1, "h", "/a"), "http://h:-1/a");
    EXPECT_EQ(httpUrl(8080, "", ""), "http://:8080");
    EXPECT_EQ(store.httpRecordCount(), 7);
    EXPECT_EQ(store.recordCount(), 7);
}

TEST_F(UrlStoreTest, HttpRecordClassification)
{
    http(80, "h", "/clip.FLV?start=100", "text/plain");
    http(80, "h", "/page.html", "video/x-flv");
    http(80, "h", "/file.php", "video/x-flv");
    http(80, "h", "/file.php3", "video/x-flv");
    http(80, "h", "/movie.mp4", "video/x-flv");
    http(80, "h", "/upper", " \tVIDEO/X-FLV \r\n");
    http(80, "h", "/smil", "application/smil;charset=utf-8");
    http(80, "h", "/params", "video/x-flv; charset=utf-8");
    http(80, "h", "/none", "");
    EXPECT_EQ(view.rowsOf(kMediaFilesList), (std::vector<Row>{
                                                {kMediaFilesList, ".flv", "http://h/clip.FLV?start=100", "text/plain"},
                                                {kMediaFilesList, ".flv", "http://h/file.php", "video/x-flv"},
                                                {kMediaFilesList, ".mp4", "http://h/movie.mp4", "video/x-flv"},
                                                {kMediaFilesList, ".flv", "http://h/upper", "video/x-flv"},
                                                {kMediaFilesList, ".", "http://h/smil",
                                                 "application/smil;charset=utf-8"},
                                            }));
    const auto all = view.rowsOf(kAllList);
    ASSERT_EQ(all.size(), 9u);
    EXPECT_EQ(all[4], (Row{kAllList, ".flv", "http://h/movie.mp4", "video/x-flv"})) << "All shows the type's extension";
    EXPECT_EQ(all[1].extension, ".flv");
    EXPECT_EQ(all[8], (Row{kAllList, "", "http://h/none", ""}));
    EXPECT_EQ(view.captions[kAllList], "All (9)");
    EXPECT_EQ(view.captions[kMediaFilesList], "Media Files (5)");
}

TEST_F(UrlStoreTest, PlaylistsAndOpenFormatsAreMediaWhileStreamSegmentsStayInAll)
{
    http(80, "h", "/live/master.m3u8");
    http(80, "h", "/live/index", " Application/VND.Apple.MpegURL");
    http(80, "h", "/vod/manifest.mpd", "text/xml");
    http(80, "h", "/vod/dash", "application/dash+xml");
    http(80, "h", "/clip.WebM");
    http(80, "h", "/voice.opus");
    http(80, "h", "/vorbis", "audio/ogg");
    // Segments, whatever the server calls them: octet-stream and video/mp4 alone would make media files.
    http(80, "h", "/live/seg-1.TS?token=1", "application/octet-stream");
    http(80, "h", "/dash/chunk-1.m4s", "video/mp4");
    http(80, "h", "/segment?n=3", "video/mp2t");
    http(80, "h", "/init.mp4", "video/iso.segment");
    EXPECT_EQ(view.rowsOf(kMediaFilesList),
              (std::vector<Row>{
                  {kMediaFilesList, ".m3u8", "http://h/live/master.m3u8", ""},
                  {kMediaFilesList, ".m3u8", "http://h/live/index", "application/vnd.apple.mpegurl"},
                  {kMediaFilesList, ".mpd", "http://h/vod/manifest.mpd", "text/xml"},
                  {kMediaFilesList, ".mpd", "http://h/vod/dash", "application/dash+xml"},
                  {kMediaFilesList, ".webm", "http://h/clip.WebM", ""},
                  {kMediaFilesList, ".opus", "http://h/voice.opus", ""},
                  {kMediaFilesList, ".ogg", "http://h/vorbis", "audio/ogg"},
              }));
    const auto all = view.rowsOf(kAllList);
    ASSERT_EQ(all.size(), 11u);
    EXPECT_EQ(all[10], (Row{kAllList, "", "http://h/init.mp4", "video/iso.segment"}));
}

TEST_F(UrlStoreTest, HttpsRecordsGiveHttpsUrlsListedLikeAnyOther)
{
    settings.AutoDownload = 1;
    std::vector<std::string> handedOff;
    store.onHandOff([&](const std::string &url) { handedOff.push_back(url); });
    https(443, "secure.example", "/v.mp4", "video/mp4");
    https(8443, "secure.example", "/page.html", "video/mp4");
    https(8443, "secure.example:8443", "/a.flv");
    https(443, "Secure.Example", "/V.MP4", "video/mp4");
    http(80, "secure.example", "/v.mp4", "video/mp4");

    std::vector<std::string> allUrls;
    for (const Row &row : view.rowsOf(kAllList))
        allUrls.push_back(row.url);
    EXPECT_EQ(allUrls,
              (std::vector<std::string>{"https://secure.example/v.mp4", "https://secure.example:8443/page.html",
                                        "https://secure.example:8443/a.flv", "https://Secure.Example/V.MP4",
                                        "http://secure.example/v.mp4"}));
    EXPECT_EQ(view.rowsOf(kMediaFilesList).front(),
              (Row{kMediaFilesList, ".mp4", "https://secure.example/v.mp4", "video/mp4"}));
    EXPECT_EQ(handedOff, (std::vector<std::string>{"https://secure.example/v.mp4", "https://secure.example:8443/a.flv",
                                                   "http://secure.example/v.mp4"}))
        << "neither a page nor a repeat in other letters is handed off";
    EXPECT_EQ(store.httpRecordCount(), 5);
}

TEST_F(UrlStoreTest, KeepsTheLastStatisticsOfTheCaptureUntilTheNextStarts)
{
    std::vector<std::optional<CaptureStatistics>> told;
    store.onStatistics([&](const std::optional<CaptureStatistics> &statistics) { told.push_back(statistics); });
    EXPECT_FALSE(store.captureStatistics());

    CaptureStatistics running{};
    running.framesReceived = 10;
    running.framesDroppedByKernel = 3;
    deliver(quillnet::kKindCaptureStatistics, &running, sizeof running);
    CaptureStatistics ended = running;
    ended.framesReceived = 12;
    ended.end = quillnet::kCaptureReadError;
    std::memset(ended.errorText, 'e', sizeof ended.errorText); // no NUL: the text stops at the field's end
    ended.tlsConnectionsEvicted = 3;
    constexpr size_t kOldLength = offsetof(CaptureStatistics, tlsConnectionsEvicted);
    deliver(quillnet::kKindCaptureStatistics, &ended, kOldLength - 1);
    ASSERT_EQ(told.size(), 1u) << "a short record is no record";
    deliver(quillnet::kKindCaptureStatistics, &ended, kOldLength);
    ASSERT_EQ(told.size(), 2u) << "the record of a library without the eviction count";
    EXPECT_EQ(store.captureStatistics()->tlsConnectionsEvicted, 0u) << "taken from beyond the record";
    ended.quicConnectionsSeen = 2;
    deliver(quillnet::kKindCaptureStatistics, &ended, offsetof(CaptureStatistics, quicConnectionsSeen));
    ASSERT_EQ(told.size(), 3u) << "the record of a library without HTTP/3";
    EXPECT_EQ(store.captureStatistics()->tlsConnectionsEvicted, 3u);
    EXPECT_EQ(store.captureStatistics()->quicConnectionsSeen, 0u) << "taken from beyond the record";
    alignas(8) char shifted[sizeof ended + 1];
    std::memcpy(shifted + 1, &ended, sizeof ended);
    deliver(quillnet::kKindCaptureStatistics, shifted + 1, sizeof ended);

    ASSERT_TRUE(store.captureStatistics());
    EXPECT_EQ(store.captureStatistics()->quicConnectionsSeen, 2u);
    EXPECT_EQ(store.captureStatistics()->framesReceived, 12u);
    EXPECT_TRUE(EndedByReadError(*store.captureStatistics()));
    EXPECT_EQ(ReadErrorText(*store.captureStatistics()), std::string(sizeof ended.errorText, 'e'));
    EXPECT_EQ(told.size(), 4u);
    EXPECT_TRUE(view.rows.empty());
    EXPECT_EQ(store.recordCount(), 0);

    store.clear();
    EXPECT_TRUE(store.captureStatistics()) << "Clear empties the lists; the capture's counts stay";
    store.clearAllList();
    EXPECT_FALSE(store.captureStatistics());
    ASSERT_EQ(told.size(), 5u);
    EXPECT_FALSE(told.back());
}

TEST_F(UrlStoreTest, RtmpAndTextRecords)
{
    rtmp("rtmp://example.com/vod", "mp4:movie.mp4", "http://example.com/p.swf", "http://example.com/w");
    text(quillnet::kKindUrlText, "rtsp://cam.example/live.SDP");
    text(quillnet::kKindUrlText, "mms://10.0.0.1/page.html");
    EXPECT_EQ(view.rowsOf(kAllList),
              (std::vector<Row>{{kAllList, ".flv",
                                 "rtmp://example.com/vod<playpath>mp4:movie.mp4 <swfUrl>http://example.com/p.swf "
                                 "<pageUrl>http://example.com/w",
                                 ""},
                                {kAllList, ".sdp", "rtsp://cam.example/live.SDP", ""},
                                {kAllList, ".html", "mms://10.0.0.1/page.html", ""}}));
    EXPECT_EQ(view.rowsOf(kMediaFilesList).size(), 3u) << "text records are media files whatever their extension";
    EXPECT_EQ(store.recordCount(), 3);
    EXPECT_EQ(store.httpRecordCount(), 0);
    EXPECT_EQ(store.mediaCount(), 3);
}

TEST_F(UrlStoreTest, DuplicatesDifferingInCaseReachMediaFilesOnce)
{
    http(80, "Example.com", "/V.flv", "video/x-flv");
    http(80, "example.com", "/v.FLV", "video/x-flv");
    text(quillnet::kKindUrlText, "HTTP://EXAMPLE.COM/V.FLV");
    rtmp("rtmp://a/b", "c", "", "");
    rtmp("RTMP://A/B", "C", "", "");
    EXPECT_EQ(view.rowsOf(kAllList).size(), 5u);
    const auto media = view.rowsOf(kMediaFilesList);
    ASSERT_EQ(media.size(), 2u);
    EXPECT_EQ(media[0].url, "http://Example.com/V.flv");
    EXPECT_EQ(store.mediaCount(), 2);
    EXPECT_EQ(view.captions[kMediaFilesList], "Media Files (2)");
}

TEST_F(UrlStoreTest, HeadersJoinTheUrlRecordAfterThemAndFillDetails)
{
    using namespace quillnet;
    settings.AutoDownload = 1;
    std::vector<std::string> handedOffReferers;
    store.onHandOff([&](const std::string &url) {
        const RequestDetails *details = store.handOffDetails();
        handedOffReferers.push_back(details && details->url == url ? details->referer : "no details");
    });
    const std::string cookie = "a=1; b=" + std::string(1300, 'c'); // longer than its field
    headers({{kHeaderUserAgent, "Agent/1"},
             {kHeaderReferer, "http://page.example/"},
             {kHeaderCookie, cookie},
             {99, "an unknown name"},
             {kHeaderConnection, "keep-alive"},
             {kHeaderAccept, "cut off by the record's end"}},
            1);
    http(8080, "h", "/a.flv", "video/x-flv");
    const std::string longPath = "/" + std::string(2995, 'p') + ".mp4";
    headers({{kHeaderReferer, "https://secure.example/watch"}});
    longHttp(443, true, "secure.example", longPath, " Video/MP4 ");
    longHttp(80, false, "h", "/lost.flv", "", 1);
    headers({{kHeaderUserAgent, "stray"}});
    text(kKindUrlText, "rtsp://cam/a.sdp");
    longHttp(8080, false, "plain.example", "/v.flv", "");

    const std::string longUrl = "https://secure.example" + longPath;
    EXPECT_EQ(view.rowsOf(kAllList), (std::vector<Row>{{kAllList, ".flv", "http://h:8080/a.flv", "video/x-flv"},
                                                       {kAllList, ".mp4", longUrl, "video/mp4"},
                                                       {kAllList, ".sdp", "rtsp://cam/a.sdp", ""},
                                                       {kAllList, "", "http://plain.example:8080/v.flv", ""}}))
        << "a 113 whose texts run past the record is no record";
    EXPECT_EQ(store.httpRecordCount(), 3);
    EXPECT_EQ(store.mediaCount(), 4);
    EXPECT_EQ(handedOffReferers,
              (std::vector<std::string>{"http://page.example/", "https://secure.example/watch", "", ""}));

    ASSERT_EQ(view.appended.size(), 8u);
    const RequestDetails *first = store.details(view.appended[0]);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(store.details(view.appended[1]), first) << "both lists' rows of one record share its details";
    EXPECT_EQ(first->url, "http://h:8080/a.flv");
    EXPECT_EQ(first->contentType, "video/x-flv");
    EXPECT_EQ(first->userAgent, "Agent/1");
    EXPECT_EQ(first->cookie, cookie);
    EXPECT_EQ(first->connection, "keep-alive");
    EXPECT_EQ(first->accept, "") << "a field past the record's end ends the reading";
    const RequestDetails *second = store.details(view.appended[2]);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->url, longUrl);
    EXPECT_EQ(second->referer, "https://secure.example/watch");
    EXPECT_EQ(second->userAgent, "") << "each record's headers are its own";
    EXPECT_EQ(store.details(view.appended[4])->userAgent, "") << "headers before a 109 belong to nothing";
    EXPECT_EQ(store.details(view.appended[6])->userAgent, "") << "and are not kept for the record after it";

    store.clear();
    EXPECT_EQ(store.details(view.appended[0]), nullptr) << "Clear forgets the details with the rows";
    http(80, "h", "/again.flv");
    EXPECT_EQ(store.details(view.appended[0]), nullptr) << "keys are never given twice";
}

TEST(DetailsHistory, ForgetsTheOldestBeyondItsBudgetButNeverTheNewest)
{
    RequestDetails details;
    details.cookie.assign(1000, 'c');
    const size_t each = sizeof details + details.cookie.size();
    DetailsHistory history(3 * each);
    std::vector<uint64_t> keys;
    for (int i = 0; i < 5; ++i)
        keys.push_back(history.add(details));
    EXPECT_EQ(history.find(keys[1]), nullptr);
    EXPECT_NE(history.find(keys[2]), nullptr);
    EXPECT_EQ(history.heldBytes(), 3 * each);
    details.cookie.assign(10000, 'c');
    EXPECT_NE(history.find(history.add(details)), nullptr);
    EXPECT_EQ(history.find(keys[4]), nullptr);
}

TEST(UrlFingerprints, ManyUrlsKeepTheirMemoryAndTheRecentAreKnownInAnyCase)
{
    constexpr size_t kCapacity = 65536;
    constexpr int kUrls = 400000;
    constexpr int kRecent = 4096;
    UrlFingerprints listed(kCapacity);
    ASSERT_GE(listed.capacity(), kCapacity);
    const size_t capacity = listed.capacity();
    const auto url = [](int number) { return "http://cdn.example/video/" + std::to_string(number) + "/seg.TS"; };
    for (int number = 0; number < kUrls; ++number)
        listed.insert(url(number));
    EXPECT_EQ(listed.capacity(), capacity);
    EXPECT_LE(listed.size(), capacity);
    EXPECT_GT(listed.size(), capacity * 3 / 4) << "buckets left empty while others forget";

    int recentKnown = 0;
    for (int number = kUrls - kRecent; number < kUrls; ++number)
        recentKnown += listed.contains(ToUpper(url(number))) ? 1 : 0;
    EXPECT_EQ(recentKnown, kRecent);
    int oldKnown = 0;
    for (int number = 0; number < kRecent; ++number)
        oldKnown += listed.contains(url(number)) ? 1 : 0;
    EXPECT_LT(oldKnown, kRecent / 100) << "the oldest are the ones forgotten";
    EXPECT_FALSE(listed.contains(url(kUrls)));
}

TEST(UrlFingerprints, GrowingFromItsFirstFewCacheLinesKeepsEveryUrlAndClearForgetsThem)
{
    constexpr int kUrls = 20000; // thousands of times what the first table holds
    UrlFingerprints listed(size_t{1} << 20);
    const auto url = [](int number) { return "http://cdn.example/clip-" + std::to_string(number) + ".flv"; };
    for (int number = 0; number < kUrls; ++number)
        listed.insert(url(number));
    EXPECT_EQ(listed.size(), size_t{kUrls});
    int known = 0;
    for (int number = 0; number < kUrls; ++number)
        known += listed.contains(ToUpper(url(number))) ? 1 : 0;
    EXPECT_EQ(known, kUrls);
    EXPECT_FALSE(listed.contains(url(kUrls)));

    listed.clear();
    EXPECT_EQ(listed.size(), 0u);
    EXPECT_FALSE(listed.contains(url(0)));
    listed.insert(url(1));
    EXPECT_TRUE(listed.contains(url(1)));
}

TEST_F(UrlStoreTest, ClearForgetsListedUrlsButStartingACaptureDoesNot)
{
    http(80, "h", "/v.flv");
    store.clearAllList();
    EXPECT_EQ(view.cleared, std::vector<UrlList>{kAllList});
    http(80, "h", "/V.FLV");
    EXPECT_EQ(store.mediaCount(), 1) << "the Media Files list keeps its URLs across captures";
    EXPECT_EQ(store.recordCount(), 2) << "and the counters run on";

    store.clear();
    EXPECT_EQ(view.captions[kAllList], "All");
    EXPECT_EQ(view.captions[kMediaFilesList], "Media Files");
    EXPECT_EQ(view.statuses.back(), "");
    EXPECT_EQ(store.recordCount() + store.httpRecordCount() + store.mediaCount(), 0);
    view.rows.clear();
    http(80, "h", "/v.flv");
    EXPECT_EQ(view.rows, (std::vector<Row>{{kAllList, "", "http://h/v.flv", ""}, {kMediaFilesList, ".flv", "http://h/v.flv", ""}}));
    EXPECT_EQ(view.captions[kAllList], "All (1)");
}

TEST_F(UrlStoreTest, LogsAndUnknownKindsChangeNothing)
{
    text(quillnet::kKindLogText, "GET found");
    text(301, "http://h/v.flv");
    EXPECT_EQ(store.handleMessage(WM_COPYDATA, 107, 0), 1);
    EXPECT_EQ(store.handleMessage(WM_URL_ADD_ALL, 0, 0), 0);
    EXPECT_EQ(store.handleMessage(0x1234, 0, 0), 0);
    EXPECT_TRUE(view.rows.empty());
    EXPECT_EQ(store.recordCount() + store.httpRecordCount() + store.mediaCount(), 0);
    EXPECT_EQ(view.captions[kAllList], "");
}

TEST_F(UrlStoreTest, RecordsAreReadWithinWhatWasSent)
{
    HttpUrlRecord record{};
    record.port = 80;
    EXPECT_EQ(deliver(quillnet::kKindHttpUrl, &record, sizeof record - 1), 1);
    EXPECT_EQ(deliver(quillnet::kKindSendInfo, &record, sizeof record), 1) << "shorter than a SendInfo";
    EXPECT_EQ(store.recordCount(), 0);

    std::memset(record.host, 'h', sizeof record.host); // no NUL anywhere in the host
    std::memset(record.path, 0, sizeof record.path);
    deliver(quillnet::kKindHttpUrl, &record, sizeof record);
    EXPECT_EQ(store.currentUrl(), "http://" + std::string(300, 'h'));

    const char unterminated[] = {'r', 't', 's', 'p'};
    deliver(quillnet::kKindUrlText, unterminated, sizeof unterminated);
    EXPECT_EQ(store.currentUrl(), "rtsp");
    alignas(8) char shifted[sizeof(HttpUrlRecord) + 1] = {};
    std::memcpy(shifted + 1, &record, sizeof record);
    deliver(quillnet::kKindHttpUrl, shifted + 1, sizeof record);
    EXPECT_EQ(store.recordCount(), 3) << "an unaligned record is read as well";
}

TEST_F(UrlStoreTest, AutoDownloadHandsOffEveryNewMediaUrlAfterItsRow)
{
    settings.AutoDownload = 1;
    std::vector<std::string> handedOff;
    size_t rowsAtHandOff = 0;
    store.onHandOff([&](const std::string &url) {
        handedOff.push_back(url);
        rowsAtHandOff = view.rowsOf(kMediaFilesList).size();
    });
    http(80, "h", "/v.flv");
    http(80, "h", "/V.flv");
    http(80, "h", "/page.htm", "video/x-flv");
    text(quillnet::kKindUrlText, "rtsp://cam/a");
    EXPECT_EQ(handedOff, (std::vector<std::string>{"http://h/v.flv", "rtsp://cam/a"}));
    EXPECT_EQ(rowsAtHandOff, 2u);
    EXPECT_EQ(store.handOffUrl(), "rtsp://cam/a");
    settings.AutoDownload = 0;
    text(quillnet::kKindUrlText, "rtsp://cam/b");
    EXPECT_EQ(handedOff.size(), 2u);
}

class LimitedBufferTest : public UrlStoreTest {
protected:
    LimitedBufferTest() { settings.NoLimitBufferSize = 0; }
};

TEST_F(LimitedBufferTest, RowsCarryTheirRecordNumberAndEntriesTheirUrl)
{
    http(8080, "h", "/v.flv", "video/x-flv");
    text(quillnet::kKindUrlText, "rtsp://cam/a");
    http(80, "h", "/index.html", "text/html");
    EXPECT_EQ(view.rows, (std::vector<Row>{{kAllList, ".flv", "http://h:8080/v.flv", "1"},
                                           {kMediaFilesList, ".flv", "http://h:8080/v.flv", "1"},
                                           {kAllList, "", "rtsp://cam/a", "2"},
                                           {kMediaFilesList, "", "rtsp://cam/a", "2"},
                                           {kAllList, "", "http://h/index.html", "3"}}));
    EXPECT_EQ(view.captions[kAllList], "All (2)") << "limited-buffer captions count HTTP records";
    EXPECT_EQ(view.captions[kMediaFilesList], "Media Files (2)");
    ASSERT_NE(store.entry(2), nullptr);
    EXPECT_STREQ(store.entry(2)->url, "rtsp://cam/a");
    EXPECT_STREQ(store.entry(2)->userAgent, "");
    EXPECT_EQ(store.entry(2)->number1, 0);
}

TEST_F(LimitedBufferTest, EntriesHoldTheHeadersOfTheirRecord)
{
    using namespace quillnet;
    headers({{kHeaderUserAgent, "Agent/1"},
             {kHeaderReferer, "http://page.example/"},
             {kHeaderCookie, "a=1; b=" + std::string(1300, 'c')},
             {kHeaderConnection, "keep-alive"}});
    http(8080, "h", "/a.flv", "video/x-flv");
    const std::string longPath = "/" + std::string(2995, 'p') + ".mp4";
    const std::string longUrl = "https://secure.example" + longPath;
    headers({{kHeaderReferer, "https://secure.example/watch"}});
    longHttp(443, true, "secure.example", longPath, "video/mp4");
    text(kKindUrlText, "rtsp://cam/a.sdp");

    const HandOffRecord *entry = store.entry(1);
    EXPECT_STREQ(entry->url, "http://h:8080/a.flv");
    EXPECT_STREQ(entry->userAgent, "Agent/1");
    EXPECT_STREQ(entry->trailer, "http://page.example/");
    EXPECT_STREQ(entry->cookie, "") << "a cookie too long for its field is left out, never cut";
    EXPECT_STREQ(entry->connection, "keep-alive");
    EXPECT_FALSE(store.entryUrlCut(1));
    EXPECT_EQ(std::string(store.entry(2)->url), longUrl.substr(0, kEntryUrlWidth - 1));
    EXPECT_TRUE(store.entryUrlCut(2));
    EXPECT_STREQ(store.entry(2)->trailer, "https://secure.example/watch");
    EXPECT_STREQ(store.entry(3)->url, "rtsp://cam/a.sdp");
    EXPECT_STREQ(store.entry(3)->userAgent, "") << "each record's headers are its own";
}

TEST_F(LimitedBufferTest, ARowsEntryStillGivesItsHeadersOnceItsDetailsAreForgotten)
{
    using namespace quillnet;
    headers({{kHeaderUserAgent, "Agent/1"}, {kHeaderCookie, "id=1"}, {kHeaderReferer, "http://page.example/"}});
    http(80, "h", "/first.flv", "video/x-flv");
    const UrlRow first = view.appended.front();
    // Later requests with long headers push the first one's details out.
    for (int i = 0; store.details(first); ++i) {
        ASSERT_LT(i, kEntryCount - 1);
        headers({{kHeaderOrigin, std::string(8000, 'o')}});
        http(80, "h", "/p" + std::to_string(i));
    }
    const RequestDetails request = store.request(first, 1);
    EXPECT_EQ(request.url, "http://h/first.flv");
    EXPECT_EQ(request.userAgent, "Agent/1");
    EXPECT_EQ(request.cookie, "id=1");
    EXPECT_EQ(request.referer, "http://page.example/");
    EXPECT_EQ(store.request(first, 2).userAgent, "") << "another row's entry is not this one's";
}

TEST_F(LimitedBufferTest, EntryUrlsAreCutAndNumbersPastTheStoreHaveNoEntry)
{
    const std::string longPath = "/" + std::string(1200, 'p') + ".flv";
    http(80, "h", longPath);
    EXPECT_EQ(std::string(store.entry(1)->url), ("http://h" + longPath).substr(0, 999));
    EXPECT_EQ(view.rows[0].url, "http://h" + longPath) << "a row shows the whole URL";
    http(80, "h", longPath);
    EXPECT_EQ(view.rowsOf(kMediaFilesList).size(), 1u) << "a long URL is still known as listed";

    EXPECT_EQ(store.entry(0), nullptr);
    EXPECT_EQ(store.entry(-1), nullptr);
    EXPECT_NE(store.entry(kEntryCount), nullptr);
    EXPECT_EQ(store.entry(kEntryCount + 1), nullptr);
}

TEST_F(LimitedBufferTest, BufferIsFullIsWrittenOnceAtTenThousandHttpRecords)
{
    for (int i = 1; i < kEntryCount; ++i)
        http(80, "h", "/p" + std::to_string(i));
    EXPECT_TRUE(view.statuses.empty());
    http(80, "h", "/last.flv");
    EXPECT_EQ(view.statuses, std::vector<std::string>{kBufferFullStatus});
    rtmp("rtmp://a/b", "c", "", "");
    http(80, "h", "/beyond.flv");
    EXPECT_EQ(view.statuses, std::vector<std::string>{kBufferFullStatus});

    const auto all = view.rowsOf(kAllList);
    EXPECT_EQ(all.back(), (Row{kAllList, "", "http://h/beyond.flv", "10002"}));
    EXPECT_EQ(view.rowsOf(kMediaFilesList).back(), (Row{kMediaFilesList, ".flv", "http://h/beyond.flv", "10002"}));
    EXPECT_STREQ(store.entry(kEntryCount)->url, "http://h/last.flv");
    EXPECT_EQ(view.captions[kAllList], "All (10001)");

    store.clear();
    for (int i = 1; i <= kEntryCount; ++i)
        http(80, "h", "/again" + std::to_string(i));
    EXPECT_EQ(view.statuses, (std::vector<std::string>{kBufferFullStatus, "", kBufferFullStatus}));
    EXPECT_STREQ(store.entry(1)->url, "http://h/again1") << "Clear starts the numbers, and the entries, over";
}

}
