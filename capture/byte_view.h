// Bounds-checked access to captured bytes. Dissectors read frames only through
// ByteView: a read outside the captured length is a miss, never a fault.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace quillnet {

struct BytePair {
    uint8_t first;
    size_t secondOffset;
    uint8_t second;
};

class ByteView {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    constexpr ByteView() = default;
    ByteView(const uint8_t *data, size_t size) : data_(data), size_(data ? size : 0) {}
    explicit ByteView(std::string_view text)
        : ByteView(reinterpret_cast<const uint8_t *>(text.data()), text.size()) {}

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // True when `count` bytes from `offset` on were captured.
    bool has(size_t offset, size_t count) const { return offset <= size_ && count <= size_ - offset; }

    std::optional<uint8_t> u8(size_t offset) const
    {
        if (offset >= size_)
            return std::nullopt;
        return data_[offset];
    }

    std::optional<uint16_t> be16(size_t offset) const
    {
        if (!has(offset, 2))
            return std::nullopt;
        return static_cast<uint16_t>(data_[offset] << 8 | data_[offset + 1]);
    }

    std::optional<uint32_t> be32(size_t offset) const
    {
        if (!has(offset, 4))
            return std::nullopt;
        return static_cast<uint32_t>(data_[offset]) << 24 | static_cast<uint32_t>(data_[offset + 1]) << 16 |
               static_cast<uint32_t>(data_[offset + 2]) << 8 | data_[offset + 3];
    }

    // Copies the N bytes at `offset`; false, leaving `out` alone, when they were not all captured.
    template <size_t N>
    bool read(size_t offset, std::array<uint8_t, N> &out) const
    {
        if (!has(offset, N))
            return false;
        std::memcpy(out.data(), data_ + offset, N);
        return true;
    }

    bool byteIs(size_t offset, uint8_t value) const { return offset < size_ && data_[offset] == value; }

    bool matches(size_t offset, std::string_view bytes) const
    {
        return has(offset, bytes.size()) && std::memcmp(data_ + offset, bytes.data(), bytes.size()) == 0;
    }

    bool startsWith(std::string_view bytes) const { return matches(0, bytes); }

    // The bytes from `offset` on, at most `count` of them; empty past the end.
    ByteView sub(size_t offset, size_t count = npos) const
    {
        if (offset >= size_)
            return {};
        return ByteView(data_ + offset, std::min(count, size_ - offset));
    }

    // Position of the first `needle` at or after `from`, or npos.
    size_t find(std::string_view needle, size_t from = 0) const
    {
        if (from > size_)
            return npos;
        const size_t found = text().find(needle, from);
        return found == std::string_view::npos ? npos : found;
    }

    // Position of the first p in [from, end) at which some pair has its `first`
    // byte at p and its `second` byte at p + secondOffset, or npos. Pairs whose
    // second byte lies past the captured bytes never match.
    size_t findAnyPair(std::span<const BytePair> pairs, size_t from, size_t end) const;

    // The bytes as 8-bit text, as they appeared on the wire.
    std::string_view text() const { return {reinterpret_cast<const char *>(data_), size_}; }

private:
    const uint8_t *data_ = nullptr;
    size_t size_ = 0;
};

// Copies `bytes` into a fixed text field, cut to the field's width less its NUL.
inline size_t copyText(std::span<char> field, ByteView bytes)
{
    if (field.empty())
        return 0;
    const size_t count = std::min(bytes.size(), field.size() - 1);
    bytes.text().copy(field.data(), count);
    field[count] = '\0';
    return count;
}

// Copies `bytes` into a fixed byte area, cut to the area's size.
inline size_t copyBytes(std::span<uint8_t> area, ByteView bytes)
{
    const size_t count = std::min(bytes.size(), area.size());
    bytes.text().copy(reinterpret_cast<char *>(area.data()), count);
    return count;
}

}
