#include "url_store.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <utility>

#include "capture_statistics.h"
#include "header_fields.h"
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

// Reads a fixed record from wherever the sender put it: lpData need not be aligned.
template <typename Record>
bool copyRecord(const COPYDATASTRUCT &copy, Record &record)
{
    if (copy.cbData < sizeof record)
        return false;
    std::memcpy(&record, copy.lpData, sizeof record);
    return true;
}

// Written over `url`, whose buffer serves record after record.
void assignWebUrl(std::string &url, bool secure, int32_t port, std::string_view host, std::string_view path)
{
    url.assign(secure ? kHttpsScheme : kHttpScheme);
    url += host;
    const std::string portText = kPortSeparator + std::to_string(port);
    // A Host line may already name the port; the test is a plain substring search.
    if (port != (secure ? kHttpsDefaultPort : kHttpDefaultPort) && host.find(portText) == std::string_view::npos)
        url += portText;
    url += path;
}

void assignLower(std::string &target, std::string_view text)
{
    target.assign(text);
    std::transform(target.begin(), target.end(), target.begin(), LowerAscii);
}

template <size_t N>
void putText(char (&field)[N], std::string_view text)
{
    const size_t length = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

// A header value cut short would be sent as a wrong one: it goes whole or not at all.
template <size_t N>
void putWhole(char (&field)[N], std::string_view text)
{
    putText(field, text.size() < N ? text : std::string_view());
}

}

HandOffRecord EntryFor(std::string_view url, const RequestDetails &details)
{
    HandOffRecord entry{};
    putText(entry.url, url);
    putWhole(entry.userAgent, details.userAgent);
    putWhole(entry.accept, details.accept);
    putWhole(entry.acceptLanguage, details.acceptLanguage);
    putWhole(entry.acceptEncoding, details.acceptEncoding);
    putWhole(entry.acceptCharset, details.acceptCharset);
    putWhole(entry.keepAlive, details.keepAlive);
    putWhole(entry.cookie, details.cookie);
    putWhole(entry.connection, details.connection);
    putWhole(entry.trailer, details.referer);
    return entry;
}

void UrlStore::FreeEntries::operator()(HandOffRecord *entries) const
{
    std::free(entries);
}

UrlStore::UrlStore(const Settings &settings, UrlListView &view, size_t keptDetailsBytes)
    : settings_(settings), view_(view), details_(keptDetailsBytes),
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
    // Log lines change nothing; StopCapture's come from another thread and may
    // fall between headers and their URL.
    if (copy.dwData == quillnet::kKindLogText)
        return;
    // Headers belong to the URL record right after them, and to nothing else.
    // They are moved on by reference: a RequestDetails is sixteen strings.
    RequestDetails headers;
    if (pendingHeaders_) {
        headers = std::move(*pendingHeaders_);
        pendingHeaders_.reset();
    }
    if (!copy.lpData)
        return;
    switch (copy.dwData) {
    case quillnet::kKindRequestHeaders:
        pendingHeaders_ = ReadHeaderRecord(copy.lpData, copy.cbData);
        return;
    case quillnet::kKindHttpUrl:
    case quillnet::kKindHttpsUrl: {
        quillnet::HttpUrlRecord record;
        if (!copyRecord(copy, record))
            return;
        assignWebUrl(currentUrl_, copy.dwData == quillnet::kKindHttpsUrl, record.port, field(record.host),
                     field(record.path));
        receiveHttpUrl(field(record.contentType), std::move(headers));
        return;
    }
    case quillnet::kKindLongHttpUrl:
        receiveLongHttpUrl(copy, std::move(headers));
        return;
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
    default: // unknown kinds are dropped
        return;
    }
}

// The texts follow the fixed part; their lengths must lie within the record.
void UrlStore::receiveLongHttpUrl(const COPYDATASTRUCT &copy, RequestDetails &&headers)
{
    quillnet::LongHttpUrlRecord record;
    if (!copyRecord(copy, record))
        return;
    const uint64_t textLength = uint64_t{record.hostLength} + record.pathLength + record.contentTypeLength;
    if (textLength > copy.cbData - sizeof record)
        return;
    const char *host = static_cast<const char *>(copy.lpData) + sizeof record;
    const char *path = host + record.hostLength;
    const char *contentType = path + record.pathLength;
    assignWebUrl(currentUrl_, record.secure == 1, record.port, FixedText(host, record.hostLength),
                 FixedText(path, record.pathLength));
    receiveHttpUrl(FixedText(contentType, record.contentTypeLength), std::move(headers));
}

// currentUrl_ holds the record's URL.
void UrlStore::receiveHttpUrl(std::string_view contentType, RequestDetails &&headers)
{
    ++httpRecordCount_;
    assignLower(currentContentType_, Trim(contentType));
    currentExtension_ = ContentTypeExtension(currentContentType_);
    addAllRow(std::move(headers));
    const std::string pathExtension = ToLower(PathExtension(currentUrl_));
    const bool mediaExtension = IsMediaExtension(pathExtension);
    // A page's own extension outweighs whatever content type the server claimed.
    const bool media = mediaExtension || (!currentExtension_.empty() && !IsPageExtension(pathExtension));
    // The listed test last: of them all it alone reaches far into memory.
    if (!media || IsStreamSegment(pathExtension, currentContentType_) || listedAsMedia())
        return;
    if (mediaExtension)
        currentExtension_ = pathExtension;
    mediaStep();
}

void UrlStore::receiveSendInfo(const quillnet::SendInfo &record)
{
    RequestDetails details;
    details.tcUrl = field(record.tcUrl);
    details.playpath = field(record.playpath);
    details.swfUrl = field(record.swfUrl);
    details.pageUrl = field(record.pageUrl);
    currentUrl_ = details.tcUrl + kPlaypathLabel + details.playpath + kSwfUrlLabel + details.swfUrl +
                  kPageUrlLabel + details.pageUrl;
    currentExtension_ = kRtmpExtension;
    currentContentType_.clear();
    addAllRow(std::move(details));
    if (!listedAsMedia())
        mediaStep();
}

void UrlStore::receiveUrlText(std::string_view text)
{
    currentUrl_ = text;
    currentContentType_.clear();
    currentExtension_ = ToLower(PathExtension(currentUrl_));
    addAllRow({});
    if (!listedAsMedia())
        mediaStep();
}

void UrlStore::receiveStatistics(const quillnet::CaptureStatistics &statistics)
{
    statistics_ = statistics;
    if (statisticsCallback_)
        statisticsCallback_(statistics_);
}

void UrlStore::addAllRow(RequestDetails &&details)
{
    details.url = currentUrl_;
    details.contentType = currentContentType_;
    currentKey_ = details_.add(std::move(details));
    ++recordCount_;
    // Only limited-buffer rows name their entry; a no-limit row hands off from its details.
    if (!noLimit())
        fillEntry(recordCount_, currentKey_, *details_.find(currentKey_));
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
    handOffKey_ = currentKey_;
    handleMessage(WM_URL_HANDOFF, 0, 0);
}

void UrlStore::fillEntry(int32_t number, uint64_t key, const RequestDetails &details)
{
    if (number < 1 || number > kEntryCount)
        return;
    const auto index = static_cast<size_t>(number - 1);
    entries_[index] = EntryFor(details.url, details);
    entryUrlCut_[index] = details.url.size() >= kEntryUrlWidth;
    entryKeys_[index] = key;
}

bool UrlStore::entryUrlCut(int64_t number) const
{
    return entry(number) && entryUrlCut_[static_cast<size_t>(number - 1)];
}

const RequestDetails *UrlStore::details(const UrlRow &row) const
{
    return details_.find(row.key);
}

const HandOffRecord *UrlStore::entry(int64_t number) const
{
    if (number < 1 || number > kEntryCount)
        return nullptr;
    return &entries_[static_cast<size_t>(number - 1)];
}

RequestDetails UrlStore::request(const UrlRow &row, int64_t number) const
{
    if (const RequestDetails *kept = details(row))
        return *kept;
    RequestDetails request;
    request.url = row.url;
    const HandOffRecord *entry = entryOf(row, number);
    if (!entry)
        return request;
    request.userAgent = FixedText(entry->userAgent, sizeof entry->userAgent);
    request.accept = FixedText(entry->accept, sizeof entry->accept);
    request.acceptLanguage = FixedText(entry->acceptLanguage, sizeof entry->acceptLanguage);
    request.acceptEncoding = FixedText(entry->acceptEncoding, sizeof entry->acceptEncoding);
    request.acceptCharset = FixedText(entry->acceptCharset, sizeof entry->acceptCharset);
    request.keepAlive = FixedText(entry->keepAlive, sizeof entry->keepAlive);
    request.cookie = FixedText(entry->cookie, sizeof entry->cookie);
    request.connection = FixedText(entry->connection, sizeof entry->connection);
    request.referer = FixedText(entry->trailer, sizeof entry->trailer);
    return request;
}

const HandOffRecord *UrlStore::entryOf(const UrlRow &row, int64_t number) const
{
    const HandOffRecord *found = entry(number);
    return found && row.key != 0 && entryKeys_[static_cast<size_t>(number - 1)] == row.key ? found : nullptr;
}

// Limited-buffer rows carry their record number in place of the content type.
// Assigned over the last row, so the strings' buffers serve row after row.
const UrlRow &UrlStore::rowFor(uintptr_t number)
{
    row_.extension = currentExtension_;
    row_.url = currentUrl_;
    if (noLimit())
        row_.third = currentContentType_;
    else
        row_.third = std::to_string(number);
    row_.key = currentKey_;
    return row_;
}

const std::string &UrlStore::caption(const char *name, int32_t count)
{
    caption_.assign(name);
    caption_ += " (";
    char digits[std::numeric_limits<int32_t>::digits10 + 2];
    caption_.append(digits, std::to_chars(std::begin(digits), std::end(digits), count).ptr);
    caption_ += ')';
    return caption_;
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
    details_.clear();
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
