#include "pcap_file_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kMagicMicroseconds = 0xa1b2c3d4;
constexpr uint32_t kMagicNanoseconds = 0xa1b23c4d;
constexpr uint32_t kNanosecondsPerMicrosecond = 1000;

constexpr size_t kRecordHeaderBytes = 16;
constexpr size_t kRecordSecondsOffset = 0;
constexpr size_t kRecordFractionOffset = 4;
constexpr size_t kRecordCapturedLengthOffset = 8;
constexpr size_t kRecordLengthOffset = 12;

// libpcap's limits on the bytes of one record (max_snaplen_for_dlt); a longer
// record is damage.
constexpr uint32_t kMaximumCaptureLength = 262144;
constexpr uint32_t kMaximumDbusCaptureLength = 128 * 1024 * 1024;
constexpr uint32_t kMaximumEbhscrCaptureLength = 8 * 1024 * 1024;
constexpr uint32_t kMaximumUsbPcapCaptureLength = 1024 * 1024;

uint32_t maximumCaptureLength(int linkType)
{
    switch (linkType) {
    case DLT_DBUS:
        return kMaximumDbusCaptureLength;
    case DLT_EBHSCR:
        return kMaximumEbhscrCaptureLength;
    case DLT_USBPCAP:
        return kMaximumUsbPcapCaptureLength;
    default:
        return kMaximumCaptureLength;
    }
}

// Files before version 2.4 may hold a record's two lengths the other way round,
// and byte-swapped files of these link types carry fields inside the frame in
// the writer's byte order; libpcap sorts out both.
bool needsLibpcap(pcap_t *handle)
{
    if (pcap_major_version(handle) != PCAP_VERSION_MAJOR || pcap_minor_version(handle) != PCAP_VERSION_MINOR)
        return true;
    if (!pcap_is_swapped(handle))
        return false;
    switch (pcap_datalink(handle)) {
    case DLT_LINUX_SLL:
    case DLT_LINUX_SLL2:
    case DLT_USB_LINUX:
    case DLT_USB_LINUX_MMAPPED:
    case DLT_NFLOG:
    case DLT_PFLOG:
        return true;
    default:
        return false;
    }
}

uint32_t readWord(const uint8_t *bytes, bool swapped)
{
    uint32_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return swapped ? __builtin_bswap32(word) : word;
}

std::string tooLongText(uint32_t capturedLength, uint32_t snapshotLength, uint32_t maximum)
{
    const std::string limit = capturedLength > snapshotLength ? "snaplen of " + std::to_string(snapshotLength)
                                                              : "maximum of " + std::to_string(maximum);
    return "invalid packet capture length " + std::to_string(capturedLength) + ", bigger than " + limit;
}

std::string truncatedText(size_t wanted, const char *what, size_t got)
{
    return "truncated dump file; tried to read " + std::to_string(wanted) + " " + what + ", only got " +
           std::to_string(got);
}

}

std::unique_ptr<PcapFileReader> PcapFileReader::open(int descriptor, const std::atomic<int32_t> *keepGoing,
                                                     size_t blockBytes)
{
    std::unique_ptr<PcapFileReader> reader(new PcapFileReader(keepGoing, blockBytes));
    if (!reader->takeFileHeader(descriptor))
        return nullptr;
    reader->descriptor_ = descriptor;
    return reader;
}

PcapFileReader::PcapFileReader(const std::atomic<int32_t> *keepGoing, size_t blockBytes)
    : keepGoing_(keepGoing), buffer_(std::max<size_t>(blockBytes, kRecordHeaderBytes))
{
}

PcapFileReader::~PcapFileReader()
{
    if (headerHandle_)
        pcap_close(headerHandle_);
    if (descriptor_ >= 0)
        close(descriptor_);
}

// libpcap reads the file header from a copy, so that the link type, the
// snapshot length and what it accepts are its own.
bool PcapFileReader::takeFileHeader(int descriptor)
{
    if (pread(descriptor, fileHeader_.data(), fileHeader_.size(), 0) != static_cast<ssize_t>(fileHeader_.size()))
        return false;
    uint32_t magic = readWord(fileHeader_.data(), false);
    swapped_ = magic == __builtin_bswap32(kMagicMicroseconds) || magic == __builtin_bswap32(kMagicNanoseconds);
    if (swapped_)
        magic = __builtin_bswap32(magic);
    if (magic != kMagicMicroseconds && magic != kMagicNanoseconds)
        return false;
    nanoseconds_ = magic == kMagicNanoseconds;

    FILE *stream = fmemopen(fileHeader_.data(), fileHeader_.size(), "r");
    if (!stream)
        return false;
    char errorBuffer[PCAP_ERRBUF_SIZE];
    headerHandle_ = pcap_fopen_offline(stream, errorBuffer);
    if (!headerHandle_) {
        std::fclose(stream);
        return false;
    }
    if (needsLibpcap(headerHandle_))
        return false;
    snapshotLength_ = static_cast<uint32_t>(pcap_snapshot(headerHandle_));
    maximumCaptureLength_ = maximumCaptureLength(pcap_datalink(headerHandle_));
    struct stat status {};
    bytesTotal_ = fstat(descriptor, &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
    return true;
}

// Makes `wanted` unread bytes ready when the file has them; returns how many are.
size_t PcapFileReader::fill(size_t wanted)
{
    return end_ - begin_ >= wanted ? wanted : refill(wanted);
}

size_t PcapFileReader::refill(size_t wanted)
{
    // A record cut by the end of the block moves to the front, the rest of it to follow.
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    if (buffer_.size() < wanted)
        buffer_.resize(wanted);
    // pread, not a mapping: a file cut short while it is read ends the read instead of the process.
    while (end_ < wanted) {
        const ssize_t count =
            pread(descriptor_, buffer_.data() + end_, buffer_.size() - end_, static_cast<off_t>(offset_));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            readFailed_ = true;
            errorText_ = std::string("error reading dump file: ") + std::strerror(errno);
            break;
        }
        if (count == 0)
            break;
        end_ += static_cast<size_t>(count);
        offset_ += static_cast<uint64_t>(count);
    }
    return std::min(end_, wanted);
}

bool PcapFileReader::stopRequested() const
{
    return keepGoing_ && keepGoing_->load(std::memory_order_relaxed) == 0;
}

int PcapFileReader::next(const pcap_pkthdr *&header, const u_char *&data)
{
    for (;;) {
        if (stopRequested())
            return PCAP_ERROR_BREAK;
        const u_char *frame = nullptr;
        const int result = readRecord(frame);
        if (result != 1)
            return result;
        if (filter_ && !pcap_offline_filter(filter_, &frameHeader_, frame))
            continue;
        header = &frameHeader_;
        data = frame;
        return 1;
    }
}

// Checks a record as libpcap does, with its words for what is wrong.
int PcapFileReader::readRecord(const u_char *&frame)
{
    const size_t headerBytes = fill(kRecordHeaderBytes);
    if (readFailed_)
        return PCAP_ERROR;
    if (headerBytes == 0)
        return PCAP_ERROR_BREAK;
    if (headerBytes < kRecordHeaderBytes)
        return fail(truncatedText(kRecordHeaderBytes, "header bytes", headerBytes));

    const uint32_t capturedLength = readWord(buffer_.data() + begin_ + kRecordCapturedLengthOffset, swapped_);
    if (capturedLength > maximumCaptureLength_)
        return fail(tooLongText(capturedLength, snapshotLength_, maximumCaptureLength_));
    // Bytes beyond the snapshot length are skipped, as libpcap skips them.
    const uint32_t kept = std::min(capturedLength, snapshotLength_);
    const size_t frameBytes = fill(kRecordHeaderBytes + capturedLength) - kRecordHeaderBytes;
    if (readFailed_)
        return PCAP_ERROR;
    if (frameBytes < capturedLength)
        return fail(truncatedText(frameBytes < kept ? kept : capturedLength, "captured bytes", frameBytes));

    const uint8_t *record = buffer_.data() + begin_;
    const uint32_t fraction = readWord(record + kRecordFractionOffset, swapped_);
    frameHeader_.ts.tv_sec = readWord(record + kRecordSecondsOffset, swapped_);
    frameHeader_.ts.tv_usec = nanoseconds_ ? fraction / kNanosecondsPerMicrosecond : fraction;
    frameHeader_.caplen = kept;
    frameHeader_.len = readWord(record + kRecordLengthOffset, swapped_);
    frame = record + kRecordHeaderBytes;
    begin_ += kRecordHeaderBytes + capturedLength;
    return 1;
}

int PcapFileReader::fail(std::string reason)
{
    errorText_ = std::move(reason);
    return PCAP_ERROR;
}
