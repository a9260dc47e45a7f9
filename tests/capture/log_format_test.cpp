// Log lines are formatted without printf, and must read exactly as printf wrote them.
#include <gtest/gtest.h>

#include <cstdio>

#include "log_format.h"

using namespace quillnet;

namespace {

template <typename Value>
std::string printed(const char *format, Value value)
{
    char line[128];
    std::snprintf(line, sizeof line, format, value);
    return line;
}

TEST(LogFormat, ReadsAsPrintfForEveryConversionTheLogTextsUse)
{
    for (const int value : {0, 7, -5, 255, 4096, 65535, 2147483647, -2147483647 - 1}) {
        for (const char *format : {"%d", "<%d>", "%02x", "%2X", "%04X", "a%5db"}) {
            std::string line;
            AppendLogText(line, format, {value});
            EXPECT_EQ(line, printed(format, value)) << format << " " << value;
        }
    }
    std::string line;
    AppendLogText(line, "%s:%d %s%% [%s]", {"10.0.0.5", 80, std::string_view("text\0hidden", 11), ""});
    EXPECT_EQ(line, "10.0.0.5:80 text% []") << "a text ends at its first NUL, as a C string would";
}

}
