// A foreign drawing as a drawing program shows it, judged by pixels: the
// colour of an entity by layer, by block, by index and as true colour; dash
// patterns from the line type table that $LTSCALE stretches; hatch pattern
// lines inside the boundary and nowhere else; attributes the file hides stay
// hidden and blank texts do not move the extents; a dimension without its
// block is still drawn, and looks as the block AutoCAD saved for it; a
// multi-line text wraps to its width; a text is lettered alike by both
// painters. The colour palette and real drawings' pattern and solid
// hatches are judged against ezdxf's.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <numbers>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include "DxfStyle.h"
#include "model/DxfFile.h"
#include "render/DrawingPainter.h"
#include "render/SpaceLook.h"

using namespace tessik::cadhost;

namespace {

// Layers RED (colour 1, DASHED) and 0; line types DASHED (dash 2, gap 1)
// and CONTINUOUS; blocks as given; header as given.
QByteArray drawing(const QByteArray& entities, const QByteArray& blocks = {}, const QByteArray& header = {})
{
    return "0\nSECTION\n2\nHEADER\n" + header +
           "0\nENDSEC\n0\nSECTION\n2\nTABLES\n"
           "0\nTABLE\n2\nLTYPE\n70\n2\n"
           "0\nLTYPE\n2\nCONTINUOUS\n70\n0\n3\nSolid\n72\n65\n73\n0\n40\n0\n"
           "0\nLTYPE\n2\nDASHED\n70\n0\n3\n__ __\n72\n65\n73\n2\n40\n3\n49\n2\n49\n-1\n"
           "0\nENDTAB\n0\nTABLE\n2\nLAYER\n70\n2\n"
           "0\nLAYER\n2\n0\n70\n0\n62\n7\n6\nCONTINUOUS\n"
           "0\nLAYER\n2\nRED\n70\n0\n62\n1\n6\nDASHED\n"
           "0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n" +
           blocks + "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n";
}

void needGui()
{
    static int argc = 1;
    static char name[] = "cadhost_dxf_test";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
}

const QRgb kBack = qRgb(0, 0, 0);
const QRgb kFore = qRgb(255, 255, 255);

class DxfLookTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::unique_ptr<DrawingDocument> read(const QByteArray& bytes)
    {
        const QString path = dir.filePath(QStringLiteral("look.dxf"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        auto report = readDxf(path);
        EXPECT_TRUE(report.ok()) << (report.ok() ? "" : report.error().description);
        return report.ok() ? std::move(report.value().document) : nullptr;
    }
    // The drawing as the view draws it, 10 pixels a unit, world (0, 0) at
    // pixel (100, 300): held entities in their looks, then the shapes.
    QImage picture(const DrawingDocument& doc, bool lineweights = false)
    {
        needGui();
        Viewport view;
        view.setSize(QSizeF(400, 400));
        view.setView(QPointF(10, 10), 10);
        QImage image(400, 400, QImage::Format_RGB32);
        image.fill(kBack);
        paintExtras(image, QColor(kFore), view, doc.extras(), lineweights);
        SpaceLook look;
        extendLook(look, doc, SpaceKind::Model);
        rasterizeSpace(image, kFore, view, doc.modelSpace(), 0, 0, 0, &look);
        return image;
    }
};

// The pixel of world point (x, y) in a picture.
QRgb at(const QImage& image, double x, double y) { return image.pixel(int(100 + x * 10), int(300 - y * 10)); }

}  // namespace

TEST(AciPalette, MatchesEzdxfsStandardColours)
{
    // ezdxf's table, an independent copy of AutoCAD's. Its greys and a few
    // of its darkest entries stray (a channel brighter than the row's value,
    // which cannot be); those are left out.
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import ezdxf.colors as c\nprint(' '.join(str(v) for v in c.DXF_DEFAULT_COLORS))")});
    ASSERT_TRUE(python.waitForFinished(60000));
    const QStringList values = QString::fromUtf8(python.readAllStandardOutput()).split(u' ', Qt::SkipEmptyParts);
    ASSERT_GE(values.size(), 256) << "ezdxf is installed by scripts/install-deps.sh";
    int differing = 0;
    for (int i = 1; i <= 248; ++i) {
        const std::uint32_t want = values[i].toUInt(), got = tessik::dxf::aciRgb(i);
        const int brightest = std::max({int(want >> 16), int(want >> 8 & 0xFF), int(want & 0xFF)});
        if (i >= 10 && brightest != (std::array{255, 165, 127, 76, 38})[(i - 10) % 10 / 2]) continue;
        for (int shift : {0, 8, 16})
            if (std::abs(int(want >> shift & 0xFF) - int(got >> shift & 0xFF)) > 1) {
                ++differing;
                ADD_FAILURE() << "colour " << i << ": " << std::hex << got << " against " << want;
                break;
            }
        if (differing > 5) break;
    }
}

TEST_F(DxfLookTest, ColoursComeFromLayerEntityTrueColourAndBlockReference)
{
    // Held lines: by layer RED (dashed, on at its start), colour 3, true
    // colour 0x123456, colour 7 (the foreground). A block of a BYBLOCK
    // circle and a colour-5 circle, inserted in colour 2 (yellow).
    const auto doc = read(drawing("0\nLINE\n8\nRED\n10\n0\n20\n0\n11\n20\n21\n0\n"
                                  "0\nLINE\n8\n0\n62\n3\n10\n0\n20\n5\n11\n20\n21\n5\n"
                                  "0\nLINE\n8\n0\n62\n1\n420\n1193046\n10\n0\n20\n10\n11\n20\n21\n10\n"
                                  "0\nLINE\n8\nRED\n62\n7\n10\n0\n20\n15\n11\n20\n21\n15\n"
                                  "0\nINSERT\n8\n0\n62\n2\n2\nB\n10\n10\n20\n20\n",
                                  "0\nBLOCK\n8\n0\n2\nB\n70\n0\n10\n0\n20\n0\n"
                                  "0\nCIRCLE\n8\n0\n62\n0\n10\n0\n20\n0\n40\n5\n"
                                  "0\nCIRCLE\n8\n0\n62\n5\n10\n0\n20\n0\n40\n8\n0\nENDBLK\n"));
    ASSERT_TRUE(doc);
    const QImage image = picture(*doc);
    EXPECT_EQ(at(image, 0.5, 0), qRgb(255, 0, 0));
    EXPECT_EQ(at(image, 5, 5), qRgb(0, 255, 0));
    EXPECT_EQ(at(image, 5, 10), qRgb(0x12, 0x34, 0x56));
    EXPECT_EQ(at(image, 4, 15), kFore);
    // The circles: BYBLOCK takes the reference's yellow, the other keeps blue.
    EXPECT_EQ(at(image, 15, 20), qRgb(255, 255, 0));
    EXPECT_EQ(at(image, 18, 20), qRgb(0, 0, 255));
}

TEST_F(DxfLookTest, AShapesNewColourAndLayerShowAtOnceAndUndoBringsTheOldBack)
{
    // A reference (colour 2) of a BYBLOCK circle and a colour-5 circle, and
    // a solid on layer 0: the reference turns green, the solid goes to RED.
    const auto doc = read(drawing("0\nINSERT\n8\n0\n62\n2\n2\nB\n10\n10\n20\n20\n"
                                  "0\nSOLID\n8\n0\n10\n0\n20\n0\n11\n4\n21\n0\n12\n0\n22\n4\n13\n4\n23\n4\n",
                                  "0\nBLOCK\n8\n0\n2\nB\n70\n0\n10\n0\n20\n0\n"
                                  "0\nCIRCLE\n8\n0\n62\n0\n10\n0\n20\n0\n40\n5\n"
                                  "0\nCIRCLE\n8\n0\n62\n5\n10\n0\n20\n0\n40\n8\n0\nENDBLK\n"));
    ASSERT_TRUE(doc);
    CommonGroups reference = doc->entityGroups(SpaceKind::Model, 0);
    reference.color = 3;
    doc->restyleEntity(SpaceKind::Model, 0, reference);
    CommonGroups solid = doc->entityGroups(SpaceKind::Model, 1);
    solid.layer = "RED";
    doc->restyleEntity(SpaceKind::Model, 1, solid);
    const auto looks = [&](QRgb byBlock, QRgb filled) {
        const QImage image = picture(*doc);
        EXPECT_EQ(at(image, 15, 20), byBlock);
        EXPECT_EQ(at(image, 18, 20), qRgb(0, 0, 255));  // its own colour stays
        EXPECT_EQ(at(image, 2, 2), filled);
    };
    looks(qRgb(0, 255, 0), qRgb(255, 0, 0));
    doc->undo();
    doc->undo();
    looks(qRgb(255, 255, 0), kFore);
    doc->redo();
    looks(qRgb(0, 255, 0), kFore);
}

TEST_F(DxfLookTest, DashesFollowTheLineTypeAndStretchWithLtscale)
{
    // Along a dashed line, the pixels alternate dash and gap; twice the
    // $LTSCALE makes half as many dashes over the same length.
    const QByteArray line = "0\nLINE\n8\nRED\n10\n0\n20\n0\n11\n24\n21\n0\n";
    const auto runs = [&](const QByteArray& header) {
        const auto doc = read(drawing(line, {}, header));
        EXPECT_TRUE(doc);
        if (!doc) return 0;
        const QImage image = picture(*doc);
        int count = 0;
        bool inDash = false;
        for (int x = 100; x <= 340; ++x) {
            const bool ink = image.pixel(x, 300) != kBack;
            count += ink && !inDash;
            inDash = ink;
        }
        return count;
    };
    EXPECT_EQ(runs({}), 8);  // 24 units of 3-unit periods
    EXPECT_EQ(runs("9\n$LTSCALE\n40\n2\n"), 4);
}

TEST_F(DxfLookTest, HatchPatternLinesLieInsideTheBoundaryOnly)
{
    // A 10 x 10 square with a 4 x 4 hole, hatched with 45 degree lines 1 apart,
    // and a solid square beside it.
    const QByteArray square = "92\n1\n93\n4\n72\n1\n10\n0\n20\n0\n11\n10\n21\n0\n72\n1\n10\n10\n20\n0\n11\n10\n21\n10\n"
                              "72\n1\n10\n10\n20\n10\n11\n0\n21\n10\n72\n1\n10\n0\n20\n10\n11\n0\n21\n0\n97\n0\n";
    const QByteArray hole = "92\n1\n93\n4\n72\n1\n10\n3\n20\n3\n11\n7\n21\n3\n72\n1\n10\n7\n20\n3\n11\n7\n21\n7\n"
                            "72\n1\n10\n7\n20\n7\n11\n3\n21\n7\n72\n1\n10\n3\n20\n7\n11\n3\n21\n3\n97\n0\n";
    const auto doc = read(drawing("0\nHATCH\n8\n0\n62\n1\n10\n0\n20\n0\n30\n0\n2\nANSI31\n70\n0\n71\n0\n91\n2\n" +
                                  square + hole +
                                  "75\n0\n76\n1\n52\n0\n41\n1\n77\n0\n78\n1\n53\n45\n43\n0\n44\n0\n45\n-0.7071067811865476\n"
                                  "46\n0.7071067811865476\n79\n0\n98\n0\n"
                                  "0\nSOLID\n8\n0\n62\n3\n10\n15\n20\n0\n11\n20\n21\n0\n12\n15\n22\n5\n13\n20\n23\n5\n"));
    ASSERT_TRUE(doc);
    const QImage image = picture(*doc);
    int inside = 0, outside = 0, inHole = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x) {
            const double wx = (x + 0.5 - 100) / 10, wy = (300 - y - 0.5) / 10;
            if (image.pixel(x, y) != qRgb(255, 0, 0)) continue;
            const bool inSquare = wx > 0.2 && wx < 9.8 && wy > 0.2 && wy < 9.8;
            const bool inInner = wx > 3.2 && wx < 6.8 && wy > 3.2 && wy < 6.8;
            const bool nearEdge = wx > -0.3 && wx < 10.3 && wy > -0.3 && wy < 10.3 && !inSquare;
            const bool nearHole = wx > 2.7 && wx < 7.3 && wy > 2.7 && wy < 7.3 && !inInner;
            if (inInner) ++inHole;
            else if (inSquare) ++inside;
            else if (!nearEdge && !nearHole) ++outside;
        }
    // 14 lines cross the square, about 10 pixels a unit each.
    EXPECT_GT(inside, 400);
    EXPECT_EQ(inHole, 0);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(at(image, 17.5, 2.5), qRgb(0, 255, 0));  // the solid is filled
}

TEST_F(DxfLookTest, HiddenAttributesAndBlankTextsNeitherDrawNorCount)
{
    // A block with a constant attribute definition (shown) and a
    // variable one (its reference's attribute shows instead); the
    // reference's second attribute is invisible and far away, and a blank
    // text lies far the other way.
    const auto doc = read(drawing("0\nINSERT\n8\n0\n66\n1\n2\nA\n10\n0\n20\n0\n"
                                  "0\nATTRIB\n8\n0\n10\n1\n20\n1\n40\n2\n1\nSHOWN\n2\nTAG1\n70\n0\n"
                                  "0\nATTRIB\n8\n0\n10\n500\n20\n500\n40\n2\n1\nHIDDEN\n2\nTAG2\n70\n1\n"
                                  "0\nSEQEND\n8\n0\n"
                                  "0\nTEXT\n8\n0\n10\n-500\n20\n-500\n40\n2\n1\n   \n",
                                  "0\nBLOCK\n8\n0\n2\nA\n70\n2\n10\n0\n20\n0\n"
                                  "0\nATTDEF\n8\n0\n10\n1\n20\n8\n40\n2\n1\nCONST\n3\nP\n2\nTAGC\n70\n2\n"
                                  "0\nATTDEF\n8\n0\n10\n1\n20\n12\n40\n2\n1\nDEFAULT\n3\nP\n2\nTAG1\n70\n0\n"
                                  "0\nENDBLK\n"));
    ASSERT_TRUE(doc);
    QStringList texts;
    for (const ShownText& t : doc->extras().texts) texts << QString::fromStdString(t.text);
    EXPECT_EQ(texts, (QStringList{QStringLiteral("CONST"), QStringLiteral("SHOWN")}));
    const Bounds extents = doc->modelExtents();
    EXPECT_LT(extents.maxX, 100);
    EXPECT_GT(extents.minX, -100);
}

TEST_F(DxfLookTest, ADimensionWithoutItsBlockIsDrawnFromItsPoints)
{
    // A horizontal linear dimension of 0,0 to 10,0 with its line at y = 3,
    // naming a block the file lacks.
    const auto doc = read(drawing("0\nDIMENSION\n8\n0\n2\n*D9\n10\n10\n20\n3\n11\n5\n21\n3.5\n70\n0\n"
                                  "13\n0\n23\n0\n14\n10\n24\n0\n50\n0\n"));
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->extras().texts.size(), 1u);
    EXPECT_EQ(doc->extras().texts[0].text, "10.00");
    const QImage image = picture(*doc);
    EXPECT_NE(at(image, 5, 3), kBack);      // the dimension line
    EXPECT_NE(at(image, 0, 1.5), kBack);    // an extension line
    EXPECT_EQ(at(image, 5, 1.5), kBack);    // nothing between
}

TEST_F(DxfLookTest, AMultiLineTextWrapsToItsWidth)
{
    const auto doc = read(drawing("0\nMTEXT\n8\n0\n10\n0\n20\n30\n40\n1\n41\n12\n71\n1\n"
                                  "1\none two three four five six seven eight nine ten\n"));
    ASSERT_TRUE(doc);
    const QImage image = picture(*doc);
    Bounds ink;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x)
            if (image.pixel(x, y) != kBack) ink.add((x - 100) / 10.0, (300 - y) / 10.0);
    ASSERT_FALSE(ink.empty());
    EXPECT_GE(ink.minX, -0.2);
    EXPECT_LE(ink.maxX, 12.2);
    EXPECT_LE(ink.maxY, 30.4);  // hangs from its insertion point
    EXPECT_LT(ink.minY, 26);    // over several lines
}

namespace {

// Where an image holds ink of a colour (any but the background when
// colour is 0), in world units of DxfLookTest::picture's view.
Bounds inkOf(const QImage& image, QRgb colour = 0)
{
    Bounds ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (colour ? image.pixel(x, y) == colour : image.pixel(x, y) != kBack)
                ink.add((x - 100) / 10.0, (300 - y) / 10.0);
    return ink;
}

// The pixels of a that are ink with none of b's within a pixel, b read
// shifted by (dx, dy); only a's pixels inside `within` count.
int unmatched(const QImage& a, const QImage& b, QRect within = {}, int dx = 0, int dy = 0)
{
    if (within.isNull()) within = a.rect();
    within &= a.rect().adjusted(1, 1, -1, -1);
    int n = 0;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x) {
            if (a.pixel(x, y) == kBack) continue;
            bool near = false;
            for (int ny = -1; ny <= 1 && !near; ++ny)
                for (int nx = -1; nx <= 1 && !near; ++nx) {
                    const QPoint q(x + dx + nx, y + dy + ny);
                    near = b.rect().contains(q) && b.pixel(q) != kBack;
                }
            n += !near;
        }
    return n;
}

// The ink pixels of an image inside a rectangle.
int inkCount(const QImage& image, QRect within)
{
    int n = 0;
    within &= image.rect();
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x) n += image.pixel(x, y) != kBack;
    return n;
}

// The hatches and boundaries of a drawing's model space as ezdxf's hatching
// lays them out, at that view: a pattern's lines, dashes and gaps; a solid
// fill scanned a tenth of a unit apart; polylines and arcs flattened. Empty
// when ezdxf fails.
QImage ezdxfLines(const QString& path, const Viewport& view)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import sys, ezdxf
from ezdxf import path
from ezdxf.math import Vec2
from ezdxf.render import hatching
for e in ezdxf.readfile(sys.argv[1]).modelspace():
    if e.dxftype() == 'HATCH' and e.dxf.solid_fill:
        scan = hatching.HatchBaseLine(Vec2(0, 0.005), Vec2(1, 0), Vec2(0, 0.1))
        for line in hatching.hatch_paths(scan, hatching.hatch_boundary_paths(e)):
            print(line.start.x, line.start.y, line.end.x, line.end.y)
    elif e.dxftype() == 'HATCH':
        for a, b in hatching.hatch_entity(e):
            print(a.x, a.y, b.x, b.y)
    elif e.dxftype() in ('LWPOLYLINE', 'ARC'):
        points = list(path.make_path(e).flattening(0.01))
        for a, b in zip(points, points[1:]):
            print(a.x, a.y, b.x, b.y)
)"), path});
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        ADD_FAILURE() << python.readAllStandardError().toStdString();
        return {};
    }
    const QStringList lines = QString::fromUtf8(python.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    QImage judge(view.size().toSize(), QImage::Format_RGB32);
    judge.fill(kBack);
    QPainter p(&judge);
    p.setPen(QPen(QColor(kFore), 0));
    for (const QString& line : lines) {
        const QStringList v = line.split(u' ');
        if (v.size() != 4) return {};
        p.drawLine(view.toScreen(v[0].toDouble(), v[1].toDouble()), view.toScreen(v[2].toDouble(), v[3].toDouble()));
    }
    return judge;
}

// A view of that size round a world point, at that many pixels a unit.
Viewport viewAt(QSizeF size, QPointF centre, double scale)
{
    needGui();
    Viewport view;
    view.setSize(size);
    view.setView(centre, scale);
    return view;
}

// The model space of a drawing file as the view draws it.
QImage ourPicture(const QString& path, const Viewport& view)
{
    QImage image(view.size().toSize(), QImage::Format_RGB32);
    image.fill(kBack);
    auto report = readDxf(path);
    if (!report.ok()) return image;
    const DrawingDocument& doc = *report.value().document;
    SpaceLook look;
    extendLook(look, doc, SpaceKind::Model);
    rasterizeSpace(image, kFore, view, doc.modelSpace(), 0, 0, 0, &look);
    paintExtras(image, QColor(kFore), view, doc.extras());
    return image;
}

}  // namespace

// A block's text goes through the reference: mirrored it runs backwards
// from the insertion point, stretched it is wider or taller by the scale,
// turned it runs up. Each judged against the same text inserted plainly.
TEST_F(DxfLookTest, TextsInBlockReferencesTakeTheirScaleTurnAndMirror)
{
    const QByteArray block = "0\nBLOCK\n8\n0\n2\nT\n70\n0\n10\n0\n20\n0\n"
                             "0\nTEXT\n8\n0\n10\n0\n20\n0\n40\n2\n1\nHHHH\n0\nENDBLK\n";
    const auto inked = [&](const QByteArray& insert, const QByteArray& flags = {}) {
        QByteArray b = block;
        const auto doc = read(drawing("0\nINSERT\n8\n0\n2\nT\n" + insert, b.replace("1\nHHHH", flags + "1\nHHHH")));
        return doc ? inkOf(picture(*doc)) : Bounds{};
    };
    const Bounds plain = inked("10\n0\n20\n0\n");
    ASSERT_FALSE(plain.empty());
    const double w = plain.maxX - plain.minX, h = plain.maxY - plain.minY;
    EXPECT_NEAR(plain.minX, 0, 0.3);
    EXPECT_NEAR(h, 2, 0.4);

    const Bounds mirrored = inked("10\n20\n20\n0\n41\n-1\n");
    EXPECT_NEAR(mirrored.maxX, 20 - plain.minX, 0.2);  // the plain one's ink, mirrored about x = 20
    EXPECT_NEAR(mirrored.maxX - mirrored.minX, w, 0.3);
    EXPECT_NEAR(mirrored.maxY - mirrored.minY, h, 0.3);

    // A text written backwards (generation flag 2) is drawn so in a plain reference too.
    const Bounds backward = inked("10\n20\n20\n0\n", "71\n2\n");
    EXPECT_NEAR(backward.maxX, 20 - plain.minX, 0.2);
    EXPECT_NEAR(backward.maxX - backward.minX, w, 0.3);

    const Bounds tall = inked("10\n0\n20\n0\n42\n3\n");
    EXPECT_NEAR(tall.maxX - tall.minX, w, 0.3);
    EXPECT_NEAR(tall.maxY - tall.minY, 3 * h, 0.5);

    // Stretched twice along its run, then turned a quarter: it runs up,
    // its letters standing to the left of the insertion point.
    const Bounds turned = inked("10\n5\n20\n-8\n41\n2\n50\n90\n");
    EXPECT_NEAR(turned.maxY - turned.minY, 2 * w, 0.5);
    EXPECT_NEAR(turned.maxX - turned.minX, h, 0.3);
    EXPECT_NEAR(turned.minY, -8 + 2 * plain.minX, 0.2);
    EXPECT_LE(turned.maxX, 5.2);
}

// A multi-line text in three static columns (the object embedded after
// its own groups): its words fill the three, none below the columns' height.
TEST_F(DxfLookTest, AMultiLineTextFlowsThroughItsColumns)
{
    QByteArray words;
    for (int i = 0; i < 18; ++i) words += "word ";
    const QByteArray mtext = "0\nMTEXT\n8\n0\n10\n0\n20\n30\n40\n1\n41\n8\n71\n1\n1\n" + words +
                             "\n101\nEmbedded Object\n70\n1\n10\n1\n20\n0\n30\n0\n11\n0\n21\n30\n31\n0\n40\n8\n"
                             "41\n7\n42\n28\n43\n7\n71\n1\n72\n3\n44\n8\n45\n2\n73\n0\n74\n0\n";
    const auto doc = read(drawing(mtext));
    ASSERT_TRUE(doc);
    const QImage image = picture(*doc);
    const Bounds ink = inkOf(image);
    EXPECT_GE(ink.minX, -0.2);
    EXPECT_GT(ink.maxX, 20);
    EXPECT_LE(ink.maxX, 28.2);
    EXPECT_GT(ink.minY, 30 - 7 - 0.5);
    // Ink in each column, none in the gutters.
    for (const double left : {0.0, 10.0, 20.0}) {
        Bounds column;
        for (int y = 0; y < 400; ++y)
            for (int x = int(100 + left * 10); x < int(100 + (left + 8) * 10); ++x)
                if (image.pixel(x, y) != kBack) column.add(x, y);
        EXPECT_FALSE(column.empty()) << left;
    }
    for (const double gutter : {8.3, 18.3})
        for (int y = 0; y < 400; ++y)
            for (int x = int(100 + gutter * 10); x < int(100 + (gutter + 1.4) * 10); ++x)
                ASSERT_EQ(image.pixel(x, y), kBack) << gutter;
}

// A text the drawing holds as its own kind is lettered as the same text
// in a block (drawn by the shapes' painter): its width factor, obliquing,
// backward flag and its style's font each shape its ink as there.
TEST_F(DxfLookTest, AHeldTextTakesItsWidthFactorObliquingFlagsAndStyleFont)
{
    const QByteArray styles = "0\nTABLE\n2\nSTYLE\n70\n1\n0\nSTYLE\n2\nSERIF\n70\n0\n40\n0\n41\n1\n50\n0\n3\ntimes.ttf\n"
                              "0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n";
    const auto inked = [&](const QByteArray& groups, bool inBlock) {
        const QByteArray text = "0\nTEXT\n8\n0\n10\n" + QByteArray(inBlock ? "0" : "2") + "\n20\n" +
                                QByteArray(inBlock ? "0" : "3") + "\n40\n2\n1\nHxgW\n" + groups;
        QByteArray bytes = inBlock ? drawing("0\nINSERT\n8\n0\n2\nT\n10\n2\n20\n3\n",
                                             "0\nBLOCK\n8\n0\n2\nT\n70\n0\n10\n0\n20\n0\n" + text + "0\nENDBLK\n")
                                   : drawing(text);
        bytes.replace("0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n", styles);
        const auto doc = read(bytes);
        EXPECT_EQ(doc->modelSpace().count(), 1);
        return doc ? inkOf(picture(*doc)) : Bounds{};
    };
    const Bounds plain = inked({}, false);
    ASSERT_FALSE(plain.empty());
    for (const QByteArray groups : {"41\n2\n", "51\n30\n", "71\n2\n", "7\nSERIF\n", "41\n0.5\n51\n-20\n7\nserif\n"}) {
        const Bounds held = inked(groups, false), shape = inked(groups, true);
        ASSERT_FALSE(held.empty() || shape.empty()) << groups.data();
        // Where the ink starts, its width and its shape: the traced outline
        // and the hinted letters of a text this small (20 pixels) differ
        // by a pixel or two at each edge, where the default font's shape is
        // a fifth off.
        EXPECT_NEAR(held.minX, shape.minX, 0.25) << groups.data();
        EXPECT_NEAR(held.minY, shape.minY, 0.25) << groups.data();
        EXPECT_NEAR(held.maxX - held.minX, shape.maxX - shape.minX, 0.3) << groups.data();
        const auto aspect = [](const Bounds& b) { return (b.maxX - b.minX) / (b.maxY - b.minY); };
        EXPECT_NEAR(aspect(held) / aspect(shape), 1, 0.12) << groups.data();
        // And not as the plain text is.
        EXPECT_GT(std::abs(held.minX - plain.minX) + std::abs(held.maxX - plain.maxX), 0.3) << groups.data();
    }
}

// A text is lettered the same whichever painter draws it (a top-level text
// is traced from its outlines, one in a block is painted with the font),
// in the sans, serif and Chinese faces the styles map to: its capitals as
// tall and as wide, about the text's height.
TEST_F(DxfLookTest, ATextIsLetteredAlikeByEitherPainterInEveryFace)
{
    const auto capitals = [&](const QByteArray& style, bool inBlock) {
        const QByteArray text = "0\nTEXT\n8\n0\n7\nS\n10\n" + QByteArray(inBlock ? "0" : "2") + "\n20\n" +
                                QByteArray(inBlock ? "0" : "3") + "\n40\n5\n1\nHEH\n";
        QByteArray bytes = inBlock ? drawing("0\nINSERT\n8\n0\n2\nT\n10\n2\n20\n3\n",
                                             "0\nBLOCK\n8\n0\n2\nT\n70\n0\n10\n0\n20\n0\n" + text + "0\nENDBLK\n")
                                   : drawing(text);
        bytes.replace("0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n",
                      "0\nTABLE\n2\nSTYLE\n70\n1\n0\nSTYLE\n2\nS\n70\n0\n40\n0\n41\n1\n50\n0\n" + style +
                          "0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n");
        const auto doc = read(bytes);
        return doc ? inkOf(picture(*doc)) : Bounds{};
    };
    for (const QByteArray style : {"3\narial.ttf\n", "3\ntimes.ttf\n", "3\ntxt\n4\ngbcbig.shx\n"}) {
        const Bounds held = capitals(style, false), shape = capitals(style, true);
        ASSERT_FALSE(held.empty() || shape.empty()) << style.data();
        // 50 pixels high at 10 a unit: the same within a pixel or two (a
        // traced outline and antialiased letters differ at the edges).
        EXPECT_NEAR(shape.maxY - shape.minY, held.maxY - held.minY, 0.15) << style.data();
        EXPECT_NEAR(shape.minY, held.minY, 0.15) << style.data();
        EXPECT_NEAR(shape.maxX - shape.minX, held.maxX - held.minX, 0.3) << style.data();
        EXPECT_NEAR(held.maxY - held.minY, 5, 0.3) << style.data();
    }
}

// A multi-line text's runs: each in its colour and at its height, the
// larger paragraph below the first.
TEST_F(DxfLookTest, AMultiLineTextDrawsEachRunInItsColourAndHeight)
{
    const auto doc = read(drawing("0\nMTEXT\n8\n0\n10\n0\n20\n25\n40\n1\n71\n1\n"
                                  "1\n{\\C1;HHH}\\P{\\C5;\\H3x;HHH} {\\c65280;HHH}\n"));
    ASSERT_TRUE(doc);
    const QImage image = picture(*doc);
    const Bounds red = inkOf(image, qRgb(255, 0, 0)), blue = inkOf(image, qRgb(0, 0, 255)),
                 green = inkOf(image, qRgb(0, 0xFF, 0));
    ASSERT_FALSE(red.empty());
    ASSERT_FALSE(blue.empty());
    ASSERT_FALSE(green.empty());  // \c is blue, green, red from the low byte up
    EXPECT_NEAR((blue.maxY - blue.minY) / (red.maxY - red.minY), 3, 0.5);
    EXPECT_NEAR((blue.maxX - blue.minX) / (red.maxX - red.minX), 3, 0.5);
    EXPECT_LT(blue.maxY, red.minY);
    EXPECT_GT(green.minX, blue.maxX);
    EXPECT_NEAR(green.minY, blue.minY, 0.3);  // on the same baseline
}

// A drawing AutoCAD saved (see data/README.md): its MTEXT of many codes
// ends where the line drawn beside it ends (the file's extents say both
// reach the same depth), keeps to its reference width, and shows the
// colours its codes ask for.
TEST_F(DxfLookTest, ARealMultiLineTextOfManyCodesFillsItsFrameAsSaved)
{
    auto report = readDxf(QStringLiteral(TESSIK_CADHOST_TEST_DATA "/real/ezdxf-mtext-inline-codes.dxf"));
    ASSERT_TRUE(report.ok());
    const DrawingDocument& doc = *report.value().document;
    needGui();
    // Half a unit a pixel over the text's frame: x 130..230, y 0..300.
    Viewport view;
    view.setSize(QSizeF(400, 1200));
    view.setView(QPointF(180, 150), 4);
    QImage image(400, 1200, QImage::Format_RGB32);
    image.fill(kBack);
    paintExtras(image, QColor(kFore), view, doc.extras());
    Bounds text;
    std::map<QRgb, int> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QPointF w = view.toWorld(QPointF(x, y));
            const QRgb c = image.pixel(x, y);
            if (c == kBack || w.x() < 135 || w.y() > 297) continue;  // the two lines
            text.add(w.x(), w.y());
            ++colours[c];
        }
    ASSERT_FALSE(text.empty());
    const double left = 140.384228047865, width = 64.443844838667, bottom = 25.433691854621, height = 2.5;
    EXPECT_NEAR(text.minX, left, 1);
    EXPECT_LE(text.maxX, left + width + 0.5);
    EXPECT_GE(text.minY, bottom - height);
    EXPECT_LE(text.minY, bottom + 2 * height * 5 / 3);
    for (const QRgb c : {qRgb(255, 0, 0), qRgb(255, 255, 0), qRgb(0, 255, 0), qRgb(0, 255, 255), qRgb(0, 0, 255)})
        EXPECT_GT(colours[c], 20) << std::hex << c;
}

// A MINSERT of ezdxf's (see data/README.md): its block in 5 columns and 5
// rows 10 apart along the reference's turned axes, as LibreCAD draws it
// too, and the attributes once, in their colours.
TEST_F(DxfLookTest, AMultipleInsertDrawsEveryCopyAndItsAttributesOnce)
{
    auto report = readDxf(QStringLiteral(TESSIK_CADHOST_TEST_DATA "/real/ezdxf-minsert-attribs.dxf"));
    ASSERT_TRUE(report.ok());
    needGui();
    Viewport view;
    view.setSize(QSizeF(800, 800));
    view.setView(QPointF(15, 20), 12);
    QImage image(800, 800, QImage::Format_RGB32);
    image.fill(kBack);
    paintExtras(image, QColor(kFore), view, report.value().document->extras());
    const auto near = [&](double x, double y, QRgb colour, double reach) {
        int n = 0;
        for (double dx = -reach; dx <= reach; dx += 0.05)
            for (double dy = -reach; dy <= reach; dy += 0.05) {
                const QPointF p = view.toScreen(x + dx, y + dy);
                if (QRectF(0, 0, 800, 800).contains(p) && image.pixel(p.toPoint()) == colour) ++n;
            }
        return n;
    };
    const double c = std::cos(15 * std::numbers::pi / 180), s = std::sin(15 * std::numbers::pi / 180);
    for (int column = 0; column <= 5; ++column)
        for (int row = 0; row <= 5; ++row) {
            // Each copy's red circle of radius 0.4 round its base point.
            const double x = 10 * column * c - 10 * row * s, y = 10 * column * s + 10 * row * c;
            if (column < 5 && row < 5) EXPECT_GT(near(x, y, qRgb(255, 0, 0), 0.5), 0) << column << "," << row;
            else EXPECT_EQ(near(x, y, qRgb(255, 0, 0), 0.5), 0) << column << "," << row;
        }
    EXPECT_GT(near(1.2, -0.2, qRgb(0, 255, 0), 0.6), 0);          // "Flag" (colour 3) by the first copy
    EXPECT_EQ(near(11.2 * c, 11.2 * s, qRgb(0, 255, 0), 0.8), 0);  // and by no other
}

// A dimension AutoCAD saved with its block (see data/README.md), and the
// same dimension with its block taken away, drawn from its own points and
// its dimension style: the two pictures are the same within a pixel or two
// (extension lines off the origins by DIMEXO and past the dimension line
// by DIMEXE, filled arrows DIMASZ long, the measurement as DIMDEC and DIMZIN
// give it, DIMTXT high, at its text point). The copy in a block reference
// turned 30 degrees is drawn turned.
TEST_F(DxfLookTest, ADimensionDrawnFromItsPointsLooksAsItsSavedBlock)
{
    QFile f(QStringLiteral(TESSIK_CADHOST_TEST_DATA "/real/ezdxf-dimension-in-block.dxf"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray saved = f.readAll();
    QByteArray bare = saved;
    // The model space dimension names a block the file no longer has.
    bare.replace("  2\n*D1\n 10\n10.0\n", "  2\n*D9\n 10\n10.0\n");
    ASSERT_NE(bare, saved);
    const auto shown = [&](const QByteArray& bytes) {
        const auto doc = read(bytes);
        needGui();
        Viewport view;
        view.setSize(QSizeF(700, 700));
        view.setView(QPointF(15, 15), 20);
        QImage image(700, 700, QImage::Format_RGB32);
        image.fill(kBack);
        if (!doc) return image;
        SpaceLook look;
        extendLook(look, *doc, SpaceKind::Model);
        rasterizeSpace(image, kFore, view, doc->modelSpace(), 0, 0, 0, &look);
        paintExtras(image, QColor(kFore), view, doc->extras());
        return image;
    };
    const QImage block = shown(saved), points = shown(bare);
    const int ink = inkCount(block, block.rect());
    ASSERT_GT(ink, 3000);
    EXPECT_LT(unmatched(block, points), ink / 100);
    EXPECT_LT(unmatched(points, block), ink / 100);
    // The turned copy's dimension line, halfway along.
    const double c = std::cos(std::numbers::pi / 6), s = std::sin(std::numbers::pi / 6);
    const QPointF mid(20 + 5 * c - 3.948 * s, 20 + 5 * s + 3.948 * c);
    const QPoint at((350 + (mid.x() - 15) * 20), (350 - (mid.y() - 15) * 20));
    int near = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) near += block.pixel(at + QPoint(dx, dy)) != kBack;
    EXPECT_GT(near, 0);
}

// Pattern hatches of a real drawing (see data/README.md): ANGLE and ANSI33
// at a quarter scale, the same turned 30 degrees at half scale, and a block
// of three (ACAD_ISO10W100 too) inserted twice as large and turned. Their
// pattern lines, dashes and gaps as ezdxf's hatching lays them out from the
// file's pattern definition lines, and the boundaries: each picture's ink
// lies within a pixel of the other's.
TEST_F(DxfLookTest, RealPatternHatchesLieWhereEzdxfLaysTheirLines)
{
    const QString path = QStringLiteral(TESSIK_CADHOST_TEST_DATA "/real/ezdxf-hatch-patterns.dxf");
    const Viewport view = viewAt(QSizeF(1000, 500), QPointF(70, 35), 7);
    const QImage judge = ezdxfLines(path, view);
    ASSERT_FALSE(judge.isNull()) << "ezdxf is installed by scripts/install-deps.sh";
    const QImage ours = ourPicture(path, view);
    // The parts of our picture whose world point lies in the squares of a
    // reference of the block at (x, 30), turned 30 degrees, 20 on a side:
    // the first two beside each other (u 0..42), the third above (to 64).
    const auto squares = [&](double x, double reach) {
        QImage part = ours;
        const double c = std::cos(std::numbers::pi / 6), s = std::sin(std::numbers::pi / 6);
        for (int py = 0; py < ours.height(); ++py)
            for (int px = 0; px < ours.width(); ++px) {
                const QPointF w = view.toWorld(QPointF(px, py));
                const double u = (w.x() - x) * c + (w.y() - 30) * s, v = -(w.x() - x) * s + (w.y() - 30) * c;
                const bool in = u > -0.5 && u < reach && v > -0.5 && v < 20.5;
                if (!in) part.setPixel(px, py, kBack);
            }
        return part;
    };
    // Everything but the block reference, whose patterns ezdxf (0.18)
    // does not scale with it.
    const int ink = inkCount(judge, judge.rect());
    ASSERT_GT(ink, 3000);
    QImage unreferenced = ours;
    const QImage referenced = squares(50, 65);
    for (int py = 0; py < ours.height(); ++py)
        for (int px = 0; px < ours.width(); ++px)
            if (referenced.pixel(px, py) != kBack) unreferenced.setPixel(px, py, kBack);
    EXPECT_LT(unmatched(unreferenced, judge), ink / 100);
    EXPECT_LT(unmatched(judge, unreferenced), ink / 100);
    // The reference's ANGLE and ANSI33 squares are drawn as the drawing's
    // own exploded copies of them, 50 units (350 pixels) to the right, are.
    const QImage inserted = squares(50, 42.5), exploded = squares(100, 42.5);
    const int drawn = inkCount(inserted, inserted.rect());
    ASSERT_GT(drawn, 2000);
    EXPECT_LT(unmatched(inserted, exploded, {}, 350, 0), drawn / 50);
    EXPECT_LT(unmatched(exploded, inserted, {}, -350, 0), drawn / 50);
}

// Solid hatches AutoCAD saved (see data/README.md), each filled between its
// outer boundary and its first hole only (the outermost style): a square
// ring, a ring with two islands inside its hole (one hatched by a hatch of
// its own), a boundary of bulged arcs, a square with a five-sided hole.
// Filled where ezdxf's hatching fills them, scanned a tenth of a unit
// apart: each picture's ink lies within a pixel of the other's.
TEST_F(DxfLookTest, RealSolidHatchesFillWhereEzdxfFillsThem)
{
    const QString path = QStringLiteral(TESSIK_CADHOST_TEST_DATA "/real/ezdxf-solid-hatches.dxf");
    const Viewport view = viewAt(QSizeF(1000, 160), QPointF(93.5, 28), 7);
    const QImage judge = ezdxfLines(path, view);
    ASSERT_FALSE(judge.isNull()) << "ezdxf is installed by scripts/install-deps.sh";
    const QImage ours = ourPicture(path, view);
    const int ink = inkCount(judge, judge.rect());
    ASSERT_GT(ink, 20000);
    EXPECT_LT(unmatched(ours, judge), ink / 200);
    EXPECT_LT(unmatched(judge, ours), ink / 200);
}
