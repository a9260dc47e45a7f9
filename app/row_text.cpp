#include "row_text.h"

#include "header_fields.h"

namespace tarvolin {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kFirstNonAscii = 0x80;
constexpr char kM3uTitle[] = "#EXTINF:-1,";
constexpr char kM3uUserAgent[] = "#EXTVLCOPT:http-user-agent=";
constexpr char kM3uReferer[] = "#EXTVLCOPT:http-referrer=";
constexpr std::string_view kUrlQueryStart = "?#";

std::string_view listName(UrlList list)
{
    return list == kMediaFilesList ? "media" : "all";
}

std::string hexByte(unsigned char byte)
{
    return {kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
}

bool continuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at `at`, or 0.
size_t utf8Length(std::string_view text, size_t at)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        secondLow = lead == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        secondHigh = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        secondLow = lead == 0xF0 ? 0x90 : 0x80;
        secondHigh = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(1) < secondLow || byte(1) > secondHigh)
        return 0;
    for (size_t i = 2; i < length; ++i) {
        if (!continuation(byte(i)))
            return 0;
    }
    return length;
}

std::string jsonEscape(unsigned char byte)
{
    switch (byte) {
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default:
        return "\\u00" + hexByte(byte);
    }
}

std::string jsonHeaders(const RequestDetails &headers)
{
    std::string object = "{";
    for (const HeaderField &field : kHeaderFields) {
        const std::string &value = headers.*field.value;
        if (value.empty())
            continue;
        if (object.size() > 1)
            object += ',';
        object += JsonString(field.name) + ':' + JsonString(value);
    }
    return object + '}';
}

// The last segment of the URL's path; the URL itself when that is empty.
std::string_view fileName(std::string_view url)
{
    const std::string_view path = url.substr(0, url.find_first_of(kUrlQueryStart));
    const std::string_view name = path.substr(path.rfind('/') + 1);
    return name.empty() ? url : name;
}

// A playlist line ends where a line break would be; none can be smuggled in.
std::string m3uLine(std::string_view prefix, std::string_view value)
{
    return std::string(prefix) + TabSeparatedField(value) + '\n';
}

}

std::string TabSeparatedField(std::string_view text)
{
    std::string field;
    field.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < kFirstPrintable || byte == kDelete)
            field += '%' + hexByte(byte);
        else
            field += c;
    }
    return field;
}

std::string JsonString(std::string_view text)
{
    std::string literal = "\"";
    for (size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= kFirstNonAscii) {
            const size_t length = utf8Length(text, at);
            literal += length ? std::string(text.substr(at, length)) : jsonEscape(byte);
            at += length ? length : 1;
            continue;
        }
        literal += byte < kFirstPrintable || byte == '"' || byte == '\\' ? jsonEscape(byte) : std::string(1, text[at]);
        ++at;
    }
    return literal + "\"";
}

std::string TabSeparatedLine(UrlList list, const UrlRow &row)
{
    return std::string(listName(list)) + '\t' + TabSeparatedField(row.extension) + '\t' +
           TabSeparatedField(row.url) + '\t' + TabSeparatedField(row.third) + '\n';
}

std::string JsonLine(UrlList list, const UrlRow &row, const RequestDetails *headers)
{
    std::string line = "{\"list\":" + JsonString(listName(list)) + ",\"extension\":" + JsonString(row.extension) +
                       ",\"url\":" + JsonString(row.url) + ",\"content_type\":" + JsonString(row.third);
    if (headers)
        line += ",\"headers\":" + jsonHeaders(*headers);
    return line + "}\n";
}

std::string M3uEntry(const UrlRow &row, const RequestDetails *details)
{
    // An RTMP row's text names its parts for reading; a player wants the stream's address.
    const bool rtmp = details && !details->tcUrl.empty();
    const std::string url = rtmp ? details->tcUrl + "/" + details->playpath : row.url;
    std::string entry = m3uLine(kM3uTitle, fileName(url));
    if (details && !details->userAgent.empty())
        entry += m3uLine(kM3uUserAgent, details->userAgent);
    if (details && !details->referer.empty())
        entry += m3uLine(kM3uReferer, details->referer);
    return entry + m3uLine("", url);
}

}
