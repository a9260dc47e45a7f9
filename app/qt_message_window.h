// The main window's handle as the capture library sees it. A send from another
// thread is handled on the window's thread while the sender waits, as the
// library's records live on its stack; a send from the window's thread is a
// plain call; a post is queued.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "message_window.h"

class QObject;

namespace tarvolin {

class QtMessageWindow {
public:
    using Handler = std::function<intptr_t(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

    // Created on the thread that handles the messages.
    explicit QtMessageWindow(Handler handler);
    ~QtMessageWindow();
    QtMessageWindow(const QtMessageWindow &) = delete;
    QtMessageWindow &operator=(const QtMessageWindow &) = delete;

    HWND handle() { return &bridge_.window; }

    // From now on every send returns 0 at once, those already waiting too, and
    // posts are dropped. On the window's thread.
    void close();

private:
    struct Bridge {
        MessageWindow window; // first, so the handle converts back to the bridge
        QtMessageWindow *owner;
    };
    struct Call;

    static intptr_t send(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
    static int post(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
    static QtMessageWindow &owner(HWND window);

    intptr_t sendAcross(uint32_t message, uintptr_t wParam, intptr_t lParam);
    void queueDrain();
    void drain();
    Call *takeCall();
    bool awaitNextCall(std::chrono::steady_clock::time_point deadline) const;
    bool endDrain();
    void finish(Call &call, intptr_t result);

    Bridge bridge_;
    Handler handler_;
    const std::thread::id windowThread_;
    std::unique_ptr<QObject> context_; // queued work runs in its thread

    std::mutex lock_;
    std::condition_variable handled_;
    std::deque<Call *> calls_;
    std::atomic<size_t> queued_{0};
    bool drainQueued_ = false;
    bool closed_ = false;
};

}
