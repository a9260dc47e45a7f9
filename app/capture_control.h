// Starting and stopping captures from the main window. Each capture runs
// StartCapture on a thread of its own and reports its end to the window, so the
// window knows when a capture failed or ended by itself.
#pragma once

#include <QTimer>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "message_window.h"
#include "quillnet.h"
#include "settings.h"

namespace tarvolin {

// The capture library's capture functions; any may be missing.
struct CaptureFunctions {
    StartCaptureFunction startCapture = nullptr;
    StopCaptureFunction stopCapture = nullptr;
    std::string missingReason; // why they are missing
    SetKeyLogFileFunction setKeyLogFile = nullptr;
};

struct ChosenAdapter {
    std::string name;
    std::string description;
    int32_t netmask = 0;
};

// What the window shows of the capture control.
class CaptureView {
public:
    virtual ~CaptureView() = default;
    // The Start button's caption and icon.
    virtual void showCapturing(bool capturing) = 0;
    // The second part of the status bar.
    virtual void showCaptureStatus(const std::string &text) = 0;
    virtual void showAdapter(const std::string &description) = 0;
    // Why the capture decrypts nothing; until the next start.
    virtual void showKeyLogProblem(const std::string &text) = 0;
    virtual void showStopping() = 0;
    // The adapter the user picks for a start without one; nothing when cancelled.
    virtual std::optional<ChosenAdapter> chooseAdapter() = 0;
    virtual void clearAllList() = 0;
};

inline constexpr char kStoppingText[] = "Stopping";
inline constexpr char kCaptureEndedText[] = "Capture ended";
inline constexpr char kCaptureEndedPrefix[] = "Capture ended: ";
inline constexpr char kCaptureFailedPrefix[] = "Capture failed: ";
inline constexpr char kLibraryMissingPrefix[] = "Capture library not found: ";
inline constexpr char kKeyLogFileName[] = "Key log file";
inline constexpr char kFileSourcePrefix[] = "file://";

class CaptureControl {
public:
    // `window` receives the records and the end reports; it must outlive every capture thread.
    CaptureControl(CaptureFunctions functions, Settings &settings, HWND window, CaptureView &view);
    ~CaptureControl();
    CaptureControl(const CaptureControl &) = delete;
    CaptureControl &operator=(const CaptureControl &) = delete;

    bool capturing() const { return capturing_; }
    bool stopping() const { return stopping_; }

    // The Start/Stop command: queues a start or a stop, or says that a stop is being made.
    void command();
    // WM_CAPTURE_START, WM_CAPTURE_STOP and WM_CAPTURE_ENDED.
    void start();
    void stop();
    // Replays the capture file at `path` as a "file://" adapter would, in place
    // of any capture that runs; the adapter of the settings stays as it is.
    void replay(const std::string &path);
    void ended(uint32_t number);
    // WM_KEYLOG_UNREADABLE.
    void keyLogUnreadable(uint32_t number, int32_t answer);

    // Ends every capture thread: stops the capture and waits for its end. The
    // window must no longer make senders wait (they would never return).
    void shutDown();

private:
    struct Run;
    class Threads;

    static void runCapture(const CaptureFunctions &functions, Threads &threads, Run &run, HWND window);
    static std::string captureOutcome(const CaptureFunctions &functions, const Run &run, HWND window);
    static void nameKeyLogFile(const CaptureFunctions &functions, const Run &run, HWND window);
    void begin(const std::string &source, int32_t netmask);
    void launch(const std::string &source, int32_t netmask, const std::string &keyLogFile);
    void requestStop(uint32_t number);

    CaptureFunctions functions_;
    Settings &settings_;
    HWND window_;
    CaptureView &view_;

    bool capturing_ = false;
    bool stopping_ = false;
    uint32_t current_ = 0; // the newest capture's number
    std::shared_ptr<Threads> threads_;
    std::shared_ptr<Run> latest_;
    std::map<uint32_t, std::shared_ptr<Run>> unreported_;
    QTimer stopRepeat_;
};

}
