#include "capture_control.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>
#include <type_traits>

#include "capture_diagnosis.h"
#include "capture_statistics.h"
#include "records.h"
#include "window_messages.h"

namespace tarvolin {

namespace {

// StopCapture only clears the library's run flag, which a capture that has not
// yet reached its loop sets again; so a stop is repeated until the end is reported.
constexpr std::chrono::milliseconds kStopRepeat(1000);
// Leaving the program: how often to ask again, and when to give up waiting.
constexpr std::chrono::milliseconds kShutdownPoll(10);
constexpr std::chrono::milliseconds kShutdownStopRepeat(250);
constexpr std::chrono::seconds kShutdownLimit(5);

// The handle a capture is given: it passes everything on to the window, and
// keeps on the way, on the capture's own thread, the capture's last statistics.
struct RelayWindow {
    MessageWindow window; // first, so the handle converts back to the relay
    HWND target;
    bool statisticsSeen = false;
    quillnet::CaptureStatistics statistics{};

    HWND handle() { return &window; }
    bool endedByReadError() const { return statisticsSeen && EndedByReadError(statistics); }

    static intptr_t send(HWND handle, uint32_t message, uintptr_t wParam, intptr_t lParam)
    {
        auto &self = *reinterpret_cast<RelayWindow *>(handle);
        if (message == WM_COPYDATA && lParam != 0)
            self.keep(*reinterpret_cast<const COPYDATASTRUCT *>(lParam));
        return SendMessage(self.target, message, wParam, lParam);
    }

    static int post(HWND handle, uint32_t message, uintptr_t wParam, intptr_t lParam)
    {
        return PostMessage(reinterpret_cast<RelayWindow *>(handle)->target, message, wParam, lParam);
    }

    void keep(const COPYDATASTRUCT &copy)
    {
        if (const std::optional<quillnet::CaptureStatistics> received = ReadCaptureStatistics(copy)) {
            statistics = *received;
            statisticsSeen = true;
        }
    }
};

static_assert(std::is_standard_layout_v<RelayWindow>);

}

// One capture, from its start to its end report.
struct CaptureControl::Run {
    uint32_t number = 0;
    std::string source;
    int32_t netmask = 0;
    std::string keyLogFile;
    std::thread thread;
    // Written by the capture thread before it posts its end report.
    std::string failure;
    std::atomic<bool> finished{false};
};

// Which capture is inside StartCapture, and which captures were asked to stop.
// A stop reaches the library only while the capture it is meant for is inside,
// so a repeated stop never ends a newer capture.
class CaptureControl::Threads {
public:
    explicit Threads(StopCaptureFunction stopCapture) : stopCapture_(stopCapture) {}

    // False when the capture was stopped before it could begin.
    bool enter(uint32_t number)
    {
        const std::lock_guard guard(lock_);
        if (stopRequests_.contains(number))
            return false;
        running_ = number;
        return true;
    }

    void leave()
    {
        const std::lock_guard guard(lock_);
        running_ = 0;
    }

    void requestStop(uint32_t number, HWND window)
    {
        const std::lock_guard guard(lock_);
        stopRequests_.insert(number);
        stopRunningLocked(window);
    }

    void repeatStop(HWND window)
    {
        const std::lock_guard guard(lock_);
        stopRunningLocked(window);
    }

    // True while another stopped capture has yet to report its end.
    bool forget(uint32_t number)
    {
        const std::lock_guard guard(lock_);
        stopRequests_.erase(number);
        return !stopRequests_.empty();
    }

private:
    void stopRunningLocked(HWND window)
    {
        if (running_ != 0 && stopRequests_.contains(running_) && stopCapture_)
            stopCapture_(window);
    }

    const StopCaptureFunction stopCapture_;
    std::mutex lock_;
    uint32_t running_ = 0;
    std::set<uint32_t> stopRequests_;
};

// Empty when the capture ran to its end or was stopped.
std::string CaptureControl::captureOutcome(const CaptureFunctions &functions, const Run &run, HWND window)
{
    if (!functions.startCapture)
        return kLibraryMissingPrefix + functions.missingReason;
    nameKeyLogFile(functions, run, window);
    RelayWindow relay{{&RelayWindow::send, &RelayWindow::post}, window};
    const int32_t result =
        functions.startCapture(quillnet::kCallerToken, relay.handle(), run.source.c_str(), run.netmask);
    // A capture that could not be opened sends no statistics, so a read error is told apart from it.
    if (relay.endedByReadError())
        return kCaptureEndedPrefix + ReadErrorText(relay.statistics);
    if (result != 0)
        return kCaptureFailedPrefix + DescribeSourceFailure(run.source);
    return {};
}

// The capture goes on without decryption; the window is told why.
void CaptureControl::nameKeyLogFile(const CaptureFunctions &functions, const Run &run, HWND window)
{
    if (!functions.setKeyLogFile)
        return;
    if (const int32_t answer = functions.setKeyLogFile(run.keyLogFile.c_str()); answer != 0)
        PostMessage(window, WM_KEYLOG_UNREADABLE, run.number, answer);
}

void CaptureControl::runCapture(const CaptureFunctions &functions, Threads &threads, Run &run, HWND window)
{
    if (!threads.enter(run.number))
        return;
    run.failure = captureOutcome(functions, run, window);
    threads.leave();
}

CaptureControl::CaptureControl(CaptureFunctions functions, Settings &settings, HWND window, CaptureView &view)
    : functions_(std::move(functions)), settings_(settings), window_(window), view_(view),
      threads_(std::make_shared<Threads>(functions_.stopCapture))
{
    stopRepeat_.setInterval(kStopRepeat);
    QObject::connect(&stopRepeat_, &QTimer::timeout, [this] { threads_->repeatStop(window_); });
}

CaptureControl::~CaptureControl()
{
    shutDown();
}

void CaptureControl::command()
{
    if (capturing_) {
        PostMessage(window_, WM_CAPTURE_STOP, 0, 0);
        return;
    }
    if (stopping_) {
        view_.showStopping();
        return;
    }
    PostMessage(window_, WM_CAPTURE_START, 0, 0);
}

void CaptureControl::start()
{
    // Two quick commands may queue two starts before the first is made.
    if (capturing_)
        return;
    if (settings_.Adapter.empty()) {
        const std::optional<ChosenAdapter> chosen = view_.chooseAdapter();
        if (!chosen || chosen->name.empty())
            return;
        settings_.Adapter = chosen->name;
        settings_.AdapterDescription = chosen->description;
        settings_.adapterNetmask = chosen->netmask;
    }
    view_.showAdapter(settings_.AdapterDescription);
    begin(settings_.Adapter, settings_.adapterNetmask);
}

void CaptureControl::replay(const std::string &path)
{
    if (capturing_)
        requestStop(current_);
    view_.showAdapter(path);
    begin(kFileSourcePrefix + path, 0);
}

void CaptureControl::begin(const std::string &source, int32_t netmask)
{
    capturing_ = true;
    view_.showCapturing(true);
    view_.showCaptureStatus("");
    view_.clearAllList();
    launch(source, netmask, EffectiveKeyLogFile(settings_.KeyLogFile));
}

// The new thread first waits for the previous one, so captures never overlap
// and the window's thread never waits for a capture thread.
void CaptureControl::launch(const std::string &source, int32_t netmask, const std::string &keyLogFile)
{
    auto run = std::make_shared<Run>();
    run->number = ++current_;
    run->source = source;
    run->netmask = netmask;
    run->keyLogFile = keyLogFile;
    unreported_[run->number] = run;
    std::shared_ptr<Run> previous = std::move(latest_);
    run->thread =
        std::thread([functions = functions_, threads = threads_, run = run.get(), previous, window = window_] {
            if (previous)
                previous->thread.join();
            runCapture(functions, *threads, *run, window);
            run->finished.store(true, std::memory_order_release);
            PostMessage(window, WM_CAPTURE_ENDED, run->number, 0);
        });
    latest_ = std::move(run);
}

void CaptureControl::stop()
{
    if (!capturing_)
        return;
    capturing_ = false;
    stopping_ = true;
    view_.showCapturing(false);
    requestStop(current_);
    stopping_ = false;
}

void CaptureControl::requestStop(uint32_t number)
{
    threads_->requestStop(number, window_);
    stopRepeat_.start();
}

void CaptureControl::ended(uint32_t number)
{
    const auto found = unreported_.find(number);
    if (found == unreported_.end())
        return;
    const std::string failure = found->second->failure;
    unreported_.erase(found);
    if (!threads_->forget(number))
        stopRepeat_.stop();
    // A report of an earlier capture, or of one the user stopped, changes nothing.
    if (number != current_ || !capturing_)
        return;
    capturing_ = false;
    view_.showCapturing(false);
    view_.showCaptureStatus(failure.empty() ? kCaptureEndedText : failure);
}

void CaptureControl::keyLogUnreadable(uint32_t number, int32_t answer)
{
    // A report of an earlier capture would outlast the start that cleared it.
    if (number != current_)
        return;
    view_.showKeyLogProblem(DescribeKeyLogFailure(kKeyLogFileName, answer));
}

void CaptureControl::shutDown()
{
    stopRepeat_.stop();
    if (!latest_)
        return;
    const auto start = std::chrono::steady_clock::now();
    auto lastStop = start - kShutdownStopRepeat;
    while (!latest_->finished.load(std::memory_order_acquire)) {
        const auto now = std::chrono::steady_clock::now();
        if (now - start > kShutdownLimit)
            std::_Exit(EXIT_SUCCESS); // a capture thread stuck in the library must not keep the program alive
        if (now - lastStop >= kShutdownStopRepeat) {
            threads_->requestStop(latest_->number, window_);
            lastStop = now;
        }
        std::this_thread::sleep_for(kShutdownPoll);
    }
    latest_->thread.join();
    latest_.reset();
    unreported_.clear();
}

}
