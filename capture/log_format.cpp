#include "log_format.h"

#include <cstring>

#include <array>

namespace quillnet {

namespace {

constexpr std::string_view kLowerDigits = "0123456789abcdef";
constexpr std::string_view kUpperDigits = "0123456789ABCDEF";
constexpr int kDecimal = 10;
constexpr int kHexadecimal = 16;

void appendNumber(std::string &out, int64_t value, int base, std::string_view digits, size_t width, char pad)
{
    std::array<char, 24> reversed{};
    size_t count = 0;
    // Hex conversions take the value as unsigned, as printf's do.
    uint64_t magnitude = base == kHexadecimal ? static_cast<uint32_t>(value)
                         : value < 0          ? 0 - static_cast<uint64_t>(value)
                                              : static_cast<uint64_t>(value);
    do {
        reversed[count++] = digits[magnitude % static_cast<uint64_t>(base)];
        magnitude /= static_cast<uint64_t>(base);
    } while (magnitude != 0);
    const bool negative = base == kDecimal && value < 0;
    const size_t length = count + (negative ? 1 : 0);
    if (negative && pad == '0')
        out += '-';
    if (width > length)
        out.append(width - length, pad);
    if (negative && pad != '0')
        out += '-';
    while (count > 0)
        out += reversed[--count];
}

void appendText(std::string &out, std::string_view text, size_t width)
{
    text = text.substr(0, text.find('\0'));
    if (width > text.size())
        out.append(width - text.size(), ' ');
    out.append(text);
}

}

void AppendLogText(std::string &out, const char *format, std::initializer_list<LogArgument> arguments)
{
    const LogArgument *next = arguments.begin();
    for (const char *c = format; *c != '\0'; ++c) {
        if (*c != '%') {
            // The text up to the next conversion, in one piece.
            const char *conversion = std::strchr(c, '%');
            const size_t length = conversion ? static_cast<size_t>(conversion - c) : std::strlen(c);
            out.append(c, length);
            c += length - 1;
            continue;
        }
        if (*++c == '%') {
            out += '%';
            continue;
        }
        const char pad = *c == '0' ? '0' : ' ';
        size_t width = 0;
        for (; *c >= '0' && *c <= '9'; ++c)
            width = width * 10 + static_cast<size_t>(*c - '0');
        if (*c == '\0')
            return;
        const LogArgument *argument = next != arguments.end() ? next++ : nullptr;
        if (!argument)
            continue;
        switch (*c) {
        case 's':
            if (!argument->isNumber)
                appendText(out, argument->text, width);
            break;
        case 'd':
        case 'u':
            if (argument->isNumber)
                appendNumber(out, argument->number, kDecimal, kLowerDigits, width, pad);
            break;
        case 'x':
        case 'X':
            if (argument->isNumber)
                appendNumber(out, argument->number, kHexadecimal, *c == 'x' ? kLowerDigits : kUpperDigits, width, pad);
            break;
        default:
            break;
        }
    }
}

}
