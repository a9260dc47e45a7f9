#include <gtest/gtest.h>

#include <set>

#include "media_classification.h"
#include "text.h"

using namespace tarvolin;

namespace {

template <size_t N>
void expectDistinctLowerCaseExtensions(const std::array<std::string_view, N> &list)
{
    std::set<std::string_view> seen;
    for (std::string_view extension : list) {
        ASSERT_GE(extension.size(), 2u);
        EXPECT_EQ(extension[0], '.');
        EXPECT_EQ(extension.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string_view::npos) << extension;
        EXPECT_TRUE(seen.insert(extension).second) << extension;
    }
}

TEST(MediaTables, HaveTheirSizesAndNoRepeatsOrCapitals)
{
    std::set<std::string_view> types;
    for (const ContentTypeEntry &entry : ContentTypeTable()) {
        EXPECT_FALSE(entry.contentType.empty());
        EXPECT_LE(entry.contentType.size(), 49u);
        EXPECT_LE(entry.extension.size(), 9u);
        EXPECT_TRUE(types.insert(entry.contentType).second) << entry.contentType;
    }
    expectDistinctLowerCaseExtensions(MediaExtensions());
    expectDistinctLowerCaseExtensions(PageExtensions());
    EXPECT_EQ(ContentTypeTable().size(), 58u);
    EXPECT_EQ(MediaExtensions().size(), 87u);
    EXPECT_EQ(PageExtensions().size(), 50u);
}

TEST(ContentTypeExtension, IsAnExactCaseSensitiveWholeTextMatch)
{
    EXPECT_EQ(ContentTypeExtension("video/x-flv"), ".flv");
    EXPECT_EQ(ContentTypeExtension("audio/aacp"), ".mp3");
    EXPECT_EQ(ContentTypeExtension("misc/ultravox"), ".ultravox");
    EXPECT_EQ(ContentTypeExtension("application/smil"), ".smil");
    EXPECT_EQ(ContentTypeExtension("application/smil;charset=utf-8"), ".") << "an empty extension still gives the dot";
    EXPECT_EQ(ContentTypeExtension("video/x-flv;charset=utf-8"), "");
    EXPECT_EQ(ContentTypeExtension("Video/X-FLV"), "") << "the caller lower-cases";
    EXPECT_EQ(ContentTypeExtension("video/x-flv "), "") << "the caller trims";
    EXPECT_EQ(ContentTypeExtension("video"), "");
    EXPECT_EQ(ContentTypeExtension(""), "");
}

TEST(PathExtension, TakesTheLastSegmentsLastDot)
{
    EXPECT_EQ(PathExtension("http://h/video/clip.FLV?start=100"), ".FLV");
    EXPECT_EQ(PathExtension("http://h/a.b/file"), "");
    EXPECT_EQ(PathExtension("http://h/movie.mpeg4"), ".mpeg4");
    EXPECT_EQ(PathExtension("http://h/a.tar.gz"), ".gz");
    EXPECT_EQ(PathExtension("http://h/v.flv  \t\r\n"), ".flv") << "trailing white space is ignored";
    EXPECT_EQ(PathExtension("http://h/v.flv?x=/a.mp3"), ".flv") << "a slash in the query does not count";
    EXPECT_EQ(PathExtension("http://h/dir/?f=a.mp3"), "");
    EXPECT_EQ(PathExtension("http://h/v.flv#t=1"), ".flv#t=1") << "fragments stay";
    EXPECT_EQ(PathExtension("http://h/v.mp3;jsessionid=1"), ".mp3;jsessionid=1");
    EXPECT_EQ(PathExtension("http://example.com"), ".com") << "no path: the host's last dotted part";
    EXPECT_EQ(PathExtension("mms://1.2.3.4/"), "");
    EXPECT_EQ(PathExtension("file."), ".");
    EXPECT_EQ(PathExtension(""), "");
}

TEST(ExtensionLists, MatchWholeEntriesIgnoringCase)
{
    EXPECT_TRUE(IsMediaExtension(".flv"));
    EXPECT_TRUE(IsMediaExtension(".FlV"));
    EXPECT_TRUE(IsMediaExtension(".smpl"));
    EXPECT_FALSE(IsMediaExtension(".fl"));
    EXPECT_FALSE(IsMediaExtension("flv"));
    EXPECT_FALSE(IsMediaExtension(".php"));
    EXPECT_FALSE(IsMediaExtension(""));
    EXPECT_TRUE(IsPageExtension(".php3"));
    EXPECT_TRUE(IsPageExtension(".HTML"));
    EXPECT_FALSE(IsPageExtension(".php"));
    EXPECT_FALSE(IsPageExtension(".flv"));
    EXPECT_FALSE(IsPageExtension(""));
    EXPECT_TRUE(IsPageExtension(".Config")) << "the longest entry";
    EXPECT_FALSE(IsPageExtension(".configx"));
    EXPECT_FALSE(IsMediaExtension(std::string_view(".mp3\0", 5))) << "a NUL is no end";
    EXPECT_FALSE(IsMediaExtension(std::string_view(".mp\0", 4)));
    for (std::string_view extension : MediaExtensions()) {
        EXPECT_TRUE(IsMediaExtension(ToUpper(extension))) << extension;
        EXPECT_FALSE(IsPageExtension(extension)) << extension << " is in both lists";
    }
    for (std::string_view extension : PageExtensions())
        EXPECT_TRUE(IsPageExtension(ToUpper(extension))) << extension;
}

}
