// The library's log lines formatted without printf or an allocation per line:
// the conversions the log texts use (%s, %d, and %x or %X with a zero-padded
// width) into a buffer that is reused.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace quillnet {

// One value for a conversion: a text for %s (up to its first NUL, as a C
// string), a number for the others.
struct LogArgument {
    LogArgument(const char *text) : text(text ? text : "") {}
    LogArgument(std::string_view text) : text(text) {}
    LogArgument(const std::string &text) : text(text) {}
    template <typename Number, typename = std::enable_if_t<std::is_integral_v<Number>>>
    LogArgument(Number value) : number(static_cast<int64_t>(value)), isNumber(true)
    {
    }

    std::string_view text;
    int64_t number = 0;
    bool isNumber = false;
};

// Appends `format` with its conversions filled to `out`. An argument missing
// or of the other kind gives nothing for its conversion.
void AppendLogText(std::string &out, const char *format, std::initializer_list<LogArgument> arguments);

}
