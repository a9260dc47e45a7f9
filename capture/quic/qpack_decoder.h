// The QPACK decoder for the header blocks one side of an HTTP/3 connection
// sends: libnghttp3's, fed that side's encoder stream, in memory of its own
// that a budget bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nghttp3/nghttp3.h>

#include "byte_view.h"
#include "request_headers.h"

namespace quillnet::quic {

class QpackDecoder {
public:
    // What the dynamic table, the blocks being read and the library's own
    // state may take together. A full 64 KiB table of the smallest entries
    // takes about a third of it.
    static constexpr size_t kMaxMemory = 1024 * 1024;

    // One header block, kept while it waits for the encoder stream.
    class Block {
    public:
        explicit Block(std::vector<uint8_t> bytes);
        ~Block();
        Block(Block &&) noexcept;
        Block &operator=(Block &&) noexcept;
        size_t heldBytes() const { return bytes_.capacity(); }

    private:
        friend class QpackDecoder;
        std::vector<uint8_t> bytes_;
        size_t read_ = 0;
        nghttp3_qpack_stream_context *context_ = nullptr; // once reading began, in its decoder's memory
    };

    enum class Result { kDecoded, kBlocked, kFailed };

    // `maxTableCapacity` is what the decoding peer announced: it bounds the
    // table and takes part in reading each block's Required Insert Count.
    // Null when the library cannot start one.
    static std::unique_ptr<QpackDecoder> create(uint64_t maxTableCapacity);
    ~QpackDecoder();
    QpackDecoder(const QpackDecoder &) = delete;
    QpackDecoder &operator=(const QpackDecoder &) = delete;

    // False once the instructions broke the table or its budget.
    bool readEncoder(ByteView instructions);
    uint64_t insertCount() const;
    // Reads on where the block stopped. kBlocked: it needs entries the
    // encoder stream has not brought yet. A block must be read to its end
    // by the decoder that began it.
    Result decode(uint64_t streamId, Block &block, HeaderFields &fields);
    size_t heldBytes() const { return memory_.used + decoderStream_.capacity(); }

private:
    struct Memory {
        nghttp3_mem allocator{};
        size_t used = 0;
    };

    QpackDecoder();
    void dropDecoderStream();

    Memory memory_;
    nghttp3_qpack_decoder *decoder_ = nullptr;
    std::vector<uint8_t> decoderStream_; // what the decoder would answer, written and dropped
};

}
