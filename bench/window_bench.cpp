// How fast the window fills from a capture file of many HTTP transactions,
// beside tarvolin-cli reading the same file, and how long the window went
// without answering input meanwhile; also with both lists filtered and sorted
// while they fill: tarvolin_window_bench [TRANSACTIONS].
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "capture_file.h"
#include "desktop.h"
#include "main_dialog.h"
#include "program_directory.h"
#include "quillnet_library.h"
#include "sample_traffic.h"

using namespace tarvolin;

namespace {

constexpr size_t kDefaultTransactions = 100000;
// Input would be handled at least this often if the window answered at once.
constexpr int kTickMs = 5;
// Half the "All" rows and every media row hold it.
constexpr char kFilter[] = "FLV";

double secondsOf(const std::chrono::steady_clock::duration &duration)
{
    return std::chrono::duration<double>(duration).count();
}

double cliSeconds(const std::string &capturePath)
{
    const std::string cli = ProgramDirectory() + "tarvolin-cli";
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execl(cli.c_str(), cli.c_str(), "--read", capturePath.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "%s failed\n", cli.c_str());
    return secondsOf(std::chrono::steady_clock::now() - start);
}

struct WindowFigures {
    double seconds = 0;
    qint64 longestGapMs = 0;
    int allRows = 0;
    int mediaRows = 0;
    int shownAllRows = 0;
};

// Newest URL first: the new rows land all over the list, not at its end.
void filterAndSort(CMainDlg &window)
{
    window.findChild<QLineEdit *>(QStringLiteral("filterEdit"))->setText(QString::fromLatin1(kFilter));
    for (UrlList list : {kMediaFilesList, kAllList})
        window.listView(list)->sortByColumn(UrlListModel::kUrlColumn, Qt::DescendingOrder);
}

WindowFigures windowFill(const std::string &source, bool filteredAndSorted)
{
    Settings settings;
    settings.NoLimitBufferSize = 1;
    settings.Adapter = source;
    const QuillnetLibrary library;
    library.setLogRecords(0); // as the program does
    SystemDesktop desktop;
    CMainDlg window(settings, "/dev/null",
                    WindowServices({library.startCapture, library.stopCapture, library.error()}, desktop));
    window.show();
    if (filteredAndSorted)
        filterAndSort(window);
    QCoreApplication::processEvents();

    WindowFigures figures;
    QElapsedTimer sinceTick;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout,
                     [&] { figures.longestGapMs = std::max(figures.longestGapMs, sinceTick.restart()); });
    const auto start = std::chrono::steady_clock::now();
    sinceTick.start();
    ticks.start(kTickMs);
    window.OnCommand(kCommandStart);
    while (window.statusText(1).isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    window.refreshLists();
    window.repaint();
    figures.seconds = secondsOf(std::chrono::steady_clock::now() - start);
    figures.allRows = window.model(kAllList).rowCount();
    figures.mediaRows = window.model(kMediaFilesList).rowCount();
    figures.shownAllRows = window.listView(kAllList)->model()->rowCount();
    if (window.statusText(1) != QLatin1String("Capture ended"))
        std::fprintf(stderr, "capture: %s\n", qPrintable(window.statusText(1)));
    return figures;
}

}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const size_t transactions = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kDefaultTransactions;
    QApplication application(argc, argv);
    const testing_support::CaptureFile capture(testing_support::HttpTransactions(transactions));

    const double cli = cliSeconds(capture.path());
    const WindowFigures window = windowFill(capture.source(), false);
    const WindowFigures sorted = windowFill(capture.source(), true);
    std::printf("capture file: %zu HTTP transactions, %.1f MB\n", transactions,
                static_cast<double>(std::filesystem::file_size(capture.path())) / 1e6);
    std::printf("tarvolin-cli --read:      %.3f s\n", cli);
    std::printf("window, to the last row:  %.3f s (%d All rows, %d Media Files rows)\n", window.seconds, window.allRows,
                window.mediaRows);
    std::printf("window / tool:            %.2f (goal: at most 3)\n", window.seconds / cli);
    std::printf("longest time the window did not answer: %lld ms\n", static_cast<long long>(window.longestGapMs));
    std::printf("filtered (\"%s\") and sorted by URL, newest first:\n", kFilter);
    std::printf("window, to the last row:  %.3f s (%d of %d All rows shown)\n", sorted.seconds, sorted.shownAllRows,
                sorted.allRows);
    std::printf("window / tool:            %.2f\n", sorted.seconds / cli);
    std::printf("longest time the window did not answer: %lld ms\n", static_cast<long long>(sorted.longestGapMs));
    return 0;
}
