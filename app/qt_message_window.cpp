#include "qt_message_window.h"

#include <QObject>

#include "records.h"

namespace tarvolin {

namespace {

using Clock = std::chrono::steady_clock;

constexpr intptr_t kTrue = 1;
// After this long the drain lets input, painting and timers have their turn.
constexpr auto kDrainBudget = std::chrono::milliseconds(8);
// A busy capture sends its next record within microseconds; waiting that long
// for it saves two thread wake-ups per record.
constexpr auto kNextCallWait = std::chrono::microseconds(50);
constexpr auto kSenderSpin = std::chrono::microseconds(20);

bool isLogText(uint32_t message, intptr_t lParam)
{
    if (message != WM_COPYDATA || lParam == 0)
        return false;
    return reinterpret_cast<const COPYDATASTRUCT *>(lParam)->dwData == quillnet::kKindLogText;
}

}

struct QtMessageWindow::Call {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    intptr_t result = 0;
    std::atomic<bool> finished{false};
};

QtMessageWindow::QtMessageWindow(Handler handler)
    : bridge_{{&QtMessageWindow::send, &QtMessageWindow::post}, this}, handler_(std::move(handler)),
      windowThread_(std::this_thread::get_id()), context_(std::make_unique<QObject>())
{
}

QtMessageWindow::~QtMessageWindow()
{
    close();
}

QtMessageWindow &QtMessageWindow::owner(HWND window)
{
    return *reinterpret_cast<Bridge *>(window)->owner;
}

intptr_t QtMessageWindow::send(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    QtMessageWindow &self = owner(window);
    if (std::this_thread::get_id() == self.windowThread_)
        return self.closed_ ? 0 : self.handler_(message, wParam, lParam);
    // The window drops log lines anyway; crossing threads for them would only cost time.
    if (isLogText(message, lParam))
        return kTrue;
    return self.sendAcross(message, wParam, lParam);
}

int QtMessageWindow::post(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    QtMessageWindow &self = owner(window);
    {
        const std::lock_guard guard(self.lock_);
        if (self.closed_)
            return 0;
    }
    QMetaObject::invokeMethod(
        self.context_.get(),
        [&self, message, wParam, lParam] {
            if (!self.closed_)
                self.handler_(message, wParam, lParam);
        },
        Qt::QueuedConnection);
    return 1;
}

intptr_t QtMessageWindow::sendAcross(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    Call call{message, wParam, lParam};
    bool wake = false;
    {
        const std::lock_guard guard(lock_);
        if (closed_)
            return 0;
        calls_.push_back(&call);
        queued_.store(calls_.size(), std::memory_order_release);
        wake = !drainQueued_;
        drainQueued_ = true;
    }
    if (wake)
        queueDrain();
    const Clock::time_point spinEnd = Clock::now() + kSenderSpin;
    while (!call.finished.load(std::memory_order_acquire) && Clock::now() < spinEnd) {
    }
    std::unique_lock guard(lock_);
    handled_.wait(guard, [&call] { return call.finished.load(std::memory_order_relaxed); });
    return call.result;
}

void QtMessageWindow::queueDrain()
{
    QMetaObject::invokeMethod(context_.get(), [this] { drain(); }, Qt::QueuedConnection);
}

// Handles waiting sends one after another, and keeps going while a busy sender
// follows up at once, up to the time budget.
void QtMessageWindow::drain()
{
    const Clock::time_point deadline = Clock::now() + kDrainBudget;
    for (;;) {
        if (Clock::now() >= deadline) {
            if (!endDrain())
                queueDrain();
            return;
        }
        if (Call *call = takeCall()) {
            finish(*call, handler_(call->message, call->wParam, call->lParam));
            continue;
        }
        if (!awaitNextCall(deadline) && endDrain())
            return;
    }
}

QtMessageWindow::Call *QtMessageWindow::takeCall()
{
    const std::lock_guard guard(lock_);
    if (closed_ || calls_.empty())
        return nullptr;
    Call *call = calls_.front();
    calls_.pop_front();
    queued_.store(calls_.size(), std::memory_order_release);
    return call;
}

bool QtMessageWindow::awaitNextCall(Clock::time_point deadline) const
{
    const Clock::time_point end = std::min(deadline, Clock::now() + kNextCallWait);
    while (Clock::now() < end) {
        if (queued_.load(std::memory_order_acquire) != 0)
            return true;
    }
    return false;
}

// True when no send waits, so that the next one queues a new drain.
bool QtMessageWindow::endDrain()
{
    const std::lock_guard guard(lock_);
    if (!calls_.empty() && !closed_)
        return false;
    drainQueued_ = false;
    return true;
}

void QtMessageWindow::finish(Call &call, intptr_t result)
{
    const std::lock_guard guard(lock_);
    call.result = result;
    call.finished.store(true, std::memory_order_release);
    handled_.notify_all();
}

void QtMessageWindow::close()
{
    const std::lock_guard guard(lock_);
    closed_ = true;
    for (Call *call : calls_)
        call->finished.store(true, std::memory_order_release);
    calls_.clear();
    queued_.store(0, std::memory_order_release);
    handled_.notify_all();
}

}
