// The request headers a found URL keeps: each one's name as a downloader
// writes it and its member of RequestDetails, and the reader of the capture
// library's header records.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "records.h"
#include "request_details.h"

namespace tarvolin {

struct HeaderField {
    quillnet::RequestHeader header;
    std::string_view name; // lower case
    std::string RequestDetails::*value;
};

// In the order of RequestHeader.
extern const std::array<HeaderField, quillnet::kRequestHeaderCount> kHeaderFields;

// The headers of a kind 112 record of `size` bytes. Read within the record: a
// field that runs past its end ends the reading; unknown names are skipped.
RequestDetails ReadHeaderRecord(const void *data, size_t size);

}
