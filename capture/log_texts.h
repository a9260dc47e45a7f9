// The library's log lines. The Chinese ones are code page 936 (GBK) bytes, as
// the readers of these logs expect; log_texts.cpp is compiled to that charset.
#pragma once

namespace quillnet::logtext {

// Capture loop.
extern const char kAdapter[];
extern const char kReadyOpen[];
extern const char kReadyDatalink[];
extern const char kReadyCompile[];
extern const char kReadySetfilter[];
extern const char kReadyNextEx[];
extern const char kStopBreak[];
extern const char kEndCaptureAll[];
extern const char kStopWasRunning[];
extern const char kStopWasIdle[];
extern const char kStopCleared[];

// Adapter list.
extern const char kAdapterListStart[];
extern const char kAdapterListEnd[];

// HTTP requests.
extern const char kFoundGet[];
extern const char kBadPathLength[];
extern const char kFoundHost[];
extern const char kBadHostLength[];
extern const char kFoundUserAgent[];
extern const char kBadUserAgentLength[];
extern const char kFoundAcceptLanguage[];
extern const char kFoundAcceptEncoding[];
extern const char kFoundAcceptCharset[];
extern const char kFoundKeepAlive[];
extern const char kFoundCookie[];
extern const char kFoundReferer[];
extern const char kBadRefererLength[];
extern const char kFoundConnection[];
extern const char kFoundAccept[];

// HTTP responses.
extern const char kFoundResponse[];
extern const char kResponseSlot[];
extern const char kResponseHeader[];
extern const char kFoundContentType[];
extern const char kContentTypeValue[];
extern const char kBadContentTypeLength[];

// RTMP.
extern const char kFoundConnect[];
extern const char kConnectStored[];
extern const char kFoundCreateStream[];
extern const char kCreateStreamOffset[];
extern const char kCreateStreamLength[];
extern const char kFoundPlay[];
extern const char kPlayMatchesConnect[];
extern const char kPlayLength[];
extern const char kEmpty[];
extern const char kStartParsing[];
extern const char kConnectDechunk[];
extern const char kDroppedChunkHeader[];
extern const char kConnectBufferFull[];
extern const char kAppLength[];
extern const char kAppLengthValue[];
extern const char kSwfUrlLength[];
extern const char kSwfUrlLengthValue[];
extern const char kTcUrlLength[];
extern const char kTcUrlLengthValue[];
extern const char kPageUrlLength[];
extern const char kPageUrlLengthValue[];
extern const char kPageUrlLengthEmpty[];
extern const char kConnectScanEnd[];
extern const char kPlayDechunk[];
extern const char kSkipC2Header[];
extern const char kPlayBufferFull[];
extern const char kPlaypathLength[];
extern const char kPlaypathLengthValue[];
extern const char kPlaypathFound[];
extern const char kRtmpParseError[];
extern const char kDumpWritten[];

}
