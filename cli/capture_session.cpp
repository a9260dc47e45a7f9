#include "capture_session.h"

#include <pthread.h>
#include <signal.h>

#include <mutex>
#include <thread>

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
    explicit DirectWindow(UrlStore &store) : window_{&DirectWindow::send, &DirectWindow::post}, store_(store) {}

    HWND handle() { return &window_; }

private:
    static intptr_t send(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam)
    {
        auto *self = reinterpret_cast<DirectWindow *>(window);
        const std::lock_guard guard(self->lock_);
        return self->store_.handleMessage(message, wParam, lParam);
    }

    // The end of the capture is known from StartCapture's return.
    static int post(HWND, uint32_t, uintptr_t, intptr_t) { return 1; }

    MessageWindow window_; // first, so the handle converts back to this object
    std::mutex lock_;
    UrlStore &store_;
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

int32_t RunCapture(const QuillnetLibrary &library, const std::string &source, int32_t netmask, UrlStore &store)
{
    // Blocked before the capture thread starts, so only the waits below take them.
    BlockStopSignals();
    const sigset_t waited = waitedSignals();

    DirectWindow window(store);
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
