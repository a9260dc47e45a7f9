// The window handing URLs to the download manager: the three ways, both buffer
// modes, and a download manager that is absent, late or hung.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <cstring>

#include "custom_tab_ctrl.h"
#include "download_handoff.h"
#include "handoff_receiver.h"
#include "main_dialog.h"
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

TEST(HandOffRecords, ARowWithoutAFittingEntryFallsBackOrIsRefused)
{
    struct NoView : UrlListView {
        void appendRow(UrlList, const UrlRow &) override {}
        void clearList(UrlList) override {}
        void setCaption(UrlList, const std::string &) override {}
        void setStatus(const std::string &) override {}
    } view;
    Settings settings;
    UrlStore store(settings, view);
    COPYDATASTRUCT copy{quillnet::kKindUrlText, static_cast<uint32_t>(kLongUrl.size() + 1),
                        const_cast<char *>(kLongUrl.c_str())};
    store.handleMessage(WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&copy));

    EXPECT_FALSE(RowRecord({".flv", kLongUrl, "1"}, store, false)) << "entry 1 holds the URL cut short";
    const auto beyond = RowRecord({"", " http://a.example/x ", "10001"}, store, false);
    ASSERT_TRUE(beyond);
    EXPECT_STREQ(beyond->url, "http://a.example/x");
    EXPECT_TRUE(RowRecord({"", std::string(999, 'u'), "video/x-flv"}, store, true));
    EXPECT_FALSE(RowRecord({"", std::string(1000, 'u'), "video/x-flv"}, store, true));
}

}
