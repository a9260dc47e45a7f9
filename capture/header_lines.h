// Reads a payload as CR LF terminated text lines, the way the header
// recognisers see them: no reassembly, and a line too long or without its
// CR LF ends the reading.
#pragma once

#include "byte_view.h"

namespace quillnet {

// Longest lines the recognisers look at.
inline constexpr size_t kRequestLineLimit = 1999;
inline constexpr size_t kResponseLineLimit = 999;

class HeaderLineReader {
public:
    HeaderLineReader(ByteView payload, size_t lineLimit) : payload_(payload), lineLimit_(lineLimit) {}

    // The next complete line without its CR LF; empty once reading has stopped.
    std::optional<ByteView> next()
    {
        if (stopped_)
            return std::nullopt;
        size_t end = payload_.find("\r\n", position_);
        if (end == ByteView::npos || end - position_ > lineLimit_) {
            stopped_ = true;
            return std::nullopt;
        }
        const ByteView line = payload_.sub(position_, end - position_);
        position_ = end + 2;
        return line;
    }

    // True when the line just read is followed by the empty line that ends a header block.
    bool atEndOfHeaders() const { return payload_.matches(position_, "\r\n"); }

private:
    ByteView payload_;
    size_t lineLimit_;
    size_t position_ = 0;
    bool stopped_ = false;
};

}
