#include "protocol_payloads.h"

#include <cstdint>

namespace testing_support {

namespace {

constexpr uint8_t kAmfStringMarker = 0x02;
constexpr uint8_t kAmfObjectMarker = 0x03;
constexpr uint8_t kAmfNullMarker = 0x05;
constexpr uint8_t kCommandMessageType = 20;
constexpr uint8_t kConnectChunkStream = 3;
constexpr size_t kChunkSize = 128;
constexpr uint8_t kContinuationHeader = 0xC0;
const std::string kAmfObjectEnd("\x00\x00\x09", 3);

std::string be16(size_t value)
{
    return {static_cast<char>(value >> 8 & 0xFF), static_cast<char>(value & 0xFF)};
}

}

const std::string kAmfNumberOne("\x00\x3F\xF0\x00\x00\x00\x00\x00\x00", 9);

std::string AmfString(std::string_view text)
{
    return static_cast<char>(kAmfStringMarker) + be16(text.size()) + std::string(text);
}

std::string RtmpChunked(uint8_t chunkStream, uint8_t messageType, const std::string &body)
{
    std::string message(1, static_cast<char>(chunkStream));
    message += std::string(3, '\0');
    message += static_cast<char>(body.size() >> 16 & 0xFF);
    message += be16(body.size() & 0xFFFF);
    message += static_cast<char>(messageType);
    message += std::string(4, '\0');
    for (size_t at = 0; at < body.size(); at += kChunkSize) {
        if (at > 0)
            message += static_cast<char>(kContinuationHeader | chunkStream);
        message += body.substr(at, kChunkSize);
    }
    return message;
}

std::string RtmpConnectBody(const RtmpProperties &properties)
{
    std::string body = AmfString("connect") + kAmfNumberOne + static_cast<char>(kAmfObjectMarker);
    for (const auto &[name, value] : properties)
        body += be16(name.size()) + name + AmfString(value);
    return body + kAmfObjectEnd;
}

std::string RtmpConnect(const RtmpProperties &properties)
{
    return RtmpChunked(kConnectChunkStream, kCommandMessageType, RtmpConnectBody(properties));
}

std::string RtmpPlay(std::string_view stream, std::string_view command, uint8_t chunkStream)
{
    return RtmpChunked(chunkStream, kCommandMessageType,
                       AmfString(command) + kAmfNumberOne + static_cast<char>(kAmfNullMarker) + AmfString(stream));
}

std::string MmsOpenFile(const std::u16string &name)
{
    std::string payload(56, '\x01');
    payload.replace(12, 4, "MMS ");
    payload[36] = 5; // message identifier of the open-file command
    payload[37] = 0;
    payload[38] = 3;
    payload[39] = 0;
    for (char16_t c : name) {
        payload += static_cast<char>(c & 0xFF);
        payload += static_cast<char>(c >> 8);
    }
    return payload + std::string(2, '\0');
}

}
