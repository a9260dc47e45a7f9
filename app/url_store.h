// The receiver of the capture library's records and the URL store behind the
// "All" and "Media Files" lists. Plain C++: the window's lists, tab strip and
// status bar implement UrlListView, and the window hands its messages to
// handleMessage. Everything runs on the thread that owns the window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "details_history.h"
#include "message_window.h"
#include "records.h"
#include "request_details.h"
#include "settings.h"
#include "url_fingerprints.h"

namespace tarvolin {

// Sent by the receiver to its own window; each is handled completely before the receiver goes on.
inline constexpr uint32_t WM_URL_ADD_ALL = WM_APP + 4;   // wParam: the record number
inline constexpr uint32_t WM_URL_HANDOFF = WM_APP + 8;   // hand the hand-off URL to the download manager
inline constexpr uint32_t WM_URL_ADD_MEDIA = WM_APP + 10; // wParam: the record number

inline constexpr int32_t kEntryCount = 10000;
inline constexpr size_t kEntryUrlWidth = 1000;
// The media URLs remembered as listed: 4 MB of fingerprints.
inline constexpr size_t kListedMediaUrls = size_t{1} << 19;
// The request details of the newest rows; older rows show and hand off their URL alone.
inline constexpr size_t kKeptDetailsBytes = size_t{32} << 20;

// One entry of the entry store, for record number n at index n - 1. The same
// bytes are the record handed to the download manager.
struct HandOffRecord {
    int32_t number1; // the four numbers are passed on to the download manager unchanged
    char url[kEntryUrlWidth];
    char userAgent[500];
    char accept[500];
    char acceptLanguage[500];
    char acceptEncoding[500];
    char acceptCharset[500];
    char keepAlive[500];
    int32_t number2;
    char cookie[1200];
    int32_t number3;
    char connection[1500];
    int32_t number4;
    char trailer[500]; // the Referer header
};

static_assert(sizeof(HandOffRecord) == 7216);
static_assert(offsetof(HandOffRecord, url) == 4);
static_assert(offsetof(HandOffRecord, userAgent) == 1004);
static_assert(offsetof(HandOffRecord, accept) == 1504);
static_assert(offsetof(HandOffRecord, acceptLanguage) == 2004);
static_assert(offsetof(HandOffRecord, acceptEncoding) == 2504);
static_assert(offsetof(HandOffRecord, acceptCharset) == 3004);
static_assert(offsetof(HandOffRecord, keepAlive) == 3504);
static_assert(offsetof(HandOffRecord, number2) == 4004);
static_assert(offsetof(HandOffRecord, cookie) == 4008);
static_assert(offsetof(HandOffRecord, number3) == 5208);
static_assert(offsetof(HandOffRecord, connection) == 5212);
static_assert(offsetof(HandOffRecord, number4) == 6712);
static_assert(offsetof(HandOffRecord, trailer) == 6716);

// `url` and the headers of `details`, each cut to its field and ended by a NUL.
HandOffRecord EntryFor(std::string_view url, const RequestDetails &details);

// The tab that shows each list.
enum UrlList : int {
    kMediaFilesList = 0,
    kAllList = 1,
};

inline constexpr char kMediaFilesCaption[] = "Media Files";
inline constexpr char kAllCaption[] = "All";
inline constexpr char kBufferFullStatus[] = "Buffer is full.";

struct UrlRow {
    std::string extension; // column 0
    std::string url;       // column 1
    std::string third;     // column 2: the content type, or the record number in limited-buffer mode
    uint64_t key = 0;      // names the row's details in its UrlStore; 0 for none
};

class UrlListView {
public:
    virtual ~UrlListView() = default;
    // Appends the row after the list's last one and scrolls it into view.
    virtual void appendRow(UrlList list, const UrlRow &row) = 0;
    virtual void clearList(UrlList list) = 0;
    virtual void setCaption(UrlList list, const std::string &caption) = 0;
    // The third part of the status bar.
    virtual void setStatus(const std::string &text) = 0;
};

class UrlStore {
public:
    // Reads the buffer mode and AutoDownload from `settings` on every record,
    // so a change of options applies from the next record on. The details of
    // the newest rows are kept within `keptDetailsBytes`, and those of the
    // newest record however large; a view that is done with each row as it
    // comes needs no more.
    UrlStore(const Settings &settings, UrlListView &view, size_t keptDetailsBytes = kKeptDetailsBytes);

    // WM_COPYDATA with a record from the capture library (always TRUE), and
    // the three private messages. 0 for any other message.
    intptr_t handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);

    // The Clear command: both lists, the counters, the status text, the captions.
    void clear();
    // The start of a capture empties the "All" list alone, and forgets the
    // statistics of the capture before.
    void clearAllList();

    // Called with the hand-off URL for every WM_URL_HANDOFF; handOffDetails()
    // then holds its details.
    void onHandOff(std::function<void(const std::string &)> callback) { handOff_ = std::move(callback); }
    // Called with every statistics record, and with nothing when they are forgotten.
    using StatisticsCallback = std::function<void(const std::optional<quillnet::CaptureStatistics> &)>;
    void onStatistics(StatisticsCallback callback) { statisticsCallback_ = std::move(callback); }

    int32_t recordCount() const { return recordCount_; }
    int32_t httpRecordCount() const { return httpRecordCount_; }
    int32_t mediaCount() const { return mediaCount_; }
    const std::string &currentUrl() const { return currentUrl_; }
    const std::string &currentContentType() const { return currentContentType_; }
    const std::string &currentExtension() const { return currentExtension_; }
    const std::string &handOffUrl() const { return handOffUrl_; }
    const RequestDetails *handOffDetails() const { return details_.find(handOffKey_); }
    // The last statistics record of the capture; nothing before the first.
    const std::optional<quillnet::CaptureStatistics> &captureStatistics() const { return statistics_; }

    // Entry `number` of the entry store; null for a number outside 1 to 10,000.
    // Records are entered in limited-buffer mode alone: only its rows name an entry.
    const HandOffRecord *entry(int64_t number) const;
    // Entry `number` when `row` was entered there; null otherwise, as for a row
    // listed in no-limit mode whose content type begins with digits.
    const HandOffRecord *entryOf(const UrlRow &row, int64_t number) const;
    // Whether that entry's URL had to be cut to fit its field.
    bool entryUrlCut(int64_t number) const;
    // The details of the request behind a row of either list, in both buffer
    // modes; null when none are kept (forgotten to bound memory).
    const RequestDetails *details(const UrlRow &row) const;
    // The request behind a row as far as it is still known: its details, else
    // the headers of entry `number` when the row was entered there, else its URL.
    RequestDetails request(const UrlRow &row, int64_t number) const;

private:
    struct FreeEntries {
        void operator()(HandOffRecord *entries) const;
    };

    void receive(const COPYDATASTRUCT &copy);
    void receiveLongHttpUrl(const COPYDATASTRUCT &copy, RequestDetails &&headers);
    void receiveHttpUrl(std::string_view contentType, RequestDetails &&headers);
    void receiveSendInfo(const quillnet::SendInfo &record);
    void receiveUrlText(std::string_view text);
    void receiveStatistics(const quillnet::CaptureStatistics &statistics);
    void addAllRow(RequestDetails &&details);
    bool listedAsMedia() const;
    void mediaStep();
    void fillEntry(int32_t number, uint64_t key, const RequestDetails &details);
    const UrlRow &rowFor(uintptr_t number);
    const std::string &caption(const char *name, int32_t count);
    void onAddAll(uintptr_t number);
    void onAddMedia(uintptr_t number);
    bool noLimit() const { return settings_.NoLimitBufferSize != 0; }

    const Settings &settings_;
    UrlListView &view_;
    std::function<void(const std::string &)> handOff_;
    StatisticsCallback statisticsCallback_;
    std::optional<quillnet::CaptureStatistics> statistics_;

    std::string currentUrl_;
    std::string currentContentType_;
    std::string currentExtension_;
    std::string handOffUrl_;
    UrlRow row_;          // the row handed to the view
    std::string caption_; // the caption handed to the view
    int32_t recordCount_ = 0;
    int32_t httpRecordCount_ = 0;
    int32_t mediaCount_ = 0;
    bool bufferFullShown_ = false;

    // The headers of the URL record to come; any other record drops them.
    std::optional<RequestDetails> pendingHeaders_;
    DetailsHistory details_;
    uint64_t currentKey_ = 0;
    uint64_t handOffKey_ = 0;

    // The URLs of the "Media Files" list, so the duplicate test does not walk
    // the list; past its capacity, the least recent are forgotten.
    UrlFingerprints mediaUrls_{kListedMediaUrls};
    // Zero pages until touched: only the entries in use take memory.
    std::unique_ptr<HandOffRecord[], FreeEntries> entries_;
    std::vector<bool> entryUrlCut_ = std::vector<bool>(kEntryCount);
    // The details key of each entry's record, so that only its row takes it.
    std::vector<uint64_t> entryKeys_ = std::vector<uint64_t>(kEntryCount);
};

}
