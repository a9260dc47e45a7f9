// The window capturing on the loopback device while curl fetches a media file
// from a local server. Needs the privilege to capture; skipped without it.
#include <gtest/gtest.h>

#include <QFileInfo>

#include <signal.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "handoff_link.h"
#include "local_media_server.h"
#include "main_dialog.h"
#include "quillnet_library.h"
#include "run_program.h"
#include "temporary_directory.h"
#include "window_test_support.h"

using namespace tarvolin;
using namespace testing_support;
using namespace std::chrono_literals;

namespace {

class WindowLive : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "capturing on 'lo' needs root; run the tests as root to include it";
        if (!OnPath("python3") || !OnPath("curl"))
            GTEST_SKIP() << "needs python3 and curl";
    }

    // Fetches the URL from another thread until `done` holds; the capture opens a moment after the start.
    static bool fetchUntil(const std::string &url, const std::function<bool()> &done)
    {
        for (int attempt = 0; attempt < 20 && !done(); ++attempt) {
            std::thread fetch([&url] {
                WaitForProgram(StartProgram({"curl", "-s", "-o", "/dev/null", url}, "/dev/null", "/dev/null"));
            });
            WaitFor([] { return false; }, 500ms);
            fetch.join();
        }
        return done();
    }
};

bool listed(CMainDlg &window, UrlList list, const std::string &url)
{
    window.refreshLists();
    for (int index = 0; index < window.model(list).rowCount(); ++index)
        if (window.model(list).row(index).url == url)
            return true;
    return false;
}

TEST_F(WindowLive, AFetchOnLoopbackAppearsInMediaFilesAndGoesToTheDownloadManager)
{
    const TemporaryDirectory folder;
    WriteWholeFile(folder.file("clip.flv"), "FLV\x01 not really a video");
    const LocalMediaServer server(folder.path());
    ASSERT_TRUE(server.accepting()) << "the local HTTP server did not start";
    const int receiver =
        StartProgram({MARROWFETCH_RECEIVER_PATH}, folder.file("received"), folder.file("receiver.err"));
    ASSERT_TRUE(WaitFor([] { return QFileInfo(HandOffSocketPath(kDownloadManagerName)).exists(); }))
        << ReadWholeFile(folder.file("receiver.err"));

    Settings settings;
    settings.NoLimitBufferSize = 1;
    settings.AutoDownload = 1;
    settings.Adapter = "lo";
    const QuillnetLibrary library;
    FakeDesktop desktop;
    CMainDlg window(settings, folder.file("setting.ini"),
                    WindowServices({library.startCapture, library.stopCapture, library.error()}, desktop));
    window.show();
    window.OnCommand(kCommandStart);
    ASSERT_TRUE(WaitFor([&] { return window.capturing(); }));

    const std::string url = server.url("clip.flv");
    EXPECT_TRUE(fetchUntil(url, [&] { return listed(window, kMediaFilesList, url); }))
        << window.statusText(1).toStdString();
    EXPECT_TRUE(window.capturing()) << window.statusText(1).toStdString();
    EXPECT_EQ(window.model(kMediaFilesList).row(0).third, "video/x-flv");
    EXPECT_TRUE(WaitFor([&] { return !ReadWholeFile(folder.file("received")).empty(); }));
    kill(receiver, SIGTERM);
    WaitForProgram(receiver);
    EXPECT_EQ(ReadWholeFile(folder.file("received")), "105 " + url + "\n") << "one hand-off, however many fetches";
    EXPECT_TRUE(desktop.notices.empty());
}

}
