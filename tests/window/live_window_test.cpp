// The window capturing on the loopback device while curl fetches a media file
// from a local server. Needs the privilege to capture; skipped without it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <thread>

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

bool listed(CMainDlg &window, UrlList list, const std::string &url)
{
    window.refreshLists();
    for (int index = 0; index < window.model(list).rowCount(); ++index)
        if (window.model(list).row(index).url == url)
            return true;
    return false;
}

TEST(WindowLive, AFetchOnLoopbackAppearsInMediaFiles)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "capturing on 'lo' needs root; run the tests as root to include it";
    if (!OnPath("python3") || !OnPath("curl"))
        GTEST_SKIP() << "needs python3 and curl";

    const TemporaryDirectory folder;
    WriteWholeFile(folder.file("clip.flv"), "FLV\x01 not really a video");
    const LocalMediaServer server(folder.path());
    ASSERT_TRUE(server.accepting()) << "the local HTTP server did not start";

    Settings settings;
    settings.NoLimitBufferSize = 1;
    settings.Adapter = "lo";
    const QuillnetLibrary library;
    FakeDesktop desktop;
    CMainDlg window(settings, folder.file("setting.ini"), {library.startCapture, library.stopCapture, library.error()},
                    desktop);
    window.show();
    window.OnCommand(kCommandStart);
    ASSERT_TRUE(WaitFor([&] { return window.capturing(); }));

    // The device opens a moment after the start, so fetch until the row shows.
    const std::string url = server.url("clip.flv");
    for (int attempt = 0; attempt < 20 && !listed(window, kMediaFilesList, url); ++attempt) {
        std::thread fetch([&url] { WaitForProgram(StartProgram({"curl", "-s", "-o", "/dev/null", url}, "/dev/null", "/dev/null")); });
        WaitFor([] { return false; }, 500ms);
        fetch.join();
    }
    EXPECT_TRUE(listed(window, kMediaFilesList, url)) << window.statusText(1).toStdString();
    EXPECT_TRUE(window.capturing()) << window.statusText(1).toStdString();
    EXPECT_EQ(window.model(kMediaFilesList).row(0).third, "video/x-flv");
}

}
