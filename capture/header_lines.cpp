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

bool IsHeader(ByteView line, std::string_view name)
{
    if (!line.has(0, name.size()))
        return false;
    const std::string_view text = line.text();
    for (size_t i = 0; i < name.size(); ++i) {
        if (lowerAscii(text[i]) != lowerAscii(name[i]))
            return false;
    }
    return true;
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
