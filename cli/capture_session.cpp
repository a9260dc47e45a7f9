#include "capture_session.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <mutex>
#include <string_view>
#include <thread>

#include "text.h"

namespace tarvolin::cli {

namespace {

// Sent to the waiting thread when the capture ends by itself.
constexpr int kCaptureEndedSignal = SIGUSR1;
constexpr timespec kStopRepeat{1, 0};

// A window whose sends are handled at once on the sending thread. The lock
// keeps StopCapture's log lines, sent from the waiting thread, apart from the
// capture thread's records.
class DirectWindow {
public:
    DirectWindow(UrlStore &store, bool printLogs)
        : window_{&DirectWindow::send, &DirectWindow::post}, store_(store), printLogs_(printLogs)
    {
    }

    HWND handle() { return &window_; }

private:
    static intptr_t send(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam)
    {
        auto *self = reinterpret_cast<DirectWindow *>(window);
        // Log lines never reach the store, so they take no lock.
        if (const auto *copy = logRecord(message, lParam)) {
            if (self->printLogs_)
                printLog(*copy);
            return 1;
        }
        const std::lock_guard guard(self->lock_);
        return self->store_.handleMessage(message, wParam, lParam);
    }

    static const COPYDATASTRUCT *logRecord(uint32_t message, intptr_t lParam)
    {
        const auto *copy = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
        return message == WM_COPYDATA && copy && copy->dwData == quillnet::kKindLogText ? copy : nullptr;
    }

    static void printLog(const COPYDATASTRUCT &copy)
    {
        const std::string_view text = FixedText(static_cast<const char *>(copy.lpData), copy.cbData);
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    }

    // The end of the capture is known from StartCapture's return.
    static int post(HWND, uint32_t, uintptr_t, intptr_t) { return 1; }

    MessageWindow window_; // first, so the handle converts back to this object
    std::mutex lock_;
    UrlStore &store_;
    bool printLogs_;
};

sigset_t waitedSignals()
{
    sigset_t waited;
    sigemptyset(&waited);
    sigaddset(&waited, SIGINT);
    sigaddset(&waited, SIGTERM);
    sigaddset(&waited, kCaptureEndedSignal);
    return waited;
}

}

void BlockStopSignals()
{
    const sigset_t waited = waitedSignals();
    pthread_sigmask(SIG_BLOCK, &waited, nullptr);
}

int32_t RunCapture(const QuillnetLibrary &library, const std::string &source, int32_t netmask, UrlStore &store,
                   bool printLogs)
{
    library.setLogRecords(printLogs ? 1 : 0);
    // Blocked before the capture thread starts, so only the waits below take them.
    BlockStopSignals();
    const sigset_t waited = waitedSignals();

    DirectWindow window(store, printLogs);
    const pthread_t waiter = pthread_self();
    int32_t result = 0;
    std::thread capture([&] {
        result = library.startCapture(quillnet::kCallerToken, window.handle(), source.c_str(), netmask);
        pthread_kill(waiter, kCaptureEndedSignal);
    });
    // A stop that arrives before the capture has set its run flag would be
    // lost, so once asked to stop, ask again until the capture has ended.
    bool stopping = false;
    for (;;) {
        const int received = stopping ? sigtimedwait(&waited, nullptr, &kStopRepeat) : sigwaitinfo(&waited, nullptr);
        if (received == kCaptureEndedSignal)
            break;
        stopping = stopping || received == SIGINT || received == SIGTERM;
        if (stopping)
            library.stopCapture(window.handle());
    }
    capture.join();
    return result;
}

}
