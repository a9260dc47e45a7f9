// Starting and stopping captures from the window: failures, late reports,
// stops that would be lost, overlapping starts and leaving mid-capture.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include <cerrno>
#include <chrono>
#include <filesystem>

#include "capture_file.h"
#include "main_dialog.h"
#include "quillnet_library.h"
#include "sample_traffic.h"
#include "temporary_directory.h"
#include "window_messages.h"
#include "window_test_support.h"

using namespace tarvolin;
using namespace testing_support;
using namespace std::chrono_literals;

namespace {

// The status bar part showing `text`; null when none does.
const QLabel *statusPart(CMainDlg &window, const QString &text)
{
    for (const QLabel *part : window.findChild<QStatusBar *>()->findChildren<QLabel *>()) {
        if (part->toolTip() == text && part->isVisible())
            return part;
    }
    return nullptr;
}

class CaptureControlTest : public ::testing::Test {
protected:
    CaptureControlTest() { FakeCapture::reset(); }

    std::unique_ptr<CMainDlg> openWindow(const std::string &adapter, CaptureFunctions functions)
    {
        settings.Adapter = adapter;
        auto window = std::make_unique<CMainDlg>(settings, folder.file("setting.ini"),
                                                 WindowServices(std::move(functions), desktop));
        window->show();
        return window;
    }

    // Presses Start (or Stop) and lets the window make the start (or stop).
    static void press(CMainDlg &window)
    {
        window.OnCommand(kCommandStart);
        QCoreApplication::processEvents();
    }

    TemporaryDirectory folder;
    Settings settings;
    FakeDesktop desktop;
};

TEST_F(CaptureControlTest, AFailedStartReturnsToIdleAndSaysWhy)
{
    const QuillnetLibrary library;
    ASSERT_TRUE(library.complete()) << library.error();
    const auto window = openWindow("file:///nonexistent/x.pcap", {library.startCapture, library.stopCapture, ""});
    press(*window);
    EXPECT_TRUE(window->capturing());
    ASSERT_TRUE(WaitFor([&] { return !window->capturing(); }));
    EXPECT_EQ(window->statusText(1), "Capture failed: cannot read /nonexistent/x.pcap: no such file");
    EXPECT_EQ(window->findChild<QPushButton *>("startButton")->text(), "Start");

    const auto noLibrary = openWindow("lo", {nullptr, nullptr, "cannot load libquillnet.so"});
    press(*noLibrary);
    ASSERT_TRUE(WaitFor([&] { return !noLibrary->capturing(); }));
    EXPECT_EQ(noLibrary->statusText(1), "Capture library not found: cannot load libquillnet.so");
}

TEST_F(CaptureControlTest, WhyACaptureFailedTakesTheRoomItNeedsAndStaysWholeOnHover)
{
    const auto window = openWindow("fail", FakeCapture::functions());
    window->resize(1400, 330);
    press(*window);
    ASSERT_TRUE(WaitFor([&] { return !window->capturing(); }));
    const QString why = window->statusText(1);
    ASSERT_TRUE(why.startsWith("Capture failed: ")) << why.toStdString();
    const QLabel *part = statusPart(*window, why);
    ASSERT_NE(part, nullptr);
    const int whole = part->fontMetrics().horizontalAdvance(why);
    ASSERT_GT(whole, 200) << why.toStdString();
    EXPECT_TRUE(WaitFor([&] { return part->width() >= whole; })) << part->width() << " of " << whole;

    window->resize(628, 330);
    EXPECT_TRUE(WaitFor([&] { return part->width() < whole; }));
    EXPECT_EQ(part->toolTip(), why);
}

TEST_F(CaptureControlTest, ADamagedCaptureFileEndsWithPcapsReasonRatherThanAFailure)
{
    const QuillnetLibrary library;
    ASSERT_TRUE(library.complete()) << library.error();
    const std::string path = folder.file("cut.pcap");
    WriteCaptureFile(path, SampleTraffic());
    const std::string whole = ReadWholeFile(path);
    WriteWholeFile(path, whole.substr(0, whole.size() - 20));
    const auto window = openWindow("file://" + path, {library.startCapture, library.stopCapture, ""});
    press(*window);
    ASSERT_TRUE(WaitFor([&] { return !window->capturing(); }));
    const QString ended = window->statusText(1);
    EXPECT_TRUE(ended.startsWith("Capture ended: ") && ended.size() > 20) << ended.toStdString();
    EXPECT_GT(window->store().recordCount(), 0) << "the rows before the damage are kept";
}

TEST_F(CaptureControlTest, EachStartNamesItsKeyLogFileAndTheStatusBarShowsDropsTlsAndQuic)
{
    const ScopedEnvironment keyLog(kKeyLogEnvironment, "/tmp/browser-keys.log");
    settings.AdapterDescription = "Loopback";
    const auto window = openWindow("lo-fake", FakeCapture::functions());
    press(*window);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::inside == 1; }));
    {
        const std::lock_guard guard(FakeCapture::keyLogLock);
        EXPECT_EQ(FakeCapture::keyLogFile, "/tmp/browser-keys.log") << "no setting: the environment's";
    }
    EXPECT_EQ(window->statusText(3), "");
    QCoreApplication::processEvents();
    // Left to right: the adapter, the statistics, the capture's end, "Buffer is full.".
    const QLabel *capturePart = window->findChild<QStatusBar *>()->findChildren<QLabel *>().at(2);
    const int captureAt = capturePart->x();

    quillnet::CaptureStatistics statistics{};
    statistics.framesReceived = 900;
    statistics.framesDroppedByKernel = 4;
    statistics.framesDroppedByInterface = 1;
    statistics.tlsConnectionsSeen = 7;
    statistics.tlsConnectionsDecrypted = 5;
    SendStatistics(window->handle(), statistics);
    EXPECT_EQ(window->statusText(3), "Dropped: 5 frames, TLS 5/7 decrypted");
    QCoreApplication::processEvents();
    const QLabel *adapterPart = statusPart(*window, "Adapter:Loopback");
    const QLabel *statisticsPart = statusPart(*window, "Dropped: 5 frames, TLS 5/7 decrypted");
    ASSERT_TRUE(adapterPart && statisticsPart);
    EXPECT_LT(adapterPart->geometry().right(), statisticsPart->x());
    EXPECT_LE(statisticsPart->x() + statisticsPart->fontMetrics().horizontalAdvance(statisticsPart->text()),
              capturePart->x())
        << "the statistics run into the capture's end";
    EXPECT_EQ(capturePart->x(), captureAt) << "the parts after the statistics moved";

    statistics.framesDroppedByKernel = 0;
    statistics.framesDroppedByInterface = 0;
    SendStatistics(window->handle(), statistics);
    EXPECT_EQ(window->statusText(3), "TLS 5/7 decrypted");
    statistics.tlsConnectionsEvicted = 2;
    SendStatistics(window->handle(), statistics);
    EXPECT_EQ(window->statusText(3), "TLS 5/7 decrypted, 2 evicted");
    statistics.quicConnectionsSeen = 3;
    statistics.quicConnectionsDecrypted = 2;
    statistics.quicConnectionsEvicted = 1;
    SendStatistics(window->handle(), statistics);
    EXPECT_EQ(window->statusText(3), "TLS 5/7 decrypted, 2 evicted, QUIC 2/3 decrypted, 1 evicted");
    statistics.tlsConnectionsSeen = 0;
    statistics.quicConnectionsEvicted = 0;
    SendStatistics(window->handle(), statistics);
    EXPECT_EQ(window->statusText(3), "QUIC 2/3 decrypted");

    press(*window);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::returned == 1; }));
    settings.KeyLogFile = "/home/user/keys.log";
    press(*window);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::inside == 1; }));
    {
        const std::lock_guard guard(FakeCapture::keyLogLock);
        EXPECT_EQ(FakeCapture::keyLogFile, "/home/user/keys.log") << "the setting outweighs the environment";
        EXPECT_EQ(FakeCapture::keyLogCalls, 2);
    }
    EXPECT_EQ(window->statusText(3), "") << "a new capture starts its counts afresh";
    EXPECT_EQ(window->statusText(0), "Adapter:Loopback");
}

TEST_F(CaptureControlTest, AnUnreadableKeyLogFileIsNamedFromTheStartOfItsCaptureToTheNextStart)
{
    FakeCapture::keyLogAnswer = ENOENT;
    const auto window = openWindow("lo-fake", FakeCapture::functions());
    press(*window);
    const QString missing = "Key log file: cannot read: No such file or directory";
    ASSERT_TRUE(WaitFor([&] { return window->statusText(3) == missing; }));
    EXPECT_EQ(FakeCapture::inside, 1) << "the capture goes on without decryption";
    quillnet::CaptureStatistics statistics{};
    statistics.tlsConnectionsSeen = 2;
    statistics.quicConnectionsSeen = 1;
    SendStatistics(window->handle(), statistics);
    const QString counts = "TLS 0/2 decrypted, QUIC 0/1 decrypted";
    EXPECT_EQ(window->statusText(3), missing + "; " + counts);

    press(*window);
    ASSERT_TRUE(WaitFor([&] { return FakeCapture::returned == 1 && !window->capturing(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(window->statusText(3), missing + "; " + counts) << "the capture's end keeps it";

    FakeCapture::keyLogAnswer = 0;
    press(*window);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::inside == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(window->statusText(3), "") << "a readable file at the next start";
}

TEST_F(CaptureControlTest, AStartWithoutAnAdapterAsksForOne)
{
    auto functions = FakeCapture::functions();
    settings.Adapter.clear();
    WindowServices services(functions, desktop);
    services.listAdapters = [] {
        return std::optional<std::vector<AdapterRow>>({{"Loopback", "127.0.0.1", "255.0.0.0", "lo-fake", 255}});
    };
    CMainDlg window(settings, folder.file("setting.ini"), std::move(services));
    window.show();

    press(window);
    EXPECT_EQ(desktop.dialogTitles, std::vector<QString>{"Adapter Information"});
    EXPECT_FALSE(window.capturing()) << "cancelled: nothing starts";
    EXPECT_TRUE(settings.Adapter.empty());

    desktop.onDialog = [](QDialog &dialog) {
        auto *list = ControlById<QTreeWidget>(dialog, 1002);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
        QTest::mouseClick(ControlById<QPushButton>(dialog, 1), Qt::LeftButton);
    };
    press(window);
    EXPECT_TRUE(window.capturing());
    EXPECT_EQ(settings.Adapter, "lo-fake");
    EXPECT_EQ(settings.adapterNetmask, 255);
    EXPECT_EQ(window.statusText(0), "Adapter:Loopback");
    EXPECT_FALSE(std::filesystem::exists(folder.file("setting.ini")))
        << "a choice at Start is saved on Exit or Options";
    ASSERT_TRUE(WaitFor([] { return FakeCapture::inside == 1; }));
}

TEST_F(CaptureControlTest, AStopRightAfterStartEndsTheCapture)
{
    // The stop arrives before the capture has set its run flag, which would overwrite it.
    FakeCapture::startDelayMs = 300;
    const auto window = openWindow("lo-fake", FakeCapture::functions());
    press(*window);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::inside == 1; }));
    press(*window);
    EXPECT_FALSE(window->capturing());
    EXPECT_TRUE(WaitFor([] { return FakeCapture::returned == 1; }, 5s)) << "the capture ran on after Stop";
}

TEST_F(CaptureControlTest, ANewStartWaitsForTheStoppedCaptureAndIgnoresItsLateReport)
{
    const auto window = openWindow("lo-fake", FakeCapture::functions());
    press(*window);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::inside == 1; }));
    press(*window);
    press(*window);
    ASSERT_TRUE(window->capturing());
    ASSERT_TRUE(WaitFor([] { return FakeCapture::returned == 1 && FakeCapture::inside == 1; }));
    EXPECT_EQ(FakeCapture::mostInside, 1) << "two captures ran at once";

    // The first capture's report, and any repeat of it, leave the second one running.
    PostMessage(window->handle(), WM_CAPTURE_ENDED, 1, 0);
    WaitFor([] { return false; }, 1500ms);
    EXPECT_TRUE(window->capturing());
    EXPECT_EQ(FakeCapture::inside, 1);
    EXPECT_EQ(window->statusText(1), "");
}

TEST_F(CaptureControlTest, LeavingWhileTheCaptureWaitsInASendEndsPromptly)
{
    FakeCapture::sending = true;
    auto window = openWindow("lo-fake", FakeCapture::functions());
    press(*window);
    ASSERT_TRUE(WaitFor([] { return FakeCapture::sent > 100; }));
    // No event is handled from here on, so the capture thread soon waits in a send.
    const auto start = std::chrono::steady_clock::now();
    window.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(FakeCapture::returned, 1);
}

}
