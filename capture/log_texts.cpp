// UTF-8 here; compiled to GBK (see log_texts.h).
#include "log_texts.h"

namespace quillnet::logtext {

const char kAdapter[] = "Adapter: %s, pNetmask: %d";
const char kReadyOpen[] = "ready pcap_open() ...";
const char kReadyDatalink[] = "ready pcap_datalink() ...";
const char kReadyCompile[] = "ready pcap_compile() ...";
const char kReadySetfilter[] = "ready pcap_setfilter() ...";
const char kReadyNextEx[] = "ready pcap_next_ex() ...";
const char kStopBreak[] = "2.g_Capture == false, Break;";
const char kEndCaptureAll[] = "End Capture All";
const char kStopWasRunning[] = "1.g_Capture = true";
const char kStopWasIdle[] = "1.g_Capture = false";
const char kStopCleared[] = "2.g_Capture = false";

const char kAdapterListStart[] = "start to get adapter list";
const char kAdapterListEnd[] = "end to get adapter list";

const char kFoundGet[] = "发现 <Get >";
const char kBadPathLength[] = "错误的path 长度: %d";
const char kFoundHost[] = "发现 <Host >";
const char kBadHostLength[] = "错误的HOST长度: %d";
const char kFoundUserAgent[] = "发现 <User-Agent >";
const char kBadUserAgentLength[] = "错误的User Agent长度: %d";
const char kFoundAcceptLanguage[] = "发现 <Accept-Language >";
const char kFoundAcceptEncoding[] = "发现 <Accept-Encoding >";
const char kFoundAcceptCharset[] = "发现 <Accept-Charset >";
const char kFoundKeepAlive[] = "发现 <Keep-Alive >";
const char kFoundCookie[] = "发现 <Cookie >";
const char kFoundReferer[] = "发现 <Referer >";
const char kBadRefererLength[] = "错误的 Referer 长度: %d";
const char kFoundConnection[] = "发现 <keep-alive >";
const char kFoundAccept[] = "发现 <Accept >";

const char kFoundResponse[] = "Find <HTTP.1.x...> ";
const char kResponseSlot[] = "在临时数组中存在 Get, l_Exist_Get_ArryID = %d";
const char kResponseHeader[] = "HTTP/1.x HeaderString = %s";
const char kFoundContentType[] = "发现 Content_Type = %s, HeaderLen = %d";
const char kContentTypeValue[] = "1.l_Content_Type = %s";
const char kBadContentTypeLength[] = "错误的HTTP_ContentType长度: %d";

const char kFoundConnect[] = "SourIP:%s, SourPort:%d DestIP:%s DestPort:%d, 发现rtmp connect 数据包, i = %d";
const char kConnectStored[] = "rtmp connect 信息保存到数组 %d";
const char kFoundCreateStream[] = "SourIP:%s, SourPort:%d DestIP:%s DestPort:%d, 发现rtmp CreateStream 数据包, len = %d";
const char kCreateStreamOffset[] = "新代码, 目前只能抓到从54位开始的CreateStream包, i = 54";
const char kCreateStreamLength[] = "新代码, RtmpCreateStreamLen = %d";
const char kFoundPlay[] = "SourIP:%s, SourPort:%d DestIP:%s DestPort:%d, 新的代码, 发现rtmp Play 数据包. len = %d, i = %d";
const char kPlayMatchesConnect[] = "找到对应的rtmp connect ";
const char kPlayLength[] = "新代码, RtmpPlayLen = %d";
const char kEmpty[] = "";
const char kStartParsing[] = "开始分析出 hostname, playpath, port, swfUrl, tcUrl, pageUrl, app";
const char kConnectDechunk[] = "RtmpConnectionLen = %d, 要先去掉128位置上的C3";
const char kDroppedChunkHeader[] = "i = %d, 值 = %2X";
const char kConnectBufferFull[] = "l_rtmpconnectLen >= 1000, break.";
const char kAppLength[] = "App = %s, 0x%02x 0x%02x";
const char kAppLengthValue[] = "App len = %d";
const char kSwfUrlLength[] = "swfUrl = %s, 0x%02x 0x%02x";
const char kSwfUrlLengthValue[] = "swfUrl len = %d";
const char kTcUrlLength[] = "tcUrl = %s, 0x%02x 0x%02x";
const char kTcUrlLengthValue[] = "tcUrl len = %d";
const char kPageUrlLength[] = "pageUrl = %s, 0x%02x 0x%02x";
const char kPageUrlLengthValue[] = "1.pageUrl len = %d";
const char kPageUrlLengthEmpty[] = "2.pageUrl len = %d";
const char kConnectScanEnd[] = "i = %d, l_rtmpconnectLen = %d";
const char kPlayDechunk[] = "RtmpPlayLen = %d, 要先去掉128位置上的分隔符";
const char kSkipC2Header[] = "遇到c2字符，跳过11个字节";
const char kPlayBufferFull[] = "l_rtmpconnectLen >= 1500, break.";
const char kPlaypathLength[] = "playpath = %s, 0x%02x 0x%02x";
const char kPlaypathLengthValue[] = "playpath 长度 l_len = %d";
const char kPlaypathFound[] = "去掉128位置的 SendInfo.playpath = %s, i = %d, playLen = %d";
const char kRtmpParseError[] = "GetRtmpInfoFromPacket ERROR!!!";
const char kDumpWritten[] = "dump %s, %d bytes";

}
