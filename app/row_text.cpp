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

void appendHexByte(std::string &out, unsigned char byte)
{
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
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

void appendJsonEscape(std::string &out, unsigned char byte)
{
    switch (byte) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        out += "\\u00";
        appendHexByte(out, byte);
    }
}

bool tabSeparatedEscaped(unsigned char byte)
{
    return byte < kFirstPrintable || byte == kDelete;
}

bool jsonPlain(unsigned char byte)
{
    return byte >= kFirstPrintable && byte < kFirstNonAscii && byte != '"' && byte != '\\';
}

void appendJsonHeaders(std::string &out, const RequestDetails &headers)
{
    out += '{';
    bool first = true;
    for (const HeaderField &field : kHeaderFields) {
        const std::string &value = headers.*field.value;
        if (value.empty())
            continue;
        if (!first)
            out += ',';
        first = false;
        AppendJsonString(out, field.name);
        out += ':';
        AppendJsonString(out, value);
    }
    out += '}';
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

// Plain runs go in whole: most fields need no escape at all.
void AppendTabSeparatedField(std::string &out, std::string_view text)
{
    size_t plain = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (!tabSeparatedEscaped(byte))
            continue;
        out.append(text, plain, at - plain);
        out += '%';
        appendHexByte(out, byte);
        plain = at + 1;
    }
    out.append(text, plain);
}

std::string TabSeparatedField(std::string_view text)
{
    std::string field;
    AppendTabSeparatedField(field, text);
    return field;
}

void AppendJsonString(std::string &out, std::string_view text)
{
    out += '"';
    size_t plain = 0;
    for (size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const size_t length = byte >= kFirstNonAscii ? utf8Length(text, at) : 0;
        if (jsonPlain(byte) || length != 0) {
            at += length != 0 ? length : 1;
            continue;
        }
        out.append(text, plain, at - plain);
        appendJsonEscape(out, byte);
        plain = ++at;
    }
    out.append(text, plain);
    out += '"';
}

std::string JsonString(std::string_view text)
{
    std::string literal;
    AppendJsonString(literal, text);
    return literal;
}

void AppendTabSeparatedLine(std::string &out, UrlList list, const UrlRow &row)
{
    out += listName(list);
    out += '\t';
    AppendTabSeparatedField(out, row.extension);
    out += '\t';
    AppendTabSeparatedField(out, row.url);
    out += '\t';
    AppendTabSeparatedField(out, row.third);
    out += '\n';
}

std::string TabSeparatedLine(UrlList list, const UrlRow &row)
{
    std::string line;
    AppendTabSeparatedLine(line, list, row);
    return line;
}

void AppendJsonLine(std::string &out, UrlList list, const UrlRow &row, const RequestDetails *headers)
{
    out += "{\"list\":";
    AppendJsonString(out, listName(list));
    out += ",\"extension\":";
    AppendJsonString(out, row.extension);
    out += ",\"url\":";
    AppendJsonString(out, row.url);
    out += ",\"content_type\":";
    AppendJsonString(out, row.third);
    if (headers) {
        out += ",\"headers\":";
        appendJsonHeaders(out, *headers);
    }
    out += "}\n";
}

std::string JsonLine(UrlList list, const UrlRow &row, const RequestDetails *headers)
{
    std::string line;
    AppendJsonLine(line, list, row, headers);
    return line;
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
