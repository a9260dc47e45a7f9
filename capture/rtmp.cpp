#include "rtmp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <span>
#include <string_view>

#include "log_texts.h"
#include "notifications.h"
#include "pending_table.h"

namespace quillnet {

namespace {

PendingTable<RtmpConnection> rtmpTable(kMostPendingConnects);

constexpr mode_t kDumpFolderMode = 0700;
constexpr mode_t kDumpMode = 0600;

// Command patterns, relative to the byte where each is tested.
constexpr uint8_t kConnectChunkBasicHeader = 0x03; // type-0 header, chunk stream 3
constexpr size_t kConnectNameMarker = 12;
constexpr size_t kConnectName = 15;
constexpr uint8_t kAmfStringMarker = 0x02;
constexpr uint8_t kCreateStreamLengthHigh = 0x00;
constexpr uint8_t kCreateStreamLengthLow = 0x0C;
constexpr uint8_t kPlayLengthHigh = 0x00;
constexpr uint8_t kPlayLengthLow = 0x04;
// The first byte of each command with one more of its fixed bytes: positions
// without any of these cannot start a command.
constexpr BytePair kCommandSignatures[] = {
    {kConnectChunkBasicHeader, kConnectNameMarker, kAmfStringMarker},
    {kCreateStreamLengthHigh, 1, kCreateStreamLengthLow},
    {kAmfStringMarker, 1, kPlayLengthHigh},
};
// Each command is tested only where its last pattern byte could still be captured.
constexpr size_t kScanTail = 21;

// Chunking and AMF0 framing that the parser assumes.
constexpr size_t kChunkSize = 128;
constexpr size_t kType0ChunkHeaderLength = 12;
constexpr size_t kMessageTypeInHeader = 7;
constexpr uint8_t kAmf0CommandMessage = 20;
constexpr uint8_t kExtendedChunkHeader = 0xC2;
constexpr size_t kExtendedChunkHeaderSkip = 11;
constexpr size_t kDechunkCapacity = 1500;
constexpr std::string_view kPlayCommandName("\x00\x04play", 6);
// After 0x00 0x04 "play": the transaction number (9 bytes), the null marker and
// the string marker come before the stream name's length.
constexpr size_t kPlaypathLength = 17;
constexpr size_t kPlaypathValue = 19;

// The command bytes with the chunk headers between them taken out.
class DechunkedBytes {
public:
    // Appends one byte; false once the buffer is full.
    bool append(uint8_t byte)
    {
        if (size_ < bytes_.size())
            bytes_[size_++] = byte;
        return size_ < bytes_.size();
    }
    // Starts over at the front; what lies beyond the new count is not read.
    void restart() { size_ = 0; }
    ByteView view() const { return ByteView(bytes_.data(), size_); }
    size_t size() const { return size_; }

private:
    std::array<uint8_t, kDechunkCapacity> bytes_{};
    size_t size_ = 0;
};

struct PropertyRule {
    std::string_view name;
    bool markerTested;
    std::span<char> (*field)(SendInfo &);
    const char *lengthLog;
    const char *valueLog;
    const char *emptyLog;
};

const PropertyRule kConnectProperties[] = {
    {"app", true, [](SendInfo &r) { return std::span<char>(r.app); }, logtext::kAppLength, logtext::kAppLengthValue,
     nullptr},
    {"swfUrl", true, [](SendInfo &r) { return std::span<char>(r.swfUrl); }, logtext::kSwfUrlLength,
     logtext::kSwfUrlLengthValue, nullptr},
    {"tcUrl", true, [](SendInfo &r) { return std::span<char>(r.tcUrl); }, logtext::kTcUrlLength,
     logtext::kTcUrlLengthValue, nullptr},
    {"pageUrl", false, [](SendInfo &r) { return std::span<char>(r.pageUrl); }, logtext::kPageUrlLength,
     logtext::kPageUrlLengthValue, logtext::kPageUrlLengthEmpty},
};

bool isConnect(ByteView frame, size_t i)
{
    return frame.byteIs(i, kConnectChunkBasicHeader) && frame.byteIs(i + kConnectNameMarker, kAmfStringMarker) &&
           frame.matches(i + kConnectName, "connect");
}

bool isCreateStream(ByteView frame, size_t i)
{
    return frame.byteIs(i, kCreateStreamLengthHigh) && frame.byteIs(i + 1, kCreateStreamLengthLow) &&
           frame.matches(i + 2, "create");
}

bool isPlay(ByteView frame, size_t i)
{
    return frame.byteIs(i, kAmfStringMarker) && frame.byteIs(i + 1, kPlayLengthHigh) &&
           frame.byteIs(i + 2, kPlayLengthLow) && (frame.byteIs(i + 3, 'p') || frame.byteIs(i + 3, 'P')) &&
           frame.matches(i + 4, "lay");
}

std::optional<RtmpCommand> commandAt(ByteView frame, size_t i)
{
    if (isConnect(frame, i))
        return RtmpCommand::Connect;
    if (isCreateStream(frame, i))
        return RtmpCommand::CreateStream;
    if (isPlay(frame, i))
        return RtmpCommand::Play;
    return std::nullopt;
}

int asInt(size_t value)
{
    return static_cast<int>(value);
}

void rememberConnect(Frame &frame, size_t position)
{
    const FrameAddresses &a = frame.describedAddresses();
    SendLog(frame.window, logtext::kFoundConnect, a.sourceIpText, a.sourcePort, a.destIpText, a.destPort,
            asInt(position));
    auto &stored = rtmpTable.add(frame.flow());
    RtmpConnection &slot = stored.entry;
    slot.destPort = a.destPort;
    slot.RtmpConnectionLen = asInt(copyBytes(slot.connectBytes, frame.bytes.sub(position)));
    SendLog(frame.window, logtext::kConnectStored, stored.number - 1);
}

void noteCreateStream(Frame &frame, size_t position)
{
    const FrameAddresses &a = frame.describedAddresses();
    SendLog(frame.window, logtext::kFoundCreateStream, a.sourceIpText, a.sourcePort, a.destIpText, a.destPort,
            asInt(frame.bytes.size() - position));
    SendLogText(frame.window, logtext::kCreateStreamOffset);
    if (rtmpTable.oldest(frame.flow()))
        SendLog(frame.window, logtext::kCreateStreamLength, asInt(frame.payload.size()));
}

void completeWithPlay(Frame &frame, size_t position)
{
    const FrameAddresses &a = frame.describedAddresses();
    SendLog(frame.window, logtext::kFoundPlay, a.sourceIpText, a.sourcePort, a.destIpText, a.destPort,
            asInt(frame.bytes.size() - position), asInt(position));
    const Flow flow = frame.flow();
    auto *waiting = rtmpTable.oldest(flow);
    if (!waiting)
        return;
    SendLogText(frame.window, logtext::kPlayMatchesConnect);
    RtmpConnection &slot = waiting->entry;
    slot.RtmpPlayLen = asInt(copyBytes(slot.playBytes, frame.bytes.sub(position)));
    SendLog(frame.window, logtext::kPlayLength, slot.RtmpPlayLen);
    SendLogText(frame.window, logtext::kEmpty);
    SendLogText(frame.window, logtext::kStartParsing);
    GetRtmpInfoFromPacket(frame.window, slot);
    rtmpTable.removeOldest(flow);
}

// The dump folder when it is this user's alone. The capture often runs as root
// in a temporary folder others write to: a folder someone else made, or may
// write in, could hold links that turn a dump into an overwrite of any file.
bool privateDumpFolder(const std::string &folder)
{
    if (mkdir(folder.c_str(), kDumpFolderMode) != 0 && errno != EEXIST)
        return false;
    struct stat status {};
    return lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == geteuid() &&
           (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

void writeAll(int descriptor, ByteView bytes)
{
    const std::string_view text = bytes.text();
    for (size_t written = 0; written < text.size();) {
        const ssize_t count = write(descriptor, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return;
        written += static_cast<size_t>(count);
    }
}

// Writes `bytes` to a dump file named `name`; a file that cannot be written, or
// is a link, is skipped.
void writeDump(HWND window, const char *name, ByteView bytes)
{
    const std::string folder = RtmpDumpFolder();
    const std::string path = folder + "/" + name;
    if (privateDumpFolder(folder)) {
        const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, kDumpMode);
        if (descriptor >= 0) {
            writeAll(descriptor, bytes);
            close(descriptor);
        }
    }
    SendLog(window, logtext::kDumpWritten, path.c_str(), asInt(bytes.size()));
}

void logDroppedHeader(HWND window, size_t position, uint8_t byte)
{
    SendLog(window, logtext::kDroppedChunkHeader, asInt(position), static_cast<unsigned>(byte));
}

void dechunkConnect(HWND window, ByteView connect, DechunkedBytes &out)
{
    size_t inChunk = 0;
    for (size_t pos = kType0ChunkHeaderLength; pos < connect.size(); ++pos) {
        const uint8_t byte = connect.u8(pos).value_or(0);
        if (inChunk == kChunkSize) {
            inChunk = 0;
            logDroppedHeader(window, pos, byte);
            continue;
        }
        ++inChunk;
        if (!out.append(byte)) {
            SendLogText(window, logtext::kConnectBufferFull);
            return;
        }
    }
}

void dechunkPlay(HWND window, ByteView play, DechunkedBytes &out)
{
    size_t inChunk = 0;
    for (size_t pos = 0; pos < play.size(); ++pos) {
        if (play.size() > kChunkSize && inChunk == kChunkSize) {
            if (play.byteIs(pos, kExtendedChunkHeader)) {
                pos += kExtendedChunkHeaderSkip;
                SendLogText(window, logtext::kSkipC2Header);
            }
            inChunk = 0;
            const auto dropped = play.u8(pos);
            if (!dropped)
                return;
            logDroppedHeader(window, pos, *dropped);
            continue;
        }
        ++inChunk;
        if (!out.append(play.u8(pos).value_or(0))) {
            SendLogText(window, logtext::kPlayBufferFull);
            return;
        }
    }
}

// Reads the 16-bit length of an AMF0 string and logs it the parser's way.
std::optional<uint16_t> readLength(HWND window, ByteView bytes, size_t offset, const char *lengthLog)
{
    const auto length = bytes.be16(offset);
    if (!length)
        return std::nullopt;
    SendLog(window, lengthLog, FormatText("%04X", *length).c_str(), *length >> 8, *length & 0xFF);
    return length;
}

void takeProperty(HWND window, ByteView bytes, size_t pos, const PropertyRule &rule, SendInfo &record)
{
    const size_t lengthAt = pos + rule.name.size() + 1;
    const auto length = readLength(window, bytes, lengthAt, rule.lengthLog);
    if (*length > 0) {
        copyText(rule.field(record), bytes.sub(lengthAt + 2, *length));
        SendLog(window, rule.valueLog, *length);
    } else if (rule.emptyLog) {
        SendLog(window, rule.emptyLog, *length);
    }
}

bool propertyAt(ByteView bytes, size_t pos, const PropertyRule &rule)
{
    const size_t marker = pos + rule.name.size();
    return bytes.matches(pos, rule.name) && (!rule.markerTested || bytes.byteIs(marker, kAmfStringMarker)) &&
           bytes.has(marker + 1, 2);
}

// Scans the de-chunked connect command for its properties; a later occurrence
// of a name overwrites an earlier value. Returns the position the scan reached.
size_t scanConnectProperties(HWND window, ByteView bytes, SendInfo &record)
{
    size_t pos = 0;
    for (; pos < bytes.size(); ++pos) {
        for (const PropertyRule &rule : kConnectProperties) {
            if (propertyAt(bytes, pos, rule)) {
                takeProperty(window, bytes, pos, rule, record);
                break;
            }
        }
    }
    return pos;
}

void findPlaypath(HWND window, ByteView bytes, SendInfo &record)
{
    const size_t pos = bytes.find(kPlayCommandName);
    if (pos == ByteView::npos)
        return;
    const uint16_t length = readLength(window, bytes, pos + kPlaypathLength, logtext::kPlaypathLength).value_or(0);
    SendLog(window, logtext::kPlaypathLengthValue, length);
    if (length == 0)
        return;
    copyText(record.playpath, bytes.sub(pos + kPlaypathValue, length));
    SendLog(window, logtext::kPlaypathFound, record.playpath, asInt(pos), asInt(bytes.size()));
    writeDump(window, "rtmp-playpath-field.bin", ByteView(reinterpret_cast<const uint8_t *>(record.playpath),
                                                          sizeof record.playpath));
}

void parseSlot(HWND window, const RtmpConnection &slot, SendInfo &record)
{
    record.port = slot.destPort;
    DechunkedBytes dechunked;
    size_t scanned = 0;
    const ByteView connect(slot.connectBytes, static_cast<size_t>(slot.RtmpConnectionLen));
    if (connect.byteIs(0, kConnectChunkBasicHeader) && connect.byteIs(kMessageTypeInHeader, kAmf0CommandMessage)) {
        SendLog(window, logtext::kConnectDechunk, slot.RtmpConnectionLen);
        writeDump(window, "rtmp-connect-bytes.bin", ByteView(slot.connectBytes, sizeof slot.connectBytes));
        dechunkConnect(window, connect, dechunked);
        scanned = scanConnectProperties(window, dechunked.view(), record);
    }
    SendLog(window, logtext::kConnectScanEnd, asInt(scanned), asInt(dechunked.size()));

    SendLog(window, logtext::kPlayDechunk, slot.RtmpPlayLen);
    writeDump(window, "rtmp-play-bytes.bin", ByteView(slot.playBytes, sizeof slot.playBytes));
    dechunked.restart();
    dechunkPlay(window, ByteView(slot.playBytes, static_cast<size_t>(slot.RtmpPlayLen)), dechunked);
    findPlaypath(window, dechunked.view(), record);
}

}

namespace {

// Connections that carried an HTTP response, by fingerprint. Commands come
// from the clients of RTMP connections, so what servers send as HTTP bodies,
// most of the bytes on a busy link, is not scanned. Direct-mapped: a flow
// pushed out is scanned again, as before.
constexpr size_t kResponseFlowPlaces = 4096;
std::array<uint64_t, kResponseFlowPlaces> responseFlows{};

uint64_t flowFingerprint(const Flow &flow)
{
    return FlowHash{}(flow) | 1; // never 0, the empty place
}

bool carriesHttpResponses(const Flow &flow)
{
    const uint64_t fingerprint = flowFingerprint(flow);
    return responseFlows[fingerprint % kResponseFlowPlaces] == fingerprint;
}

}

void NoteHttpResponseFlow(const Flow &flow)
{
    const uint64_t fingerprint = flowFingerprint(flow);
    responseFlows[fingerprint % kResponseFlowPlaces] = fingerprint;
}

void ResetRtmpTable()
{
    rtmpTable.clear();
    responseFlows.fill(0);
}

const RtmpConnection *FindPendingConnect(int index)
{
    const auto *item = rtmpTable.find(index + 1);
    return item ? &item->entry : nullptr;
}

size_t PendingConnectCount()
{
    return rtmpTable.size();
}

uint64_t EvictedConnectCount()
{
    return rtmpTable.evictions();
}

std::optional<RtmpCommandMatch> FindRtmpCommand(ByteView frame, size_t payloadStart)
{
    if (frame.size() < kScanTail)
        return std::nullopt;
    const size_t scanEnd = frame.size() - kScanTail + 1;
    for (size_t i = payloadStart; i < scanEnd; ++i) {
        i = frame.findAnyPair(kCommandSignatures, i, scanEnd);
        if (i == ByteView::npos)
            return std::nullopt;
        if (const auto command = commandAt(frame, i))
            return RtmpCommandMatch{*command, i};
    }
    return std::nullopt;
}

void ScanRtmp(Frame &frame)
{
    if (carriesHttpResponses(frame.flow()))
        return;
    const auto match = FindRtmpCommand(frame.bytes, frame.payloadStart);
    if (!match || SeenBefore(frame.segment()))
        return;
    switch (match->command) {
    case RtmpCommand::Connect:
        rememberConnect(frame, match->position);
        break;
    case RtmpCommand::CreateStream:
        noteCreateStream(frame, match->position);
        break;
    case RtmpCommand::Play:
        completeWithPlay(frame, match->position);
        break;
    }
}

void GetRtmpInfoFromPacket(HWND window, const RtmpConnection &connection)
{
    try {
        SendInfo record{};
        parseSlot(window, connection, record);
        SendRtmpRecord(window, record);
    } catch (...) {
        SendLogText(window, logtext::kRtmpParseError);
    }
}

std::string RtmpDumpFolder()
{
    std::error_code error;
    std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (error)
        temporary = "/tmp";
    return (temporary / ("quillnet-rtmp-dumps-" + std::to_string(geteuid()))).string();
}

}
