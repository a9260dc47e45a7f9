#include <gtest/gtest.h>

#include <random>

#include "byte_view.h"

using quillnet::ByteView;

namespace {

ByteView view(std::string_view text)
{
    return ByteView(text);
}

TEST(ByteView, ReadsMissOutsideTheCapturedBytes)
{
    const ByteView bytes = view(std::string_view("\x01\x02\x03", 3));
    EXPECT_EQ(bytes.u8(2), 3);
    EXPECT_FALSE(bytes.u8(3));
    EXPECT_EQ(bytes.be16(1), 0x0203);
    EXPECT_FALSE(bytes.be16(2));
    EXPECT_FALSE(bytes.be16(ByteView::npos));
    EXPECT_TRUE(bytes.has(3, 0));
    EXPECT_FALSE(bytes.has(2, ByteView::npos));
    EXPECT_FALSE(bytes.byteIs(3, 0));
    EXPECT_TRUE(ByteView(nullptr, 10).empty());
}

TEST(ByteView, MatchesAndSubViewsAreClipped)
{
    const ByteView bytes = view("GET /a");
    EXPECT_TRUE(bytes.startsWith("GET "));
    EXPECT_FALSE(bytes.matches(4, "/ab"));
    EXPECT_FALSE(bytes.matches(ByteView::npos - 1, "ab"));
    EXPECT_EQ(bytes.sub(4).text(), "/a");
    EXPECT_EQ(bytes.sub(4, 100).text(), "/a");
    EXPECT_TRUE(bytes.sub(7).empty());
    EXPECT_EQ(bytes.find("/"), 4u);
    EXPECT_EQ(bytes.find("/", 5), ByteView::npos);
    EXPECT_EQ(bytes.find("a", 99), ByteView::npos);
}

TEST(ByteView, CopiesStopAtTheirFields)
{
    char field[4];
    EXPECT_EQ(quillnet::copyText(field, view("abcdef")), 3u);
    EXPECT_STREQ(field, "abc");
    uint8_t area[2];
    EXPECT_EQ(quillnet::copyBytes(area, view("xyz")), 2u);
    EXPECT_EQ(area[1], 'y');
}

TEST(ByteView, FindAnyPairAgreesWithAPlainSearch)
{
    const quillnet::BytePair pairs[] = {{3, 12, 2}, {0, 1, 0x0C}, {2, 1, 0}};
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        // Lengths around the vector widths; few distinct byte values so that pairs occur.
        std::vector<uint8_t> bytes(random() % 120);
        for (uint8_t &byte : bytes) {
            const uint8_t choices[] = {0, 2, 3, 0x0C, 0x41};
            byte = choices[random() % 5];
        }
        const ByteView data(bytes.data(), bytes.size());
        const size_t from = random() % 130;
        const size_t end = random() % 140;
        size_t expected = ByteView::npos;
        for (size_t i = from; i < std::min(end, bytes.size()) && expected == ByteView::npos; ++i) {
            for (const auto &pair : pairs) {
                if (bytes[i] == pair.first && i + pair.secondOffset < bytes.size() &&
                    bytes[i + pair.secondOffset] == pair.second) {
                    expected = i;
                    break;
                }
            }
        }
        ASSERT_EQ(data.findAnyPair(pairs, from, end), expected) << "round " << round;
    }
}

}
