// Reads a payload as text lines, the way the header recognisers see them: each
// ends in LF, with or without a CR before it, and a line without its end stops
// the reading; so does a line too long, unless the reader is told to pass over
// such lines.
#pragma once

#include <string>

#include "byte_view.h"
#include "records.h"

namespace quillnet {

// Longest lines the recognisers look at: a request line is "GET ", a target
// of up to kMaxRequestTargetLength and " HTTP/1.1".
inline constexpr size_t kRequestLineLimit = kMaxRequestTargetLength + 13;
inline constexpr size_t kResponseLineLimit = 999;

enum class LongLines { Stop, PassOver };

class HeaderLineReader {
public:
    HeaderLineReader(ByteView payload, size_t lineLimit, LongLines longLines = LongLines::Stop)
        : payload_(payload), lineLimit_(lineLimit), longLines_(longLines)
    {
    }

    // The next complete line without its line end; empty once reading has stopped.
    std::optional<ByteView> next()
    {
        while (!stopped_) {
            const size_t feed = payload_.find("\n", position_);
            if (feed == ByteView::npos) {
                stopped_ = true;
                break;
            }
            const size_t end = feed > position_ && payload_.byteIs(feed - 1, '\r') ? feed - 1 : feed;
            const size_t start = position_;
            if (end - start > lineLimit_ && longLines_ == LongLines::Stop) {
                stopped_ = true;
                break;
            }
            position_ = feed + 1;
            if (end - start <= lineLimit_)
                return payload_.sub(start, end - start);
        }
        return std::nullopt;
    }

    // True when the line just read is followed by the empty line that ends a header block.
    bool atEndOfHeaders() const { return payload_.matches(position_, "\r\n") || payload_.byteIs(position_, '\n'); }

    // Where the next line starts: the bytes from here on are not read yet.
    size_t position() const { return position_; }

private:
    ByteView payload_;
    size_t lineLimit_;
    LongLines longLines_;
    size_t position_ = 0;
    bool stopped_ = false;
};

// Whether `bytes` start with `prefix`, letters in any case: a header line with
// its name and colon, a URL with its scheme.
bool StartsWithIgnoringCase(ByteView bytes, std::string_view prefix);

// `text` with its ASCII letters in lower case.
std::string LowerAscii(std::string_view text);

// The value of a header line: after the colon and any blanks, without
// trailing blanks. Empty when the line has no colon.
ByteView HeaderValue(ByteView line);

}
