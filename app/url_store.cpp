#include "url_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "capture_statistics.h"
#include "media_classification.h"
#include "text.h"

namespace tarvolin {

namespace {

constexpr intptr_t kTrue = 1;
constexpr int32_t kHttpDefaultPort = 80;
constexpr int32_t kHttpsDefaultPort = 443;
constexpr char kHttpScheme[] = "http://";
constexpr char kHttpsScheme[] = "https://";
constexpr char kPortSeparator = ':';
constexpr char kRtmpExtension[] = ".flv";
constexpr char kPlaypathLabel[] = "<playpath>";
constexpr char kSwfUrlLabel[] = " <swfUrl>";
constexpr char kPageUrlLabel[] = " <pageUrl>";

template <size_t N>
std::string_view field(const char (&text)[N])
{
    return FixedText(text, N);
}

std::string caption(const char *name, int32_t count)
{
    return std::string(name) + " (" + std::to_string(count) + ")";
}

// Reads a fixed record from wherever the sender put it: lpData need not be aligned.
template <typename Record>
bool copyRecord(const COPYDATASTRUCT &copy, Record &record)
{
    if (copy.cbData < sizeof record)
        return false;
    std::memcpy(&record, copy.lpData, sizeof record);
    return true;
}

std::string webUrl(const char *scheme, int32_t defaultPort, const quillnet::HttpUrlRecord &record)
{
    const std::string_view host = field(record.host);
    const int32_t port = record.port;
    std::string url = scheme + std::string(host);
    const std::string portText = std::to_string(port);
    // A Host line may already name the port; the test is a plain substring search.
    if (port != defaultPort && host.find(kPortSeparator + portText) == std::string_view::npos)
        url += kPortSeparator + portText;
    return url + std::string(field(record.path));
}

}

void UrlStore::FreeEntries::operator()(HandOffRecord *entries) const
{
    std::free(entries);
}

UrlStore::UrlStore(const Settings &settings, UrlListView &view)
    : settings_(settings), view_(view),
      entries_(static_cast<HandOffRecord *>(std::calloc(kEntryCount, sizeof(HandOffRecord))))
{
    if (!entries_)
        throw std::bad_alloc();
}

intptr_t UrlStore::handleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message) {
    case WM_COPYDATA:
        if (lParam != 0)
            receive(*reinterpret_cast<const COPYDATASTRUCT *>(lParam));
        return kTrue;
    case WM_URL_ADD_ALL:
        onAddAll(wParam);
        return 0;
    case WM_URL_ADD_MEDIA:
        onAddMedia(wParam);
        return 0;
    case WM_URL_HANDOFF:
        if (handOff_)
            handOff_(handOffUrl_);
        return 0;
    default:
        return 0;
    }
}

void UrlStore::receive(const COPYDATASTRUCT &copy)
{
    if (!copy.lpData)
        return;
    switch (copy.dwData) {
    case quillnet::kKindHttpUrl: {
        quillnet::HttpUrlRecord record;
        if (copyRecord(copy, record))
            receiveHttpUrl(record, webUrl(kHttpScheme, kHttpDefaultPort, record));
        return;
    }
    case quillnet::kKindHttpsUrl: {
        quillnet::HttpUrlRecord record;
        if (copyRecord(copy, record))
            receiveHttpUrl(record, webUrl(kHttpsScheme, kHttpsDefaultPort, record));
        return;
    }
    case quillnet::kKindSendInfo: {
        quillnet::SendInfo record;
        if (copyRecord(copy, record))
            receiveSendInfo(record);
        return;
    }
    case quillnet::kKindUrlText:
        receiveUrlText(FixedText(static_cast<const char *>(copy.lpData), copy.cbData));
        return;
    case quillnet::kKindCaptureStatistics:
        if (const auto statistics = ReadCaptureStatistics(copy))
            receiveStatistics(*statistics);
        return;
    default: // log lines and unknown kinds are dropped
        return;
    }
}

void UrlStore::receiveHttpUrl(const quillnet::HttpUrlRecord &record, std::string url)
{
    ++httpRecordCount_;
    currentUrl_ = std::move(url);
    currentContentType_ = ToLower(Trim(field(record.contentType)));
    currentExtension_ = ContentTypeExtension(currentContentType_);
    addAllRow();
    const std::string pathExtension = ToLower(PathExtension(currentUrl_));
    if (listedAsMedia() || IsStreamSegment(pathExtension, currentContentType_))
        return;
    if (!pathExtension.empty() && IsMediaExtension(pathExtension)) {
        currentExtension_ = pathExtension;
        mediaStep();
        return;
    }
    // A page's own extension outweighs whatever content type the server claimed.
    if (!pathExtension.empty() && IsPageExtension(pathExtension))
        return;
    if (!currentExtension_.empty())
        mediaStep();
}

void UrlStore::receiveSendInfo(const quillnet::SendInfo &record)
{
    currentUrl_ = std::string(field(record.tcUrl)) + kPlaypathLabel + std::string(field(record.playpath)) +
                  kSwfUrlLabel + std::string(field(record.swfUrl)) + kPageUrlLabel +
                  std::string(field(record.pageUrl));
    currentExtension_ = kRtmpExtension;
    currentContentType_.clear();
    addAllRow();
    if (!listedAsMedia())
        mediaStep();
}

void UrlStore::receiveUrlText(std::string_view text)
{
    currentUrl_ = text;
    currentContentType_.clear();
    currentExtension_ = ToLower(PathExtension(currentUrl_));
    addAllRow();
    if (!listedAsMedia())
        mediaStep();
}

void UrlStore::receiveStatistics(const quillnet::CaptureStatistics &statistics)
{
    statistics_ = statistics;
    if (statisticsCallback_)
        statisticsCallback_(statistics_);
}

void UrlStore::addAllRow()
{
    ++recordCount_;
    fillEntry(recordCount_);
    handleMessage(WM_URL_ADD_ALL, static_cast<uintptr_t>(recordCount_), 0);
}

bool UrlStore::listedAsMedia() const
{
    return mediaUrls_.contains(currentUrl_);
}

void UrlStore::mediaStep()
{
    ++mediaCount_;
    handleMessage(WM_URL_ADD_MEDIA, static_cast<uintptr_t>(recordCount_), 0);
    if (settings_.AutoDownload == 0)
        return;
    handOffUrl_ = currentUrl_;
    handleMessage(WM_URL_HANDOFF, 0, 0);
}

void UrlStore::fillEntry(int32_t number)
{
    if (number < 1 || number > kEntryCount)
        return;
    HandOffRecord &target = entries_[static_cast<size_t>(number - 1)];
    target = HandOffRecord{};
    const size_t length = std::min(currentUrl_.size(), kEntryUrlWidth - 1);
    std::memcpy(target.url, currentUrl_.data(), length);
    entryUrlCut_[static_cast<size_t>(number - 1)] = length < currentUrl_.size();
}

bool UrlStore::entryUrlCut(int64_t number) const
{
    return entry(number) && entryUrlCut_[static_cast<size_t>(number - 1)];
}

const HandOffRecord *UrlStore::entry(int64_t number) const
{
    if (number < 1 || number > kEntryCount)
        return nullptr;
    return &entries_[static_cast<size_t>(number - 1)];
}

// No-limit rows come from the current record; limited-buffer rows from the
// numbered entry, or from the current URL once the numbers pass the store.
UrlRow UrlStore::rowFor(uintptr_t number) const
{
    if (noLimit())
        return {currentExtension_, currentUrl_, currentContentType_};
    const HandOffRecord *stored = entry(static_cast<int64_t>(number));
    return {currentExtension_, stored ? std::string(field(stored->url)) : currentUrl_, std::to_string(number)};
}

void UrlStore::onAddAll(uintptr_t number)
{
    if (number == 0)
        return;
    view_.appendRow(kAllList, rowFor(number));
    view_.setCaption(kAllList, caption(kAllCaption, noLimit() ? recordCount_ : httpRecordCount_));
    if (!noLimit() && httpRecordCount_ == kEntryCount && !bufferFullShown_) {
        view_.setStatus(kBufferFullStatus);
        bufferFullShown_ = true;
    }
}

void UrlStore::onAddMedia(uintptr_t number)
{
    if (noLimit() || number != 0) {
        view_.appendRow(kMediaFilesList, rowFor(number));
        mediaUrls_.insert(currentUrl_);
    }
    view_.setCaption(kMediaFilesList, caption(kMediaFilesCaption, mediaCount_));
}

void UrlStore::clear()
{
    view_.clearList(kMediaFilesList);
    view_.clearList(kAllList);
    mediaUrls_.clear();
    recordCount_ = 0;
    httpRecordCount_ = 0;
    mediaCount_ = 0;
    bufferFullShown_ = false;
    view_.setStatus("");
    view_.setCaption(kMediaFilesList, kMediaFilesCaption);
    view_.setCaption(kAllList, kAllCaption);
}

void UrlStore::clearAllList()
{
    view_.clearList(kAllList);
    statistics_.reset();
    if (statisticsCallback_)
        statisticsCallback_(statistics_);
}

}
