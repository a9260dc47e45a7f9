#include "header_fields.h"

#include <cstring>

namespace tarvolin {

using namespace quillnet;

const std::array<HeaderField, kRequestHeaderCount> kHeaderFields{{
    {kHeaderUserAgent, "user-agent", &RequestDetails::userAgent},
    {kHeaderReferer, "referer", &RequestDetails::referer},
    {kHeaderCookie, "cookie", &RequestDetails::cookie},
    {kHeaderOrigin, "origin", &RequestDetails::origin},
    {kHeaderAccept, "accept", &RequestDetails::accept},
    {kHeaderAcceptLanguage, "accept-language", &RequestDetails::acceptLanguage},
    {kHeaderAcceptEncoding, "accept-encoding", &RequestDetails::acceptEncoding},
    {kHeaderAcceptCharset, "accept-charset", &RequestDetails::acceptCharset},
    {kHeaderKeepAlive, "keep-alive", &RequestDetails::keepAlive},
    {kHeaderConnection, "connection", &RequestDetails::connection},
}};

namespace {

std::string *valueOf(RequestDetails &details, uint16_t name)
{
    for (const HeaderField &field : kHeaderFields) {
        if (field.header == name)
            return &(details.*field.value);
    }
    return nullptr;
}

}

RequestDetails ReadHeaderRecord(const void *data, size_t size)
{
    RequestDetails details;
    const auto *bytes = static_cast<const char *>(data);
    for (size_t at = 0; size - at >= sizeof(RequestHeaderField);) {
        RequestHeaderField field;
        std::memcpy(&field, bytes + at, sizeof field); // fields need not be aligned
        at += sizeof field;
        if (field.length > size - at)
            break;
        if (std::string *value = valueOf(details, field.name))
            value->assign(bytes + at, field.length);
        at += field.length;
    }
    return details;
}

}
