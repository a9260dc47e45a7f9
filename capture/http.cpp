#include "http.h"

#include <string_view>

#include "header_lines.h"
#include "log_texts.h"
#include "notifications.h"
#include "pending_table.h"

namespace quillnet {

namespace {

PendingTable<PendingRequest> requestTable(kMostPendingRequests);

// Field widths of the record the kept texts end up in, less the NUL.
constexpr size_t kPathLimit = sizeof(HttpUrlRecord::path);
constexpr size_t kHostLimit = sizeof(HttpUrlRecord::host);
constexpr size_t kContentTypeLimit = sizeof(HttpUrlRecord::contentType);

// "GET " before the target and " HTTP/1.1" after it.
constexpr size_t kGetTargetStart = 4;
constexpr size_t kGetLineOverhead = 13;
constexpr size_t kHostValueStart = 6;
constexpr size_t kUserAgentValueStart = 12;
constexpr size_t kRefererValueStart = 9;
// Longest User-Agent and Referer values taken as well formed; they are not kept.
constexpr size_t kUnkeptValueLimit = 500;
constexpr size_t kContentTypeValueStart = 14;

constexpr char kIcyDefaultContentType[] = "audio/mpeg";

enum class HeaderAction { StartRequest, Host, UserAgent, Referer, None };

struct HeaderRow {
    std::string_view prefix;
    const char *foundLog;
    HeaderAction action;
};

const HeaderRow kRequestHeaderRows[] = {
    {"GET", logtext::kFoundGet, HeaderAction::StartRequest},
    {"Host:", logtext::kFoundHost, HeaderAction::Host},
    {"User-Agent:", logtext::kFoundUserAgent, HeaderAction::UserAgent},
    {"Accept-Language:", logtext::kFoundAcceptLanguage, HeaderAction::None},
    {"Accept-Encoding:", logtext::kFoundAcceptEncoding, HeaderAction::None},
    {"Accept-Charset:", logtext::kFoundAcceptCharset, HeaderAction::None},
    {"Keep-Alive:", logtext::kFoundKeepAlive, HeaderAction::None},
    {"Cookie:", logtext::kFoundCookie, HeaderAction::None},
    {"Referer:", logtext::kFoundReferer, HeaderAction::Referer},
    {"Connection:", logtext::kFoundConnection, HeaderAction::None},
    {"Accept:", logtext::kFoundAccept, HeaderAction::None},
};

const HeaderRow *requestHeaderRow(ByteView line)
{
    for (const HeaderRow &row : kRequestHeaderRows) {
        if (line.startsWith(row.prefix))
            return &row;
    }
    return nullptr;
}

int length(ByteView line)
{
    return static_cast<int>(line.size());
}

// True when the value after a header name of `valueStart` characters is
// non-empty and shorter than `limit`.
bool valueFits(ByteView line, size_t valueStart, size_t limit)
{
    return line.size() > valueStart && line.size() - valueStart < limit;
}

// Texts as a fixed field would keep them: up to the first NUL.
std::string fieldText(ByteView bytes)
{
    const std::string_view text = bytes.text();
    return std::string(text.substr(0, text.find('\0')));
}

PendingRequest *startRequest(const Frame &frame, ByteView line)
{
    PendingRequest &request = requestTable.add(frame.flow()).entry;
    if (valueFits(line, kGetLineOverhead, kPathLimit))
        request.path = fieldText(line.sub(kGetTargetStart, line.size() - kGetLineOverhead));
    else
        SendLog(frame.window, logtext::kBadPathLength, length(line) - static_cast<int>(kGetLineOverhead));
    return &request;
}

void examineRequestLine(const Frame &frame, ByteView line, PendingRequest *&request)
{
    const HeaderRow *row = requestHeaderRow(line);
    if (!row)
        return;
    SendLogText(frame.window, row->foundLog);
    if (row->action == HeaderAction::StartRequest) {
        request = startRequest(frame, line);
        return;
    }
    if (!request)
        return;
    switch (row->action) {
    case HeaderAction::Host:
        if (valueFits(line, kHostValueStart, kHostLimit))
            request->host = fieldText(line.sub(kHostValueStart));
        else
            SendLog(frame.window, logtext::kBadHostLength, length(line) - static_cast<int>(kHostValueStart));
        break;
    case HeaderAction::UserAgent:
        if (!valueFits(line, kUserAgentValueStart, kUnkeptValueLimit))
            SendLog(frame.window, logtext::kBadUserAgentLength, length(line) - static_cast<int>(kUserAgentValueStart));
        break;
    case HeaderAction::Referer:
        if (!valueFits(line, kRefererValueStart, kUnkeptValueLimit))
            SendLog(frame.window, logtext::kBadRefererLength, length(line) - static_cast<int>(kRefererValueStart));
        break;
    case HeaderAction::StartRequest:
    case HeaderAction::None:
        break;
    }
}

bool isContentTypeLine(ByteView line)
{
    const auto first = line.u8(0);
    const auto typeInitial = line.u8(8);
    return first && (*first == 'C' || *first == 'c') && line.matches(1, "ontent-") && typeInitial &&
           (*typeInitial == 'T' || *typeInitial == 't') && line.matches(9, "ype:");
}

// Reads the response's lines, through the body if need be, up to its first
// Content-Type line; true when one was seen.
bool takeContentType(const Frame &frame, HttpUrlRecord &record)
{
    HeaderLineReader lines(frame.payload, kResponseLineLimit);
    while (const auto line = lines.next()) {
        const std::string text(line->text());
        SendLog(frame.window, logtext::kResponseHeader, text.c_str());
        if (!isContentTypeLine(*line))
            continue;
        SendLog(frame.window, logtext::kFoundContentType, text.c_str(), length(*line));
        if (valueFits(*line, kContentTypeValueStart, kContentTypeLimit)) {
            copyText(record.contentType, line->sub(kContentTypeValueStart));
            SendLog(frame.window, logtext::kContentTypeValue, record.contentType);
        } else {
            SendLog(frame.window, logtext::kBadContentTypeLength,
                    length(*line) - static_cast<int>(kContentTypeValueStart));
        }
        return true;
    }
    return false;
}

}

void ResetRequestTable()
{
    requestTable.clear();
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

void HandleHttpRequest(Frame &frame)
{
    PendingRequest *request = nullptr;
    HeaderLineReader lines(frame.payload, kRequestLineLimit);
    while (const auto line = lines.next()) {
        examineRequestLine(frame, *line, request);
        if (lines.atEndOfHeaders())
            return;
    }
}

void HandleHttpResponse(Frame &frame)
{
    SendLogText(frame.window, logtext::kFoundResponse);
    // Answers travel the other way of the request's connection.
    const Flow requestFlow = frame.flow().reversed();
    const auto *waiting = requestTable.oldest(requestFlow);
    if (!waiting)
        return;
    SendLog(frame.window, logtext::kResponseSlot, waiting->number);

    HttpUrlRecord record{};
    record.port = frame.addresses.sourcePort;
    copyText(record.host, ByteView(std::string_view(waiting->entry.host)));
    copyText(record.path, ByteView(std::string_view(waiting->entry.path)));
    requestTable.removeOldest(requestFlow);
    if (!takeContentType(frame, record) && frame.payload.startsWith("ICY "))
        copyText(record.contentType, ByteView(std::string_view(kIcyDefaultContentType)));
    SendHttpUrlRecord(frame.window, record);
}

}
