// What the window tests share: a desktop that answers in the user's place, a
// stand-in for the capture library's capture functions, and records to send.
#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture_control.h"
#include "desktop.h"
#include "message_window.h"
#include "records.h"
#include "url_store.h"

namespace testing_support {

// Answers in the user's place. A dialog run modally is handed to `onDialog`,
// which may work its controls; its result is the dialog's, Rejected when the
// dialog was left open.
class FakeDesktop : public tarvolin::Desktop {
public:
    bool askYesNo(QWidget *, const QString &text) override;
    // Records the question; answers `answer`, with `dontAskAgain` as the box.
    bool confirm(QWidget *, const QString &text, bool &dontAskAgain) override;
    void inform(QWidget *, const QString &text) override;
    void openUrl(const QUrl &url) override;
    int runModal(QDialog &dialog) override;
    // Records the offered start and answers `chosenFile`.
    QString chooseFile(QWidget *, const QString &caption, const QString &current) override;
    // Records the offer as "caption|current|filters" and answers `chosenFile`.
    QString chooseSaveFile(QWidget *, const QString &caption, const QString &current,
                           const QStringList &filters) override;
    // Records the offer as "caption|filters" and answers `chosenFile`.
    QString chooseOpenFile(QWidget *, const QString &caption, const QStringList &filters) override;

    bool answer = false;
    bool dontAskAgain = false;
    QString chosenFile;
    std::vector<QString> fileOffers; // "caption|current" of each file chooser, "|filters" for saving
    std::vector<QString> questions;
    std::vector<QString> notices;
    std::vector<QUrl> opened;
    std::vector<QString> dialogTitles;
    std::function<void(QDialog &)> onDialog;
};

// A control of a dialog by its number; null when there is none.
template <typename Control>
Control *ControlById(QWidget &dialog, int id)
{
    for (Control *child : dialog.findChildren<Control *>()) {
        if (child->property("controlId").toInt() == id)
            return child;
    }
    return nullptr;
}

// Behaves towards the window as the capture library does: StartCapture sets its
// run flag when it begins (after `startDelay`), sends a record every millisecond
// while `sending` is on, and returns once StopCapture has cleared the flag.
// StartCapture on the adapter "fail" returns -1 at once. SetKeyLogFile keeps
// its path in keyLogFile and answers keyLogAnswer.
struct FakeCapture {
    static inline std::atomic<int> runFlag{0};
    static inline std::atomic<int> inside{0};
    static inline std::atomic<int> mostInside{0};
    static inline std::atomic<int> returned{0};
    static inline std::atomic<int> sent{0};
    static inline std::atomic<int> startDelayMs{0};
    static inline std::atomic<bool> sending{false};
    static inline std::mutex keyLogLock;
    static inline std::string keyLogFile;
    static inline int keyLogCalls = 0;
    static inline std::atomic<int32_t> keyLogAnswer{0};

    static void reset();
    static tarvolin::CaptureFunctions functions();
    static int32_t start(int32_t token, HWND window, const char *adapter, int32_t netmask);
    static int32_t stop(HWND window);
    static int32_t setKeyLogFile(const char *path);
};

QByteArray HttpResponse(const QByteArray &status, const QByteArray &body);

// An HTTP server on 127.0.0.1 that answers each request with `response`; with
// an empty one, it accepts and never answers.
class CannedHttpServer : public QObject {
public:
    explicit CannedHttpServer(QByteArray response);

    QUrl url() const;

    QList<QByteArray> requestLines;
    int disconnections = 0;

private:
    void accept();
    void answer(QTcpSocket &socket, QByteArray &request);

    QByteArray response_;
    QTcpServer server_;
};

// Records as the capture library sends them; each returns the send's result.
intptr_t SendUrlText(HWND window, const std::string &url);
intptr_t SendHttpUrl(HWND window, int32_t port, const std::string &host, const std::string &path,
                     const std::string &contentType);
intptr_t SendStatistics(HWND window, const quillnet::CaptureStatistics &statistics);
// A kind 112 record: each header's RequestHeader number and value.
intptr_t SendRequestHeaders(HWND window, const std::vector<std::pair<uint16_t, std::string>> &headers);

// Sets an environment variable for its lifetime, then puts back what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const char *value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};

// Runs the event loop until `done` holds or the limit passes; whether it holds.
bool WaitFor(const std::function<bool()> &done, std::chrono::milliseconds limit = std::chrono::seconds(10));

// Rows as the window or the core shows them: "all|ext|url|third".
std::string RowLine(tarvolin::UrlList list, const tarvolin::UrlRow &row);

}
