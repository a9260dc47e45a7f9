// Text helpers for 8-bit texts: case folding and trimming touch ASCII only, so
// bytes of other code pages pass through unchanged.
#pragma once

#include <string>
#include <string_view>

namespace tarvolin {

// Inline: the URL fingerprint folds every character of every URL through it.
constexpr char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string ToLower(std::string_view text);
std::string ToUpper(std::string_view text);
bool EqualIgnoringCase(std::string_view left, std::string_view right);

// The text without white space (blank, tab, CR, LF, VT, FF) at its end, or at both ends.
std::string_view TrimRight(std::string_view text);
std::string_view Trim(std::string_view text);

// The text up to its first NUL within `width` bytes.
std::string_view FixedText(const char *field, size_t width);

// A URL as UTF-8 text that still names the same bytes, for the clipboard:
// blanks, control bytes and bytes that are not UTF-8 go as their
// percent-encoding, which servers read as the bytes themselves and curl takes
// where it refuses a blank.
std::string FetchableUrl(std::string_view url);

}
