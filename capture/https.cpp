#include "https.h"

#include <memory>

#include "http.h"
#include "notifications.h"
#include "handshake.h"
#include "tls_tracker.h"

namespace quillnet {

namespace {

constexpr uint16_t kHttpsPort = 443;

std::unique_ptr<tls::TlsTracker> tracker;

tls::TlsTracker &currentTracker()
{
    if (!tracker)
        tracker = std::make_unique<tls::TlsTracker>("");
    return *tracker;
}

// Decrypted bytes as a frame of their own: the stream offset stands for the
// sequence number, so that a header block across records is read as one.
Frame decryptedFrame(HWND window, const Flow &flow, uint64_t streamOffset, ByteView bytes)
{
    Frame frame{window, bytes};
    frame.payload = bytes;
    frame.secure = true;
    frame.addresses.sourceAddress = flow.source;
    frame.addresses.destAddress = flow.dest;
    frame.addresses.sourcePort = flow.sourcePort;
    frame.addresses.destPort = flow.destPort;
    frame.tcp.sequence = static_cast<uint32_t>(streamOffset);
    return frame;
}

class RecognisingSink : public tls::PlaintextSink {
public:
    explicit RecognisingSink(HWND window) : window_(window) {}

    void onPlaintext(const Flow &flow, uint64_t streamOffset, ByteView bytes) override
    {
        Frame frame = decryptedFrame(window_, flow, streamOffset, bytes);
        if (ContinueHttpBlock(frame))
            return;
        if (StartsRequest(bytes))
            HandleHttpRequest(frame);
        else if (bytes.startsWith("HTTP/1."))
            HandleHttpResponse(frame);
    }

    void onHttp2Exchange(const Flow &clientToServer, std::string_view authority, std::string_view path,
                         std::string_view, std::string_view contentType, const RequestHeaders &headers) override
    {
        SendHttpsExchange(window_, clientToServer, authority, path, contentType, headers);
    }

private:
    HWND window_;
};

}

void ResetHttps(const std::string &keyLogPath)
{
    tracker = std::make_unique<tls::TlsTracker>(keyLogPath);
}

bool HandleTlsSegment(Frame &frame)
{
    // Decided here for most frames, which neither start a TLS connection nor belong to one.
    tls::TlsTracker &tracker = currentTracker();
    if (tracker.idle() && !tls::LooksLikeClientHello(frame.payload))
        return false;
    RecognisingSink sink(frame.window);
    const tls::Segment segment{frame.flow(), frame.tcp.sequence, frame.tcp.acknowledgement, frame.tcp.flags,
                               frame.payload};
    return tracker.handleSegment(segment, sink);
}

void FinishHttps(HWND window)
{
    RecognisingSink sink(window);
    currentTracker().finish(sink);
}

void SendHttpsExchange(HWND window, const Flow &clientToServer, std::string_view authority, std::string_view path,
                       std::string_view contentType, const RequestHeaders &headers)
{
    if (path.empty())
        return; // no URL to give
    const std::string host =
        authority.empty() ? UrlHost(clientToServer.dest, clientToServer.destPort, kHttpsPort) : std::string(authority);
    SendHttpUrl(window, {clientToServer.destPort, true, host, path, contentType}, headers);
}

void FillTlsCounts(CaptureStatistics &statistics)
{
    const tls::Counts counts = currentTracker().counts();
    statistics.tlsConnectionsSeen = counts.seen;
    statistics.tlsConnectionsDecrypted = counts.decrypted;
    statistics.tlsConnectionsWithoutKeys = counts.withoutKeys;
    statistics.tlsConnectionsUndecryptable = counts.undecryptable;
    statistics.tlsConnectionsEvicted = counts.evicted;
}

}
