// The drawing keeps what it does not interpret, hands out handles that no
// other object has, and writes numbers that read back exactly.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "DxfDrawing.h"
#include "DxfTagReader.h"
#include "FileAccess.h"

using namespace tessik::dxf;

namespace {


NewEntity line(double x1, double y1, double x2, double y2)
{
    return NewEntity{"LINE", "0",
                     {{100, "AcDbLine"},
                      {10, formatReal(x1)},
                      {20, formatReal(y1)},
                      {30, "0.0"},
                      {11, formatReal(x2)},
                      {21, formatReal(y2)},
                      {31, "0.0"}}};
}

// A file with things no part of tessik interprets: a section of its own, a
// MESH, extended data, a comment, an object with a reactor.
const char* kForeign =
    "999\nmade by hand\n"
    "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1015\n  9\n$HANDSEED\n  5\n10\n  0\nENDSEC\n"
    "  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nBLOCK_RECORD\n  5\n1\n  0\nBLOCK_RECORD\n  5\n1F\n"
    "  2\n*Model_Space\n  0\nENDTAB\n  0\nENDSEC\n"
    "  0\nSECTION\n  2\nENTITIES\n"
    "  0\nMESH\n  5\n2A\n330\n1F\n100\nAcDbEntity\n  8\nmesh layer\n100\nAcDbSubDMesh\n 71\n2\n 72\n0\n 91\n0\n"
    " 92\n0\n 93\n0\n 94\n0\n 95\n0\n"
    "  0\nLINE\n  5\n2B\n330\n1F\n100\nAcDbEntity\n  8\n0\n100\nAcDbLine\n 10\n1.25\n 20\n0\n 30\n0\n 11\n3\n"
    " 21\n4\n 31\n0\n1001\nMYAPP\n1000\nkept\n"
    "  0\nENDSEC\n"
    "  0\nSECTION\n  2\nACME_PRIVATE\n 90\n7\n  1\nwhatever\n  0\nENDSEC\n"
    "  0\nEOF\n";

}  // namespace

TEST(DxfDrawing, WritesBackWhatItReadUnchanged)
{
    const auto drawing = DxfDrawing::fromBytes(kForeign);
    ASSERT_TRUE(drawing.ok()) << drawing.error().description;
    ASSERT_EQ(drawing->entityCount(), 2u);
    EXPECT_EQ(drawing->entity(0).type, "MESH");
    EXPECT_EQ(drawing->entity(1).handle, "2B");
    const auto bytes = drawing->toBytes();
    ASSERT_TRUE(bytes.ok());
    // The only change is the handle seed, raised past the handles in use.
    std::string expected = kForeign;
    expected.replace(expected.find("$HANDSEED\n  5\n10\n"), 17, "$HANDSEED\n  5\n2C\n");
    EXPECT_EQ(*bytes, expected);

    const auto blank = DxfDrawing::blank().toBytes();
    ASSERT_TRUE(blank.ok());
    const auto again = DxfDrawing::fromBytes(*blank);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(*again->toBytes(), *blank);
}

// The tags view the bytes they were read from. A copy of a drawing and a
// drawing given another's tags both outlive the drawing and the bytes they
// came from (a file well over the allocator's mmap threshold, so its freed
// bytes are unmapped and any read of them faults).
TEST(DxfDrawing, TagsOutliveTheBytesAndTheDrawingTheyCameFrom)
{
    std::string file(kForeign);
    const std::string mark = "  0\nENDSEC\n  0\nSECTION\n  2\nACME_PRIVATE";
    std::string many;
    for (int i = 0; i < 20000; ++i) many += "  0\nPOINT\n  8\nlayer " + std::to_string(i) + "\n 10\n1.5\n 20\n2.5\n";
    file.insert(file.find(mark), many);
    DxfDrawing other = DxfDrawing::blank();
    std::optional<DxfDrawing> copy;
    {
        auto read = DxfDrawing::fromBytes(std::string(file));
        ASSERT_TRUE(read.ok());
        copy = *read;
        const auto last = read->entityTags(read->entityCount() - 1);
        NewEntity point{"POINT", "0", std::vector<DxfTag>(last.begin() + 1, last.end())};
        const std::size_t at = other.addEntity(Space::Model, point);
        other.setEntityValues(at, {last[1]});
        other.replaceEntityGroups(at, std::vector<int>{10}, {last[2]});
    }
    const auto copied = copy->toBytes();
    ASSERT_TRUE(copied.ok());
    EXPECT_TRUE(*copied == *DxfDrawing::fromBytes(file)->toBytes());
    copy.reset();
    const auto written = other.toBytes();
    ASSERT_TRUE(written.ok());
    EXPECT_NE(written->find("  8\nlayer 19999\n 10\n1.5\n"), std::string::npos);
}

TEST(DxfDrawing, NewEntitiesTakeFreshHandlesAndTheirOwner)
{
    auto read = DxfDrawing::fromBytes(kForeign);
    ASSERT_TRUE(read.ok());
    DxfDrawing* drawing = &read.value();
    const std::size_t a = drawing->addEntity(Space::Model, line(0, 0, 1, 1));
    const std::size_t b = drawing->addEntity(Space::Paper, line(0, 0, 2, 2));
    EXPECT_EQ(drawing->entity(a).handle, "2C");
    EXPECT_EQ(drawing->entity(b).handle, "2D");
    EXPECT_EQ(drawing->handleSeed(), 0x2Eu);
    const auto tags = drawing->entityTags(a);
    EXPECT_EQ(tags[2], (DxfTag{330, "1F"}));
    const auto bytes = drawing->toBytes();
    ASSERT_TRUE(bytes.ok());
    const auto reread = DxfDrawing::fromBytes(*bytes);
    ASSERT_TRUE(reread.ok());
    ASSERT_EQ(reread->entityCount(), 4u);
    EXPECT_EQ(reread->entity(3).space, Space::Paper);
    EXPECT_EQ(reread->headerValue("$HANDSEED"), "2E");
    // Read back, the seed is where it was left: the next entity is new too.
    EXPECT_EQ(reread->handleSeed(), 0x2Eu);
}

// An entity of a paper layout other than the active one goes into that
// layout's block, owned by its block record; no ENTITIES section is made for
// it. One for a block the file does not define fails the write.
TEST(DxfDrawing, NewEntitiesOfALayoutGoIntoItsBlock)
{
    const std::string file =
        "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1015\n  9\n$HANDSEED\n  5\n50\n  0\nENDSEC\n"
        "  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nBLOCK_RECORD\n  5\n1\n  0\nBLOCK_RECORD\n  5\n40\n"
        "  2\n*Paper_Space0\n  0\nENDTAB\n  0\nENDSEC\n"
        "  0\nSECTION\n  2\nBLOCKS\n  0\nBLOCK\n  5\n41\n330\n40\n  2\n*Paper_Space0\n"
        "  0\nPOINT\n  5\n42\n330\n40\n 10\n1.0\n 20\n2.0\n"
        "  0\nENDBLK\n  5\n43\n330\n40\n  0\nENDSEC\n  0\nEOF\n";
    auto read = DxfDrawing::fromBytes(file);
    ASSERT_TRUE(read.ok()) << read.error().description;
    DxfDrawing& drawing = read.value();
    const std::size_t i = drawing.addEntity(Space::Paper, line(0, 0, 1, 1), {}, "*Paper_Space0");
    EXPECT_EQ(drawing.entity(i).block, "*PAPER_SPACE0");
    const auto bytes = drawing.toBytes();
    ASSERT_TRUE(bytes.ok()) << bytes.error().description;
    EXPECT_NE(bytes->find(" 20\n2.0\n  0\nLINE\n  5\n50\n330\n40\n100\nAcDbEntity\n 67\n1\n  8\n0\n"), std::string::npos)
        << *bytes;
    EXPECT_LT(bytes->find("LINE"), bytes->find("ENDBLK"));
    EXPECT_EQ(bytes->find("ENTITIES"), std::string::npos);

    drawing.addEntity(Space::Paper, line(0, 0, 1, 1), {}, "*Paper_Space7");
    EXPECT_FALSE(drawing.toBytes().ok());
}

// A block's entity written anew goes where it was, its neighbours and the
// block's end as they were; tags of another type, an entity or block the
// drawing lacks, and the block of a paper layout (whose entities are the
// drawing's, edited as such) are refused, the drawing unchanged.
TEST(DxfDrawing, ABlocksEntityIsWrittenInPlaceButNotALayoutsBlock)
{
    const std::string file =
        "  0\nSECTION\n  2\nTABLES\n  0\nTABLE\n  2\nBLOCK_RECORD\n  0\nBLOCK_RECORD\n  5\n40\n"
        "  2\n*Paper_Space0\n  0\nENDTAB\n  0\nENDSEC\n"
        "  0\nSECTION\n  2\nBLOCKS\n  0\nBLOCK\n  2\n*D1\n  0\nPOINT\n 10\n1.0\n 20\n2.0\n"
        "  0\nLINE\n 10\n0.0\n 20\n0.0\n 11\n1.0\n 21\n1.0\n  0\nENDBLK\n"
        "  0\nBLOCK\n  2\n*Paper_Space0\n  0\nPOINT\n 10\n5.0\n 20\n6.0\n  0\nENDBLK\n  0\nENDSEC\n"
        "  0\nSECTION\n  2\nOBJECTS\n  0\nLAYOUT\n  5\n44\n100\nAcDbLayout\n  1\nSheet\n 71\n1\n330\n40\n"
        "  0\nENDSEC\n  0\nEOF\n";
    auto read = DxfDrawing::fromBytes(file);
    ASSERT_TRUE(read.ok()) << read.error().description;
    DxfDrawing& drawing = read.value();
    ASSERT_EQ(drawing.entityCount(), 1u) << "the layout's point";
    const std::vector<DxfTag> moved{{0, "POINT"}, {10, "3.5"}, {20, "2.0"}, {30, "1.0"}};
    EXPECT_TRUE(drawing.replaceBlockEntity("*d1", 1, {{0, "POINT"}, {10, "0.0"}}).empty()) << "a LINE";
    EXPECT_TRUE(drawing.replaceBlockEntity("*D1", 2, moved).empty());
    EXPECT_TRUE(drawing.replaceBlockEntity("*D2", 0, moved).empty());
    EXPECT_TRUE(drawing.replaceBlockEntity("*Paper_Space0", 0, moved).empty());
    EXPECT_EQ(drawing.toBytes().value(), file);

    const auto now = drawing.replaceBlockEntity("*d1", 0, moved);
    EXPECT_TRUE(std::equal(now.begin(), now.end(), moved.begin(), moved.end()));
    const auto entities = drawing.blockEntities("*D1");
    ASSERT_EQ(entities.size(), 2u);
    EXPECT_EQ(entities[0].size(), 4u);
    std::string expected = file;
    expected.replace(expected.find(" 10\n1.0\n 20\n2.0\n"), 16, " 10\n3.5\n 20\n2.0\n 30\n1.0\n");
    const auto bytes = drawing.toBytes();
    ASSERT_TRUE(bytes.ok()) << bytes.error().description;
    EXPECT_EQ(*bytes, expected);
    const auto again = DxfDrawing::fromBytes(*bytes);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again->blockEntities("*D1")[1].size(), 5u) << "the line after it whole";
}

TEST(DxfDrawing, AnEntityNamedLikeATableEntryKeepsItsHandleTaken)
{
    // Only a DIMSTYLE table entry's group 5 is not its handle; an entity of
    // that name in the ENTITIES section owns its 5, so no new object may take it.
    const std::string bytes =
        "0\nSECTION\n2\nHEADER\n9\n$HANDSEED\n5\n34\n0\nENDSEC\n"
        "0\nSECTION\n2\nENTITIES\n0\nDIMSTYLE\n5\n34\n8\n0\n0\nENDSEC\n0\nEOF\n";
    auto read = DxfDrawing::fromBytes(bytes);
    ASSERT_TRUE(read.ok()) << read.error().description;
    const std::size_t added = read.value().addEntity(Space::Model, line(0, 0, 1, 1));
    EXPECT_EQ(read->entity(added).handle, "35");
}

TEST(DxfDrawing, ChangedValuesReplaceTheirGroupsAndKeepTheRest)
{
    auto read = DxfDrawing::fromBytes(kForeign);
    ASSERT_TRUE(read.ok());
    DxfDrawing* drawing = &read.value();
    drawing->setEntityValues(1, {{10, "9.5"}, {39, "2.0"}});
    const auto tags = drawing->entityTags(1);
    ASSERT_EQ(tags.size(), 15u);
    EXPECT_EQ(tags[6], (DxfTag{10, "9.5"}));
    EXPECT_EQ(tags[12], (DxfTag{39, "2.0"}));  // new, before the extended data
    EXPECT_EQ(tags[14], (DxfTag{1000, "kept"}));
}

// A point header variable is set in place and survives a write; one the
// drawing lacks (or holds in another shape) is left alone.
TEST(DxfDrawing, HeaderPointsAreSetWhereTheDrawingHoldsThem)
{
    DxfDrawing drawing = DxfDrawing::blank();
    ASSERT_TRUE(drawing.setHeaderPoint("$EXTMAX", 857.5, -2.25, 0));
    EXPECT_FALSE(drawing.setHeaderPoint("$LIMMAX", 1, 1, 0));
    EXPECT_FALSE(drawing.setHeaderPoint("$INSUNITS", 1, 1, 0));  // one integer group, no point
    const auto bytes = drawing.toBytes();
    ASSERT_TRUE(bytes.ok());
    const auto reread = DxfDrawing::fromBytes(*bytes);
    ASSERT_TRUE(reread.ok());
    EXPECT_EQ(std::strtod(reread->headerValue("$EXTMAX")->c_str(), nullptr), 857.5);
    EXPECT_EQ(reread->headerValue("$EXTMIN"), "0.0");
    EXPECT_EQ(reread->headerValue("$INSUNITS"), "4");
    EXPECT_EQ(reread->tagCount(), DxfDrawing::fromBytes(*DxfDrawing::blank().toBytes())->tagCount());
}

TEST(DxfDrawing, RealsReadBackExactlyAndNonFiniteOnesAreRefused)
{
    for (const double v : {0.1, -1e238, DBL_MAX, DBL_MIN, -DBL_MIN, 4.9e-324, 1.0 / 3.0, 100.0, -0.0}) {
        const std::string text = formatReal(v);
        EXPECT_TRUE(validValue(10, text)) << text;
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
        EXPECT_NE(text.find_first_of(".e"), std::string::npos) << text;
    }
    DxfDrawing drawing = DxfDrawing::blank();
    drawing.addEntity(Space::Model, line(0, 0, std::numeric_limits<double>::infinity(), 1));
    const auto bytes = drawing.toBytes();
    ASSERT_FALSE(bytes.ok());
    EXPECT_NE(bytes.error().description.find("LINE"), std::string::npos);
}

TEST(DxfDrawing, DamagedStructureIsRefused)
{
    const std::string ok = kForeign;
    struct Row {
        const char* name;
        std::string text;
    };
    const Row rows[] = {
        {"no section at all", "  0\nEOF\n"},
        {"section never ended", ok.substr(0, ok.find("  0\nENDSEC\n  0\nSECTION\n  2\nACME"))},
        {"group outside a section", "  0\nLINE\n  8\n0\n" + ok},
        {"handle that is not hex", [&] {
             std::string s = ok;
             s.replace(s.find("2B\n"), 2, "ZZ");
             return s;
         }()},
    };
    for (const Row& row : rows) {
        const auto drawing = DxfDrawing::fromBytes(row.text);
        EXPECT_FALSE(drawing.ok()) << row.name;
        if (!drawing.ok()) {
            EXPECT_FALSE(drawing.error().description.empty());
        }
    }
}

TEST(DxfDrawing, AHundredMegabyteDrawingOpens)
{
    std::string bytes = "  0\nSECTION\n  2\nENTITIES\n";
    const std::string line = "  0\nLINE\n  8\n0\n 10\n12.5\n 20\n-3.25\n 30\n0.0\n 11\n100.0\n 21\n200.0\n 31\n0.0\n";
    const std::size_t lines = (std::size_t{100} << 20) / line.size() + 1;
    bytes.reserve(lines * line.size() + 64);
    for (std::size_t i = 0; i < lines; ++i) bytes += line;
    bytes += "  0\nENDSEC\n  0\nEOF\n";
    ASSERT_GE(bytes.size(), std::size_t{100} << 20);
    const auto drawing = DxfDrawing::fromBytes(bytes);
    ASSERT_TRUE(drawing.ok()) << drawing.error().description;
    EXPECT_EQ(drawing->entityCount(), lines);
}

// The same drawing, written by ezdxf as ASCII and as binary DXF.
TEST(DxfDrawing, BinaryAndAsciiFilesGiveTheSameDrawing)
{
    for (const char* version : {"r12", "r2000"}) {
        const std::string seeds = TESSIK_DXF_SEEDS;
        const auto ascii = readRegularFile(seeds + "/ezdxf-" + version + ".dxf");
        const auto binary = readRegularFile(seeds + "/ezdxf-" + version + "-binary.dxf");
        ASSERT_TRUE(ascii.ok()) << ascii.error().description;
        ASSERT_TRUE(binary.ok()) << binary.error().description;
        const auto a = DxfDrawing::fromBytes(*ascii);
        const auto b = DxfDrawing::fromBytes(*binary);
        ASSERT_TRUE(a.ok()) << a.error().description;
        ASSERT_TRUE(b.ok()) << b.error().description;
        ASSERT_EQ(a->entityCount(), b->entityCount()) << version;
        for (std::size_t i = 0; i < a->entityCount(); ++i) {
            const auto ta = a->entityTags(i), tb = b->entityTags(i);
            ASSERT_EQ(ta.size(), tb.size()) << version << " entity " << i;
            for (std::size_t k = 0; k < ta.size(); ++k) {
                EXPECT_EQ(ta[k].code, tb[k].code);
                // Reals may be spelled differently ("0.0" and "0"), never valued differently.
                if (valueKind(ta[k].code) == ValueKind::Double)
                    EXPECT_EQ(std::strtod(ta[k].value.str().c_str(), nullptr), std::strtod(tb[k].value.str().c_str(), nullptr));
                else
                    EXPECT_EQ(ta[k].value, tb[k].value) << version << " entity " << i << " code " << ta[k].code;
            }
        }
    }
}

TEST(DxfDrawing, ADrawingOutOfHandlesOpensButRefusesNewObjects)
{
    std::string bytes = kForeign;
    bytes.replace(bytes.find("$HANDSEED\n  5\n10\n"), 17, "$HANDSEED\n  5\nFFFFFFFFFFFFFFFF\n");
    auto read = DxfDrawing::fromBytes(bytes);
    ASSERT_TRUE(read.ok()) << read.error().description;
    EXPECT_TRUE(read->toBytes().ok());
    DxfDrawing& drawing = read.value();
    drawing.addEntity(Space::Model, line(0, 0, 1, 1));
    const auto written = drawing.toBytes();
    ASSERT_FALSE(written.ok());
    EXPECT_NE(written.error().description.find("$HANDSEED"), std::string::npos);
}

namespace {

std::string seedFile(const char* name)
{
    const auto bytes = readRegularFile(std::string(TESSIK_DXF_SEEDS) + "/" + name);
    EXPECT_TRUE(bytes.ok()) << name;
    return bytes.ok() ? *bytes : std::string();
}

void replaceOnce(std::string& s, std::string_view from, std::string_view to)
{
    const std::size_t at = s.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    s.replace(at, from.size(), to);
}

}  // namespace

// What AutoCAD reads is read, and written back byte for byte: a binary text
// holding a line break, a boolean written as 2, a custom object's group 5
// that is a plain string.
TEST(DxfDrawing, LenientlyReadFilesAreWrittenBackAsTheyCame)
{
    std::string binary = seedFile("small-r2000-binary.dxf");
    replaceOnce(binary, "\\U+4E2D", "\r\nline two\\U+4E2D");
    std::string ascii = kForeign;
    replaceOnce(ascii, "  9\n$HANDSEED", "  9\n$XCLIPFRAME\n290\n2\n  9\n$HANDSEED");
    replaceOnce(ascii, "  0\nEOF\n",
                "  0\nSECTION\n  2\nOBJECTS\n  0\nACME_MARK\n  5\n40\n330\n0\n100\nAcmeMark\n  5\n*\n  0\nENDSEC\n"
                "  0\nEOF\n");
    replaceOnce(ascii, "$HANDSEED\n  5\n10\n", "$HANDSEED\n  5\n41\n");
    for (const std::string& bytes : {binary, ascii}) {
        const auto drawing = DxfDrawing::fromBytes(bytes);
        ASSERT_TRUE(drawing.ok()) << drawing.error().description;
        const auto again = drawing->toBytes();
        ASSERT_TRUE(again.ok()) << again.error().description;
        EXPECT_TRUE(*again == bytes);
    }
    // A 290 out of a byte's range, and a record's own handle that is no handle, stay errors.
    std::string wide = ascii;
    replaceOnce(wide, "290\n2\n", "290\n256\n");
    EXPECT_FALSE(DxfDrawing::fromBytes(wide).ok());
    std::string own = ascii;
    replaceOnce(own, "ACME_MARK\n  5\n40\n", "ACME_MARK\n  5\nzz\n");
    EXPECT_FALSE(DxfDrawing::fromBytes(own).ok());
}

// Binary files go back binary, CR LF files with CR LF, and a handle seed
// stays as the file spells it until a new handle needs more.
TEST(DxfDrawing, EachFileIsWrittenBackInItsOwnForm)
{
    std::string crlf = kForeign;
    for (std::size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2)) crlf.insert(at, "\r");
    replaceOnce(crlf, "$HANDSEED\r\n  5\r\n10\r\n", "$HANDSEED\r\n  5\r\n000000000000002c\r\n");
    for (const std::string& bytes : {seedFile("ezdxf-r12-binary.dxf"), seedFile("ezdxf-r2000-binary.dxf"), crlf}) {
        auto read = DxfDrawing::fromBytes(bytes);
        ASSERT_TRUE(read.ok()) << read.error().description;
        DxfDrawing& drawing = read.value();
        EXPECT_TRUE(*drawing.toBytes() == bytes);

        const std::uint64_t seed = drawing.handleSeed();
        const std::size_t added = drawing.addEntity(Space::Model, line(0, 0, 1, 1));
        const auto written = drawing.toBytes();
        ASSERT_TRUE(written.ok()) << written.error().description;
        EXPECT_EQ(isBinaryDxf(*written), isBinaryDxf(bytes));
        if (!isBinaryDxf(bytes)) {
            EXPECT_EQ(std::count(written->begin(), written->end(), '\n'), std::count(written->begin(), written->end(), '\r'));
            EXPECT_EQ(written->find("\n\n"), std::string::npos);
        }
        const auto back = DxfDrawing::fromBytes(*written);
        ASSERT_TRUE(back.ok()) << back.error().description;
        ASSERT_EQ(back->entityCount(), drawing.entityCount());
        EXPECT_EQ(back->entity(added).type, "LINE");
        EXPECT_EQ(back->entity(added).handle, drawing.entity(added).handle);
        if (!drawing.entity(added).handle.empty()) {
            EXPECT_EQ(back->handleSeed(), seed + 1);
        }
    }
}
