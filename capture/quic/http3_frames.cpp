#include "http3_frames.h"

#include <algorithm>
#include <span>

#include "wire_reader.h"

namespace quillnet::quic {

namespace {

constexpr unsigned kVarintLengthShift = 6;

}

std::optional<uint64_t> SplitVarint::take(ByteView &bytes)
{
    if (filled_ == 0) {
        const auto first = bytes.u8(0);
        if (!first)
            return std::nullopt;
        length_ = size_t{1} << (*first >> kVarintLengthShift);
    }
    const size_t taken = copyBytes(std::span(bytes_).subspan(filled_, length_ - filled_), bytes);
    filled_ += taken;
    bytes = bytes.sub(taken);
    if (filled_ < length_)
        return std::nullopt;
    filled_ = 0;
    WireReader reader(ByteView(bytes_.data(), length_));
    return reader.varint();
}

FrameReader::Status FrameReader::next(ByteView &bytes, std::initializer_list<uint64_t> keptTypes, size_t maxKept)
{
    while (!bytes.empty()) {
        if (!inPayload_) {
            if (!typeRead_) {
                const auto type = typeField_.take(bytes);
                if (!type)
                    return Status::kNeedMore;
                type_ = *type;
                typeRead_ = true;
            }
            const auto length = lengthField_.take(bytes);
            if (!length)
                return Status::kNeedMore;
            typeRead_ = false;
            inPayload_ = true;
            payloadLeft_ = *length;
            keep_ = std::find(keptTypes.begin(), keptTypes.end(), type_) != keptTypes.end();
            payload_.clear();
            if (keep_ && payloadLeft_ > maxKept) {
                keep_ = false;
                return Status::kTooLong;
            }
        }
        const ByteView part = bytes.sub(0, static_cast<size_t>(std::min<uint64_t>(payloadLeft_, bytes.size())));
        if (keep_)
            payload_.insert(payload_.end(), part.text().begin(), part.text().end());
        payloadLeft_ -= part.size();
        bytes = bytes.sub(part.size());
        if (payloadLeft_ > 0)
            return Status::kNeedMore;
        inPayload_ = false;
        if (keep_)
            return Status::kFrame;
    }
    return Status::kNeedMore;
}

}
