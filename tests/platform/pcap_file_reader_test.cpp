// Capture files read in place, each checked against libpcap reading the same file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "capture_source.h"
#include "frame_builder.h"
#include "pcap_file_reader.h"
#include "temporary_directory.h"

using namespace testing_support;

namespace {

using Frames = std::vector<std::vector<uint8_t>>;

constexpr size_t kIpProtocolOffset = 14 + 9;
constexpr size_t kRecordHeaderBytes = 16;
constexpr size_t kRecordCapturedLengthOffset = 8;
constexpr size_t kSmallBlockBytes = 64;
const Endpoint kClient{{10, 0, 0, 2}, 40000};
const Endpoint kServer{{10, 0, 0, 1}, 80};

struct Layout {
    bool swapped = false;
    bool nanoseconds = false;
    uint32_t snapshotLength = 2048;
    int linkType = DLT_EN10MB;
    uint16_t versionMinor = PCAP_VERSION_MINOR;
};

template <typename Word>
void append(std::string &out, Word word, bool swapped)
{
    auto bytes = std::bit_cast<std::array<char, sizeof word>>(word);
    if (swapped)
        std::reverse(bytes.begin(), bytes.end());
    out.append(bytes.data(), bytes.size());
}

// A record per frame, a second and a few microseconds apart, each frame's
// length on the wire a little more than what was kept.
std::string classicFile(const Frames &frames, const Layout &layout = {})
{
    std::string out;
    const bool swapped = layout.swapped;
    append<uint32_t>(out, layout.nanoseconds ? 0xa1b23c4d : 0xa1b2c3d4, swapped);
    append<uint16_t>(out, PCAP_VERSION_MAJOR, swapped);
    append<uint16_t>(out, layout.versionMinor, swapped);
    append<uint32_t>(out, 0, swapped); // time zone
    append<uint32_t>(out, 0, swapped); // time stamp accuracy
    append<uint32_t>(out, layout.snapshotLength, swapped);
    append<uint32_t>(out, static_cast<uint32_t>(layout.linkType), swapped);
    for (uint32_t i = 0; i < frames.size(); ++i) {
        const uint32_t microseconds = 17 + i * 1001;
        append<uint32_t>(out, 1700000000 + i, swapped);
        append<uint32_t>(out, layout.nanoseconds ? microseconds * 1000 + 999 : microseconds, swapped);
        append<uint32_t>(out, static_cast<uint32_t>(frames[i].size()), swapped);
        append<uint32_t>(out, static_cast<uint32_t>(frames[i].size() + i % 3), swapped);
        out.append(frames[i].begin(), frames[i].end());
    }
    return out;
}

// Section header, one Ethernet interface, an enhanced packet block per frame.
std::string pcapngFile(const Frames &frames)
{
    std::string out;
    const auto block = [&out](uint32_t type, std::string body) {
        body.resize((body.size() + 3) / 4 * 4, '\0');
        const auto total = static_cast<uint32_t>(body.size() + 12);
        append(out, type, false);
        append(out, total, false);
        out += body;
        append(out, total, false);
    };
    std::string section;
    append<uint32_t>(section, 0x1a2b3c4d, false);
    append<uint16_t>(section, 1, false);
    append<uint16_t>(section, 0, false);
    append<uint64_t>(section, ~uint64_t{0}, false); // section length unknown
    block(0x0a0d0d0a, section);
    std::string interface;
    append<uint16_t>(interface, DLT_EN10MB, false);
    append<uint16_t>(interface, 0, false);
    append<uint32_t>(interface, 0, false);
    block(1, interface);
    for (uint32_t i = 0; i < frames.size(); ++i) {
        std::string packet;
        const uint64_t microseconds = (1700000000ull + i) * 1000000 + 17;
        append<uint32_t>(packet, 0, false);
        append<uint32_t>(packet, static_cast<uint32_t>(microseconds >> 32), false);
        append<uint32_t>(packet, static_cast<uint32_t>(microseconds), false);
        append<uint32_t>(packet, static_cast<uint32_t>(frames[i].size()), false);
        append<uint32_t>(packet, static_cast<uint32_t>(frames[i].size()), false);
        packet.append(frames[i].begin(), frames[i].end());
        block(6, packet);
    }
    return out;
}

Frames sampleFrames()
{
    std::vector<uint8_t> udp = BuildTcpFrame(kClient, kServer, "not TCP");
    udp[kIpProtocolOffset] = IPPROTO_UDP;
    return {
        BuildTcpFrame(kClient, kServer, "GET /a.flv HTTP/1.1\r\nHost: example\r\n\r\n"),
        udp,
        BuildTcpFrame(kServer, kClient, std::string(1500, 'x')),
        BuildTcpFrame(kServer, kClient, std::string(3000, 'y')), // beyond the snapshot length
        BuildTcpFrame(kServer, kClient, "HTTP/1.1 200 OK\r\n\r\n"),
    };
}

size_t recordOffset(const Frames &frames, size_t index)
{
    size_t offset = kPcapFileHeaderBytes;
    for (size_t i = 0; i < index; ++i)
        offset += kRecordHeaderBytes + frames[i].size();
    return offset;
}

struct Frame {
    long seconds;
    long microseconds;
    uint32_t capturedLength;
    uint32_t length;
    std::vector<uint8_t> bytes;
    bool operator==(const Frame &) const = default;
};

struct Reading {
    std::vector<Frame> frames;
    std::string error; // empty when the file was read to its end
    bool operator==(const Reading &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Reading &reading)
{
    return out << reading.frames.size() << " frames, then " << (reading.error.empty() ? "the end" : reading.error);
}

Frame frameOf(const pcap_pkthdr &header, const u_char *data)
{
    return {header.ts.tv_sec, header.ts.tv_usec, header.caplen, header.len,
            std::vector<uint8_t>(data, data + header.caplen)};
}

template <typename Source>
Reading readToTheEnd(Source &source)
{
    Reading reading;
    const pcap_pkthdr *header = nullptr;
    const u_char *data = nullptr;
    int result = 0;
    while ((result = source.next(header, data)) == 1)
        reading.frames.push_back(frameOf(*header, data));
    if (result != PCAP_ERROR_BREAK)
        reading.error = source.errorText();
    return reading;
}

Reading readWithLibpcap(const std::string &path, const std::string &filter = "")
{
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap_t *handle = pcap_open_offline(path.c_str(), errorBuffer);
    if (!handle)
        return {{}, errorBuffer};
    bpf_program program{};
    if (!filter.empty()) {
        EXPECT_EQ(pcap_compile(handle, &program, filter.c_str(), 1, 0), 0);
        EXPECT_EQ(pcap_setfilter(handle, &program), 0);
    }
    Reading reading;
    pcap_pkthdr *header = nullptr;
    const u_char *data = nullptr;
    int result = 0;
    while ((result = pcap_next_ex(handle, &header, &data)) == 1)
        reading.frames.push_back(frameOf(*header, data));
    if (result != PCAP_ERROR_BREAK)
        reading.error = pcap_geterr(handle);
    pcap_freecode(&program);
    pcap_close(handle);
    return reading;
}

std::unique_ptr<PcapFileReader> openInPlace(const std::string &path, size_t blockBytes,
                                            const std::atomic<int32_t> *keepGoing = nullptr)
{
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    auto reader = PcapFileReader::open(descriptor, keepGoing, blockBytes);
    if (!reader)
        close(descriptor);
    return reader;
}

Reading readInPlace(const std::string &path, size_t blockBytes, const std::string &filter = "")
{
    const auto reader = openInPlace(path, blockBytes);
    if (!reader) {
        ADD_FAILURE() << path << " is not read in place";
        return {};
    }
    bpf_program program{};
    if (!filter.empty()) {
        EXPECT_EQ(pcap_compile(reader->headerHandle(), &program, filter.c_str(), 1, 0), 0);
        reader->setFilter(&program);
    }
    Reading reading = readToTheEnd(*reader);
    pcap_freecode(&program);
    return reading;
}

TEST(PcapFileReader, ReadsBothByteOrdersAndTimeStampPrecisionsAsLibpcapReadsTheNativeFile)
{
    const TemporaryDirectory directory;
    const std::string native = directory.file("native.pcap");
    WriteWholeFile(native, classicFile(sampleFrames()));
    const Reading expected = readWithLibpcap(native);
    ASSERT_EQ(expected.frames.size(), 5u) << expected;
    ASSERT_EQ(expected.frames[3].capturedLength, 2048u) << "cut to the snapshot length";
    const Reading filtered = readWithLibpcap(native, "tcp");
    ASSERT_EQ(filtered.frames.size(), 4u) << filtered;

    for (const bool swapped : {false, true}) {
        for (const bool nanoseconds : {false, true}) {
            const std::string path = directory.file("layout.pcap");
            WriteWholeFile(path, classicFile(sampleFrames(), {swapped, nanoseconds}));
            // A small block has records straddle it and outgrow it.
            for (const size_t blockBytes : {kSmallBlockBytes, kPcapReadBlockBytes}) {
                SCOPED_TRACE(std::string(swapped ? "swapped" : "native") + (nanoseconds ? " ns" : " us") +
                             ", block " + std::to_string(blockBytes));
                EXPECT_EQ(readInPlace(path, blockBytes), expected);
                EXPECT_EQ(readInPlace(path, blockBytes, "tcp"), filtered);
            }
        }
    }
}

TEST(PcapFileReader, DamageEndsTheReadWithLibpcapsReasonAfterTheFramesBeforeIt)
{
    const TemporaryDirectory directory;
    const Frames frames = sampleFrames();
    const std::string whole = classicFile(frames);
    const size_t longFrame = recordOffset(frames, 3) + kRecordHeaderBytes;
    std::string absurdLength;
    append<uint32_t>(absurdLength, 0x7fffffff, false);
    std::string absurd = whole;
    absurd.replace(recordOffset(frames, 1) + kRecordCapturedLengthOffset, absurdLength.size(), absurdLength);
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"a cut record header", whole.substr(0, recordOffset(frames, 4) + 5)},
        {"a cut frame", whole.substr(0, whole.size() - 5)},
        {"a long frame cut before the snapshot length", whole.substr(0, longFrame + 1000)},
        {"a long frame cut after the snapshot length", whole.substr(0, longFrame + 2500)},
        {"an absurd captured length", absurd},
    };
    for (const auto &[what, content] : damaged) {
        SCOPED_TRACE(what);
        const std::string path = directory.file("damaged.pcap");
        WriteWholeFile(path, content);
        const Reading expected = readWithLibpcap(path);
        ASSERT_FALSE(expected.error.empty()) << expected;
        for (const size_t blockBytes : {kSmallBlockBytes, kPcapReadBlockBytes})
            EXPECT_EQ(readInPlace(path, blockBytes), expected);
    }
}

TEST(PcapFileReader, AFileCutOrGrownWhileItIsReadIsReadAsItStandsThen)
{
    const TemporaryDirectory directory;
    const Frames frames(200, BuildTcpFrame(kServer, kClient, std::string(1000, 'z')));
    const std::string whole = classicFile(frames);
    const std::string path = directory.file("changing.pcap");
    const pcap_pkthdr *header = nullptr;
    const u_char *data = nullptr;

    WriteWholeFile(path, whole);
    auto reader = openInPlace(path, 4096);
    ASSERT_TRUE(reader);
    ASSERT_EQ(reader->next(header, data), 1);
    Reading cut{{frameOf(*header, data)}, ""};
    std::filesystem::resize_file(path, whole.size() / 2);
    Reading rest = readToTheEnd(*reader);
    cut.frames.insert(cut.frames.end(), rest.frames.begin(), rest.frames.end());
    cut.error = rest.error;
    EXPECT_FALSE(cut.error.empty());
    EXPECT_EQ(cut, readWithLibpcap(path));

    const size_t half = recordOffset(frames, frames.size() / 2);
    WriteWholeFile(path, whole.substr(0, half));
    reader = openInPlace(path, 4096);
    ASSERT_TRUE(reader);
    ASSERT_EQ(reader->next(header, data), 1);
    Reading grown{{frameOf(*header, data)}, ""};
    std::ofstream(path, std::ios::binary | std::ios::app) << whole.substr(half);
    rest = readToTheEnd(*reader);
    grown.frames.insert(grown.frames.end(), rest.frames.begin(), rest.frames.end());
    EXPECT_EQ(grown, readWithLibpcap(path));
    EXPECT_EQ(grown.frames.size(), frames.size());
}

TEST(PcapFileReader, ReadsNoFurtherOnceToldToStop)
{
    const TemporaryDirectory directory;
    const std::string path = directory.file("stopped.pcap");
    WriteWholeFile(path, classicFile(sampleFrames()));
    std::atomic<int32_t> keepGoing{1};
    const auto reader = openInPlace(path, kPcapReadBlockBytes, &keepGoing);
    ASSERT_TRUE(reader);
    const pcap_pkthdr *header = nullptr;
    const u_char *data = nullptr;
    ASSERT_EQ(reader->next(header, data), 1);
    keepGoing = 0;
    EXPECT_EQ(reader->next(header, data), PCAP_ERROR_BREAK);
    EXPECT_EQ(reader->errorText(), "");
}

TEST(CaptureSource, FilesNotReadInPlaceAreReadByLibpcap)
{
    const TemporaryDirectory directory;
    const Frames frames = sampleFrames();
    Frames cooked;
    for (const auto &frame : frames)
        cooked.push_back(Reencapsulate(frame, LinkLayer::LinuxCooked));
    // Before 2.4 the two lengths may be the other way round; a byte-swapped
    // cooked header may hold words in the writer's order.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"pcapng", pcapngFile(frames)},
        {"version 2.3", classicFile(frames, {.versionMinor = 3})},
        {"byte-swapped Linux cooked", classicFile(cooked, {.swapped = true, .linkType = DLT_LINUX_SLL})},
    };
    for (const auto &[what, content] : files) {
        SCOPED_TRACE(what);
        const std::string path = directory.file("other");
        WriteWholeFile(path, content);
        EXPECT_EQ(openInPlace(path, kPcapReadBlockBytes), nullptr);

        std::string errorText;
        const auto source = CaptureSource::open(("file://" + path).c_str(), 65536, 0, 1000, errorText);
        ASSERT_TRUE(source) << errorText;
        const Reading expected = readWithLibpcap(path);
        EXPECT_EQ(expected.frames.size(), frames.size()) << expected;
        EXPECT_EQ(readToTheEnd(*source), expected);
        uint64_t bytesRead = 0;
        uint64_t bytesTotal = 0;
        ASSERT_TRUE(source->progress(bytesRead, bytesTotal));
        EXPECT_EQ(bytesTotal, content.size());
        EXPECT_EQ(bytesRead, bytesTotal);
    }
}

}
