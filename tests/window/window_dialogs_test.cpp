// The dialogs the main window opens: Details, Options, About and New version.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

#include <map>

#include "custom_tab_ctrl.h"
#include "main_dialog.h"
#include "temporary_directory.h"
#include "window_test_support.h"

using namespace tarvolin;
using namespace testing_support;
using namespace std::chrono_literals;

namespace {

enum : int {
    kDetailsUrl = 1032,
    kDetailsUserAgent = 1033,
    kDetailsCookie = 1040,
    kDetailsReferer = 1041,
    kOptionsAdapter = 1027,
    kOptionsSelect = 1028,
    kOptionsNoLimit = 1033,
    kOptionsAutoDownload = 1036,
    kOptionsFileList = 1037,
    kOptionsKeyLog = 1040,
    kOptionsKeyLogBrowse = 1041,
    kOptionsHandOffTo = 1042,
    kOptionsAria2Url = 1043,
    kOptionsAria2Secret = 1044,
    kOptionsAria2Dir = 1045,
    kOptionsCheckForUpdates = 1046,
    kAdapterList = 1002,
    kOk = 1,
    kCancel = 2,
    kAboutVersion = 1012,
    kAboutPurpose = 1015,
    kAboutSite = 1010,
};

void click(QDialog &dialog, int id)
{
    QTest::mouseClick(ControlById<QPushButton>(dialog, id), Qt::LeftButton);
}

class WindowDialogsTest : public ::testing::Test {
protected:
    WindowDialogsTest() { FakeCapture::reset(); }

    void open(QUrl updateUrl = {})
    {
        WindowServices services(FakeCapture::functions(), desktop);
        services.updateUrl = std::move(updateUrl);
        services.listAdapters = [] {
            return std::optional<std::vector<AdapterRow>>(
                {{"Ethernet", "10.0.0.2", "255.255.255.0", "eth9", 16777215}});
        };
        window = std::make_unique<CMainDlg>(settings, folder.file("setting.ini"), std::move(services));
        window->show();
    }

    void doubleClickRow(UrlList list, int row)
    {
        auto *tabs = window->findChild<CCustomTabCtrl *>("tabStrip");
        const TabRect tab = tabs->tabShapeRect(list);
        QTest::mouseClick(tabs, Qt::LeftButton, {}, QPoint((tab.left + tab.right) / 2, tabs->height() / 2));
        window->refreshLists();
        QTableView *view = window->listView(list);
        const QPoint at = view->visualRect(view->model()->index(row, 1)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    }

    TemporaryDirectory folder;
    Settings settings;
    FakeDesktop desktop;
    std::unique_ptr<CMainDlg> window;
};

TEST_F(WindowDialogsTest, DetailsShowTheWholeUrlAndTheHeadersOfAnyRowInEitherMode)
{
    settings.NoLimitBufferSize = 1;
    open();
    std::map<int, QString> shown;
    desktop.onDialog = [&](QDialog &dialog) {
        shown.clear();
        shown[kDetailsUrl] = ControlById<QPlainTextEdit>(dialog, kDetailsUrl)->toPlainText();
        for (int id : {kDetailsUserAgent, kDetailsCookie, kDetailsReferer})
            shown[id] = ControlById<QLineEdit>(dialog, id)->text();
    };
    const std::string path = "/" + std::string(1200, 'p') + ".flv";
    SendUrlText(window->handle(), "rtsp://cam.example/live.sdp");
    SendRequestHeaders(window->handle(), {{quillnet::kHeaderUserAgent, "Agent/1"},
                                          {quillnet::kHeaderReferer, "http://example.com/watch"},
                                          {quillnet::kHeaderCookie, "session=secret"}});
    SendHttpUrl(window->handle(), 80, "example.com", path, "video/x-flv");
    doubleClickRow(kMediaFilesList, 1);
    EXPECT_EQ(desktop.dialogTitles, std::vector<QString>{"Details"});
    EXPECT_EQ(shown[kDetailsUrl], QString::fromStdString("http://example.com" + path));
    EXPECT_EQ(shown[kDetailsUserAgent], "Agent/1");
    EXPECT_EQ(shown[kDetailsCookie], "session=secret");
    EXPECT_EQ(shown[kDetailsReferer], "http://example.com/watch");

    settings.NoLimitBufferSize = 0;
    SendUrlText(window->handle(), "mms://host/clip.wmv");
    doubleClickRow(kAllList, 2);
    EXPECT_EQ(desktop.dialogTitles.size(), 2u) << "a limited-buffer row";
    EXPECT_EQ(shown[kDetailsUrl], "mms://host/clip.wmv");
    EXPECT_EQ(shown[kDetailsReferer], "");
}

TEST_F(WindowDialogsTest, OptionsDuringACaptureKeepTheAdapterAndSaveOnOk)
{
    settings.Adapter = "lo-fake";
    settings.AdapterDescription = "Loopback";
    open();
    window->OnCommand(kCommandStart);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::inside == 1; }));

    desktop.onDialog = [](QDialog &dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Options");
        EXPECT_EQ(ControlById<QLineEdit>(dialog, kOptionsAdapter)->text(), "Loopback");
        EXPECT_FALSE(ControlById<QLineEdit>(dialog, kOptionsAdapter)->isEnabled());
        EXPECT_FALSE(ControlById<QPushButton>(dialog, kOptionsSelect)->isEnabled());
        EXPECT_FALSE(ControlById<QCheckBox>(dialog, kOptionsNoLimit)->isVisible());
        EXPECT_FALSE(ControlById<QLineEdit>(dialog, kOptionsFileList)->isVisible());
        ControlById<QLineEdit>(dialog, kOptionsFileList)->setText("  flv mp4 ");
        QTest::mouseClick(ControlById<QCheckBox>(dialog, kOptionsAutoDownload), Qt::LeftButton);
        click(dialog, kOk);
    };
    window->OnCommand(kCommandOptions);
    EXPECT_EQ(settings.AutoDownload, 1);
    EXPECT_EQ(settings.NoLimitBufferSize, 1);
    EXPECT_EQ(settings.DownloadAutoFilesList, "flv mp4 ");
    EXPECT_EQ(settings.Adapter, "lo-fake");
    const std::string saved = ReadWholeFile(folder.file("setting.ini"));
    EXPECT_NE(saved.find("AutoDownload=1"), std::string::npos) << saved;
    EXPECT_NE(saved.find("NoLimitBufferSize=1"), std::string::npos) << saved;

    // Idle, Select picks another adapter, and Cancel forgets it.
    window->OnCommand(kCommandStart);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::returned == 1; }));
    QString chosen;
    desktop.onDialog = [&](QDialog &dialog) {
        if (dialog.windowTitle() == "Adapter Information") {
            auto *list = ControlById<QTreeWidget>(dialog, kAdapterList);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->topLevelItem(0)).center());
            click(dialog, kOk);
            return;
        }
        click(dialog, kOptionsSelect);
        chosen = ControlById<QLineEdit>(dialog, kOptionsAdapter)->text();
        click(dialog, kCancel);
    };
    window->OnCommand(kCommandOptions);
    EXPECT_EQ(chosen, "Ethernet");
    EXPECT_EQ(settings.Adapter, "lo-fake");
    EXPECT_EQ(window->statusText(0), "Adapter:Loopback");
}

TEST_F(WindowDialogsTest, OptionsChooseTheKeyLogFileAndSaveIt)
{
    const ScopedEnvironment keyLog(kKeyLogEnvironment, "/tmp/browser-keys.log");
    open();
    desktop.chosenFile = "/home/user/tls keys.log";
    QString placeholder;
    desktop.onDialog = [&](QDialog &dialog) {
        auto *field = ControlById<QLineEdit>(dialog, kOptionsKeyLog);
        EXPECT_EQ(field->text(), "");
        placeholder = field->placeholderText();
        click(dialog, kOptionsKeyLogBrowse);
        EXPECT_EQ(field->text(), "/home/user/tls keys.log");
        click(dialog, kOk);
    };
    window->OnCommand(kCommandOptions);
    EXPECT_NE(placeholder.indexOf("/tmp/browser-keys.log"), -1) << "an empty field says what it stands for";
    EXPECT_EQ(desktop.fileOffers, std::vector<QString>{"Key log file|/tmp/browser-keys.log"});
    EXPECT_EQ(settings.KeyLogFile, "/home/user/tls keys.log");
    EXPECT_NE(ReadWholeFile(folder.file("setting.ini")).find("KeyLogFile=/home/user/tls keys.log"), std::string::npos);
}

TEST_F(WindowDialogsTest, TheUpdateCheckAtStartCanBeTurnedOffInOptions)
{
    open();
    desktop.onDialog = [](QDialog &dialog) {
        auto *check = ControlById<QCheckBox>(dialog, kOptionsCheckForUpdates);
        EXPECT_TRUE(check->isChecked()) << "on unless turned off";
        QTest::mouseClick(check, Qt::LeftButton);
        click(dialog, kOk);
    };
    window->OnCommand(kCommandOptions);
    EXPECT_EQ(settings.CheckForUpdates, 0);
    EXPECT_NE(ReadWholeFile(folder.file("setting.ini")).find("CheckForUpdates=0"), std::string::npos);

    // Two starts asking the same server, the one with the check off first.
    desktop.onDialog = nullptr;
    CannedHttpServer server(HttpResponse("200 OK", "9.99"));
    open(server.url());
    Settings checking = settings;
    checking.CheckForUpdates = 1;
    WindowServices services(FakeCapture::functions(), desktop);
    services.updateUrl = server.url();
    CMainDlg other(checking, folder.file("other.ini"), std::move(services));
    ASSERT_TRUE(WaitFor([&] { return desktop.dialogTitles.size() == 2; }));
    EXPECT_EQ(desktop.dialogTitles.back(), "New version");
    EXPECT_EQ(server.requestLines.size(), 1) << "only the start with the check on asked";
}

TEST_F(WindowDialogsTest, OptionsHandOffToAria2WithItsFieldsAndKeepTheSecretHidden)
{
    open();
    desktop.onDialog = [&](QDialog &dialog) {
        auto *target = ControlById<QComboBox>(dialog, kOptionsHandOffTo);
        auto *url = ControlById<QLineEdit>(dialog, kOptionsAria2Url);
        auto *secret = ControlById<QLineEdit>(dialog, kOptionsAria2Secret);
        EXPECT_EQ(target->currentText(), "Marrowfetch");
        EXPECT_EQ(url->text(), "http://127.0.0.1:6800/jsonrpc");
        EXPECT_FALSE(url->isEnabled()) << "aria2's fields count only for aria2";
        target->setCurrentText("aria2");
        EXPECT_TRUE(url->isEnabled());
        EXPECT_EQ(ControlById<QCheckBox>(dialog, kOptionsAutoDownload)->text(),
                  "Download media files automatically by aria2");
        url->setText("  ");
        secret->setText("s3cret");
        EXPECT_EQ(secret->echoMode(), QLineEdit::Password);
        ControlById<QLineEdit>(dialog, kOptionsAria2Dir)->setText(" /home/user/Videos ");
        click(dialog, kOk);
    };
    window->OnCommand(kCommandOptions);
    EXPECT_TRUE(HandsOffToAria2(settings));
    EXPECT_EQ(settings.Aria2RpcUrl, "http://127.0.0.1:6800/jsonrpc") << "an emptied field means the usual URL";
    EXPECT_EQ(settings.Aria2RpcSecret, "s3cret");
    EXPECT_EQ(settings.Aria2Dir, "/home/user/Videos");
    Settings saved;
    LoadSettings(saved, folder.file("setting.ini"));
    EXPECT_EQ(saved.HandOffTo, "aria2");
    EXPECT_EQ(saved.Aria2RpcSecret, "s3cret");
}

TEST_F(WindowDialogsTest, AboutNamesTheVersionAndOpensTheHomePage)
{
    open();
    desktop.onDialog = [](QDialog &dialog) {
        EXPECT_EQ(ControlById<QLabel>(dialog, kAboutVersion)->text(), "Tarvolin version: 3.44");
        EXPECT_TRUE(ControlById<QLabel>(dialog, kAboutPurpose)->text().startsWith("Provide a one-step solution"));
        click(dialog, kAboutSite);
        EXPECT_TRUE(dialog.isVisible());
    };
    window->OnCommand(kCommandAbout);
    EXPECT_EQ(desktop.dialogTitles, std::vector<QString>{"About Tarvolin"});
    EXPECT_EQ(desktop.opened, std::vector<QUrl>{QUrl("http://tarvolin.example.org")});
}

TEST_F(WindowDialogsTest, ANewerVersionOnTheServerOpensTheNewVersionDialogOnce)
{
    CannedHttpServer newer(HttpResponse("200 OK", "3.45\r\n"));
    open(newer.url());
    EXPECT_TRUE(WaitFor([&] { return !desktop.dialogTitles.empty(); }));
    EXPECT_EQ(desktop.dialogTitles, std::vector<QString>{"New version"});

    desktop.dialogTitles.clear();
    CannedHttpServer same(HttpResponse("200 OK", "3.44"));
    open(same.url());
    ASSERT_TRUE(WaitFor([&] { return same.disconnections == 1; }));
    WaitFor([] { return false; }, 200ms);
    EXPECT_TRUE(desktop.dialogTitles.empty());
}

}
