#include "quic_dispatch.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "http3.h"
#include "https.h"
#include "key_log.h"
#include "packet_header.h"
#include "quic_tracker.h"

namespace quillnet {

namespace {

constexpr std::string_view kHttp3Protocol = "h3";

// What HTTP/3 keeps of one QUIC connection whose client offered it.
struct Http3Peer {
    Flow clientFlow;
    std::unique_ptr<quic::Http3Connection> http3; // null once it broke, so that it holds nothing more
};
using Http3Peers = std::unordered_map<uint64_t, Http3Peer>;

// One capture's QUIC state; the key log is declared before the tracker that reads it.
struct QuicCapture {
    explicit QuicCapture(const std::string &keyLogPath)
        : keyLog(keyLogPath), tracker(keyLogPath.empty() ? nullptr : &keyLog)
    {
    }

    // A reader of its own on the file the TLS tracker reads: each keeps its
    // place in it and learns of new keys on its own.
    tls::KeyLog keyLog;
    quic::QuicTracker tracker;
    Http3Peers peers;
};

std::unique_ptr<QuicCapture> capture;

QuicCapture &currentCapture()
{
    if (!capture)
        capture = std::make_unique<QuicCapture>("");
    return *capture;
}

uint64_t microsecondsNow()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count());
}

class ExchangeSink : public quic::Http3Sink {
public:
    ExchangeSink(HWND window, const Flow &clientFlow) : window_(window), clientFlow_(clientFlow) {}

    void onHttp3Exchange(std::string_view authority, std::string_view path, std::string_view,
                         std::string_view contentType, const RequestHeaders &headers) override
    {
        SendHttpsExchange(window_, clientFlow_, authority, path, contentType, headers);
    }

private:
    HWND window_;
    Flow clientFlow_;
};

// Hands the streams of the connections that offered HTTP/3 to their Http3Connection.
class Http3Dispatch : public quic::QuicSink {
public:
    Http3Dispatch(HWND window, Http3Peers &peers) : window_(window), peers_(peers) {}

    void onClientHello(const quic::ConnectionInfo &connection) override
    {
        const auto &offered = connection.protocols;
        if (std::find(offered.begin(), offered.end(), kHttp3Protocol) == offered.end())
            return;
        peers_[connection.id] = {connection.clientFlow, std::make_unique<quic::Http3Connection>(connection.serverName)};
    }

    void onStreamData(const quic::StreamRef &stream, uint64_t offset, ByteView bytes) override
    {
        Http3Peer *peer = readable(stream.connection);
        if (!peer)
            return;
        ExchangeSink sink(window_, peer->clientFlow);
        peer->http3->onStreamData(stream.id, stream.fromClient, offset, bytes, sink);
        dropIfBroken(*peer);
    }

    void onStreamEnd(const quic::StreamRef &stream) override
    {
        Http3Peer *peer = readable(stream.connection);
        if (!peer)
            return;
        ExchangeSink sink(window_, peer->clientFlow);
        peer->http3->onStreamEnd(stream.id, stream.fromClient, sink);
        dropIfBroken(*peer);
    }

    void onStreamReset(const quic::StreamRef &stream) override
    {
        if (Http3Peer *peer = readable(stream.connection))
            peer->http3->onStreamReset(stream.id, stream.fromClient);
    }

    void onConnectionClosed(uint64_t connection) override { peers_.erase(connection); }

    size_t heldBytes(uint64_t connection) const override
    {
        const auto found = peers_.find(connection);
        return found != peers_.end() && found->second.http3 ? found->second.http3->heldBytes() : 0;
    }

    bool broken(uint64_t connection) const override
    {
        const auto found = peers_.find(connection);
        return found != peers_.end() && !found->second.http3;
    }

private:
    Http3Peer *readable(uint64_t connection)
    {
        const auto found = peers_.find(connection);
        return found != peers_.end() && found->second.http3 ? &found->second : nullptr;
    }

    static void dropIfBroken(Http3Peer &peer)
    {
        if (peer.http3->broken())
            peer.http3.reset();
    }

    HWND window_;
    Http3Peers &peers_;
};

}

void ResetQuic(const std::string &keyLogPath)
{
    capture.reset(); // the old tracker goes before the key log it reads is replaced
    capture = std::make_unique<QuicCapture>(keyLogPath);
}

bool HandleQuicDatagram(const Frame &frame, uint64_t time)
{
    QuicCapture &quic = currentCapture();
    // Decided here for most datagrams, which neither start a QUIC connection nor belong to one.
    if (quic.tracker.idle() && !quic::LooksLikeClientInitial(frame.payload))
        return false;
    Http3Dispatch sink(frame.window, quic.peers);
    const quic::Datagram datagram{frame.flow(), time == kTimeOfHandling ? microsecondsNow() : time, frame.payload};
    return quic.tracker.handleDatagram(datagram, sink);
}

void FinishQuic(HWND window)
{
    QuicCapture &quic = currentCapture();
    Http3Dispatch sink(window, quic.peers);
    quic.tracker.finish(sink);
}

void FillQuicCounts(CaptureStatistics &statistics)
{
    const quic::Counts counts = currentCapture().tracker.counts();
    statistics.quicConnectionsSeen = counts.seen;
    statistics.quicConnectionsDecrypted = counts.decrypted;
    statistics.quicConnectionsWithoutKeys = counts.withoutKeys;
    statistics.quicConnectionsUndecryptable = counts.undecryptable;
    statistics.quicConnectionsEvicted = counts.evicted;
}

}
