// Feeds arbitrary bytes to the QUIC tracker and HTTP/3 above it, through the
// frame handler, as one connection whose secrets the key log holds, so that
// the fuzzer reaches past packet protection into frames, stream reassembly,
// HTTP/3 frames and QPACK.
//
// Byte 0 picks version and suite; the Initial packets of that connection are
// sent first. Then each step is a byte of operation, a 16-bit little-endian
// length and that many bytes (cut at the end of the input):
//   bit 0       the client sends (else the server)
//   bits 1-2    0: the bytes as they are, as the next datagram
//               1: the bytes as the frames of a 1-RTT packet
//               2: the bytes as the frames of a Handshake packet
//               3: the bytes after the first as STREAM data of the stream the
//                  first byte numbers, following what was sent on it before
//   bit 3       with 3: the stream ends with these bytes
//   bit 4       the server's 1-RTT keys move on first (a key update)
//   bit 5       ten minutes pass first, so that the connection goes idle

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "capture_loop.h"
#include "frame_dispatch.h"
#include "quic_builder.h"
#include "quic_dispatch.h"
#include "records.h"
#include "synthetic_tls.h"
#include "udp_frames.h"

using namespace quillnet;
using namespace quic_testing;

namespace {

struct Choice {
    uint32_t version;
    uint16_t suite;
};

constexpr Choice kChoices[] = {
    {quic::kVersion1, 0x1301}, {quic::kVersion1, 0x1302}, {quic::kVersion1, 0x1303}, {quic::kVersion2, 0x1301},
};

constexpr uint8_t kFromClient = 0x01;
constexpr uint8_t kFin = 0x08;
constexpr uint8_t kKeyUpdate = 0x10;
constexpr uint8_t kIdle = 0x20;
constexpr size_t kStepHeaderLength = 3;
constexpr uint64_t kMillisecond = 1000;
constexpr uint64_t kTenMinutes = 600 * 1000 * kMillisecond;

const testing_support::Endpoint kClient{{192, 168, 1, 20}, 51000};
const testing_support::Endpoint kServer{{10, 0, 0, 5}, 443};

Conversation::Options optionsOf(size_t choice)
{
    return {.version = kChoices[choice].version,
            .suite = kChoices[choice].suite,
            .seed = static_cast<uint8_t>(1 + choice)};
}

// The key log of every choice's connection, written once and removed at exit.
const std::string &keyLogPath()
{
    static const tls::TemporaryKeyLog file([] {
        std::string lines;
        for (size_t choice = 0; choice < std::size(kChoices); ++choice)
            lines += Conversation(optionsOf(choice)).keyLogLines();
        return lines;
    }());
    if (file.path().empty())
        std::abort();
    return file.path();
}

bool endsWithNul(const uint8_t *bytes, size_t length)
{
    return length > 0 && bytes[length - 1] == 0 && std::strlen(reinterpret_cast<const char *>(bytes)) + 1 == length;
}

bool isUrlRecord(const uint8_t *bytes, size_t length)
{
    if (length != sizeof(HttpUrlRecord))
        return false;
    HttpUrlRecord record;
    std::memcpy(&record, bytes, sizeof record);
    return std::memchr(record.host, 0, sizeof record.host) && std::memchr(record.path, 0, sizeof record.path) &&
           std::memchr(record.contentType, 0, sizeof record.contentType);
}

bool isLongUrlRecord(const uint8_t *bytes, size_t length)
{
    if (length < sizeof(LongHttpUrlRecord))
        return false;
    LongHttpUrlRecord header;
    std::memcpy(&header, bytes, sizeof header);
    return header.secure == 1 &&
           sizeof header + uint64_t{header.hostLength} + header.pathLength + header.contentTypeLength == length;
}

bool isHeadersRecord(const uint8_t *bytes, size_t length)
{
    size_t offset = 0;
    while (offset < length) {
        RequestHeaderField field;
        if (length - offset < sizeof field)
            return false;
        std::memcpy(&field, bytes + offset, sizeof field);
        offset += sizeof field;
        if (field.name < kHeaderUserAgent || field.name > kRequestHeaderCount || field.length > length - offset)
            return false;
        offset += field.length;
    }
    return length > 0 && length <= kMaxRequestHeadersLength;
}

// Accepts every message, but first checks that each record is what it claims
// and reads all of it, so that the sanitizers see any bad length.
intptr_t checkSend(HWND, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    const auto *copy = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
    if (message != WM_COPYDATA || copy->dwData != wParam)
        std::abort();
    const std::vector<uint8_t> record(static_cast<const uint8_t *>(copy->lpData),
                                      static_cast<const uint8_t *>(copy->lpData) + copy->cbData);
    bool valid = false;
    switch (copy->dwData) {
    case kKindHttpsUrl:
        valid = isUrlRecord(record.data(), record.size());
        break;
    case kKindLongHttpUrl:
        valid = isLongUrlRecord(record.data(), record.size());
        break;
    case kKindRequestHeaders:
        valid = isHeadersRecord(record.data(), record.size());
        break;
    case kKindUrlText:
    case kKindLogText:
        valid = endsWithNul(record.data(), record.size());
        break;
    default:
        break;
    }
    if (!valid)
        std::abort();
    return 1;
}

int acceptPost(HWND, uint32_t, uintptr_t, intptr_t)
{
    return 1;
}

MessageWindow window{checkSend, acceptPost};

class FuzzedConnection {
public:
    explicit FuzzedConnection(size_t choice) : talk_(optionsOf(choice))
    {
        send(true, talk_.clientInitial(0, CryptoFrame(0, talk_.clientHello())));
        send(false, talk_.serverInitial(0, Join({AckFrame(0), CryptoFrame(0, talk_.serverHello())})));
    }

    void step(uint8_t operation, const Bytes &bytes)
    {
        const bool fromClient = operation & kFromClient;
        if (operation & kIdle)
            time_ += kTenMinutes;
        if ((operation & kKeyUpdate) && !fromClient)
            talk_.updateServerKeys();
        switch ((operation >> 1) & 3) {
        case 0:
            send(fromClient, bytes);
            break;
        case 1:
            send(fromClient, oneRtt(fromClient, bytes));
            break;
        case 2:
            send(fromClient, fromClient ? talk_.clientHandshake(handshakeNumber_[0]++, bytes)
                                        : talk_.serverHandshake(handshakeNumber_[1]++, bytes));
            break;
        default:
            if (!bytes.empty())
                sendStreamData(fromClient, bytes[0], Bytes(bytes.begin() + 1, bytes.end()), operation & kFin);
        }
    }

private:
    Bytes oneRtt(bool fromClient, const Bytes &frames)
    {
        return fromClient ? talk_.clientOneRtt(oneRttNumber_[0]++, frames)
                          : talk_.serverOneRtt(oneRttNumber_[1]++, frames);
    }

    void sendStreamData(bool fromClient, uint64_t stream, const Bytes &data, bool fin)
    {
        uint64_t &offset = streamOffsets_[{stream, fromClient}];
        const std::string_view text(reinterpret_cast<const char *>(data.data()), data.size());
        send(fromClient, oneRtt(fromClient, StreamFrame(stream, offset, text, fin)));
        offset += data.size();
    }

    void send(bool fromClient, const Bytes &datagram)
    {
        const std::vector<uint8_t> built = fromClient ? testing_support::BuildUdpFrame(kClient, kServer, datagram)
                                                      : testing_support::BuildUdpFrame(kServer, kClient, datagram);
        // A buffer of exactly the frame's length, so that any read past it is caught.
        const std::unique_ptr<uint8_t[]> frame(new uint8_t[built.size()]);
        std::memcpy(frame.get(), built.data(), built.size());
        time_ += kMillisecond;
        HandleFrame(&window, kLinkEthernet, frame.get(), static_cast<uint32_t>(built.size()), time_);
    }

    Conversation talk_;
    uint64_t time_ = 1'700'000'000'000'000;
    uint64_t oneRttNumber_[2] = {0, 0};     // client's, server's
    uint64_t handshakeNumber_[2] = {0, 0};
    std::map<std::pair<uint64_t, bool>, uint64_t> streamOffsets_;
};

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    {
        // Only UDP frames come, so the other recognisers' tables stay empty.
        const std::lock_guard guard(CaptureLock());
        ResetQuic(keyLogPath());
    }
    FuzzedConnection connection(data[0] % std::size(kChoices));
    size_t position = 1;
    while (position + kStepHeaderLength <= size) {
        const uint8_t operation = data[position];
        const size_t length = static_cast<size_t>(data[position + 1] | data[position + 2] << 8);
        position += kStepHeaderLength;
        const size_t taken = std::min(length, size - position);
        connection.step(operation, Bytes(data + position, data + position + taken));
        position += taken;
    }
    CaptureStatistics statistics{};
    {
        const std::lock_guard guard(CaptureLock());
        FinishQuic(&window);
        FillQuicCounts(statistics);
    }
    // Whatever came, each connection ended in exactly one count.
    if (statistics.quicConnectionsDecrypted + statistics.quicConnectionsWithoutKeys +
                statistics.quicConnectionsUndecryptable !=
            statistics.quicConnectionsSeen ||
        statistics.quicConnectionsEvicted > statistics.quicConnectionsSeen)
        std::abort();
    return 0;
}
