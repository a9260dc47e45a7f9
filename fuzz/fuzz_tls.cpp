// Feeds arbitrary bytes to the HTTPS tracker as one connection whose secrets
// the key log holds, so that the fuzzer reaches past authentication into
// decrypted handshakes and HTTP/2 frames, and also to the key log reader.
//
// Byte 0 picks version, suite and ALPN; the handshake of that connection is
// sent first. Then each step is a byte of operation, a 16-bit little-endian
// length and that many bytes (cut at the end of the input):
//   bit 0       the client sends (else the server)
//   bits 1-2    0: the bytes as they are, as the next TCP payload
//               1: the bytes sealed as application data under the current keys
//               2: the bytes sealed as handshake content (KeyUpdate moves the keys on)
//               3: the bytes as a segment whose first two bytes move its sequence number
//   bit 3       FIN; bit 4 RST
// Every input is also read as key log text.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "key_log.h"
#include "synthetic_tls.h"
#include "tls_tracker.h"

using namespace quillnet;
using namespace quillnet::tls;

namespace {

struct Choice {
    uint16_t version;
    uint16_t suite;
    const char *alpn;
};

constexpr Choice kChoices[] = {
    {kTls13, 0x1301, "h2"}, {kTls13, 0x1302, "http/1.1"}, {kTls13, 0x1303, ""},
    {kTls12, 0xC02F, "h2"}, {kTls12, 0xC030, "http/1.1"}, {kTls12, 0xCCA8, ""},
};

constexpr uint8_t kFromClient = 0x01;
constexpr uint8_t kFin = 0x08;
constexpr uint8_t kRst = 0x10;
constexpr size_t kStepHeaderLength = 3;

// Reads every byte it is given, so that the sanitizers see any bad view.
class TouchingSink : public PlaintextSink {
public:
    void onPlaintext(const Flow &, uint64_t, ByteView bytes) override { touch(bytes.text()); }
    void onHttp2Exchange(const Flow &, std::string_view authority, std::string_view path, std::string_view status,
                         std::string_view contentType, const RequestHeaders &headers) override
    {
        touch(headers.record());
        touch(authority);
        touch(path);
        touch(status);
        touch(contentType);
    }

    void touch(std::string_view text)
    {
        for (const char c : text)
            sum += static_cast<uint8_t>(c);
    }

    uint64_t sum = 0;
};

// The key logs of every choice's connection, written once and removed at exit.
const std::string &keyLogPath()
{
    static const TemporaryKeyLog file([] {
        std::string lines;
        for (const Choice &choice : kChoices)
            lines += SyntheticTls(choice.version, choice.suite, choice.alpn, 1).keyLog();
        return lines;
    }());
    if (file.path().empty())
        std::abort();
    return file.path();
}

class FuzzedConnection {
public:
    FuzzedConnection(const Choice &choice, TlsTracker &tracker, TouchingSink &sink)
        : tls_(choice.version, choice.suite, choice.alpn, 1), tracker_(tracker), sink_(sink)
    {
        send(true, tls_.clientHello(), 0);
        send(false, tls_.serverHandshake(), 0);
        send(true, tls_.clientFinished(), 0);
    }

    void step(uint8_t operation, std::string_view bytes)
    {
        const bool fromClient = operation & kFromClient;
        const uint8_t flags = operation & (kFin | kRst);
        switch ((operation >> 1) & 3) {
        case 0:
            send(fromClient, std::string(bytes), flags);
            break;
        case 1:
            send(fromClient, tls_.application(fromClient, bytes), flags);
            break;
        case 2:
            send(fromClient, tls_.handshake(fromClient, bytes), flags);
            break;
        default:
            if (bytes.size() >= 2) {
                const auto shift = static_cast<int16_t>(static_cast<uint8_t>(bytes[0]) | static_cast<uint8_t>(bytes[1]) << 8);
                segment(fromClient, next(fromClient) + static_cast<uint32_t>(shift), std::string(bytes.substr(2)), flags);
            }
        }
    }

private:
    uint32_t &next(bool fromClient) { return fromClient ? clientNext_ : serverNext_; }

    void send(bool fromClient, const std::string &payload, uint8_t flags)
    {
        segment(fromClient, next(fromClient), payload, flags);
        next(fromClient) += static_cast<uint32_t>(payload.size());
    }

    void segment(bool fromClient, uint32_t sequence, const std::string &payload, uint8_t flags)
    {
        // A buffer of exactly the payload's length, so that any read past it is caught.
        const std::unique_ptr<uint8_t[]> bytes(new uint8_t[payload.size()]);
        payload.copy(reinterpret_cast<char *>(bytes.get()), payload.size());
        const Segment segment{fromClient ? kClient : kClient.reversed(), sequence, next(!fromClient),
                              static_cast<uint8_t>(kTcpAck | flags), ByteView(bytes.get(), payload.size())};
        tracker_.handleSegment(segment, sink_);
    }

    static inline const Flow kClient{IpAddress::v4({192, 168, 1, 20}), IpAddress::v4({10, 0, 0, 5}), 51000, 443};

    SyntheticTls tls_;
    TlsTracker &tracker_;
    TouchingSink &sink_;
    uint32_t clientNext_ = 1000;
    uint32_t serverNext_ = 0xFFFFFF00;
};

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    KeyLog keyLog("");
    keyLog.addText(input);
    if (input.empty())
        return 0;

    TouchingSink sink;
    TlsTracker tracker(keyLogPath());
    FuzzedConnection connection(kChoices[static_cast<uint8_t>(input[0]) % std::size(kChoices)], tracker, sink);
    size_t position = 1;
    while (position + kStepHeaderLength <= input.size()) {
        const auto operation = static_cast<uint8_t>(input[position]);
        const size_t length = static_cast<uint8_t>(input[position + 1]) | static_cast<uint8_t>(input[position + 2]) << 8;
        position += kStepHeaderLength;
        const std::string_view bytes = input.substr(position, length);
        connection.step(operation, bytes);
        position += bytes.size();
    }
    tracker.finish(sink);
    // Whatever came, the connection ended in exactly one count and gave back all it held.
    const Counts counts = tracker.counts();
    if (counts.decrypted + counts.withoutKeys + counts.undecryptable != counts.seen || counts.evicted > counts.seen ||
        tracker.heldBytes() != 0)
        std::abort();
    return 0;
}
