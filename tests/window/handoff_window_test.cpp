// The window handing URLs to the download manager: the three ways, both buffer
// modes, and a download manager that is absent, late or hung; and to a real
// aria2 that fetches what the captured request fetched.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "aria2_link.h"
#include "capture_file.h"
#include "custom_tab_ctrl.h"
#include "download_handoff.h"
#include "frame_builder.h"
#include "handoff_receiver.h"
#include "local_media_server.h"
#include "loopback.h"
#include "main_dialog.h"
#include "quillnet_library.h"
#include "run_program.h"
#include "temporary_directory.h"
#include "text.h"
#include "window_test_support.h"

using namespace tarvolin;
using namespace testing_support;
using namespace std::chrono_literals;

namespace {

struct Received {
    uint32_t wParam;
    std::string url;
    bool restEmpty; // every other text and number zero
};

bool restIsEmpty(const HandOffRecord &record)
{
    HandOffRecord blank{};
    std::memcpy(blank.url, record.url, sizeof record.url);
    return std::memcmp(&blank, &record, sizeof record) == 0;
}

// A URL that does not fit the record's field.
const std::string kLongUrl = "http://example.com/" + std::string(990, 'a') + ".flv";

class HandOffWindowTest : public ::testing::Test {
protected:
    HandOffWindowTest()
    {
        static int next = 0;
        name = QStringLiteral("tarvolin-handoff-window-%1-%2").arg(getpid()).arg(next++);
        FakeCapture::reset();
        settings.NoLimitBufferSize = 1;
        QObject::connect(&receiver, &HandOffReceiver::received, [this](uint32_t wParam, const HandOffRecord &record) {
            received.push_back({wParam, std::string(FixedText(record.url, sizeof record.url)), restIsEmpty(record)});
        });
    }

    void open(int replyTimeoutMs = 300)
    {
        WindowServices services(FakeCapture::functions(), desktop);
        services.downloadManager = name;
        services.handOffReplyTimeoutMs = replyTimeoutMs;
        window = std::make_unique<CMainDlg>(settings, folder.file("setting.ini"), std::move(services));
        window->show();
    }

    void select(UrlList list, std::initializer_list<int> rows)
    {
        window->refreshLists();
        QTableView *view = window->listView(list);
        view->clearSelection();
        for (int row : rows)
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    void showAllTab()
    {
        auto *tabs = window->findChild<CCustomTabCtrl *>("tabStrip");
        const TabRect tab = tabs->tabShapeRect(kAllList);
        QTest::mouseClick(tabs, Qt::LeftButton, {}, QPoint((tab.left + tab.right) / 2, tabs->height() / 2));
    }

    bool receive(size_t count)
    {
        return WaitFor([&] { return received.size() >= count; }, 5s);
    }

    QString name;
    TemporaryDirectory folder;
    Settings settings;
    FakeDesktop desktop;
    HandOffReceiver receiver;
    std::vector<Received> received;
    std::unique_ptr<CMainDlg> window;
};

TEST_F(HandOffWindowTest, CommandsSendTheSelectedRowsInBothBufferModes)
{
    ASSERT_TRUE(receiver.listen(name));
    open();
    for (const char *url : {" rtsp://cam.example/0.sdp ", "rtsp://cam.example/1.sdp", "rtsp://cam.example/2.sdp"})
        SendUrlText(window->handle(), url);

    select(kMediaFilesList, {2, 0, 1});
    window->OnCommand(kCommandDownloadImmediately);
    ASSERT_TRUE(receive(3));
    select(kMediaFilesList, {1});
    window->OnCommand(kCommandDownload);
    ASSERT_TRUE(receive(4));
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[0].url, "rtsp://cam.example/0.sdp") << "blanks trimmed";
    EXPECT_EQ(received[1].url, "rtsp://cam.example/1.sdp");
    EXPECT_EQ(received[2].url, "rtsp://cam.example/2.sdp");
    EXPECT_EQ(received[3].url, "rtsp://cam.example/1.sdp");
    for (size_t index = 0; index < received.size(); ++index) {
        EXPECT_EQ(received[index].wParam, index < 3 ? kHandOffImmediate : kHandOffPlain);
        EXPECT_TRUE(received[index].restEmpty);
    }

    // Limited-buffer rows hand over their entry as stored, and a row without an
    // entry its own URL.
    received.clear();
    settings.NoLimitBufferSize = 0;
    desktop.answer = true;
    window->OnCommand(kCommandClear);
    SendUrlText(window->handle(), " mms://media.example/a.wmv");
    showAllTab();
    select(kAllList, {0});
    window->OnCommand(kCommandDownload);
    ASSERT_TRUE(receive(1));
    EXPECT_EQ(received[0].url, " mms://media.example/a.wmv");
    EXPECT_EQ(received[0].wParam, kHandOffPlain);
    EXPECT_TRUE(desktop.notices.empty());
}

TEST_F(HandOffWindowTest, AbsentManagerIsNamedForTheCommandsAndSilentForTheAutomaticHandOff)
{
    settings.AutoDownload = 1;
    open();
    SendUrlText(window->handle(), "rtsp://cam.example/0.sdp");
    EXPECT_TRUE(desktop.notices.empty());
    select(kMediaFilesList, {0});
    window->OnCommand(kCommandDownload);
    EXPECT_EQ(desktop.notices, std::vector<QString>{"Please run Marrowfetch"});

    // Started after the failed attempt, the manager gets the next ones.
    ASSERT_TRUE(receiver.listen(name));
    window->OnCommand(kCommandDownload);
    SendUrlText(window->handle(), "rtsp://cam.example/1.sdp");
    SendUrlText(window->handle(), kLongUrl);
    ASSERT_TRUE(receive(2));
    EXPECT_EQ(received[0].wParam, kHandOffPlain);
    EXPECT_EQ(received[1].wParam, kHandOffImmediate);
    EXPECT_EQ(received[1].url, "rtsp://cam.example/1.sdp");

    select(kMediaFilesList, {2});
    window->OnCommand(kCommandDownload);
    EXPECT_EQ(desktop.notices.back(), "URL too long for Marrowfetch");
    WaitFor([] { return false; }, 300ms);
    EXPECT_EQ(received.size(), 2u) << "a URL that does not fit is never sent cut short";
}

TEST_F(HandOffWindowTest, AHungManagerIsGivenUpWhileTheWindowAnswers)
{
    ASSERT_TRUE(receiver.listen(name));
    receiver.setReplying(false);
    open();
    SendUrlText(window->handle(), "rtsp://cam.example/0.sdp");
    SendUrlText(window->handle(), "rtsp://cam.example/1.sdp");
    select(kMediaFilesList, {0, 1});

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(10);
    window->OnCommand(kCommandDownloadImmediately);
    ASSERT_TRUE(WaitFor([&] { return !desktop.notices.empty(); }, 5s));
    EXPECT_EQ(desktop.notices, std::vector<QString>{"Please run Marrowfetch"});
    EXPECT_GT(ticks, 5) << "the window went on answering while it waited";
    EXPECT_EQ(received.size(), 1u) << "the rest is dropped once the manager is taken as absent";
}

TEST_F(HandOffWindowTest, AutomaticHandOffsLetGoForAHungManagerAreCountedUntilTheNextStart)
{
    constexpr int kLetGo = 3;
    ASSERT_TRUE(receiver.listen(name));
    receiver.setReplying(false);
    settings.AutoDownload = 1;
    settings.Adapter = "lo-fake";
    open(60000); // the first hand-off waits for its answer for the whole test
    for (int number = 0; number < static_cast<int>(kMostWaitingHandOffs) + kLetGo; ++number) {
        SendUrlText(window->handle(), "rtsp://cam.example/" + std::to_string(number) + ".sdp");
        QCoreApplication::processEvents(); // the manager takes the probes of its listening
    }
    EXPECT_EQ(window->statusText(3),
              QString("Hand-off: %1 URLs not handed over: the download manager is not answering").arg(kLetGo));
    EXPECT_TRUE(desktop.notices.empty());

    window->OnCommand(kCommandStart);
    ASSERT_TRUE(WaitFor([&] { return window->capturing(); }));
    EXPECT_EQ(window->statusText(3), "");
}

TEST_F(HandOffWindowTest, AnAutomaticHandOffTheManagerLeavesUnansweredIsCounted)
{
    ASSERT_TRUE(receiver.listen(name));
    receiver.setReplying(false);
    settings.AutoDownload = 1;
    open();
    SendUrlText(window->handle(), "rtsp://cam.example/0.sdp");
    EXPECT_TRUE(WaitFor(
        [&] {
            return window->statusText(3) ==
                   "Hand-off: 1 URL not handed over: the download manager is not answering";
        },
        5s));
    EXPECT_EQ(received.size(), 1u);
    EXPECT_TRUE(desktop.notices.empty());
}

TEST(HandOffRecords, ARowTakesOnlyItsOwnEntryAndFallsBackOrIsRefusedWithout)
{
    struct RowsView : UrlListView {
        void appendRow(UrlList list, const UrlRow &row) override
        {
            if (list == kAllList)
                rows.push_back(row);
        }
        void clearList(UrlList) override {}
        void setCaption(UrlList, const std::string &) override {}
        void setStatus(const std::string &) override {}
        std::vector<UrlRow> rows;
    } view;
    Settings settings;
    settings.NoLimitBufferSize = 0;
    UrlStore store(settings, view);
    const auto deliver = [&](uintptr_t kind, const void *data, size_t size) {
        COPYDATASTRUCT copy{kind, static_cast<uint32_t>(size), const_cast<void *>(data)};
        store.handleMessage(WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&copy));
    };
    deliver(quillnet::kKindUrlText, kLongUrl.c_str(), kLongUrl.size() + 1);
    const std::string camera = "rtsp://cam.example/a.sdp";
    deliver(quillnet::kKindUrlText, camera.c_str(), camera.size() + 1);
    ASSERT_EQ(view.rows.size(), 2u);
    EXPECT_FALSE(RowRecord(view.rows[0], store, false)) << "entry 1 holds the URL cut short";
    EXPECT_STREQ(RowRecord(view.rows[1], store, false)->url, camera.c_str());
    const auto beyond = RowRecord({"", " http://a.example/x ", "10001"}, store, false);
    ASSERT_TRUE(beyond);
    EXPECT_STREQ(beyond->url, "http://a.example/x");
    EXPECT_TRUE(RowRecord({"", std::string(999, 'u'), "video/x-flv"}, store, true));
    EXPECT_FALSE(RowRecord({"", std::string(1000, 'u'), "video/x-flv"}, store, true));

    // A row listed in no-limit mode shows its content type; digits there name
    // no entry once the user switches to the limited buffer.
    settings.NoLimitBufferSize = 1;
    quillnet::HttpUrlRecord record{};
    record.port = 80;
    std::strcpy(record.host, "h.example");
    std::strcpy(record.path, "/b.flv");
    std::strcpy(record.contentType, "2");
    deliver(quillnet::kKindHttpUrl, &record, sizeof record);
    ASSERT_EQ(view.rows.size(), 3u);
    ASSERT_EQ(view.rows[2].third, "2");
    settings.NoLimitBufferSize = 0;
    const auto own = RowRecord(view.rows[2], store, false);
    ASSERT_TRUE(own);
    EXPECT_STREQ(own->url, "http://h.example/b.flv");
}

TEST(Aria2Request, BytesJsonCannotCarryAreEncodedInTheUrlAndLeftOutOfTheHeaders)
{
    RequestDetails details;
    details.url = "http://media.example/caf\xE9 au lait.flv";
    details.userAgent = "Player \xE2\x9C\x93";
    details.referer = "http://pages.example/\r\nX-Injected: 1";
    details.cookie = "name=\xE9t\xE9";
    const QJsonObject call =
        QJsonDocument::fromJson(Aria2AddUriRequest(details, {"http://127.0.0.1:6800/jsonrpc", "s", "/tmp/d"}, "7"))
            .object();
    const QJsonArray params = call["params"].toArray();
    EXPECT_EQ(call["method"].toString(), "aria2.addUri");
    EXPECT_EQ(params[0].toString(), "token:s");
    EXPECT_EQ(params[1].toArray()[0].toString(), "http://media.example/caf%E9%20au%20lait.flv");
    EXPECT_EQ(params[2]["header"].toArray(), QJsonArray{QString::fromUtf8("User-Agent: Player \xE2\x9C\x93")})
        << "a line break would add a header, and Latin-1 would go as other bytes";
    EXPECT_EQ(params[2]["dir"].toString(), "/tmp/d");
}

// aria2c taking JSON-RPC calls on a free port of 127.0.0.1. The secret comes
// in a file of options, never on the command line.
class Aria2Daemon {
public:
    explicit Aria2Daemon(const std::string &secret) : port_(FreeLoopbackPort())
    {
        const std::string options = folder_.file("aria2.conf");
        WriteWholeFile(options, "rpc-secret=" + secret + "\n");
        chmod(options.c_str(), S_IRUSR | S_IWUSR);
        std::filesystem::create_directory(defaultFolder());
        pid_ = StartProgram({"aria2c", "--conf-path=" + options, "--enable-rpc",
                             "--rpc-listen-port=" + std::to_string(port_), "--dir=" + defaultFolder(), "--no-netrc",
                             "--max-tries=1"},
                            folder_.file("aria2.out"), folder_.file("aria2.err"));
        for (int tries = 0; tries < 100 && !AcceptsOnLoopback(port_); ++tries)
            std::this_thread::sleep_for(50ms);
    }
    ~Aria2Daemon()
    {
        kill(pid_, SIGTERM);
        WaitForProgram(pid_);
    }
    Aria2Daemon(const Aria2Daemon &) = delete;
    Aria2Daemon &operator=(const Aria2Daemon &) = delete;

    bool answering() const { return pid_ > 0 && AcceptsOnLoopback(port_); }
    std::string rpcUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/jsonrpc"; }
    std::string defaultFolder() const { return folder_.file("default"); }
    std::string log() const { return ReadWholeFile(folder_.file("aria2.out")); }

private:
    TemporaryDirectory folder_;
    uint16_t port_;
    int pid_ = -1;
};

class HandOffToAria2 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!OnPath("aria2c"))
            GTEST_SKIP() << "aria2c is not installed (Debian package aria2)";
    }
};

TEST_F(HandOffToAria2, AutomaticHandOffOfACapturedRequestFetchesTheFileWithItsHeaders)
{
    const TemporaryDirectory served;
    const std::string content = "FLV\x01 the captured clip";
    WriteWholeFile(served.file("clip.flv"), content);
    const std::string userAgent = "TarvolinTest/1.0 (X11; 'quoted')";
    const std::string cookie = "session=a'b\"c; theme=dark mode";
    const std::string referer = "http://pages.example/watch?v=1&t=$x";
    const LocalMediaServer server(served.path(), false,
                                  {{"User-Agent", userAgent}, {"Referer", referer}, {"Cookie", cookie}});
    ASSERT_TRUE(server.accepting());
    const std::string host = "127.0.0.1:" + std::to_string(server.port());
    const Endpoint client{{127, 0, 0, 1}, 40000};
    const Endpoint web{{127, 0, 0, 1}, server.port()};
    const CaptureFile capture({BuildTcpFrame(client, web,
                                             "GET /clip.flv HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: " +
                                                 userAgent + "\r\nReferer: " + referer + "\r\nCookie: " + cookie +
                                                 "\r\n\r\n"),
                               BuildTcpFrame(web, client, "HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\n\r\n")});
    Aria2Daemon aria2("s3cret");
    ASSERT_TRUE(aria2.answering()) << aria2.log();

    const TemporaryDirectory folder;
    const TemporaryDirectory chosen;
    Settings settings;
    settings.NoLimitBufferSize = 1;
    settings.AutoDownload = 1;
    settings.Adapter = capture.source();
    settings.HandOffTo = kHandOffToAria2;
    settings.Aria2RpcUrl = aria2.rpcUrl();
    settings.Aria2RpcSecret = "s3cret";
    settings.Aria2Dir = chosen.path().string();
    const QuillnetLibrary library;
    FakeDesktop desktop;
    CMainDlg window(settings, folder.file("setting.ini"),
                    WindowServices({library.startCapture, library.stopCapture, library.error()}, desktop));
    window.show();
    window.OnCommand(kCommandStart);

    const std::string saved = chosen.file("clip.flv");
    EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(saved) == content && !std::filesystem::exists(saved + ".aria2"); },
                        20s))
        << "status: " << window.statusText(3).toStdString() << "\naria2: " << aria2.log();
    EXPECT_TRUE(desktop.notices.empty());
    EXPECT_EQ(window.statusText(3).indexOf("aria2"), -1);
}

TEST_F(HandOffToAria2, TheCommandsNameAnAria2ThatDoesNotAnswerOrRefusesAndTheAutomaticHandOffCountsIt)
{
    Aria2Daemon aria2("right");
    ASSERT_TRUE(aria2.answering()) << aria2.log();
    const TemporaryDirectory folder;
    Settings settings;
    settings.NoLimitBufferSize = 1;
    settings.HandOffTo = kHandOffToAria2;
    const std::string silent = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/jsonrpc";
    settings.Aria2RpcUrl = silent;
    settings.Aria2RpcSecret = "wrong";
    FakeDesktop desktop;
    CMainDlg window(settings, folder.file("setting.ini"), WindowServices(FakeCapture::functions(), desktop));
    window.show();
    SendUrlText(window.handle(), "rtsp://cam.example/live.sdp");
    SendHttpUrl(window.handle(), 80, "media.example", "/a.flv", "video/x-flv");
    window.refreshLists();
    QTableView *list = window.listView(kMediaFilesList);
    list->selectAll();

    window.OnCommand(kCommandDownloadImmediately);
    ASSERT_TRUE(WaitFor([&] { return desktop.notices.size() == 2; })) << desktop.notices.size();
    EXPECT_EQ(desktop.notices[0], "aria2 fetches only http, https, ftp and sftp URLs; the others were left out");
    EXPECT_TRUE(desktop.notices[1].startsWith(QString::fromStdString("aria2 is not answering at " + silent + ": ")))
        << desktop.notices[1].toStdString();

    settings.Aria2RpcUrl = aria2.rpcUrl();
    list->clearSelection();
    list->selectRow(1);
    window.OnCommand(kCommandDownload);
    ASSERT_TRUE(WaitFor([&] { return desktop.notices.size() == 3; }));
    EXPECT_EQ(desktop.notices[2], "aria2 refused the URL: Unauthorized");

    settings.AutoDownload = 1;
    SendHttpUrl(window.handle(), 80, "media.example", "/b.flv", "video/x-flv");
    EXPECT_TRUE(WaitFor([&] { return window.statusText(3) == "aria2: 1 URL not handed over: Unauthorized"; }))
        << window.statusText(3).toStdString();
    EXPECT_EQ(desktop.notices.size(), 3u) << "the automatic hand-off shows no message";
}

}
