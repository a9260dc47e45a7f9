// Shell lines that fetch a found URL again with the headers its request
// carried, for the user to paste into a terminal.
#pragma once

#include <string>
#include <string_view>

#include "request_details.h"

namespace tarvolin {

// `text` as one word of a POSIX shell, whatever bytes it holds: as it is when
// no shell reads anything special in it, else in single quotes, with each
// quote written as '\''.
std::string ShellWord(std::string_view text);

// One command line: ffmpeg for RTMP rows, HLS and DASH playlists and RTSP and
// MMS streams, curl for everything else; options only for the headers known.
std::string DownloadCommand(const RequestDetails &details);

}
