#include "media_classification.h"

#include <algorithm>
#include <cstdint>

#include "text.h"

namespace tarvolin {

namespace {

constexpr char kQueryMark = '?';
constexpr char kPathSeparator = '/';
constexpr char kExtensionDot = '.';

constexpr std::array<ContentTypeEntry, kContentTypeCount> kContentTypes{{
    {"application/download", "avi"},
    {"application/flv", "flv"},
    {"application/octet-stream", "mp3"},
    {"application/qmx", "qmx"},
    {"application/sdp", "mp3"},
    {"application/smil", "smil"},
    {"application/vnd.rn-realmedia", "ra"},
    {"application/x-amf", "asf"},
    {"application/x-fcs", "flv"},
    {"application/x-mms-framed", "asf"},
    {"application/x-octet-stream", "mp3"},
    {"application/x-pn-realaudio", "ra"},
    {"application/x-pn-realmedia", "rm"},
    {"application/x-rhapsodycontent", "mp3"},
    {"video/x-ms-wvx", "wvx"},
    {"audio/mp3", "mp3"},
    {"audio/mp4", "mp4"},
    {"audio/mp4a-latm", "m4a"},
    {"audio/mpeg", "mp3"},
    {"audio/mpeg3", "mp3"},
    {"audio/vnd.rn-realaudio", "ra"},
    {"audio/x-mpeg", "mp3"},
    {"audio/x-ms-wma", "wma"},
    {"audio/x-pn-realaudio", "ra"},
    {"audio/x-pn-realaudio-plugin", "ra"},
    {"flv-application/octet-stream", "flv"},
    {"misc/ultravox", "ultravox"},
    {"rhapsody/rad", "rad"},
    {"rtmp", "flv"},
    {"video/3gpp", "3gp"},
    {"video/divx", "divx"},
    {"video/x-flv", "flv"},
    {"video/flv", "flv"},
    {"video/mp4", "mp4"},
    {"video/mpeg", "mpeg"},
    {"video/quicktime", "mov"},
    {"video/vnd.divx", "divx"},
    {"video/vnd.rn-realvideo", "rv"},
    {"video/x-flash-video", "flv"},
    {"video/flash", "flv"},
    {"video/x-m4v", "m4v"},
    {"video/x-ms-asf", "asf"},
    {"video/x-ms-flv", "flv"},
    {"video/x-msvideo", "avi"},
    {"video/x-ms-video", "avi"},
    {"video/x-ms-wma", "wma"},
    {"video/x-ms-wmv", "wmv"},
    {"video/x-ms-wmx", "wmx"},
    {"audio/aacp", "mp3"},
    {"application/smil;charset=utf-8", ""},
    {"application/vnd.apple.mpegurl", "m3u8"},
    {"application/x-mpegurl", "m3u8"},
    {"audio/mpegurl", "m3u8"},
    {"audio/x-mpegurl", "m3u8"},
    {"application/dash+xml", "mpd"},
    {"video/webm", "webm"},
    {"audio/webm", "webm"},
    {"audio/ogg", "ogg"},
}};

constexpr std::array<std::string_view, kMediaExtensionCount> kMediaExtensions{
    ".flv",  ".f4v",  ".hlv",  ".mov",  ".qt",   ".mp4",  ".m4v", ".m4p", ".m4b",  ".mpeg4", ".dat",  ".m1v",
    ".m2p",  ".m2ts", ".m2v",  ".mp2v", ".mpe",  ".mpeg", ".mpg", ".mpv2", ".pss", ".pva",   ".ram",  ".rm",
    ".rmvb", ".rp",   ".rpm",  ".rt",   ".smi",  ".smil", ".asf", ".avi", ".wm",   ".wmp",  ".wmv",  ".3g2",
    ".3gp",  ".3gp2", ".3gpp", ".vob",  ".amv",  ".bik",  ".csf", ".divx", ".evo", ".ivm",  ".mkv",  ".mod",
    ".mts",  ".ogm",  ".pmp",  ".scm",  ".tod",  ".vp6",  ".aac", ".ac3", ".amr",  ".ape",  ".cda",  ".dts",
    ".flac", ".m1a",  ".m2a",  ".m4a",  ".mid",  ".midi", ".mka", ".mp2", ".mp3",  ".mpa",  ".ogg",  ".ra",
    ".tta",  ".wav",  ".wma",  ".wv",   ".asx",  ".cue",  ".kpl", ".m3u", ".pls",  ".qpl",  ".smpl", ".m3u8",
    ".mpd",  ".webm", ".opus",
};

// A live stream's playlist names a new segment every few seconds; listed as
// media files they would bury the playlist that leads to them all.
constexpr std::array<std::string_view, kSegmentExtensionCount> kSegmentExtensions{".ts", ".m4s"};
constexpr std::array<std::string_view, kSegmentContentTypeCount> kSegmentContentTypes{"video/mp2t",
                                                                                      "video/iso.segment"};

constexpr std::array<std::string_view, kPageExtensionCount> kPageExtensions{
    ".htm",  ".shtm", ".shtml", ".html", ".hta",  ".htc",    ".stm",  ".ssi",  ".js",   ".as",
    ".asc",  ".asr",  ".xml",   ".xsl",  ".xsd",  ".dtd",    ".xslt", ".lbi",  ".dwt",  ".asp",
    ".aspx", ".ascx", ".asmx",  ".config", ".cs", ".css",    ".inc",  ".vb",   ".cfm",  ".cfml",
    ".cfc",  ".txt",  ".ini",   ".php3", ".php4", ".jsp",    ".jst",  ".jsf",  ".java", ".vbs",
    ".wml",  ".ico",  ".jpg",   ".gif",  ".bmp",  ".jpeg",   ".jpe",  ".tif",  ".tiff", ".png",
};

// A short initialiser list would leave empty entries at the end, and those would go unnoticed.
static_assert(kContentTypes.back().contentType == "audio/ogg");
static_assert(kMediaExtensions.back() == ".opus");
static_assert(kPageExtensions.back() == ".png");

// Extensions are looked up as numbers: up to seven bytes, lower-cased, and
// the length in the top byte, so that one with a NUL inside matches nothing.
constexpr size_t kLongestKeyedExtension = 7;
constexpr int kBitsPerByte = 8;
constexpr int kLengthShift = 56;

constexpr uint64_t extensionKey(std::string_view extension)
{
    uint64_t key = uint64_t{extension.size()} << kLengthShift;
    for (size_t i = 0; i < extension.size(); ++i)
        key |= uint64_t{static_cast<unsigned char>(LowerAscii(extension[i]))} << (kBitsPerByte * i);
    return key;
}

template <size_t N>
constexpr std::array<uint64_t, N> sortedKeys(const std::array<std::string_view, N> &list)
{
    std::array<uint64_t, N> keys{};
    std::transform(list.begin(), list.end(), keys.begin(), extensionKey);
    std::sort(keys.begin(), keys.end());
    return keys;
}

template <size_t N>
constexpr bool allKeyed(const std::array<std::string_view, N> &list)
{
    return std::all_of(list.begin(), list.end(),
                       [](std::string_view extension) { return extension.size() <= kLongestKeyedExtension; });
}

static_assert(allKeyed(kMediaExtensions) && allKeyed(kPageExtensions) && allKeyed(kSegmentExtensions));

constexpr auto kMediaExtensionKeys = sortedKeys(kMediaExtensions);
constexpr auto kPageExtensionKeys = sortedKeys(kPageExtensions);
constexpr auto kSegmentExtensionKeys = sortedKeys(kSegmentExtensions);

template <size_t N>
bool listed(const std::array<uint64_t, N> &keys, std::string_view extension)
{
    return extension.size() <= kLongestKeyedExtension &&
           std::binary_search(keys.begin(), keys.end(), extensionKey(extension));
}

}

const std::array<ContentTypeEntry, kContentTypeCount> &ContentTypeTable()
{
    return kContentTypes;
}

const std::array<std::string_view, kMediaExtensionCount> &MediaExtensions()
{
    return kMediaExtensions;
}

const std::array<std::string_view, kPageExtensionCount> &PageExtensions()
{
    return kPageExtensions;
}

std::string ContentTypeExtension(std::string_view contentType)
{
    for (const ContentTypeEntry &entry : kContentTypes) {
        if (entry.contentType == contentType)
            return kExtensionDot + std::string(entry.extension);
    }
    return {};
}

std::string PathExtension(std::string_view url)
{
    std::string_view text = TrimRight(url);
    text = text.substr(0, text.find(kQueryMark));
    const size_t separator = text.rfind(kPathSeparator);
    if (separator != std::string_view::npos)
        text.remove_prefix(separator + 1);
    const size_t dot = text.rfind(kExtensionDot);
    return dot == std::string_view::npos ? std::string() : std::string(text.substr(dot));
}

bool IsMediaExtension(std::string_view extension)
{
    return listed(kMediaExtensionKeys, extension);
}

bool IsPageExtension(std::string_view extension)
{
    return listed(kPageExtensionKeys, extension);
}

bool IsStreamSegment(std::string_view extension, std::string_view contentType)
{
    return listed(kSegmentExtensionKeys, extension) ||
           std::find(kSegmentContentTypes.begin(), kSegmentContentTypes.end(), contentType) !=
               kSegmentContentTypes.end();
}

}
