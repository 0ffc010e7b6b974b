// The tag reader on good and hostile input: what it refuses, and that the
// refusal names the line.

#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>

#include "DxfTagReader.h"

using namespace tessik::dxf;

TEST(DxfTagReader, ReadsAsciiWithEitherLineEnd)
{
    for (const std::string nl : {"\n", "\r\n"}) {
        const std::string text = "  0" + nl + "SECTION" + nl + "  2" + nl + "HEADER" + nl + " 10" + nl + " -1.5e3 " +
                                 nl + "  1" + nl + " kept as is " + nl + "  0" + nl + "EOF" + nl;
        const auto tags = readDxfTags(text);
        ASSERT_TRUE(tags.ok()) << tags.error().description;
        ASSERT_EQ(tags->size(), 5u);
        EXPECT_EQ((*tags)[2], (DxfTag{10, " -1.5e3 "}));
        EXPECT_EQ((*tags)[3], (DxfTag{1, " kept as is "}));
    }
}

TEST(DxfTagReader, BadValuesAreErrorsNamingTheLine)
{
    struct Row {
        const char* name;
        std::string text;
        const char* line;
    };
    const std::string head = "  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n";
    const Row rows[] = {
        {"empty real", head + " 10\n\n", "第 8 行"},
        {"letters for a real", head + " 10\nabc\n", "第 8 行"},
        {"NaN", head + " 20\nNaN\n", "第 8 行"},
        {"infinity", head + " 20\ninf\n", "第 8 行"},
        {"overflowing real", head + " 20\n1e999\n", "第 8 行"},
        {"16-bit count too large", head + " 70\n40000\n", "第 8 行"},
        {"32-bit count too large", head + " 90\n1099511627776\n", "第 8 行"},
        {"fraction for an integer", head + " 90\n2.5\n", "第 8 行"},
        {"code that is not a number", head + "ten\n1\n", "第 7 行"},
        {"code out of range", head + "5000\n1\n", "第 7 行"},
        {"code without a value", head + " 10", "第 7 行"},
        {"odd hex data", head + "310\nABC\n", "第 8 行"},
    };
    for (const Row& row : rows) {
        const auto tags = readDxfTags(row.text);
        ASSERT_FALSE(tags.ok()) << row.name;
        EXPECT_NE(tags.error().description.find(row.line), std::string::npos)
            << row.name << ": " << tags.error().description;
    }
}

TEST(DxfTagReader, BinaryDxfGivesTheSameTagsAsAscii)
{
    std::string bin("AutoCAD Binary DXF\r\n\x1a\0", 22);
    const auto code = [&](int c) {
        bin += static_cast<char>(c & 0xff);
        bin += static_cast<char>((c >> 8) & 0xff);
    };
    const auto text = [&](const char* s) { bin.append(s).push_back('\0'); };
    code(0), text("SECTION"), code(2), text("ENTITIES"), code(0), text("LINE");
    code(10);
    const double x = -2.5;
    bin.append(reinterpret_cast<const char*>(&x), 8);  // the build machines are little-endian
    code(70), bin.append("\x05\x00", 2);
    code(310), bin.append("\x02\xAB\xCD", 3);
    code(0), text("ENDSEC"), code(0), text("EOF");
    const auto tags = readDxfTags(bin);
    ASSERT_TRUE(tags.ok()) << tags.error().description;
    ASSERT_EQ(tags->size(), 8u);
    EXPECT_EQ((*tags)[3], (DxfTag{10, "-2.5"}));
    EXPECT_EQ((*tags)[4], (DxfTag{70, "5"}));
    EXPECT_EQ((*tags)[5], (DxfTag{310, "ABCD"}));
    // Cut anywhere inside, it is an error, never a made-up value.
    for (std::size_t cut = 23; cut < bin.size() - 4; ++cut) {
        const auto part = readDxfTags(std::string_view(bin).substr(0, cut));
        if (part.ok()) {
            EXPECT_LT(part->size(), 8u) << cut;
        }
    }
}

// A large file is read in parts by several threads: whatever the file and
// wherever the parts fall, the tags or the error are those of one reading.
TEST(DxfTagReader, ReadingInPartsIsReadingOnce)
{
    std::string body;
    for (int i = 0; i < 40; ++i)
        body += "  0\nLINE\n  8\n" + std::string(i % 3 ? "0" : "") + "\n 10\n" + std::to_string(i) + ".5\n 20\n-" +
                std::to_string(i * 7) + "\n";
    const std::string head = "\xEF\xBB\xBF  0\r\nSECTION\r\n  2\nENTITIES\n";
    const std::string files[] = {
        head + body + "  0\nENDSEC\n  0\nEOF\n",
        head + body + "  0\nENDSEC\n  0\nEOF",                       // last line unended
        head + body + "  0\nENDSEC\n  0\nEOF\nafter the end\n 10\nx\n",  // ignored after EOF
        head + body + "  0\nENDSEC\n",                               // no EOF
        head + body + "  0\nENDSEC\n\n",                             // a final blank line
        head + body + " 10\nabc\n" + body,                           // bad value half way
        head + body + "five\n1\n" + body + "  0\nEOF\n",             // bad code half way
        head + body + " 10\n1\n 10\n",                               // code without a value
        head + body + "\n",
        "0\nEOF\n" + body,
        body + "\n\n\n" + body,
    };
    for (const std::string& file : files) {
        const auto once = readDxfTags(file, 1);
        for (unsigned parts = 2; parts <= 9; ++parts) {
            const auto inParts = readDxfTags(file, parts);
            ASSERT_EQ(inParts.ok(), once.ok()) << parts;
            if (once.ok())
                EXPECT_EQ(*inParts, *once) << parts;
            else
                EXPECT_EQ(inParts.error().description, once.error().description) << parts;
        }
    }
}

// Numbers are read without the library where that is exact: any mix of
// signs, digits and points reads as std::from_chars reads it.
TEST(DxfTagReader, RealsReadAsTheLibraryReadsThem)
{
    std::uint64_t state = 42;
    const auto next = [&] { return (state = state * 6364136223846793005u + 1442695040888963407u) >> 33; };
    const auto digits = [&](std::string& s, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) s += char('0' + next() % 10);
    };
    for (int n = 0; n < 200000; ++n) {
        // Mostly [-]digits[.digits] of 1 to 20 digits, now and then spoilt.
        std::string s = next() % 2 ? "-" : "";
        digits(s, next() % 12);
        if (next() % 4) s += '.';
        digits(s, next() % 12);
        if (next() % 8 == 0) s.insert(next() % (s.size() + 1), 1, "-.e5 x"[next() % 6]);
        double ours = 0, theirs = 0;
        const bool read = readReal(s, ours);
        const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), theirs);
        const bool whole = ec == std::errc() && ptr == s.data() + s.size();
        ASSERT_EQ(read, whole) << s;
        if (read) {
            ASSERT_EQ(std::memcmp(&ours, &theirs, sizeof ours), 0) << s;
        }
    }
}
