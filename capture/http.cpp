#include "http.h"

#include <string_view>

#include "header_lines.h"
#include "log_texts.h"
#include "notifications.h"
#include "pending_table.h"
#include "request_headers.h"
#include "rtmp.h"

namespace quillnet {

namespace {

// Longest host and content type kept, as the fixed record's fields hold them.
constexpr size_t kHostLimit = sizeof(HttpUrlRecord::host);
constexpr size_t kContentTypeLimit = sizeof(HttpUrlRecord::contentType);
// What the requests waiting for their answers keep together: paths up to
// 8 KB and their headers; beyond it the oldest are given up.
constexpr size_t kMaxPendingRequestBytes = 64 * 1024 * 1024;

constexpr std::string_view kGetMethod = "GET ";
// "GET " before the target and " HTTP/1.1" after it.
constexpr size_t kGetTargetStart = kGetMethod.size();
constexpr size_t kGetLineOverhead = kRequestLineLimit - kMaxRequestTargetLength;
// Longest User-Agent and Referer values taken as well formed; they are not kept.
constexpr size_t kUnkeptValueLimit = 500;

constexpr std::string_view kHttpScheme = "http://";
constexpr std::string_view kHttpsScheme = "https://";
constexpr uint16_t kHttpPort = 80;
constexpr uint16_t kHttpsPort = 443;

constexpr char kIcyDefaultContentType[] = "audio/mpeg";
// "HTTP/1.1 200": the status code after the version and a blank.
constexpr size_t kStatusCodeOffset = 9;

enum class HeaderAction { StartRequest, Host, UserAgent, Referer, None };

struct HeaderRow {
    std::string_view name;
    const char *foundLog; // null: not logged
    HeaderAction action;
    RequestHeader kept;   // 0: not kept
};

const HeaderRow kStartRow = {"GET", logtext::kFoundGet, HeaderAction::StartRequest, RequestHeader{}};

const HeaderRow kRequestHeaderRows[] = {
    {"Host:", logtext::kFoundHost, HeaderAction::Host, RequestHeader{}},
    {"User-Agent:", logtext::kFoundUserAgent, HeaderAction::UserAgent, kHeaderUserAgent},
    {"Accept-Language:", logtext::kFoundAcceptLanguage, HeaderAction::None, kHeaderAcceptLanguage},
    {"Accept-Encoding:", logtext::kFoundAcceptEncoding, HeaderAction::None, kHeaderAcceptEncoding},
    {"Accept-Charset:", logtext::kFoundAcceptCharset, HeaderAction::None, kHeaderAcceptCharset},
    {"Keep-Alive:", logtext::kFoundKeepAlive, HeaderAction::None, kHeaderKeepAlive},
    {"Cookie:", logtext::kFoundCookie, HeaderAction::None, kHeaderCookie},
    {"Referer:", logtext::kFoundReferer, HeaderAction::Referer, kHeaderReferer},
    {"Connection:", logtext::kFoundConnection, HeaderAction::None, kHeaderConnection},
    {"Accept:", logtext::kFoundAccept, HeaderAction::None, kHeaderAccept},
    {"Origin:", nullptr, HeaderAction::None, kHeaderOrigin},
};

// A header block whose end has not arrived yet: the request's lines go on
// applying to the connection's newest request; a response's record waits to
// be sent until its Content-Type or the block's end is read.
struct UnfinishedBlock {
    bool response = false;
    uint32_t nextSequence = 0;
    std::string partialLine; // bytes of a line whose end has not arrived
    bool methodOnly = false; // only the start of "GET " came: given up unless the rest follows
    // A response's: the URL it answers, and its content type so far.
    int32_t port = 0;
    std::string host;
    PendingRequest request;
    std::string contentType;
    bool icy = false;
    bool secure = false; // the URL is https
};

using RequestItem = PendingTable<PendingRequest>::Item;

PendingTable<PendingRequest> requestTable(kMostPendingRequests);
PendingTable<UnfinishedBlock> unfinishedBlocks(kMostUnfinishedBlocks);

// Sequence numbers wrap: `a` is at or before `b` when the distance forward is under half the space.
bool atOrBefore(uint32_t a, uint32_t b)
{
    return static_cast<int32_t>(b - a) >= 0;
}

const HeaderRow *requestHeaderRow(ByteView line)
{
    // The method is case-sensitive; header names are not.
    if (line.startsWith(kStartRow.name))
        return &kStartRow;
    for (const HeaderRow &row : kRequestHeaderRows) {
        if (StartsWithIgnoringCase(line, row.name))
            return &row;
    }
    return nullptr;
}

int length(ByteView bytes)
{
    return static_cast<int>(bytes.size());
}

bool valueFits(ByteView value, size_t limit)
{
    return !value.empty() && value.size() < limit;
}

// Texts as a fixed field would keep them: up to the first NUL.
std::string fieldText(ByteView bytes)
{
    const std::string_view text = bytes.text();
    return std::string(text.substr(0, text.find('\0')));
}

// A target that is a whole URL, as clients send to a proxy: its host (lower
// case), port and path go in place of the Host line's. The target may be the
// request's own path, so it is read whole before any field is assigned.
void takeAbsoluteTarget(std::string_view target, PendingRequest &request)
{
    const bool secure = StartsWithIgnoringCase(ByteView(target), kHttpsScheme);
    if (!secure && !StartsWithIgnoringCase(ByteView(target), kHttpScheme))
        return;
    const std::string_view rest = target.substr(secure ? kHttpsScheme.size() : kHttpScheme.size());
    const size_t slash = rest.find('/');
    const std::string_view authority = rest.substr(0, slash);
    int32_t port = secure ? kHttpsPort : kHttpPort;
    const size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
        int digits = 0;
        for (const char c : authority.substr(colon + 1))
            digits = c >= '0' && c <= '9' && digits < 65536 ? digits * 10 + (c - '0') : -1;
        if (digits > 0)
            port = digits;
    }
    std::string host = LowerAscii(authority);
    std::string path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
    request.host = std::move(host);
    request.path = std::move(path);
    request.hostFromTarget = true;
    request.secure = secure;
    request.targetPort = port;
}

// What a waiting request keeps, for the table's bound.
size_t keptBytes(const PendingRequest &request)
{
    return request.path.capacity() + request.host.capacity() + request.headers.heldBytes();
}

// Charges what the request keeps now; past the bound the oldest others are given up.
void charge(RequestItem &item)
{
    requestTable.charge(item, keptBytes(item.entry));
    while (requestTable.bytes() > kMaxPendingRequestBytes && requestTable.oldestOfAll() != &item)
        requestTable.evictOldest();
}

// A request whose target cannot make a URL (too long, empty, holding a NUL)
// still answers its response, which then gives no row.
RequestItem *startRequestFor(const Frame &frame, ByteView target, bool readable)
{
    RequestItem &item = requestTable.add(frame.flow());
    PendingRequest &request = item.entry;
    request.serverSequence = frame.tcp.acknowledgement;
    request.dropped = !readable || target.empty() || target.find(std::string_view("\0", 1)) != ByteView::npos;
    if (request.dropped) {
        SendLog(frame.window, logtext::kBadPathLength, length(target));
    } else {
        request.path = std::string(target.text());
        takeAbsoluteTarget(target.text(), request);
    }
    charge(item);
    return &item;
}

RequestItem *startRequest(const Frame &frame, ByteView line, bool readable = true)
{
    const size_t targetLength = line.size() > kGetLineOverhead ? line.size() - kGetLineOverhead : 0;
    return startRequestFor(frame, line.sub(kGetTargetStart, targetLength), readable);
}

void examineRequestLine(const Frame &frame, ByteView line, RequestItem *&item)
{
    const HeaderRow *row = requestHeaderRow(line);
    if (!row)
        return;
    if (row->foundLog)
        SendLogText(frame.window, row->foundLog);
    if (row->action == HeaderAction::StartRequest) {
        item = startRequest(frame, line);
        return;
    }
    if (!item)
        return;
    PendingRequest *request = &item->entry;
    const ByteView value = HeaderValue(line);
    if (row->kept) {
        request->headers.add(row->kept, value);
        charge(*item);
    }
    switch (row->action) {
    case HeaderAction::Host:
        if (request->hostFromTarget)
            break;
        // A Host that cannot be kept leaves the server named by its address, never an empty host.
        if (valueFits(value, kHostLimit)) {
            request->host = fieldText(value);
            charge(*item);
        } else {
            SendLog(frame.window, logtext::kBadHostLength, length(value));
        }
        break;
    case HeaderAction::UserAgent:
        if (!valueFits(value, kUnkeptValueLimit))
            SendLog(frame.window, logtext::kBadUserAgentLength, length(value));
        break;
    case HeaderAction::Referer:
        if (!valueFits(value, kUnkeptValueLimit))
            SendLog(frame.window, logtext::kBadRefererLength, length(value));
        break;
    case HeaderAction::StartRequest:
    case HeaderAction::None:
        break;
    }
}

// How far reading a header block got.
struct BlockReading {
    bool ended = false;  // its empty line, or a line too long to read, was reached
    size_t unread = 0;   // offset of the first byte of a line not yet ended
};

BlockReading readRequestLines(const Frame &frame, ByteView bytes, RequestItem *request)
{
    HeaderLineReader lines(bytes, kRequestLineLimit);
    while (const auto line = lines.next()) {
        if (request)
            request->entry.sequenceEnd = frame.tcp.sequence + static_cast<uint32_t>(frame.payload.size());
        // The empty line that ends a block whose other lines came in earlier segments.
        if (line->empty()) {
            if (!bytes.sub(lines.position()).startsWith(kGetMethod))
                return {true, lines.position()};
            continue;
        }
        examineRequestLine(frame, *line, request);
        if (!lines.atEndOfHeaders())
            continue;
        // Another request may follow at once (pipelining); anything else is a body.
        const size_t next = lines.position() + (bytes.byteIs(lines.position(), '\r') ? 2 : 1);
        if (!bytes.sub(next).startsWith(kGetMethod))
            return {true, next};
        lines.next();
    }
    const ByteView unread = bytes.sub(lines.position());
    const bool tooLong = unread.size() > kRequestLineLimit;
    if (tooLong && unread.startsWith(kGetMethod)) {
        // Read no further than the bound, but answered all the same.
        size_t lineLength = std::min(unread.find("\n"), unread.size());
        if (lineLength > 0 && unread.byteIs(lineLength - 1, '\r'))
            --lineLength;
        auto *dropped = startRequest(frame, unread.sub(0, lineLength), false);
        dropped->entry.sequenceEnd = frame.tcp.sequence + static_cast<uint32_t>(frame.payload.size());
    }
    return {tooLong, lines.position()};
}

// Reads response lines, through the body if need be, up to the first
// Content-Type line; `ended` also when that line was found.
BlockReading readResponseLines(const Frame &frame, ByteView bytes, std::string &contentType, bool &sawContentType)
{
    BlockReading reading;
    // A long header line (a content security policy, a cookie) is no reason to
    // miss the Content-Type after it.
    HeaderLineReader lines(bytes, kResponseLineLimit, LongLines::PassOver);
    while (const auto line = lines.next()) {
        // The empty line may open a segment of its own.
        if (line->empty() || lines.atEndOfHeaders())
            reading.ended = true;
        SendLog(frame.window, logtext::kResponseHeader, line->text());
        if (!StartsWithIgnoringCase(*line, "Content-Type:"))
            continue;
        SendLog(frame.window, logtext::kFoundContentType, line->text(), length(*line));
        const ByteView value = HeaderValue(*line);
        if (valueFits(value, kContentTypeLimit)) {
            contentType = fieldText(value);
            SendLog(frame.window, logtext::kContentTypeValue, contentType.c_str());
        } else {
            SendLog(frame.window, logtext::kBadContentTypeLength, length(value));
        }
        sawContentType = true;
        return {true, lines.position()};
    }
    reading.unread = lines.position();
    reading.ended = reading.ended || reading.unread + kResponseLineLimit < bytes.size();
    return reading;
}

// Whether `payload` starts with the status line of an interim response: 1xx,
// except 101 Switching Protocols, which is the last answer HTTP gives.
bool startsInterimResponse(ByteView payload)
{
    if (!payload.startsWith(kHttpVersionPrefix))
        return false;
    const auto digit = [&](size_t index) {
        const uint8_t byte = payload.u8(kStatusCodeOffset + index).value_or(0);
        return byte >= '0' && byte <= '9' ? std::optional<char>(static_cast<char>(byte)) : std::nullopt;
    };
    const auto first = digit(0);
    const auto second = digit(1);
    const auto third = digit(2);
    if (!payload.byteIs(kStatusCodeOffset - 1, ' ') || first != '1' || !second || !third)
        return false;
    return !(second == '0' && third == '1');
}

// The length of the whole interim responses at the start of `payload`; an
// interim response cut by the segment's end counts whole.
size_t interimResponsesLength(ByteView payload)
{
    size_t length = 0;
    while (startsInterimResponse(payload.sub(length))) {
        const ByteView rest = payload.sub(length);
        const size_t crlf = rest.find("\r\n\r\n");
        const size_t lf = rest.find("\n\n");
        const size_t end = std::min(crlf == ByteView::npos ? ByteView::npos : crlf + 4,
                                    lf == ByteView::npos ? ByteView::npos : lf + 2);
        if (end == ByteView::npos)
            return payload.size();
        length += end;
    }
    return length;
}

void sendResponse(HWND window, UnfinishedBlock &block, bool sawContentType)
{
    if (block.request.dropped)
        return;
    if (!sawContentType && block.icy)
        block.contentType = kIcyDefaultContentType;
    SendHttpUrl(window, {block.port, block.secure, block.host, block.request.path, block.contentType},
                block.request.headers);
}

// The request a response on `responseFlow` answers: of those whose bytes its
// acknowledgement covers and whose asking followed everything the server had
// sent before it, the latest asked, the oldest of them when several asked at the
// same point (pipelining). Requests older than it have had their answers, unseen,
// and are dropped. Without such a request (numbers that make no sense), the oldest.
PendingTable<PendingRequest>::Item *takeAnsweredRequest(const Frame &frame, const Flow &requestFlow)
{
    PendingTable<PendingRequest>::Item *chosen = nullptr;
    int skip = 0;
    int position = 0;
    requestTable.forEachOn(requestFlow, [&](PendingTable<PendingRequest>::Item &item) {
        const PendingRequest &request = item.entry;
        const bool covered = atOrBefore(request.sequenceEnd, frame.tcp.acknowledgement) &&
                             atOrBefore(request.serverSequence, frame.tcp.sequence);
        if (covered && (!chosen || !atOrBefore(request.serverSequence, chosen->entry.serverSequence))) {
            chosen = &item;
            skip = position;
        }
        ++position;
    });
    for (int i = 0; i < skip; ++i)
        requestTable.removeOldest(requestFlow);
    return chosen ? chosen : requestTable.oldest(requestFlow);
}

// The answered request's URL goes with its response; `request` is taken.
void takeRequest(const Frame &frame, PendingRequest &request, UnfinishedBlock &block)
{
    block.port = request.hostFromTarget ? request.targetPort : frame.addresses.sourcePort;
    // Without a host kept from a Host line or the target, the server the request went to, by address.
    block.host = !request.host.empty()
                     ? request.host
                     : UrlHost(frame.addresses.sourceAddress, static_cast<uint16_t>(frame.addresses.sourcePort),
                               frame.secure ? kHttpsPort : kHttpPort);
    block.request = std::move(request);
}

// The unfinished block of `flow` is read as it stands: a response's record is sent.
void finishBlock(HWND window, const Flow &flow)
{
    auto *item = unfinishedBlocks.oldest(flow);
    if (!item)
        return;
    if (item->entry.response)
        sendResponse(window, item->entry, false);
    unfinishedBlocks.removeOldest(flow);
}

void keepUnfinished(Frame &frame, UnfinishedBlock block, ByteView rest)
{
    if (unfinishedBlocks.size() >= kMostUnfinishedBlocks)
        finishBlock(frame.window, unfinishedBlocks.oldestOfAll()->flow);
    block.partialLine = std::string(rest.text());
    block.nextSequence = frame.tcp.sequence + static_cast<uint32_t>(frame.payload.size());
    unfinishedBlocks.add(frame.flow()).entry = std::move(block);
}

bool closes(const Frame &frame)
{
    return (frame.tcp.flags & (kTcpFin | kTcpRst)) != 0;
}

}

void ResetRequestTable()
{
    requestTable.clear();
    unfinishedBlocks.clear();
}

const PendingRequest *FindPendingRequest(int number)
{
    const auto *item = requestTable.find(number);
    return item ? &item->entry : nullptr;
}

size_t PendingRequestCount()
{
    return requestTable.size();
}

uint64_t EvictedRequestCount()
{
    return requestTable.evictions();
}

bool StartsRequest(ByteView payload)
{
    // A client may send the method in pieces ("GE", then "T /...").
    return payload.startsWith(kGetMethod) ||
           (!payload.empty() && payload.size() < kGetMethod.size() && ByteView(kGetMethod).startsWith(payload.text()));
}

void HandleHttpRequest(Frame &frame)
{
    finishBlock(frame.window, frame.flow());
    const BlockReading reading = readRequestLines(frame, frame.payload, nullptr);
    if (reading.ended || closes(frame))
        return;
    UnfinishedBlock block;
    block.methodOnly = frame.payload.size() < kGetMethod.size();
    keepUnfinished(frame, std::move(block), frame.payload.sub(reading.unread));
}

void HandleHttpResponse(Frame &frame)
{
    finishBlock(frame.window, frame.flow());
    // A 100 Continue or 103 Early Hints answers nothing yet: the request waits
    // for its final response, which may follow in the same segment.
    const size_t interim = interimResponsesLength(frame.payload);
    frame.payload = frame.payload.sub(interim);
    frame.tcp.sequence += static_cast<uint32_t>(interim);
    if (!StartsResponse(frame.payload))
        return;
    SendLogText(frame.window, logtext::kFoundResponse);
    if (!frame.secure)
        NoteHttpResponseFlow(frame.flow());
    // Answers travel the other way of the request's connection.
    const Flow requestFlow = frame.flow().reversed();
    auto *answered = takeAnsweredRequest(frame, requestFlow);
    if (!answered)
        return;
    SendLog(frame.window, logtext::kResponseSlot, answered->number);

    UnfinishedBlock block;
    block.response = true;
    block.icy = frame.payload.startsWith(kIcyStatusPrefix);
    block.secure = frame.secure || answered->entry.secure;
    takeRequest(frame, answered->entry, block);
    requestTable.removeOldest(requestFlow);

    bool sawContentType = false;
    const BlockReading reading = readResponseLines(frame, frame.payload, block.contentType, sawContentType);
    if (reading.ended || closes(frame))
        sendResponse(frame.window, block, sawContentType);
    else
        keepUnfinished(frame, std::move(block), frame.payload.sub(reading.unread));
}

bool ContinueHttpBlock(Frame &frame)
{
    if (unfinishedBlocks.size() == 0)
        return false;
    const Flow flow = frame.flow();
    auto *item = unfinishedBlocks.oldest(flow);
    if (!item)
        return false;
    UnfinishedBlock &block = item->entry;
    const uint32_t sequence = frame.tcp.sequence;
    // A copy of bytes already read.
    if (!frame.payload.empty() && atOrBefore(sequence + static_cast<uint32_t>(frame.payload.size()), block.nextSequence))
        return true;
    if (sequence != block.nextSequence || frame.payload.empty()) {
        // A gap, or the connection's end: the block is read as it stands.
        if (sequence != block.nextSequence || closes(frame))
            finishBlock(frame.window, flow);
        return false;
    }

    const std::string joined = block.partialLine + std::string(frame.payload.text());
    const ByteView bytes{std::string_view(joined)};
    if (block.methodOnly && !StartsRequest(bytes)) {
        // Not a request after all: the frame is read as any other.
        unfinishedBlocks.removeOldest(flow);
        return false;
    }
    block.methodOnly = block.methodOnly && bytes.size() < kGetMethod.size();
    BlockReading reading;
    bool sawContentType = false;
    if (block.response)
        reading = readResponseLines(frame, bytes, block.contentType, sawContentType);
    else
        reading = readRequestLines(frame, bytes, requestTable.newest(flow));
    if (reading.ended || closes(frame)) {
        if (block.response)
            sendResponse(frame.window, block, sawContentType);
        unfinishedBlocks.removeOldest(flow);
        return true;
    }
    block.partialLine = joined.substr(reading.unread);
    block.nextSequence = sequence + static_cast<uint32_t>(frame.payload.size());
    return true;
}

void FinishHttpBlocks(HWND window)
{
    while (const auto *item = unfinishedBlocks.oldestOfAll())
        finishBlock(window, item->flow);
}

}
