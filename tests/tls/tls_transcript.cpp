#include "tls_transcript.h"

#include <fstream>
#include <sstream>

#include "temporary_directory.h"

namespace testing_support {

namespace {

constexpr size_t kChunkHeaderLength = 5;
constexpr uint32_t kClientFirstSequence = 0x10000000;
constexpr uint32_t kServerFirstSequence = 0xFFFFF000; // wraps within the larger fixtures

std::string flowKey(const quillnet::Flow &flow)
{
    return quillnet::IpText(flow.source) + ":" + std::to_string(flow.sourcePort) + ">" +
           quillnet::IpText(flow.dest) + ":" + std::to_string(flow.destPort);
}

std::string readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

}

Transcript LoadTranscript(const std::string &name)
{
    const std::string base = std::string(TLS_FIXTURE_DIR) + "/" + name;
    Transcript transcript;
    transcript.keyLog = base + ".keylog";
    transcript.clientPlaintext = readFile(base + ".client");
    transcript.serverPlaintext = readFile(base + ".server");
    const std::string bytes = readFile(base + ".tls");
    size_t position = 0;
    while (position + kChunkHeaderLength <= bytes.size()) {
        const auto byteAt = [&](size_t offset) { return static_cast<uint8_t>(bytes[position + offset]); };
        const size_t length = static_cast<size_t>(byteAt(1)) << 24 | byteAt(2) << 16 | byteAt(3) << 8 | byteAt(4);
        transcript.chunks.push_back({bytes[position] == 'C', bytes.substr(position + kChunkHeaderLength, length)});
        position += kChunkHeaderLength + length;
    }
    return transcript;
}

quillnet::tls::Segment TestSegment::view() const
{
    return {flow, sequence, acknowledgement, flags, quillnet::ByteView(payload)};
}

std::vector<TestSegment> SegmentsOf(const Transcript &transcript, size_t maxPayload,
                                    const quillnet::Flow &clientToServer)
{
    std::vector<TestSegment> segments;
    uint32_t clientNext = kClientFirstSequence;
    uint32_t serverNext = kServerFirstSequence;
    for (const Transcript::Chunk &chunk : transcript.chunks) {
        for (size_t offset = 0; offset < chunk.bytes.size(); offset += maxPayload) {
            const std::string piece = chunk.bytes.substr(offset, maxPayload);
            uint32_t &next = chunk.fromClient ? clientNext : serverNext;
            const uint32_t acknowledged = chunk.fromClient ? serverNext : clientNext;
            segments.push_back({chunk.fromClient ? clientToServer : clientToServer.reversed(), next, acknowledged,
                                quillnet::kTcpAck, piece});
            next += static_cast<uint32_t>(piece.size());
        }
    }
    return segments;
}

void RecordingSink::onPlaintext(const quillnet::Flow &flow, uint64_t streamOffset, quillnet::ByteView bytes)
{
    std::string &text = plaintext_[flowKey(flow)];
    offsetsInOrder = offsetsInOrder && streamOffset == text.size();
    text.append(bytes.text());
}

void RecordingSink::onHttp2Exchange(const quillnet::Flow &clientToServer, std::string_view authority,
                                    std::string_view path, std::string_view status, std::string_view contentType,
                                    const quillnet::RequestHeaders &headers)
{
    exchanges.push_back({std::string(authority), std::string(path), std::string(status), std::string(contentType)});
    exchangeFlows.push_back(clientToServer);
    exchangeHeaders.push_back(headers.record());
}

std::string RecordingSink::plaintext(const quillnet::Flow &flow) const
{
    const auto found = plaintext_.find(flowKey(flow));
    return found == plaintext_.end() ? std::string() : found->second;
}

void Feed(quillnet::tls::TlsTracker &tracker, const std::vector<TestSegment> &segments,
          quillnet::tls::PlaintextSink &sink)
{
    for (const TestSegment &segment : segments)
        tracker.handleSegment(segment.view(), sink);
}

}
