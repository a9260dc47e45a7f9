#include "qpack_decoder.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

namespace quillnet::quic {

namespace {

constexpr int kFinalBlock = 1; // blocks are read whole, so each call may end one
// Blocks that may wait at once; the connection keeps fewer.
constexpr size_t kMaxBlockedStreams = 1024;

// Each allocation carries its size, so that freeing gives it back to the budget.
struct alignas(std::max_align_t) AllocationHeader {
    size_t size;
};

size_t &usedOf(void *memory)
{
    return *static_cast<size_t *>(memory);
}

size_t allocationCost(size_t size)
{
    return sizeof(AllocationHeader) + size;
}

AllocationHeader *headerOf(void *pointer)
{
    return static_cast<AllocationHeader *>(pointer) - 1;
}

void *allocate(size_t size, void *memory)
{
    size_t &used = usedOf(memory);
    if (size > QpackDecoder::kMaxMemory || allocationCost(size) > QpackDecoder::kMaxMemory - used)
        return nullptr;
    auto *header = static_cast<AllocationHeader *>(std::malloc(allocationCost(size)));
    if (!header)
        return nullptr;
    header->size = size;
    used += allocationCost(size);
    return header + 1;
}

void release(void *pointer, void *memory)
{
    if (!pointer)
        return;
    AllocationHeader *header = headerOf(pointer);
    usedOf(memory) -= allocationCost(header->size);
    std::free(header);
}

void *allocateZeroed(size_t count, size_t size, void *memory)
{
    if (size != 0 && count > QpackDecoder::kMaxMemory / size)
        return nullptr;
    void *pointer = allocate(count * size, memory);
    if (pointer)
        std::memset(pointer, 0, count * size);
    return pointer;
}

void *reallocate(void *pointer, size_t size, void *memory)
{
    if (!pointer)
        return allocate(size, memory);
    size_t &used = usedOf(memory);
    const size_t old = headerOf(pointer)->size;
    if (size > QpackDecoder::kMaxMemory || (size > old && size - old > QpackDecoder::kMaxMemory - used))
        return nullptr;
    auto *header = static_cast<AllocationHeader *>(std::realloc(headerOf(pointer), allocationCost(size)));
    if (!header)
        return nullptr;
    header->size = size;
    used = used - old + size;
    return header + 1;
}

std::string_view textOf(const nghttp3_rcbuf *buffer)
{
    const nghttp3_vec bytes = nghttp3_rcbuf_get_buf(buffer);
    return {reinterpret_cast<const char *>(bytes.base), bytes.len};
}


}

QpackDecoder::Block::Block(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

QpackDecoder::Block::~Block()
{
    if (context_)
        nghttp3_qpack_stream_context_del(context_);
}

QpackDecoder::Block::Block(Block &&other) noexcept
    : bytes_(std::move(other.bytes_)), read_(other.read_), context_(std::exchange(other.context_, nullptr))
{
}

QpackDecoder::Block &QpackDecoder::Block::operator=(Block &&other) noexcept
{
    if (this != &other) {
        if (context_)
            nghttp3_qpack_stream_context_del(context_);
        bytes_ = std::move(other.bytes_);
        read_ = other.read_;
        context_ = std::exchange(other.context_, nullptr);
    }
    return *this;
}

QpackDecoder::QpackDecoder()
{
    memory_.allocator = {&memory_.used, allocate, release, allocateZeroed, reallocate};
}

std::unique_ptr<QpackDecoder> QpackDecoder::create(uint64_t maxTableCapacity)
{
    std::unique_ptr<QpackDecoder> decoder(new QpackDecoder());
    if (nghttp3_qpack_decoder_new(&decoder->decoder_, maxTableCapacity, kMaxBlockedStreams,
                                  &decoder->memory_.allocator) != 0)
        return nullptr;
    return decoder;
}

QpackDecoder::~QpackDecoder()
{
    nghttp3_qpack_decoder_del(decoder_);
}

bool QpackDecoder::readEncoder(ByteView instructions)
{
    const nghttp3_ssize used = nghttp3_qpack_decoder_read_encoder(
        decoder_, reinterpret_cast<const uint8_t *>(instructions.text().data()), instructions.size());
    return used >= 0 && static_cast<size_t>(used) == instructions.size();
}

uint64_t QpackDecoder::insertCount() const
{
    return nghttp3_qpack_decoder_get_icnt(decoder_);
}

QpackDecoder::Result QpackDecoder::decode(uint64_t streamId, Block &block, HeaderFields &fields)
{
    if (!block.context_ &&
        nghttp3_qpack_stream_context_new(&block.context_, static_cast<int64_t>(streamId), &memory_.allocator) != 0)
        return Result::kFailed;
    for (;;) {
        const ByteView rest = ByteView(block.bytes_.data(), block.bytes_.size()).sub(block.read_);
        nghttp3_qpack_nv field{};
        uint8_t flags = NGHTTP3_QPACK_DECODE_FLAG_NONE;
        const nghttp3_ssize used = nghttp3_qpack_decoder_read_request(
            decoder_, block.context_, &field, &flags, reinterpret_cast<const uint8_t *>(rest.text().data()),
            rest.size(), kFinalBlock);
        if (used < 0)
            return Result::kFailed;
        block.read_ += static_cast<size_t>(used);
        if (flags & NGHTTP3_QPACK_DECODE_FLAG_EMIT) {
            fields.take(textOf(field.name), textOf(field.value));
            nghttp3_rcbuf_decref(field.name);
            nghttp3_rcbuf_decref(field.value);
        }
        if (flags & NGHTTP3_QPACK_DECODE_FLAG_FINAL) {
            dropDecoderStream();
            return Result::kDecoded;
        }
        if (flags & NGHTTP3_QPACK_DECODE_FLAG_BLOCKED)
            return Result::kBlocked;
        if (used == 0 && !(flags & NGHTTP3_QPACK_DECODE_FLAG_EMIT))
            return Result::kFailed;
    }
}

// The acknowledgements a decoder owes its peer's encoder pile up in its memory
// until written; nobody here sends them.
void QpackDecoder::dropDecoderStream()
{
    const size_t length = nghttp3_qpack_decoder_get_decoder_streamlen(decoder_);
    if (length == 0)
        return;
    decoderStream_.resize(length);
    nghttp3_buf buffer{};
    nghttp3_buf_init(&buffer);
    buffer.begin = buffer.pos = buffer.last = decoderStream_.data();
    buffer.end = decoderStream_.data() + decoderStream_.size();
    nghttp3_qpack_decoder_write_decoder(decoder_, &buffer);
}

}
