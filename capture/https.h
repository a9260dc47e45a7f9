// HTTPS through the browser's key log: TLS connections are followed and what
// they carry is recognised as plain HTTP is, reported with https URLs.
#pragma once

#include <string>
#include <string_view>

#include "frame_dispatch.h"
#include "records.h"
#include "request_headers.h"

namespace quillnet {

// Starts over for a new capture, reading keys from `keyLogPath` ("" for none).
void ResetHttps(const std::string &keyLogPath);

// True when the frame belongs to a TLS connection being followed; its bytes
// are then no plain recogniser's.
bool HandleTlsSegment(Frame &frame);

// At the end of a capture: connections still waiting for keys are counted.
void FinishHttps(HWND window);

// The TLS counts of the capture so far, as the statistics record carries them.
void FillTlsCounts(CaptureStatistics &statistics);

// A GET of a decrypted HTTP/2 or HTTP/3 connection and its answer, as an
// https row with the request's headers: the host from :authority, else the
// server's address. A request without a path gives no row.
void SendHttpsExchange(HWND window, const Flow &clientToServer, std::string_view authority, std::string_view path,
                       std::string_view contentType, const RequestHeaders &headers);

}
