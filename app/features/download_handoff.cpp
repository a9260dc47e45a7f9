// Hand-off to the download manager: the records, and the window's three ways
// of sending them.
#include "download_handoff.h"

#include "desktop.h"
#include "main_dialog.h"
#include "text.h"

namespace tarvolin {

namespace {

constexpr int kDecimalBase = 10;

}

std::string DroppedHandOffsStatus(uint64_t dropped)
{
    if (dropped == 0)
        return {};
    return "Hand-off: " + std::to_string(dropped) + (dropped == 1 ? " URL" : " URLs") +
           " not handed over: the download manager is not answering";
}

int64_t RowEntryNumber(const UrlRow &row)
{
    int64_t number = 0;
    for (char digit : Trim(row.third)) {
        if (digit < '0' || digit > '9' || number > kEntryCount)
            break;
        number = number * kDecimalBase + (digit - '0');
    }
    return number;
}

std::optional<HandOffRecord> DetailsRecord(std::string_view url, const RequestDetails &details)
{
    if (url.size() >= kEntryUrlWidth)
        return std::nullopt;
    return EntryFor(url, details);
}

std::optional<HandOffRecord> UrlOnlyRecord(std::string_view url)
{
    return DetailsRecord(url, {});
}

std::optional<HandOffRecord> RowRecord(const UrlRow &row, const UrlStore &store, bool noLimit)
{
    if (!noLimit) {
        const int64_t number = RowEntryNumber(row);
        if (const HandOffRecord *entry = store.entryOf(row, number))
            return store.entryUrlCut(number) ? std::nullopt : std::optional(*entry);
    }
    if (const RequestDetails *details = store.details(row))
        return DetailsRecord(Trim(details->url), *details);
    return UrlOnlyRecord(Trim(row.url));
}

std::optional<HandOffRecord> AutomaticRecord(const std::string &url, const UrlStore &store)
{
    const RequestDetails *details = store.handOffDetails();
    return details && details->url == url ? DetailsRecord(url, *details) : UrlOnlyRecord(url);
}

// The first selected row for a plain download, or every one for an immediate
// download; rows whose URL does not fit are left out and named.
void CMainDlg::handOffSelected(bool immediately)
{
    std::vector<int> rows = selectedRows(currentList());
    if (rows.empty() && !immediately)
        return;
    if (!immediately)
        rows.resize(1);
    if (HandsOffToAria2(settings_)) {
        handOffSelectedToAria2(rows);
        return;
    }
    if (!handOff_.receiverListening()) {
        services_.desktop.inform(this, QString::fromLatin1(kPleaseRunDownloadManager));
        return;
    }
    std::vector<HandOffMessage> messages;
    bool tooLong = false;
    for (int row : rows) {
        const std::optional<HandOffRecord> record =
            RowRecord(model(currentList()).row(row), store_, settings_.NoLimitBufferSize != 0);
        if (record)
            messages.push_back({immediately ? kHandOffImmediate : kHandOffPlain, *record});
        tooLong = tooLong || !record;
    }
    if (tooLong)
        services_.desktop.inform(this, QString::fromLatin1(kUrlTooLong));
    if (messages.empty())
        return;
    handOff_.send(std::move(messages), [this](HandOffResult result) {
        if (result != HandOffResult::Delivered)
            services_.desktop.inform(this, QString::fromLatin1(kPleaseRunDownloadManager));
    });
}

// Never a dialog: the capture goes on. URLs let go are counted in the status bar.
void CMainDlg::handOffAutomatically(const std::string &url)
{
    if (HandsOffToAria2(settings_)) {
        handOffAutomaticallyToAria2(url);
        return;
    }
    if (handOff_.waitingSends() >= kMostWaitingHandOffs) {
        countDroppedHandOff();
        return;
    }
    if (!handOff_.receiverListening())
        return;
    const std::optional<HandOffRecord> record = AutomaticRecord(url, store_);
    if (!record)
        return;
    // The manager may stop answering after it was seen listening.
    handOff_.send({{kHandOffImmediate, *record}}, [this](HandOffResult result) {
        if (result != HandOffResult::Delivered)
            countDroppedHandOff();
    });
}

void CMainDlg::countDroppedHandOff()
{
    ++handOffsDropped_;
    showStatistics();
}

}
