#include "text.h"

#include <algorithm>
#include <cstring>

namespace tarvolin {

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

constexpr unsigned char kFirstVisible = 0x21;
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kFirstMultiByteLead = 0xC2;
constexpr unsigned char kFirstThreeByteLead = 0xE0;
constexpr unsigned char kFirstFourByteLead = 0xF0;
constexpr unsigned char kLastFourByteLead = 0xF4;
constexpr unsigned char kSurrogateLead = 0xED;
constexpr unsigned char kContinuationLow = 0x80;
constexpr unsigned char kContinuationHigh = 0xBF;
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int kHexShift = 4;
constexpr unsigned char kLowNibble = 0x0F;

// The length of the well-formed UTF-8 sequence of more than one byte at the
// start of `text`; 0 when none starts there. Overlong forms, surrogates and
// code points past U+10FFFF are not well formed.
size_t multiByteSequence(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < kFirstMultiByteLead || lead > kLastFourByteLead)
        return 0;
    const size_t length = lead < kFirstThreeByteLead ? 2 : lead < kFirstFourByteLead ? 3 : 4;
    if (text.size() < length)
        return 0;
    // The second byte's range narrows where the lead alone would allow what is not well formed.
    unsigned char low = kContinuationLow;
    unsigned char high = kContinuationHigh;
    if (lead == kFirstThreeByteLead)
        low = 0xA0;
    else if (lead == kSurrogateLead)
        high = 0x9F;
    else if (lead == kFirstFourByteLead)
        low = 0x90;
    else if (lead == kLastFourByteLead)
        high = 0x8F;
    for (size_t index = 1; index < length; ++index) {
        const auto byte = static_cast<unsigned char>(text[index]);
        if (byte < low || byte > high)
            return 0;
        low = kContinuationLow;
        high = kContinuationHigh;
    }
    return length;
}

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

std::string FetchableUrl(std::string_view url)
{
    std::string fetchable;
    fetchable.reserve(url.size());
    while (!url.empty()) {
        const auto byte = static_cast<unsigned char>(url[0]);
        const size_t sequence = multiByteSequence(url);
        if (sequence > 0) {
            fetchable.append(url.substr(0, sequence));
            url.remove_prefix(sequence);
            continue;
        }
        if (byte >= kFirstVisible && byte < kDelete) {
            fetchable += url[0];
        } else {
            fetchable += '%';
            fetchable += kHexDigits[byte >> kHexShift];
            fetchable += kHexDigits[byte & kLowNibble];
        }
        url.remove_prefix(1);
    }
    return fetchable;
}

}
