// Code pages against what the code pages' own tables say (the bytes below
// are Python's codecs output), the same on Linux (iconv) and Windows.

#include <gtest/gtest.h>

#include "OnWine.h"
#include "TextCodec.h"

using namespace tessik::os;

TEST(TextCodec, RoundTripsThroughTheCodePages)
{
    struct Case {
        unsigned page;
        std::string text, bytes;
    };
    for (const Case& c : {Case{936, "弯头 Elbow", "\xCD\xE4\xCD\xB7 Elbow"}, Case{950, "彎頭", "\xC5\x73\xC0\x59"},
                          Case{1252, "Äö€", "\xC4\xF6\x80"}, Case{1251, "Труба", "\xD2\xF0\xF3\xE1\xE0"},
                          Case{932, "エルボ", "\x83\x47\x83\x8B\x83\x7B"}}) {
        ASSERT_TRUE(hasCodePage(c.page)) << c.page;
        EXPECT_EQ(encodeCodePage(c.text, c.page), c.bytes) << c.page;
        EXPECT_EQ(decodeCodePage(c.bytes, c.page), c.text) << c.page;
    }
    EXPECT_EQ(decodeCodePage("", 936), "");
}

TEST(TextCodec, RefusesWhatThePageCannotHoldInsteadOfGuessing)
{
    EXPECT_FALSE(encodeCodePage("弯", 1252));
    EXPECT_FALSE(encodeCodePage("\xC4\x80", 1252));  // U+0100: no best fit to "A"
    EXPECT_FALSE(encodeCodePage("bad \xFF", 936));
    EXPECT_FALSE(decodeCodePage("1\xCD", 936));  // cut short
    EXPECT_EQ(decodeCodePageLossy("\xCD\xE4\xFF\xCD\xB7", 936), "弯\uFFFD头");
    EXPECT_EQ(decodeCodePageLossy("ok\xCD", 936), "ok\uFFFD");
    EXPECT_FALSE(hasCodePage(12345));
    EXPECT_EQ(decodeCodePageLossy("\xCD\xE4", 12345), "\xCD\xE4");
}

TEST(TextCodec, Gb18030HoldsEveryCharacter)
{
    if (tessik::test::runningOnWine()) GTEST_SKIP() << "wine has no code page 54936 (GB18030)";
    EXPECT_EQ(decodeCodePage("\x81\x30\x81\x30", kCodePageGb18030), "\xC2\x80");  // four bytes, U+0080
    EXPECT_EQ(decodeCodePage("\xA2\xE3", kCodePageGb18030), "€");
    EXPECT_EQ(encodeCodePage("😀", kCodePageGb18030), "\x94\x39\xFC\x36");
}
