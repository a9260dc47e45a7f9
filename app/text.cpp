#include "text.h"

#include <algorithm>
#include <cstring>

namespace tarvolin {

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}

std::string ToLower(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), LowerAscii);
    return result;
}

std::string ToUpper(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), upper);
    return result;
}

bool EqualIgnoringCase(std::string_view left, std::string_view right)
{
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

std::string_view TrimRight(std::string_view text)
{
    const size_t last = text.find_last_not_of(kWhiteSpace);
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string_view Trim(std::string_view text)
{
    const std::string_view right = TrimRight(text);
    const size_t first = right.find_first_not_of(kWhiteSpace);
    return first == std::string_view::npos ? std::string_view() : right.substr(first);
}

std::string_view FixedText(const char *field, size_t width)
{
    return std::string_view(field, strnlen(field, width));
}

}
