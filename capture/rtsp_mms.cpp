#include "rtsp_mms.h"

#include "header_lines.h"
#include "notifications.h"

namespace quillnet {

namespace {

// "DESCRIBE " before the URL and " RTSP/1.0" after it.
constexpr size_t kDescribeUrlStart = 9;
constexpr size_t kDescribeLineOverhead = 18;

// MMS TCP command layout: the seal "MMS " at 12, the message identifier
// 0x00030005 (LinkViewerToMacOpenFile) little-endian at 36, then the file name
// in UTF-16LE from 56.
constexpr size_t kMmsSeal = 12;
constexpr size_t kMmsMessageIdLow = 36;
constexpr size_t kMmsMessageIdHigh = 38;
constexpr uint8_t kOpenFileIdLow = 5;
constexpr uint8_t kOpenFileIdHigh = 3;
constexpr size_t kMmsFileName = 56;
constexpr size_t kMmsFileNameMaxCharacters = 945;
constexpr uint16_t kMmsDefaultPort = 1755;

}

bool IsMmsOpenFile(ByteView payload)
{
    return payload.matches(kMmsSeal, "MMS") && payload.byteIs(kMmsMessageIdLow, kOpenFileIdLow) &&
           payload.byteIs(kMmsMessageIdHigh, kOpenFileIdHigh);
}

void HandleRtspDescribe(Frame &frame)
{
    HeaderLineReader lines(frame.payload, kResponseLineLimit);
    const auto line = lines.next();
    if (!line || line->size() <= kDescribeLineOverhead)
        return;
    const std::string_view url = line->sub(kDescribeUrlStart, line->size() - kDescribeLineOverhead).text();
    frame.pendingUrlText = url.substr(0, url.find('\0'));
    frame.sendPendingUrl = !frame.pendingUrlText.empty();
}

void HandleMmsOpenFile(Frame &frame)
{
    // The low byte of each UTF-16LE character, up to the first NUL.
    std::string fileName;
    const ByteView name = frame.payload.sub(kMmsFileName, kMmsFileNameMaxCharacters * 2);
    for (size_t offset = 0; offset < name.size(); offset += 2) {
        const uint8_t low = name.u8(offset).value_or(0);
        if (low == 0)
            break;
        fileName += static_cast<char>(low);
    }
    const std::string host = UrlHost(frame.addresses.destAddress, static_cast<uint16_t>(frame.addresses.destPort),
                                     kMmsDefaultPort);
    frame.pendingUrlText = "mms://" + host + "/" + fileName;
    frame.sendPendingUrl = true;
}

}
