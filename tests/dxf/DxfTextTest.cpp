// Text between code pages and UTF-8. The GBK bytes below are what Python's
// codec (through ezdxf) wrote for 弯头.

#include <gtest/gtest.h>

#include <string>

#include "DxfText.h"

using namespace tessik::dxf;

TEST(DxfText, DecodesCodePagesAndEscapes)
{
    EXPECT_EQ(decodeDxfText("\xCD\xE4\xCD\xB7 Elbow", "ANSI_936", false), "弯头 Elbow");
    EXPECT_EQ(decodeDxfText("\xCD\xE4\xCD\xB7", "ansi_936", false), "弯头");
    EXPECT_EQ(decodeDxfText("\xC4\xD6", "ANSI_1252", false), "ÄÖ");
    EXPECT_EQ(decodeDxfText("\\U+5F2F\\u+5934 \\U+00c4", "ANSI_1252", false), "弯头 Ä");
    EXPECT_EQ(decodeDxfText("弯头 \\U+5f2f", "ANSI_936", true), "弯头 弯");
    // Not escapes: too short, not hex, a surrogate.
    EXPECT_EQ(decodeDxfText("\\U+12 \\U+XYZW \\U+D800", "ANSI_1252", true), "\\U+12 \\U+XYZW \\U+D800");
    // A broken byte costs its own character only.
    EXPECT_EQ(decodeDxfText("\xCD\xE4\xFF\xCD\xB7", "ANSI_936", false), "弯\uFFFD头");
    EXPECT_EQ(decodeDxfText("ok\xE5\x9F", "ANSI_936", true), "ok\uFFFD\uFFFD");
}

TEST(DxfText, EncodesWhatTheCodePageHoldsAndEscapesTheRest)
{
    EXPECT_EQ(*encodeDxfText("弯头 Elbow", "ANSI_936", false), "\xCD\xE4\xCD\xB7 Elbow");
    EXPECT_EQ(*encodeDxfText("弯头 Ä", "ANSI_1252", false), "\\U+5F2F\\U+5934 \xC4");
    EXPECT_EQ(*encodeDxfText("弯头", "ANSI_1252", true), "弯头");
    EXPECT_FALSE(encodeDxfText("two\nlines", "ANSI_936", false).ok());
    EXPECT_FALSE(encodeDxfText("bad \xFF", "ANSI_936", false).ok());
    // Escape-like text survives; a control-character escape is kept as written.
    for (const bool unicode : {false, true})
        for (const std::string text : {"\\U+0041 \\u+5f2f \\P", "a\\U+000Ab"}) {
            const auto bytes = encodeDxfText(text, "ANSI_936", unicode);
            ASSERT_TRUE(bytes.ok());
            EXPECT_EQ(decodeDxfText(*bytes, "ANSI_936", unicode), text);
        }
    EXPECT_EQ(decodeDxfText("a\\U+000Ab", "ANSI_936", false), "a\\U+000Ab");
    for (const char* page : {"ANSI_936", "ANSI_950", "ANSI_1252", "ANSI_1251", "ANSI_932"})
        for (const bool unicode : {false, true})
            for (const std::string text : {"弯头 Elbow", "臺灣 ÄÖ ж ∅", "plain", ""}) {
                const auto bytes = encodeDxfText(text, page, unicode);
                ASSERT_TRUE(bytes.ok()) << page;
                EXPECT_EQ(decodeDxfText(*bytes, page, unicode), text) << page << " " << text;
            }
}

// \M+nXXXX names a double-byte character of the East Asian code page n; the
// same two bytes are different characters in different pages (81 46 is a
// full-width colon in Shift-JIS, 丗 in GBK). Typed as text, an escape-like
// string survives a round trip.
TEST(DxfText, MultibyteEscapesAreDecodedInTheirOwnCodePage)
{
    for (const bool unicode : {false, true}) {
        EXPECT_EQ(decodeDxfText("\xBB\xE6\xCD\xBC\\M+18146", "ANSI_936", false), "绘图：");
        EXPECT_EQ(decodeDxfText("\\M+18146\\M+2A147\\M+58146", "ANSI_1252", unicode), "：：丗");
        EXPECT_EQ(decodeDxfText("\\m+1815b \\M+3B0A1", "ANSI_1252", unicode), "ー 가");
        // Not escapes: no such code page, too short, not hex, an ASCII lead byte.
        for (const std::string raw : {"\\M+08146", "\\M+6B0A1", "\\M+1814", "\\M+1XY46", "\\M+14141"})
            EXPECT_EQ(decodeDxfText(raw, "ANSI_1252", unicode), raw);
        for (const std::string text : {"\\M+18146", "a\\m+5B5A1b"}) {
            const auto bytes = encodeDxfText(text, "ANSI_936", unicode);
            ASSERT_TRUE(bytes.ok());
            EXPECT_EQ(decodeDxfText(*bytes, "ANSI_936", unicode), text);
        }
    }
}
