// The window program as a user meets it: a capture file named in setting.ini,
// opened from the File menu, dropped or named on the command line, and the rows
// that tarvolin-cli prints for the same file; and a second copy of the program.
#include <gtest/gtest.h>

#include <QAction>
#include <QDropEvent>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <thread>

#include "capture_file.h"
#include "main_dialog.h"
#include "quillnet_library.h"
#include "run_program.h"
#include "sample_traffic.h"
#include "temporary_directory.h"
#include "window_test_support.h"

using namespace tarvolin;
using namespace testing_support;
using namespace std::chrono_literals;

namespace {

// "all|ext|url|third" for each line the command-line tool prints of `list`.
std::vector<std::string> cliRows(const std::string &output, const std::string &list)
{
    std::vector<std::string> rows;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with(list + '\t'))
            continue;
        std::replace(line.begin(), line.end(), '\t', '|');
        rows.push_back(line);
    }
    return rows;
}

std::vector<std::string> windowRows(CMainDlg &window, UrlList list)
{
    window.refreshLists();
    std::vector<std::string> rows;
    for (int index = 0; index < window.model(list).rowCount(); ++index)
        rows.push_back(RowLine(list, window.model(list).row(index)));
    return rows;
}

TEST(WindowEndToEnd, ACaptureFileInTheSettingsShowsTheRowsTheCliPrints)
{
    const TemporaryDirectory folder;
    const CaptureFile capture(SampleTraffic());
    const std::string settingsPath = folder.file("setting.ini");
    WriteWholeFile(settingsPath, "[Normal]\r\nAdapter=" + capture.source() + "\r\nAdapterDescription=sample\r\n");
    Settings settings;
    LoadSettings(settings, settingsPath);
    const QuillnetLibrary library;
    FakeDesktop desktop;
    CMainDlg window(settings, settingsPath,
                    WindowServices({library.startCapture, library.stopCapture, library.error()}, desktop));
    window.show();
    EXPECT_EQ(window.statusText(0), "Adapter:sample");

    QTest::mouseClick(window.findChild<QPushButton *>("startButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return window.statusText(1) == "Capture ended"; })) << window.statusText(1).toStdString();
    EXPECT_FALSE(window.capturing());

    const ProgramResult cli = RunProgram({TARVOLIN_CLI_PATH, "--read", capture.path()});
    ASSERT_EQ(cli.status, 0) << cli.err;
    EXPECT_EQ(windowRows(window, kAllList), cliRows(cli.out, "all"));
    EXPECT_EQ(windowRows(window, kMediaFilesList), cliRows(cli.out, "media"));
    EXPECT_EQ(window.tabCaption(kAllList), "All (10)");
    EXPECT_EQ(window.tabCaption(kMediaFilesList), "Media Files (7)") << "the HLS playlist among them";

    // A second capture empties "All" alone; the media files are known already.
    QTest::mouseClick(window.findChild<QPushButton *>("startButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !window.capturing() && window.store().recordCount() == 20; }));
    EXPECT_EQ(windowRows(window, kAllList), cliRows(cli.out, "all"));
    EXPECT_EQ(windowRows(window, kMediaFilesList), cliRows(cli.out, "media"));
    EXPECT_EQ(window.tabCaption(kAllList), "All (20)");
}

TEST(WindowEndToEnd, ACaptureFileOpenedDroppedOrNamedIsReplayedWithItsProgressAndTheAdapterKept)
{
    const TemporaryDirectory folder;
    const CaptureFile capture(SampleTraffic());
    Settings settings;
    settings.NoLimitBufferSize = 1;
    settings.Adapter = "eth-saved";
    const QuillnetLibrary library;
    FakeDesktop desktop;
    CMainDlg window(settings, folder.file("setting.ini"),
                    WindowServices({library.startCapture, library.stopCapture, library.error()}, desktop));
    window.show();
    const ProgramResult cli = RunProgram({TARVOLIN_CLI_PATH, "--read", capture.path()});
    ASSERT_EQ(cli.status, 0) << cli.err;
    const auto replayed = [&](int records) {
        return WaitFor([&] { return !window.capturing() && window.store().recordCount() == records; });
    };

    desktop.chosenFile = QString::fromStdString(capture.path());
    window.findChild<QAction *>("actionOpenCaptureFile")->trigger();
    ASSERT_EQ(desktop.fileOffers.size(), 1u);
    EXPECT_TRUE(desktop.fileOffers[0].startsWith("Open Capture File|Capture files (*.pcap *.pcapng"))
        << desktop.fileOffers[0].toStdString();
    ASSERT_TRUE(replayed(10)) << window.statusText(1).toStdString();
    EXPECT_EQ(window.statusText(1), "Capture ended");
    EXPECT_EQ(windowRows(window, kAllList), cliRows(cli.out, "all"));
    EXPECT_EQ(windowRows(window, kMediaFilesList), cliRows(cli.out, "media"));
    EXPECT_EQ(window.progressBar()->value(), window.progressBar()->maximum());
    EXPECT_EQ(window.progressText(), "100%");
    EXPECT_FALSE(window.progressBar()->isVisible()) << "shown only while the file is read";
    EXPECT_EQ(settings.Adapter, "eth-saved");

    QMimeData dragged;
    dragged.setUrls({QUrl::fromLocalFile(QString::fromStdString(capture.path()))});
    QDragEnterEvent enter(QPoint(10, 60), Qt::CopyAction, &dragged, Qt::LeftButton, {});
    QApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 60), Qt::CopyAction, &dragged, Qt::LeftButton, {});
    QApplication::sendEvent(&window, &drop);
    ASSERT_TRUE(replayed(20));
    EXPECT_EQ(windowRows(window, kAllList), cliRows(cli.out, "all")) << "each replay empties \"All\" as Start does";

    const std::string relative = std::filesystem::relative(capture.path()).string();
    window.openCommandLineFile({QStringLiteral("-style=fusion"), QString::fromStdString(relative)});
    ASSERT_TRUE(replayed(30));
    EXPECT_EQ(windowRows(window, kMediaFilesList), cliRows(cli.out, "media"));
    EXPECT_EQ(window.statusText(0), QString::fromStdString("Adapter:" + capture.path()));
    EXPECT_EQ(settings.Adapter, "eth-saved");
}

TEST(WindowProgram, ASecondCopyEndsAtOnceAndLeavesTheFirstRunning)
{
    const TemporaryDirectory runtime;
    chmod(runtime.path().c_str(), S_IRWXU);
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string lock = runtime.file("Tarvolin_com.lock");

    const int first = StartProgram({TARVOLIN_PATH}, runtime.file("first.out"), runtime.file("first.err"));
    ASSERT_GT(first, 0);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(lock); })) << ReadWholeFile(runtime.file("first.err"));
    const int second = StartProgram({TARVOLIN_PATH}, runtime.file("second.out"), runtime.file("second.err"));
    EXPECT_EQ(WaitForProgramWithin(second, 5s), 0) << ReadWholeFile(runtime.file("second.err"));
    EXPECT_EQ(kill(first, 0), 0) << "the first copy ended too";

    // Killed, the first copy leaves its lock behind; the next copy takes it over and runs.
    kill(first, SIGKILL);
    WaitForProgram(first);
    ASSERT_TRUE(std::filesystem::exists(lock));
    const int third = StartProgram({TARVOLIN_PATH}, runtime.file("third.out"), runtime.file("third.err"));
    EXPECT_EQ(WaitForProgramWithin(third, 1500ms), kProgramTimedOut) << ReadWholeFile(runtime.file("third.err"));
}

}
