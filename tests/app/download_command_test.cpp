#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download_command.h"
#include "text.h"
#include "run_program.h"

using namespace tarvolin;
using namespace testing_support;

namespace {

// Every byte a shell could read as more than a letter, a newline among them.
const std::string kUrl = "http://media.example/a b/it's \"$(id)\" `id` $HOME {1,2}\nnext;.flv?q=1&r=$x";
const std::string kUserAgent = "Mozilla/5.0 (X11; \"Linux\") \\ 'quoted'";
const std::string kReferer = "http://media.example/page?x='1'&y=$z#`id`";
const std::string kCookie = "a='1'; b=$(id); c=`id`\\; d=\"x y\"";

// The words /bin/sh makes of `line`, with curl and ffmpeg standing for
// printers of their arguments; empty when the shell did anything else.
std::vector<std::string> shellWords(const std::string &line)
{
    const std::string printers = "curl() { printf '%s\\0' curl \"$@\"; }\n"
                                 "ffmpeg() { printf '%s\\0' ffmpeg \"$@\"; }\n";
    const ProgramResult shell = RunProgram({"/bin/sh", "-c", printers + line});
    if (shell.status != 0 || !shell.err.empty())
        return {};
    std::vector<std::string> words;
    for (size_t start = 0, end; (end = shell.out.find('\0', start)) != std::string::npos; start = end + 1)
        words.push_back(shell.out.substr(start, end - start));
    return words;
}

RequestDetails urlOnly(std::string url)
{
    RequestDetails details;
    details.url = std::move(url);
    return details;
}

RequestDetails withHeaders(std::string url, std::string contentType = "")
{
    RequestDetails details = urlOnly(std::move(url));
    details.contentType = std::move(contentType);
    details.userAgent = kUserAgent;
    details.referer = kReferer;
    details.cookie = kCookie;
    return details;
}

TEST(DownloadCommand, EveryByteOfUrlAndHeadersReachesTheProgramAsOneWordOfOneCommand)
{
    EXPECT_EQ(shellWords(DownloadCommand(withHeaders(kUrl))),
              (std::vector<std::string>{"curl", "-L", "-o", "it_s____id____id___HOME__1_2__next_.flv", "-A",
                                        kUserAgent, "-e", kReferer, "-b", kCookie, "-g", kUrl}));

    const std::string playlist = "http://live.example/master?token='x y'";
    EXPECT_EQ(shellWords(DownloadCommand(withHeaders(playlist, "Application/vnd.apple.mpegurl; charset=UTF-8"))),
              (std::vector<std::string>{"ffmpeg", "-user_agent", kUserAgent, "-referer", kReferer, "-headers",
                                        "Cookie: " + kCookie, "-i", playlist, "-c", "copy", "master.mp4"}));

    RequestDetails rtmp = urlOnly("rtmp://fms.example/vod<playpath>mp4:clips/it's $x.mp4");
    rtmp.tcUrl = "rtmp://fms.example/vod";
    rtmp.playpath = "mp4:clips/it's $x.mp4";
    EXPECT_EQ(shellWords(DownloadCommand(rtmp)),
              (std::vector<std::string>{"ffmpeg", "-i", "rtmp://fms.example/vod/mp4:clips/it's $x.mp4", "-c", "copy",
                                        "it_s__x.flv"}));
    rtmp.pageUrl = "http://fms.example/watch?v='1'";
    EXPECT_EQ(shellWords(DownloadCommand(rtmp)),
              (std::vector<std::string>{"ffmpeg", "-rtmp_playpath", rtmp.playpath, "-rtmp_pageurl", rtmp.pageUrl, "-i",
                                        rtmp.tcUrl, "-c", "copy", "it_s__x.flv"}));
}

TEST(DownloadCommand, PlainWordsStayReadableAndStreamsGoToFfmpeg)
{
    RequestDetails details = urlOnly("http://media.example/v.flv?x=1");
    EXPECT_EQ(DownloadCommand(details), "curl -L -o v.flv 'http://media.example/v.flv?x=1'");
    details.url = "http://media.example/";
    details.cookie = "token";
    EXPECT_EQ(DownloadCommand(details), "curl -L -o download -H 'Cookie: token' http://media.example/")
        << "curl would read a -b value without \"=\" as a file";
    EXPECT_EQ(DownloadCommand(urlOnly("http://cdn.example/-.hidden.mpd")),
              "ffmpeg -i http://cdn.example/-.hidden.mpd -c copy hidden.mp4");
    EXPECT_EQ(DownloadCommand(urlOnly("rtsp://cam.example/live.sdp")),
              "ffmpeg -i rtsp://cam.example/live.sdp -c copy live.mkv");
    EXPECT_EQ(DownloadCommand(urlOnly("mms://media.example/clips/intro.wmv")),
              "ffmpeg -i mmst://media.example/clips/intro.wmv -c copy intro.mkv");
    // An RTSP request line may carry anything where its URL goes.
    EXPECT_EQ(shellWords(DownloadCommand(urlOnly("-Kevil.cfg"))),
              (std::vector<std::string>{"curl", "-L", "-o", "Kevil.cfg", "--", "-Kevil.cfg"}));
}

TEST(FetchableUrl, KeepsWellFormedUtf8AndEncodesEveryOtherByteThatTextCannotCarry)
{
    const std::string kept = "http://h.example/a/%41/\xC3\xA9\xE2\x9C\x93\xF0\x9F\x8E\xAC\xF4\x8F\xBF\xBF";
    EXPECT_EQ(FetchableUrl(kept), kept);
    const std::vector<std::pair<std::string, std::string>> encoded = {
        {"\xE9", "%E9"},                                      // Latin-1
        {"\xC0\xAF", "%C0%AF"},                              // overlong "/"
        {"\xE0\x80\xAF", "%E0%80%AF"},                      // overlong "/" in three bytes
        {"\xED\xA0\x80", "%ED%A0%80"},                      // a surrogate
        {"\xF4\x90\x80\x80", "%F4%90%80%80"},              // past U+10FFFF
        {"\xE2\x9C", "%E2%9C"},                              // cut short by the end
        {"\xE2\x9C" "a", "%E2%9Ca"},                         // cut short by ASCII
        {std::string(" \r\n\t\x7F\0", 6), "%20%0D%0A%09%7F%00"}, // a blank and control bytes
    };
    for (const auto &[bytes, text] : encoded)
        EXPECT_EQ(FetchableUrl("http://h/" + bytes + "x"), "http://h/" + text + "x");
}

}
