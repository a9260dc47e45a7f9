#include "header_lines.h"

namespace quillnet {

namespace {

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isBlank(uint8_t byte)
{
    return byte == ' ' || byte == '\t';
}

}

bool StartsWithIgnoringCase(ByteView bytes, std::string_view prefix)
{
    if (!bytes.has(0, prefix.size()))
        return false;
    const std::string_view text = bytes.text();
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (lowerAscii(text[i]) != lowerAscii(prefix[i]))
            return false;
    }
    return true;
}

std::string LowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char &c : lower)
        c = lowerAscii(c);
    return lower;
}

ByteView HeaderValue(ByteView line)
{
    const size_t colon = line.find(":");
    if (colon == ByteView::npos)
        return {};
    size_t start = colon + 1;
    while (isBlank(line.u8(start).value_or(0)))
        ++start;
    size_t end = line.size();
    while (end > start && isBlank(line.u8(end - 1).value_or(0)))
        --end;
    return line.sub(start, end - start);
}

}
