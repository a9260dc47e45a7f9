#include "request_headers.h"

#include <array>
#include <cstring>

#include "header_lines.h"

namespace quillnet {

namespace {

struct HeaderName {
    std::string_view name; // lower case, as HTTP/2 sends it
    RequestHeader header;
};

constexpr std::array<HeaderName, kRequestHeaderCount> kHeaderNames{{
    {"user-agent", kHeaderUserAgent},
    {"referer", kHeaderReferer},
    {"cookie", kHeaderCookie},
    {"origin", kHeaderOrigin},
    {"accept", kHeaderAccept},
    {"accept-language", kHeaderAcceptLanguage},
    {"accept-encoding", kHeaderAcceptEncoding},
    {"accept-charset", kHeaderAcceptCharset},
    {"keep-alive", kHeaderKeepAlive},
    {"connection", kHeaderConnection},
}};

constexpr std::string_view kCookieSeparator = "; ";
constexpr size_t kFieldHeaderLength = sizeof(RequestHeaderField);

RequestHeaderField fieldAt(const std::string &fields, size_t offset)
{
    RequestHeaderField field{};
    std::memcpy(&field, fields.data() + offset, sizeof field);
    return field;
}

void appendField(std::string &out, RequestHeader name, std::string_view value)
{
    const RequestHeaderField field{name, static_cast<uint16_t>(value.size())};
    out.append(reinterpret_cast<const char *>(&field), sizeof field);
    out.append(value);
}

}

std::optional<RequestHeader> RequestHeaders::named(std::string_view name)
{
    for (const HeaderName &known : kHeaderNames) {
        if (name.size() == known.name.size() && StartsWithIgnoringCase(ByteView(name), known.name))
            return known.header;
    }
    return std::nullopt;
}

std::optional<RequestHeaders::Found> RequestHeaders::find(RequestHeader name) const
{
    for (size_t offset = 0; offset < fields_.size();) {
        const RequestHeaderField field = fieldAt(fields_, offset);
        if (field.name == name)
            return Found{offset, field.length};
        offset += kFieldHeaderLength + field.length;
    }
    return std::nullopt;
}

void RequestHeaders::add(RequestHeader name, ByteView value)
{
    if (value.size() > kMaxHeaderValueLength)
        return;
    const auto found = find(name);
    if (!found) {
        appendField(fields_, name, value.text());
        return;
    }
    const size_t joined = found->length + kCookieSeparator.size() + value.size();
    if (name != kHeaderCookie || joined > kMaxHeaderValueLength)
        return;
    const size_t valueEnd = found->offset + kFieldHeaderLength + found->length;
    fields_.insert(valueEnd, std::string(kCookieSeparator).append(value.text()));
    const RequestHeaderField field{name, static_cast<uint16_t>(joined)};
    std::memcpy(fields_.data() + found->offset, &field, sizeof field);
}

std::string RequestHeaders::record() const
{
    std::string record;
    for (const HeaderName &known : kHeaderNames) {
        const auto found = find(known.header);
        if (!found || record.size() + kFieldHeaderLength + found->length > kMaxRequestHeadersLength)
            continue;
        record.append(fields_, found->offset, kFieldHeaderLength + found->length);
    }
    return record;
}

void HeaderFields::take(std::string_view name, std::string_view value)
{
    if (name == ":method")
        method = value;
    else if (name == ":authority")
        authority = value;
    else if (name == "host")
        host = value;
    else if (name == ":path")
        path = value;
    else if (name == ":status")
        status = value;
    else if (name == "content-type")
        contentType = value;
    else if (const auto header = RequestHeaders::named(name))
        headers.add(*header, ByteView(value));
}

}
