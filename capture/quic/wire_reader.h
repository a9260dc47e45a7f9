// Sequential checked reads of QUIC fields: single bytes, runs of bytes and
// the variable-length integers of RFC 9000 section 16. A read past the end
// fails for good.
#pragma once

#include <cstddef>
#include <cstdint>

#include "byte_view.h"

namespace quillnet::quic {

// Largest value a variable-length integer holds, and so largest stream offset.
inline constexpr uint64_t kMaxVarint = (uint64_t{1} << 62) - 1;

class WireReader {
public:
    explicit WireReader(ByteView bytes, size_t position = 0) : bytes_(bytes), position_(position) {}

    bool ok() const { return ok_; }
    bool atEnd() const { return position_ >= bytes_.size(); }
    size_t position() const { return position_; }
    bool nextIs(uint8_t value) const { return bytes_.byteIs(position_, value); }

    uint8_t u8()
    {
        const auto value = bytes_.u8(position_);
        if (!value)
            return fail();
        ++position_;
        return *value;
    }

    uint64_t varint()
    {
        constexpr unsigned kLengthShift = 6;
        constexpr uint8_t kValueBits = 0x3f;
        const auto first = bytes_.u8(position_);
        if (!first)
            return fail();
        const size_t length = size_t{1} << (*first >> kLengthShift);
        if (!bytes_.has(position_, length))
            return fail();
        uint64_t value = *first & kValueBits;
        for (size_t i = 1; i < length; ++i)
            value = value << 8 | *bytes_.u8(position_ + i);
        position_ += length;
        return value;
    }

    ByteView bytes(uint64_t count)
    {
        if (count > bytes_.size() || !bytes_.has(position_, static_cast<size_t>(count)))
            return fail(), ByteView();
        const ByteView taken = bytes_.sub(position_, static_cast<size_t>(count));
        position_ += static_cast<size_t>(count);
        return taken;
    }

    // Everything left.
    ByteView rest() { return bytes(bytes_.size() - position_); }

private:
    uint8_t fail()
    {
        ok_ = false;
        position_ = bytes_.size();
        return 0;
    }

    ByteView bytes_;
    size_t position_;
    bool ok_ = true;
};

}
