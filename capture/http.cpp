#include "http.h"

#include <array>
#include <string_view>

#include "header_lines.h"
#include "log_texts.h"
#include "notifications.h"
#include "slot_table.h"

namespace quillnet {

namespace {

std::array<RequestSlot, kRequestSlotCount> requestTable;
uint64_t requestsTaken = 0;

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

int startRequest(const Frame &frame, ByteView line)
{
    const int number = AllocateRequestSlot();
    RequestSlot &slot = requestTable[static_cast<size_t>(number - 1)];
    slot.free = 0;
    slot.takenAt = ++requestsTaken;
    slot.clientAddress = frame.addresses.sourceAddress;
    slot.serverAddress = frame.addresses.destAddress;
    slot.clientPort = frame.addresses.sourcePort;
    slot.serverPort = frame.addresses.destPort;
    if (valueFits(line, kGetLineOverhead, sizeof slot.path))
        copyText(slot.path, line.sub(kGetTargetStart, line.size() - kGetLineOverhead));
    else
        SendLog(frame.window, logtext::kBadPathLength, length(line) - static_cast<int>(kGetLineOverhead));
    return number;
}

void examineRequestLine(const Frame &frame, ByteView line, int &slotNumber)
{
    const HeaderRow *row = requestHeaderRow(line);
    if (!row)
        return;
    SendLogText(frame.window, row->foundLog);
    if (row->action == HeaderAction::StartRequest) {
        slotNumber = startRequest(frame, line);
        return;
    }
    if (slotNumber == 0)
        return;
    RequestSlot &slot = requestTable[static_cast<size_t>(slotNumber - 1)];
    switch (row->action) {
    case HeaderAction::Host:
        if (valueFits(line, kHostValueStart, sizeof slot.host))
            copyText(slot.host, line.sub(kHostValueStart));
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

// The pending request of the connection this response travels on, answered in
// the other direction; the lowest-numbered one when several wait.
int findRequestFor(const FrameAddresses &addresses)
{
    for (int number = 1; number <= kRequestSlotCount; ++number) {
        const RequestSlot &slot = requestTable[static_cast<size_t>(number - 1)];
        if (slot.free == 0 && slot.serverAddress == addresses.sourceAddress &&
            slot.clientAddress == addresses.destAddress && slot.serverPort == addresses.sourcePort &&
            slot.clientPort == addresses.destPort)
            return number;
    }
    return 0;
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
bool takeContentType(const Frame &frame, RequestSlot &slot)
{
    HeaderLineReader lines(frame.payload, kResponseLineLimit);
    while (const auto line = lines.next()) {
        const std::string text(line->text());
        SendLog(frame.window, logtext::kResponseHeader, text.c_str());
        if (!isContentTypeLine(*line))
            continue;
        SendLog(frame.window, logtext::kFoundContentType, text.c_str(), length(*line));
        if (valueFits(*line, kContentTypeValueStart, sizeof slot.contentType)) {
            copyText(slot.contentType, line->sub(kContentTypeValueStart));
            SendLog(frame.window, logtext::kContentTypeValue, slot.contentType);
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
    MarkAllFree(requestTable);
    requestsTaken = 0;
}

int AllocateRequestSlot()
{
    const size_t index = ChooseSlot(requestTable);
    RequestSlot &slot = requestTable[index];
    slot.path[0] = '\0';
    slot.host[0] = '\0';
    slot.contentType[0] = '\0';
    return static_cast<int>(index) + 1;
}

const RequestSlot &RequestTableSlot(int number)
{
    return requestTable.at(static_cast<size_t>(number - 1));
}

void HandleHttpRequest(Frame &frame)
{
    int slotNumber = 0;
    HeaderLineReader lines(frame.payload, kRequestLineLimit);
    while (const auto line = lines.next()) {
        examineRequestLine(frame, *line, slotNumber);
        if (lines.atEndOfHeaders())
            return;
    }
}

void HandleHttpResponse(Frame &frame)
{
    SendLogText(frame.window, logtext::kFoundResponse);
    const int number = findRequestFor(frame.addresses);
    if (number == 0)
        return;
    SendLog(frame.window, logtext::kResponseSlot, number);

    RequestSlot &slot = requestTable[static_cast<size_t>(number - 1)];
    const bool sawContentType = takeContentType(frame, slot);
    slot.free = 1;

    HttpUrlRecord record{};
    record.port = slot.serverPort;
    copyText(record.host, ByteView(std::string_view(slot.host)));
    copyText(record.path, ByteView(std::string_view(slot.path)));
    if (sawContentType)
        copyText(record.contentType, ByteView(std::string_view(slot.contentType)));
    else if (frame.payload.startsWith("ICY "))
        copyText(record.contentType, ByteView(std::string_view(kIcyDefaultContentType)));
    SendHttpUrlRecord(frame.window, record);
}

}
