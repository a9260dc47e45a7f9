// Classic pcap files read in large blocks, each frame handed out where it lies
// in the block instead of being copied out of a stream record by record.
#pragma once

#include <pcap/pcap.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

inline constexpr size_t kPcapFileHeaderBytes = 24;
inline constexpr size_t kPcapReadBlockBytes = 1024 * 1024;

class PcapFileReader {
public:
    // Takes `descriptor`, a regular file, when it holds a classic pcap file that
    // libpcap would read and whose frames need no byte-order fixes of their own;
    // null otherwise, the descriptor left to the caller. Reading ends, as if at the
    // end of the file, at the first record after `keepGoing` turned 0.
    static std::unique_ptr<PcapFileReader> open(int descriptor, const std::atomic<int32_t> *keepGoing,
                                                size_t blockBytes = kPcapReadBlockBytes);
    ~PcapFileReader();
    PcapFileReader(const PcapFileReader &) = delete;
    PcapFileReader &operator=(const PcapFileReader &) = delete;

    // libpcap's handle for the file header alone: the link type, and filters
    // compiled for it.
    pcap_t *headerHandle() const { return headerHandle_; }

    // Frames `filter` rejects are skipped; it must outlive the reading.
    void setFilter(const bpf_program *filter) { filter_ = filter; }

    // As pcap_next_ex reads a file: 1 with a frame, valid until the next call;
    // PCAP_ERROR_BREAK at the end; PCAP_ERROR for a read error or damage, with
    // libpcap's own reason in errorText().
    int next(const pcap_pkthdr *&header, const u_char *&data);

    const std::string &errorText() const { return errorText_; }
    uint64_t bytesRead() const { return offset_; }
    uint64_t bytesTotal() const { return bytesTotal_; }

private:
    PcapFileReader(const std::atomic<int32_t> *keepGoing, size_t blockBytes);
    bool takeFileHeader(int descriptor);
    int readRecord(const u_char *&frame);
    size_t fill(size_t wanted);
    size_t refill(size_t wanted);
    int fail(std::string reason);
    bool stopRequested() const;

    // libpcap reads its copy of the file header from here, so it must stay put.
    std::array<uint8_t, kPcapFileHeaderBytes> fileHeader_{};
    pcap_t *headerHandle_ = nullptr;
    int descriptor_ = -1;
    const std::atomic<int32_t> *keepGoing_;
    const bpf_program *filter_ = nullptr;

    bool swapped_ = false;
    bool nanoseconds_ = false;
    uint32_t snapshotLength_ = 0;
    uint32_t maximumCaptureLength_ = 0;

    // The bytes [begin_, end_) of buffer_ are read from the file and not yet handed out.
    std::vector<uint8_t> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    uint64_t offset_ = kPcapFileHeaderBytes;
    uint64_t bytesTotal_ = 0;
    bool readFailed_ = false;

    pcap_pkthdr frameHeader_{};
    std::string errorText_;
};
