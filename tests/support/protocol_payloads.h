// TCP payloads of the streaming protocols the capture library recognises.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing_support {

using RtmpProperties = std::vector<std::pair<std::string, std::string>>;

// AMF0 values as they appear in RTMP commands.
std::string AmfString(std::string_view text);
extern const std::string kAmfNumberOne;

// One RTMP message of `messageType` on `chunkStream`: a 12-byte type-0 header,
// then the body in 128-byte chunks with a one-byte header between them.
std::string RtmpChunked(uint8_t chunkStream, uint8_t messageType, const std::string &body);
// The body of an AMF0 connect command with string properties.
std::string RtmpConnectBody(const RtmpProperties &properties);
// A connect command message on chunk stream 3.
std::string RtmpConnect(const RtmpProperties &properties);
// A play command message (`command` is normally "play") for `stream`.
std::string RtmpPlay(std::string_view stream, std::string_view command = "play", uint8_t chunkStream = 8);
// An MMS command that opens the file `name`.
std::string MmsOpenFile(const std::u16string &name);

}
