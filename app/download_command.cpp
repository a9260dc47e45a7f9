#include "download_command.h"

#include <algorithm>

#include "media_classification.h"
#include "text.h"

namespace tarvolin {

namespace {

constexpr std::string_view kPlainWordPunctuation = "_-.,/:@%+=";
constexpr std::string_view kFileNamePunctuation = "_-.";
constexpr std::string_view kHiddenOrOptionStart = ".-";
constexpr char kNameReplacement = '_';
constexpr size_t kMostNameLength = 100;
constexpr char kDefaultName[] = "download";
constexpr std::string_view kSchemeEnd = "://";
constexpr std::string_view kUrlPathEnd = "?#";
// curl reads brackets and braces in a URL as a pattern of several URLs.
constexpr std::string_view kCurlPatternCharacters = "[]{}";
constexpr char kCookiePrefix[] = "Cookie: ";
constexpr char kEndOfOptions[] = "--";
constexpr std::string_view kPlaylistExtensions[] = {".m3u8", ".mpd"};
constexpr std::string_view kRtspScheme = "rtsp://";
constexpr std::string_view kMmsScheme = "mms://";
// The capture recognises MMS over TCP, which ffmpeg names mmst.
constexpr char kFfmpegMmsScheme[] = "mmst://";
constexpr char kPlaylistContainer[] = ".mp4";
constexpr char kStreamContainer[] = ".mkv"; // takes whatever codecs the stream carries
constexpr char kRtmpContainer[] = ".flv";

bool isAsciiAlphanumeric(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return EqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

class CommandLine {
public:
    explicit CommandLine(std::string_view program) : line_(program) {}

    CommandLine &add(std::string_view word)
    {
        line_ += ' ';
        line_ += ShellWord(word);
        return *this;
    }

    // The option with its value, only when the value is known.
    CommandLine &option(std::string_view name, std::string_view value)
    {
        return value.empty() ? *this : add(name).add(value);
    }

    const std::string &text() const { return line_; }

private:
    std::string line_;
};

// The last segment of a URL's path, or of a path, without query or fragment.
std::string_view lastSegment(std::string_view url)
{
    url = url.substr(0, url.find_first_of(kUrlPathEnd));
    if (const size_t scheme = url.find(kSchemeEnd); scheme != std::string_view::npos) {
        const size_t path = url.find('/', scheme + kSchemeEnd.size());
        url = path == std::string_view::npos ? std::string_view() : url.substr(path);
    }
    return url.substr(url.rfind('/') + 1);
}

// Letters, digits and "_-." alone, and no leading "." or "-": never a path,
// a hidden file nor an option.
std::string fileName(std::string_view segment)
{
    std::string name;
    for (char c : segment.substr(0, kMostNameLength))
        name += isAsciiAlphanumeric(c) || kFileNamePunctuation.find(c) != std::string_view::npos ? c
                                                                                                : kNameReplacement;
    name.erase(0, name.find_first_not_of(kHiddenOrOptionStart));
    return name.empty() ? kDefaultName : name;
}

std::string withoutExtension(std::string name)
{
    name.resize(std::min(name.size(), name.rfind('.')));
    return name;
}

// The type without its parameters, trimmed and in lower case.
std::string mediaType(std::string_view contentType)
{
    return ToLower(Trim(contentType.substr(0, contentType.find(';'))));
}

bool isPlaylist(const RequestDetails &details)
{
    const std::string pathExtension = ToLower(PathExtension(details.url));
    const std::string typeExtension = ContentTypeExtension(mediaType(details.contentType));
    return std::any_of(std::begin(kPlaylistExtensions), std::end(kPlaylistExtensions),
                       [&](std::string_view playlist) { return pathExtension == playlist || typeExtension == playlist; });
}

std::string streamCommand(const RequestDetails &details, std::string_view input, const char *container)
{
    CommandLine line("ffmpeg");
    line.option("-user_agent", details.userAgent).option("-referer", details.referer);
    // ffmpeg ends the header line itself; a CR LF of ours would not survive a paste into a terminal.
    if (!details.cookie.empty())
        line.add("-headers").add(kCookiePrefix + details.cookie);
    return line.add("-i").add(input).add("-c").add("copy").add(withoutExtension(fileName(lastSegment(details.url))) +
                                                                 container).text();
}

std::string rtmpCommand(const RequestDetails &details)
{
    std::string_view stream = details.playpath;
    // "mp4:clips/a.mp4" names its container before the path.
    stream.remove_prefix(std::min(stream.size(), stream.find(':') + 1));
    const std::string name = withoutExtension(fileName(lastSegment(stream))) + kRtmpContainer;
    CommandLine line("ffmpeg");
    if (details.swfUrl.empty() && details.pageUrl.empty()) {
        const bool separated = details.tcUrl.ends_with('/') || details.playpath.empty();
        line.add("-i").add(details.tcUrl + (separated ? "" : "/") + details.playpath);
    } else {
        line.option("-rtmp_playpath", details.playpath)
            .option("-rtmp_swfurl", details.swfUrl)
            .option("-rtmp_pageurl", details.pageUrl)
            .add("-i")
            .add(details.tcUrl);
    }
    return line.add("-c").add("copy").add(name).text();
}

std::string fileCommand(const RequestDetails &details)
{
    CommandLine line("curl");
    line.add("-L").add("-o").add(fileName(lastSegment(details.url)));
    line.option("-A", details.userAgent).option("-e", details.referer);
    // curl takes a -b value without "=" for the name of a cookie file.
    if (details.cookie.find('=') != std::string::npos)
        line.add("-b").add(details.cookie);
    else if (!details.cookie.empty())
        line.add("-H").add(kCookiePrefix + details.cookie);
    if (details.url.find_first_of(kCurlPatternCharacters) != std::string::npos)
        line.add("-g");
    // A "URL" from the network that begins like an option must stay a URL.
    if (details.url.starts_with('-'))
        line.add(kEndOfOptions);
    return line.add(details.url).text();
}

}

std::string ShellWord(std::string_view text)
{
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return isAsciiAlphanumeric(c) || kPlainWordPunctuation.find(c) != std::string_view::npos;
    });
    if (plain)
        return std::string(text);
    std::string word = "'";
    for (char c : text)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

std::string DownloadCommand(const RequestDetails &details)
{
    if (!details.tcUrl.empty())
        return rtmpCommand(details);
    if (isPlaylist(details))
        return streamCommand(details, details.url, kPlaylistContainer);
    if (startsWithIgnoringCase(details.url, kRtspScheme))
        return streamCommand(details, details.url, kStreamContainer);
    if (startsWithIgnoringCase(details.url, kMmsScheme))
        return streamCommand(details, kFfmpegMmsScheme + details.url.substr(kMmsScheme.size()), kStreamContainer);
    return fileCommand(details);
}

}
