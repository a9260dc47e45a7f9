// The main window offscreen: layout, records from other threads, and the commands.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include <thread>

#include "custom_tab_ctrl.h"
#include "flat_button.h"
#include "main_dialog.h"
#include "temporary_directory.h"
#include "window_test_support.h"

using namespace tarvolin;
using namespace testing_support;

namespace {

// The core's rows, captions and counts for the same records, as the reference.
class RecordingView : public UrlListView {
public:
    void appendRow(UrlList list, const UrlRow &row) override { rows.push_back(RowLine(list, row)); }
    void clearList(UrlList) override {}
    void setCaption(UrlList list, const std::string &caption) override { captions[list] = caption; }
    void setStatus(const std::string &) override {}

    std::vector<std::string> rows;
    std::string captions[2];
};

// Counts the Escape presses that reach a widget.
class EscapeCounter : public QObject {
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            ++count;
        return false;
    }

    int count = 0;
};

// Hands sends straight to a store, on the sending thread.
struct DirectWindow {
    MessageWindow window{&DirectWindow::send, nullptr};
    UrlStore *store;

    static intptr_t send(HWND handle, uint32_t message, uintptr_t wParam, intptr_t lParam)
    {
        return reinterpret_cast<DirectWindow *>(handle)->store->handleMessage(message, wParam, lParam);
    }
};

// Media files repeated every fifty records, pages, RTSP URLs, log lines and a
// content type in capitals with a blank.
void sendMix(HWND window, int count)
{
    for (int index = 0; index < count; ++index) {
        switch (index % 5) {
        case 0:
            SendHttpUrl(window, 80, "example.com", "/v" + std::to_string(index % 50) + ".flv", "video/x-flv");
            break;
        case 1:
            SendHttpUrl(window, 80, "example.com", "/page.html", "text/html");
            break;
        case 2:
            SendUrlText(window, "rtsp://cam.example/" + std::to_string(index) + ".sdp");
            break;
        case 3: {
            const char line[] = "a log line";
            COPYDATASTRUCT copy{quillnet::kKindLogText, sizeof line, const_cast<char *>(line)};
            SendMessage(window, WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&copy));
            break;
        }
        default:
            SendHttpUrl(window, 8080, "h.example", "/x?" + std::to_string(index), "Video/MP4 ");
        }
    }
}

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
    {
        FakeCapture::reset();
        settings.NoLimitBufferSize = 1;
        settings.Adapter = "lo-fake";
        window = std::make_unique<CMainDlg>(settings, folder.file("setting.ini"),
                                            WindowServices(FakeCapture::functions(), desktop));
        window->show();
    }

    std::vector<std::string> rows(UrlList list)
    {
        window->refreshLists();
        std::vector<std::string> lines;
        for (int index = 0; index < window->model(list).rowCount(); ++index)
            lines.push_back(RowLine(list, window->model(list).row(index)));
        return lines;
    }

    void select(UrlList list, std::initializer_list<int> selected)
    {
        QTableView *view = window->listView(list);
        view->clearSelection();
        for (int row : selected)
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    // The URLs as the list's view shows them, in its order.
    std::vector<std::string> shownUrls(UrlList list)
    {
        window->refreshLists();
        const QAbstractItemModel *shown = window->listView(list)->model();
        std::vector<std::string> urls;
        for (int row = 0; row < shown->rowCount(); ++row)
            urls.push_back(shown->index(row, UrlListModel::kUrlColumn).data().toString().toStdString());
        return urls;
    }

    void clickHeader(UrlList list, int column)
    {
        QHeaderView *header = window->listView(list)->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    template <typename Widget>
    Widget *child(const char *name)
    {
        return window->findChild<Widget *>(QString::fromLatin1(name));
    }

    TemporaryDirectory folder;
    Settings settings;
    FakeDesktop desktop;
    std::unique_ptr<CMainDlg> window;
};

TEST_F(MainWindowTest, LayoutFollowsTheWindowSize)
{
    for (const QSize size : {QSize(628, 330), QSize(900, 520), QSize(200, 90)}) {
        window->resize(size);
        const int top = child<QMenuBar>("menuBar")->height();
        const int width = window->width();
        const int height = window->height();
        EXPECT_EQ(child<QLineEdit>("filterEdit")->geometry(), QRect(0, top + 34, width, 26));
        const QRect lists(0, top + 34 + 26, width, std::max(0, height - top - 79 - 26));
        EXPECT_EQ(window->listView(kAllList)->geometry(), lists) << width << 'x' << height;
        EXPECT_EQ(window->listView(kMediaFilesList)->geometry(), lists);
        EXPECT_EQ(child<CCustomTabCtrl>("tabStrip")->geometry(), QRect(0, height - 45, width, 20));
        EXPECT_EQ(window->findChild<QStatusBar *>()->geometry(), QRect(0, height - 25, width, 25));
        EXPECT_EQ(child<CFramedButton>("exitButton")->geometry(), QRect(520, top, 86, 34));
    }
    EXPECT_EQ(window->windowTitle(), "Tarvolin 3.44");
    EXPECT_TRUE(window->listView(kMediaFilesList)->isVisible());
    EXPECT_FALSE(window->listView(kAllList)->isVisible());
    EXPECT_FALSE(child<QTableView>("logList")->isVisible());
}

TEST_F(MainWindowTest, RecordsFromOtherThreadsGiveTheCoresRowsCaptionsAndCounts)
{
    RecordingView reference;
    UrlStore core(settings, reference);
    DirectWindow direct{{&DirectWindow::send, nullptr}, &core};
    sendMix(&direct.window, 3000);

    std::thread capture([handle = window->handle()] { sendMix(handle, 3000); });
    EXPECT_TRUE(WaitFor([&] { return window->store().recordCount() == core.recordCount(); }));
    capture.join();

    std::vector<std::string> shown = rows(kAllList);
    const std::vector<std::string> media = rows(kMediaFilesList);
    std::vector<std::string> expectedAll;
    std::vector<std::string> expectedMedia;
    for (const std::string &row : reference.rows)
        (row.starts_with("all|") ? expectedAll : expectedMedia).push_back(row);
    EXPECT_EQ(shown, expectedAll);
    EXPECT_EQ(media, expectedMedia);
    EXPECT_EQ(window->tabCaption(kAllList).toStdString(), reference.captions[kAllList]);
    EXPECT_EQ(window->tabCaption(kMediaFilesList).toStdString(), reference.captions[kMediaFilesList]);
    EXPECT_EQ(window->store().mediaCount(), core.mediaCount());

    // Two senders at once: nothing lost, each one's records in its own order.
    auto sendNumbered = [handle = window->handle()](char tag) {
        for (int index = 0; index < 2000; ++index)
            SendUrlText(handle, std::string("mms://") + tag + "/" + std::to_string(index));
    };
    std::thread first(sendNumbered, 'a');
    std::thread second(sendNumbered, 'b');
    const int before = window->store().recordCount();
    EXPECT_TRUE(WaitFor([&] { return window->store().recordCount() == before + 4000; }));
    first.join();
    second.join();
    shown = rows(kAllList);
    int nextA = 0;
    int nextB = 0;
    for (size_t index = expectedAll.size(); index < shown.size(); ++index) {
        const bool fromA = shown[index].find("mms://a/") != std::string::npos;
        int &next = fromA ? nextA : nextB;
        EXPECT_NE(shown[index].find("/" + std::to_string(next++) + "|"), std::string::npos) << shown[index];
    }
    EXPECT_EQ(nextA, 2000);
    EXPECT_EQ(nextB, 2000);
}

TEST_F(MainWindowTest, CopyTakesTheSelectedRowsOfTheVisibleListInOrder)
{
    for (int index = 0; index < 4; ++index)
        SendUrlText(window->handle(), "rtsp://cam.example/" + std::to_string(index) + ".sdp");
    window->refreshLists();
    QClipboard *clipboard = QGuiApplication::clipboard();

    select(kMediaFilesList, {3, 0, 2});
    window->OnCommand(kCommandCopy);
    EXPECT_EQ(clipboard->text(),
              "rtsp://cam.example/0.sdp\r\nrtsp://cam.example/2.sdp\r\nrtsp://cam.example/3.sdp\r\n");
    select(kMediaFilesList, {1});
    window->OnCommand(kCommandCopyUrls);
    EXPECT_EQ(clipboard->text(), "rtsp://cam.example/1.sdp\r\n");

    // Rows selected in the hidden "All" list are not the visible list's.
    select(kMediaFilesList, {});
    select(kAllList, {0, 1});
    window->OnCommand(kCommandCopy);
    EXPECT_EQ(clipboard->text(), "");

    CCustomTabCtrl *tabs = child<CCustomTabCtrl>("tabStrip");
    const TabRect allTab = tabs->tabShapeRect(kAllList);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, QPoint((allTab.left + allTab.right) / 2, tabs->height() / 2));
    ASSERT_EQ(window->currentTab(), kAllList);
    EXPECT_TRUE(window->listView(kAllList)->isVisible());
    window->OnCommand(kCommandCopy);
    EXPECT_EQ(clipboard->text(), "rtsp://cam.example/0.sdp\r\nrtsp://cam.example/1.sdp\r\n");

    // Ctrl+C on the list copies the selected URLs, not the one current cell.
    clipboard->clear();
    QTest::keyClick(window->listView(kAllList), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), "rtsp://cam.example/0.sdp\r\nrtsp://cam.example/1.sdp\r\n");
}

TEST_F(MainWindowTest, CopiedUrlsNameTheBytesTheRequestSent)
{
    // Latin-1 beside UTF-8, a blank and a line break, as an RTSP or MMS URL may carry them.
    SendUrlText(window->handle(), "rtsp://cam.example/caf\xE9 \xE2\x9C\x93\r\n.sdp");
    window->refreshLists();
    select(kMediaFilesList, {0});
    window->OnCommand(kCommandCopy);
    const QString fetchable = QString::fromUtf8("rtsp://cam.example/caf%E9%20\xE2\x9C\x93%0D%0A.sdp");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), fetchable + "\r\n");
    window->OnCommand(kCommandCopyAsCommand);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              ("ffmpeg -i '" + fetchable + "' -c copy caf_E9_20____0D_0A.mkv").toStdString());
}

TEST_F(MainWindowTest, CopyAsCommandGivesOneLineForEachSelectedRowWithTheHeadersOfItsRequest)
{
    SendRequestHeaders(window->handle(), {{quillnet::kHeaderUserAgent, "Player/1.0 (X11)"},
                                          {quillnet::kHeaderCookie, "session=it's"}});
    SendHttpUrl(window->handle(), 80, "media.example", "/v.flv", "video/x-flv");
    SendUrlText(window->handle(), "rtsp://cam.example/live.sdp");
    window->refreshLists();
    select(kMediaFilesList, {1, 0});
    window->OnCommand(kCommandCopyAsCommand);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              "curl -L -o v.flv -A 'Player/1.0 (X11)' -b 'session=it'\\''s' http://media.example/v.flv\n"
              "ffmpeg -i rtsp://cam.example/live.sdp -c copy live.mkv");
}

TEST_F(MainWindowTest, AFilterAndASortKeepTheRightRowsAndCommandsTakeTheRowsSelectedInView)
{
    SendHttpUrl(window->handle(), 80, "example.com", "/b.flv", "video/x-flv");
    SendHttpUrl(window->handle(), 80, "example.com", "/page.html", "text/html");
    SendUrlText(window->handle(), "rtsp://video.example/live.sdp");
    SendHttpUrl(window->handle(), 80, "example.com", "/a.mp4", "Video/MP4 ");
    SendUrlText(window->handle(), "rtsp://cam.example/c.sdp");
    SendHttpUrl(window->handle(), 80, "example.com", "/z.mp3", "audio/mpeg");
    window->refreshLists();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QLineEdit *filter = child<QLineEdit>("filterEdit");
    QTest::keyClick(window->listView(kMediaFilesList), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(filter->hasFocus());

    QTest::keyClicks(filter, "VIDEO");
    const std::string a = "http://example.com/a.mp4";
    const std::string b = "http://example.com/b.flv";
    const std::string live = "rtsp://video.example/live.sdp";
    EXPECT_EQ(shownUrls(kMediaFilesList), (std::vector<std::string>{b, live, a})) << "by content type or URL";
    EXPECT_EQ(window->tabCaption(kMediaFilesList), "Media Files (3/5)");
    EXPECT_EQ(window->tabCaption(kAllList), "All (3/6)");

    clickHeader(kMediaFilesList, UrlListModel::kUrlColumn);
    EXPECT_EQ(shownUrls(kMediaFilesList), (std::vector<std::string>{a, b, live}));
    clickHeader(kMediaFilesList, UrlListModel::kUrlColumn);
    EXPECT_EQ(shownUrls(kMediaFilesList), (std::vector<std::string>{live, b, a}));

    // New rows take their place in the order shown, or stay hidden.
    const std::string m = "http://example.com/m.flv";
    SendHttpUrl(window->handle(), 80, "example.com", "/m.flv", "video/x-flv");
    SendUrlText(window->handle(), "rtsp://cam.example/e.sdp");
    EXPECT_EQ(shownUrls(kMediaFilesList), (std::vector<std::string>{live, m, b, a}));
    EXPECT_EQ(window->tabCaption(kMediaFilesList), "Media Files (4/7)");

    desktop.chosenFile = QString::fromStdString(folder.file("shown.tsv"));
    window->OnCommand(kCommandSaveListAs);
    EXPECT_EQ(ReadWholeFile(folder.file("shown.tsv")), "media\t.sdp\t" + live + "\t\nmedia\t.flv\t" + m +
                                                           "\tvideo/x-flv\nmedia\t.flv\t" + b +
                                                           "\tvideo/x-flv\nmedia\t.mp4\t" + a + "\tvideo/mp4\n");
    QString details;
    desktop.onDialog = [&](QDialog &dialog) { details = ControlById<QPlainTextEdit>(dialog, 1032)->toPlainText(); };
    QTableView *view = window->listView(kMediaFilesList);
    const QPoint second = view->visualRect(view->model()->index(1, 1)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(details, QString::fromStdString(m));

    // A selection outlives a batch of rows sorted in at once.
    select(kMediaFilesList, {2, 0});
    for (int index = 0; index < 1500; ++index)
        SendUrlText(window->handle(), "rtsp://video.example/" + std::to_string(index * 7919 % 1500) + ".sdp");
    std::vector<std::string> shown = shownUrls(kMediaFilesList);
    ASSERT_EQ(shown.size(), 1504u);
    EXPECT_TRUE(std::is_sorted(shown.rbegin(), shown.rend()));
    window->OnCommand(kCommandCopy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromStdString(live + "\r\n" + b + "\r\n"));

    clickHeader(kMediaFilesList, UrlListModel::kUrlColumn);
    shown = shownUrls(kMediaFilesList);
    EXPECT_EQ(std::vector<std::string>(shown.begin(), shown.begin() + 5),
              (std::vector<std::string>{b, live, a, m, "rtsp://video.example/0.sdp"}))
        << "capture order again";

    // Escape empties the filter and goes no further than the field.
    EscapeCounter escapes;
    window->installEventFilter(&escapes);
    QTest::keyClick(filter, Qt::Key_Escape);
    EXPECT_EQ(filter->text(), "");
    EXPECT_EQ(escapes.count, 0);
    EXPECT_EQ(shownUrls(kMediaFilesList).size(), 1507u);
    EXPECT_EQ(window->tabCaption(kMediaFilesList), "Media Files (1507)");
    EXPECT_EQ(window->tabCaption(kAllList), "All (1508)");
}

TEST_F(MainWindowTest, ClearDuringACaptureCountsAgainFromZero)
{
    FakeCapture::sending = true;
    window->OnCommand(kCommandStart);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::sent > 200; }));
    desktop.answer = true;
    window->OnCommand(kCommandClear);
    EXPECT_EQ(window->store().recordCount(), 0);
    EXPECT_TRUE(rows(kAllList).empty());
    EXPECT_TRUE(rows(kMediaFilesList).empty());
    EXPECT_EQ(window->tabCaption(kAllList), "All");
    EXPECT_EQ(window->tabCaption(kMediaFilesList), "Media Files");

    const int sentAtClear = FakeCapture::sent;
    ASSERT_TRUE(WaitFor([&] { return FakeCapture::sent > sentAtClear + 100; }));
    window->OnCommand(kCommandStart);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::returned == 1; }));
    const int count = window->store().recordCount();
    EXPECT_GT(count, 0);
    EXPECT_LT(count, FakeCapture::sent);
    EXPECT_EQ(static_cast<int>(rows(kAllList).size()), count);
    EXPECT_EQ(window->tabCaption(kAllList), QStringLiteral("All (%1)").arg(count));
}

TEST_F(MainWindowTest, SaveListAsWritesAPlaylistWithTheHeadersAPlayerNeedsAndSaysWhyItCannot)
{
    SendRequestHeaders(window->handle(), {{quillnet::kHeaderUserAgent, "Agent/1"},
                                          {quillnet::kHeaderReferer, "http://example.com/watch"},
                                          {quillnet::kHeaderCookie, "session=secret"}});
    SendHttpUrl(window->handle(), 80, "example.com", "/media/v.flv?token=1", "video/x-flv");
    SendUrlText(window->handle(), "rtsp://cam.example/a.sdp\r\n#EXTVLCOPT:x=y");
    const std::string path = folder.file("list.m3u");
    desktop.chosenFile = QString::fromStdString(path);
    child<QAction>("actionSaveListAs")->trigger();
    ASSERT_EQ(desktop.fileOffers.size(), 1u);
    EXPECT_TRUE(desktop.fileOffers[0].startsWith("Save List As|")) << desktop.fileOffers[0].toStdString();
    EXPECT_NE(desktop.fileOffers[0].indexOf("(*.m3u *.m3u8)"), -1);
    EXPECT_EQ(ReadWholeFile(path), "#EXTM3U\n"
                                   "#EXTINF:-1,v.flv\n"
                                   "#EXTVLCOPT:http-user-agent=Agent/1\n"
                                   "#EXTVLCOPT:http-referrer=http://example.com/watch\n"
                                   "http://example.com/media/v.flv?token=1\n"
                                   "#EXTINF:-1,a.sdp%0D%0A\n"
                                   "rtsp://cam.example/a.sdp%0D%0A#EXTVLCOPT:x=y\n")
        << "no cookie, and no line a URL could slip in";
    EXPECT_TRUE(desktop.notices.empty());

    const std::string unwritable = folder.file("missing/list.jsonl");
    desktop.chosenFile = QString::fromStdString(unwritable);
    window->OnCommand(kCommandSaveListAs);
    ASSERT_EQ(desktop.notices.size(), 1u);
    EXPECT_TRUE(desktop.notices[0].startsWith(QString::fromStdString("Cannot save " + unwritable + ": ")))
        << desktop.notices[0].toStdString();
}

TEST_F(MainWindowTest, TopTwiceRestoresTheWindowAndTheButton)
{
    CFramedButton *top = child<CFramedButton>("topButton");
    const QImage normal = top->grab().toImage();
    window->OnCommand(kCommandTop);
    EXPECT_TRUE(window->topmost());
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_NE(top->grab().toImage(), normal);
    window->OnCommand(kCommandTop);
    EXPECT_FALSE(window->topmost());
    EXPECT_FALSE(window->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(top->grab().toImage(), normal);
}

TEST_F(MainWindowTest, ExitAsksWhileCapturingAndWritesTheSettingsWhateverTheAnswer)
{
    window->OnCommand(kCommandStart);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::inside == 1; }));
    window->OnCommand(kCommandExit);
    ASSERT_EQ(desktop.questions.size(), 1u);
    EXPECT_EQ(desktop.questions[0], "Capturing data, continue to exit?");
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->capturing());
    EXPECT_NE(ReadWholeFile(folder.file("setting.ini")).find("Adapter=lo-fake"), std::string::npos);

    desktop.answer = true;
    window->OnCommand(kCommandExit);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(desktop.questions.size(), 2u) << "the close that follows asks no second time";
    window.reset();
    EXPECT_EQ(FakeCapture::returned, 1) << "leaving ends the capture";
}

TEST_F(MainWindowTest, EscapeLeavesTheWindowUpWithItsRows)
{
    SendUrlText(window->handle(), "rtsp://cam.example/a.sdp");
    window->refreshLists();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window->listView(kMediaFilesList), Qt::Key_Escape);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(rows(kMediaFilesList), std::vector<std::string>{"media|.sdp|rtsp://cam.example/a.sdp|"});
}

TEST_F(MainWindowTest, TheTitleBarCloseAsksWhatExitAsksWhileCapturing)
{
    window->OnCommand(kCommandStart);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::inside == 1; }));
    EXPECT_FALSE(window->close());
    EXPECT_EQ(desktop.questions, std::vector<QString>{"Capturing data, continue to exit?"});
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->capturing());

    window->OnCommand(kCommandStart);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::returned == 1; }));
    EXPECT_TRUE(window->close());
    EXPECT_EQ(desktop.questions.size(), 1u) << "nothing to lose without a capture";
    EXPECT_EQ(ReadWholeFile(folder.file("setting.ini")).find("Adapter="), std::string::npos)
        << "only Exit writes the options";
}

TEST_F(MainWindowTest, ClearAsksFirstUnlessToldNotToAskAgain)
{
    window->OnCommand(kCommandClear);
    EXPECT_TRUE(desktop.questions.empty()) << "nothing to lose";
    for (int index = 0; index < 3; ++index)
        SendUrlText(window->handle(), "rtsp://cam.example/" + std::to_string(index) + ".sdp");
    window->OnCommand(kCommandClear);
    EXPECT_EQ(desktop.questions, std::vector<QString>{"Clear 3 URLs?"});
    EXPECT_EQ(rows(kAllList).size(), 3u) << "answered No";

    desktop.answer = true;
    desktop.dontAskAgain = true;
    window->OnCommand(kCommandClear);
    EXPECT_TRUE(rows(kAllList).empty());
    EXPECT_TRUE(rows(kMediaFilesList).empty());
    EXPECT_NE(ReadWholeFile(folder.file("setting.ini")).find("ConfirmClear=0"), std::string::npos);

    SendUrlText(window->handle(), "rtsp://cam.example/again.sdp");
    window->OnCommand(kCommandClear);
    EXPECT_EQ(desktop.questions.size(), 2u);
    EXPECT_TRUE(rows(kAllList).empty());
}

TEST_F(MainWindowTest, UrlMenuOffersWhatTheSelectionAllows)
{
    struct Expected {
        int selected;
        bool copy, download, immediately;
    };
    for (const Expected expected :
         {Expected{0, false, false, false}, Expected{1, true, true, true}, Expected{2, true, false, true}}) {
        const std::unique_ptr<QMenu> menu = window->urlMenu(expected.selected);
        const QList<QAction *> actions = menu->actions();
        ASSERT_EQ(actions.size(), 4) << "Details is reached by a double click";
        EXPECT_EQ(actions[0]->text(), "&Copy URLs to Clipbroad");
        EXPECT_EQ(actions[1]->text(), "Copy as Co&mmand");
        EXPECT_EQ(actions[2]->text(), "&Download URL by Marrowfetch");
        EXPECT_EQ(actions[3]->text(), "Download URL by Marrowfetch (Download &Immediately)");
        EXPECT_EQ(actions[0]->isEnabled(), expected.copy) << expected.selected;
        EXPECT_EQ(actions[1]->isEnabled(), expected.copy) << expected.selected;
        EXPECT_EQ(actions[2]->isEnabled(), expected.download) << expected.selected;
        EXPECT_EQ(actions[3]->isEnabled(), expected.immediately) << expected.selected;
    }
    settings.HandOffTo = kHandOffToAria2;
    EXPECT_EQ(window->urlMenu(1)->actions()[3]->text(), "Download URL by aria2 (Download &Immediately)");
}

}
