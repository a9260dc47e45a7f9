#include "http3_messages.h"

namespace quic_testing {

namespace {

constexpr uint8_t kControlStreamType = 0x00;
constexpr uint64_t kSettingsFrame = 0x04;
constexpr uint64_t kQpackMaxTableCapacity = 0x01;
constexpr uint8_t kLiteralNamePattern = 0x20; // 001, then N and H clear

// An integer with an N-bit prefix (RFC 7541 section 5.1) in the low bits of `first`.
void appendPrefixed(Bytes &out, uint8_t first, unsigned prefixBits, uint64_t value)
{
    const uint64_t limit = (uint64_t{1} << prefixBits) - 1;
    if (value < limit) {
        out.push_back(static_cast<uint8_t>(first | value));
        return;
    }
    out.push_back(static_cast<uint8_t>(first | limit));
    for (value -= limit; value >= 0x80; value >>= 7)
        out.push_back(static_cast<uint8_t>(0x80 | (value & 0x7f)));
    out.push_back(static_cast<uint8_t>(value));
}

}

Bytes Http3Frame(uint64_t type, const Bytes &payload)
{
    Bytes frame;
    AppendVarint(frame, type);
    AppendVarint(frame, payload.size());
    return Join({frame, payload});
}

Bytes ControlStreamOpening()
{
    Bytes settings;
    AppendVarint(settings, kQpackMaxTableCapacity);
    AppendVarint(settings, 0);
    return Join({{kControlStreamType}, Http3Frame(kSettingsFrame, settings)});
}

Bytes LiteralHeaders(const Fields &fields)
{
    Bytes block{0, 0}; // Required Insert Count and Base: no dynamic table
    for (const auto &[name, value] : fields) {
        appendPrefixed(block, kLiteralNamePattern, 3, name.size());
        block.insert(block.end(), name.begin(), name.end());
        appendPrefixed(block, 0, 7, value.size());
        block.insert(block.end(), value.begin(), value.end());
    }
    return Http3Frame(kHeadersFrame, block);
}

Bytes DataFrameStart(uint64_t length)
{
    Bytes start;
    AppendVarint(start, kDataFrame);
    AppendVarint(start, length);
    return start;
}

}
