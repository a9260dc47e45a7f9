// The request headers a downloader needs to fetch what a request fetched,
// gathered as the request's lines or HTTP/2 fields come.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "byte_view.h"
#include "records.h"

namespace quillnet {

class RequestHeaders {
public:
    // The header a name names, letters in any case; none for the others.
    static std::optional<RequestHeader> named(std::string_view name);

    // Cookies join the ones before with "; "; another header that comes again
    // keeps its first value. A value too long to send is left out.
    void add(RequestHeader name, ByteView value);
    bool empty() const { return fields_.empty(); }
    size_t heldBytes() const { return fields_.capacity(); }

    // The kind 112 record: fields in the order of RequestHeader, within its bound.
    std::string record() const;

private:
    struct Found {
        size_t offset; // of the field's RequestHeaderField
        size_t length; // of its value
    };
    std::optional<Found> find(RequestHeader name) const;

    std::string fields_; // RequestHeaderField and value, in the order they came
};

// What a GET and its answer are read by in an HTTP/2 or HTTP/3 header block.
struct HeaderFields {
    std::string method, authority, host, path, status, contentType;
    RequestHeaders headers;

    // Takes one decoded field: a pseudo-header, host or content type, or a request header worth keeping.
    void take(std::string_view name, std::string_view value);
};

}
