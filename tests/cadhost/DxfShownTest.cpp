// What tessik-cad shows of a foreign drawing and what it refuses to lose:
// layers that are off or frozen hide what is on them (held entities too),
// entities in a tilted plane are drawn where the plane puts them, hatch
// edges of every kind are followed, paper space has its own shapes, a
// save that cannot write something the drawing holds leaves the file alone,
// and justified texts are held and shown by their alignment point.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QTemporaryDir>

#include "automation/AutomationDispatcher.h"
#include "model/CadSession.h"
#include "render/DrawingPainter.h"
#include "model/DxfFile.h"
#include "DxfTagReader.h"
#include "render/EntityHitTest.h"

using namespace tessik::cadhost;
using tessik::Result;

namespace {

// An R12 drawing with layers OFF (colour -3), FROZEN (flag 1) and 0, and the
// given ENTITIES section body (groups as text, "code\nvalue\n" each).
QByteArray drawingWith(const QByteArray& entities)
{
    return "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n3\n"
           "0\nLAYER\n2\n0\n70\n0\n62\n7\n6\nCONTINUOUS\n"
           "0\nLAYER\n2\nOff\n70\n0\n62\n-3\n6\nCONTINUOUS\n"
           "0\nLAYER\n2\nFROZEN\n70\n1\n62\n5\n6\nCONTINUOUS\n"
           "0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" +
           entities + "0\nENDSEC\n0\nEOF\n";
}

class DxfShownTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file(const char* name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(QString::fromUtf8(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::unique_ptr<DrawingDocument> read(const char* name, const QByteArray& entities)
    {
        auto report = readDxf(file(name, drawingWith(entities)));
        EXPECT_TRUE(report.ok()) << (report.ok() ? "" : report.error().description);
        if (!report.ok()) return nullptr;
        return std::move(report.value().document);
    }
};

void expectBounds(const Bounds& b, double minX, double minY, double maxX, double maxY)
{
    EXPECT_NEAR(b.minX, minX, 1e-9);
    EXPECT_NEAR(b.minY, minY, 1e-9);
    EXPECT_NEAR(b.maxX, maxX, 1e-9);
    EXPECT_NEAR(b.maxY, maxY, 1e-9);
}

// Fonts need a GUI application.
void needFonts()
{
    static int argc = 1;
    static char name[] = "cadhost_dxf_test";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
}

// The extents of the ink the painter traces for entity i, in drawing units.
Bounds inkOf(const CadSpace& space, int i)
{
    needFonts();
    CadSpace one;
    one.add(space.at(i));
    Viewport view;
    view.setSize(QSizeF(4000, 4000));
    view.setView(QPointF(0, 0), 8);
    Bounds ink;
    const auto add = [&](QPointF p) {
        const QPointF w = view.toWorld(p);
        ink.add(w.x(), w.y());
    };
    traceSpace(view, one, [&](QPointF a, QPointF b) { add(a); add(b); }, add);
    return ink;
}

// The extents of the ink of the shapes the view shows beside the held
// entities (texts in blocks among them), in drawing units.
Bounds extrasInkOf(const DrawingExtras& extras)
{
    Viewport view;
    view.setSize(QSizeF(2000, 2000));
    view.setView(QPointF(0, 0), 8);
    QImage image(2000, 2000, QImage::Format_RGB32);
    image.fill(Qt::white);
    paintExtras(image, Qt::black, view, extras);
    Bounds ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                const QPointF w = view.toWorld(QPointF(x + 0.5, y + 0.5));
                ink.add(w.x(), w.y());
            }
    return ink;
}

}  // namespace

TEST_F(DxfShownTest, LayersThatAreOffOrFrozenHideHeldAndShownEntities)
{
    const auto doc = read("layers.dxf",
                          "0\nLINE\n8\nOFF\n10\n0\n20\n0\n11\n1\n21\n1\n"
                          "0\nCIRCLE\n8\nfrozen\n10\n0\n20\n0\n40\n1\n"
                          "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n2\n21\n2\n"
                          "0\nLINE\n8\nNOT_IN_TABLE\n10\n0\n20\n0\n11\n3\n21\n3\n"
                          "0\nPOINT\n8\nOFF\n10\n50\n20\n50\n"
                          "0\nPOINT\n8\n0\n10\n-7\n20\n-7\n");
    ASSERT_TRUE(doc);
    const CadSpace& model = doc->modelSpace();
    ASSERT_EQ(model.count(), 6);  // held whatever their layer: automation still reaches them
    EXPECT_TRUE(model.hidden(0));
    EXPECT_TRUE(model.hidden(1));  // layer names match without regard to case
    EXPECT_FALSE(model.hidden(2));
    EXPECT_FALSE(model.hidden(3));  // a layer the table lacks is shown
    EXPECT_TRUE(model.hidden(4));   // the points are entities too
    // Of the two points only the one on a shown layer is drawn.
    expectBounds(doc->extras().bounds, -7, -7, -7, -7);
}

TEST_F(DxfShownTest, EntitiesInATiltedPlaneAreDrawnWhereThePlanePutsThem)
{
    // Extrusion 0,0,-1 (a mirrored arc) mirrors x; extrusion 1,0,0 puts the
    // circle in the world's y-z plane, seen edge on from above at x = its
    // elevation; a line's points are world points whatever its extrusion.
    const auto doc = read("ocs.dxf",
                          "0\nCIRCLE\n8\n0\n10\n5\n20\n0\n30\n0\n40\n1\n210\n0\n220\n0\n230\n-1\n"
                          "0\nCIRCLE\n8\n0\n10\n2\n20\n3\n30\n7\n40\n1\n210\n1\n220\n0\n230\n0\n");
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->modelSpace().count(), 2);  // shapes: no arc or circle struct out of the plane
    const auto& outlines = doc->extras().outlines;
    ASSERT_EQ(outlines.size(), 2u);
    Bounds mirrored, edgeOn;
    for (const Point2& p : outlines[0]) mirrored.add(p[0], p[1]);
    for (const Point2& p : outlines[1]) edgeOn.add(p[0], p[1]);
    expectBounds(mirrored, -6, -1, -4, 1);
    // The OCS of 1,0,0 has x along the world's y and y along its z.
    expectBounds(edgeOn, 7, 1, 7, 3);

    // An ellipse's points are world points; extrusion 0,0,-1 turns its
    // parameters clockwise, so the half from 0 to pi lies below the major
    // axis (as ezdxf's vertices of the same ellipse do). Kept, not held.
    const auto half = read("ellipse.dxf",
                           "0\nELLIPSE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n4\n21\n0\n31\n0\n210\n0\n220\n0\n"
                           "230\n-1\n40\n0.5\n41\n0\n42\n3.141592653589793\n");
    ASSERT_TRUE(half);
    EXPECT_EQ(half->modelSpace().count(), 1);
    ASSERT_EQ(half->extras().outlines.size(), 1u);
    Bounds below;
    for (const Point2& p : half->extras().outlines[0]) below.add(p[0], p[1]);
    expectBounds(below, -4, -2, 4, 0);

    const auto line = read("line.dxf", "0\nLINE\n8\n0\n10\n1\n20\n2\n30\n0\n11\n4\n21\n6\n31\n0\n230\n-1\n");
    ASSERT_TRUE(line);
    ASSERT_EQ(line->modelSpace().count(), 1);
    EXPECT_EQ(std::get<ModelLine>(line->modelSpace().at(0)).end, (Point3{4, 6, 0}));
}

TEST_F(DxfShownTest, HatchEllipseAndSplineEdgesAreFollowed)
{
    // One path: a whole ellipse edge (major axis 4 along x, ratio 0.5) around
    // the origin; a second: a degree-1 spline edge, which is its control polygon.
    const auto doc = read("hatch.dxf",
                          "0\nHATCH\n8\n0\n10\n0\n20\n0\n30\n0\n210\n0\n220\n0\n230\n1\n2\nSOLID\n70\n1\n71\n0\n"
                          "91\n2\n"
                          "92\n1\n93\n1\n72\n3\n10\n0\n20\n0\n11\n4\n21\n0\n40\n0.5\n50\n0\n51\n360\n73\n1\n97\n0\n"
                          "92\n1\n93\n1\n72\n4\n94\n1\n73\n0\n74\n0\n95\n5\n96\n3\n"
                          "40\n0\n40\n0\n40\n1\n40\n2\n40\n2\n10\n10\n20\n0\n10\n12\n20\n5\n10\n14\n20\n0\n97\n0\n"
                          "75\n0\n76\n1\n98\n0\n");
    ASSERT_TRUE(doc);
    // Both paths are one area (odd-even: either's inside, not both's).
    const auto& fills = doc->extras().fills;
    ASSERT_EQ(fills.size(), 1u);
    Bounds ellipse, spline;
    for (const Point2& p : fills[0]) (p[0] < 8 ? ellipse : spline).add(p[0], p[1]);
    expectBounds(ellipse, -4, -2, 4, 2);
    expectBounds(spline, 10, 0, 14, 5);
    for (const Point2& p : fills[0])
        if (p[0] < 8) { EXPECT_NEAR(p[0] * p[0] / 16 + p[1] * p[1] / 4, 1, 1e-9); }
}

// Kinds held as shapes are picked where they are drawn: a solid hatch inside
// its area, a custom object by the box of its points, a polyline moved by
// its new place and no longer by its old one.
TEST_F(DxfShownTest, ShapesArePickedWhereTheyAreDrawn)
{
    const auto doc = read("shapes.dxf",
                          "0\nHATCH\n8\n0\n10\n0\n20\n0\n30\n0\n210\n0\n220\n0\n230\n1\n2\nSOLID\n70\n1\n71\n0\n"
                          "91\n1\n92\n2\n72\n0\n73\n1\n93\n4\n10\n0\n20\n0\n10\n10\n20\n0\n10\n10\n20\n10\n"
                          "10\n0\n20\n10\n97\n0\n75\n0\n76\n1\n98\n0\n"
                          "0\nACME_WIDGET\n8\n0\n10\n50\n20\n50\n11\n60\n21\n55\n"
                          "0\nPOLYLINE\n8\n0\n66\n1\n10\n0\n20\n0\n30\n0\n70\n0\n0\nVERTEX\n8\n0\n10\n100\n20\n0\n"
                          "0\nVERTEX\n8\n0\n10\n110\n20\n0\n0\nSEQEND\n8\n0\n");
    ASSERT_TRUE(doc);
    CadSpace& model = doc->modelSpace();
    ASSERT_EQ(model.count(), 3);
    EXPECT_EQ(nearestEntity(model, 5, 5, 0.1, 0.01), std::optional<int>(0));
    EXPECT_EQ(std::get<ModelShape>(model.at(1)).objectName, "ACME_WIDGET");
    EXPECT_EQ(entitiesInBox(model, Bounds{45, 45, 65, 60}, false, 0.01), std::vector<int>{1});
    EXPECT_EQ(nearestEntity(model, 105, 0, 0.1, 0.01), std::optional<int>(2));
    ModelShape moved = std::get<ModelShape>(model.at(2));
    moved.offset = {0, 30, 0};
    model.replace(2, moved);
    EXPECT_EQ(nearestEntity(model, 105, 0, 0.1, 0.01), std::nullopt);
    EXPECT_EQ(nearestEntity(model, 105, 30, 0.1, 0.01), std::optional<int>(2));
    model.setErased(0, true);
    EXPECT_EQ(nearestEntity(model, 5, 5, 0.1, 0.01), std::nullopt);
    EXPECT_EQ(doc->extras().fills.size(), 0u) << "an erased hatch is not drawn";
}

TEST_F(DxfShownTest, PaperSpaceHasItsOwnShapes)
{
    const auto doc = read("paper.dxf",
                          "0\nPOINT\n8\n0\n67\n1\n10\n100\n20\n200\n"
                          "0\nPOINT\n8\n0\n10\n1\n20\n2\n"
                          "0\nLINE\n8\n0\n67\n1\n10\n0\n20\n0\n11\n297\n21\n210\n");
    ASSERT_TRUE(doc);
    expectBounds(doc->extras(SpaceKind::Model).bounds, 1, 2, 1, 2);
    expectBounds(doc->extras(SpaceKind::Paper).bounds, 100, 200, 100, 200);
    expectBounds(doc->extents(SpaceKind::Paper), 0, 0, 297, 210);
}

TEST_F(DxfShownTest, ASaveThatWouldLoseContentRefusesAndLeavesTheFile)
{
    // A polyline with vertex widths: new vertices cannot keep them.
    const QByteArray entities =
        "0\nLWPOLYLINE\n8\n0\n90\n2\n70\n0\n10\n0\n20\n0\n40\n1.5\n41\n1.5\n10\n10\n20\n0\n"
        "0\nLWPOLYLINE\n8\n0\n90\n2\n70\n0\n10\n0\n20\n5\n10\n10\n20\n5\n1001\nAPP\n1000\nkept\n";
    const QString path = file("widths.dxf", drawingWith(entities));
    const QByteArray before = contents(path);
    CadSession session;
    ASSERT_TRUE(session.openDocument(path).ok());
    DrawingDocument& doc = *session.document();
    const auto moved = [&](int index, double y) {
        ModelPolyline p = std::get<ModelPolyline>(doc.modelSpace().at(index));
        p.vertices.push_back({20, y, 0});
        session.replaceEntity(SpaceKind::Model, index, p);
    };

    // Only the flag changed: nothing is lost, the widths stay.
    ModelPolyline closed = std::get<ModelPolyline>(doc.modelSpace().at(0));
    closed.closed = true;
    session.replaceEntity(SpaceKind::Model, 0, closed);
    EXPECT_TRUE(contentLostOnSave(doc).empty());

    // New vertices where the file has none of its own: written, extended data kept.
    moved(1, 5);
    EXPECT_TRUE(contentLostOnSave(doc).empty());
    auto bytes = dxfBytes(doc);
    ASSERT_TRUE(bytes.ok());
    EXPECT_NE(bytes->find("90\n3\n 70\n0\n"), std::string::npos);
    EXPECT_NE(bytes->find("10\n20.0\n 20\n5.0\n1001\nAPP\n1000\nkept\n"), std::string::npos);

    moved(0, 0);
    const auto lost = contentLostOnSave(doc);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_NE(lost[0].find("宽度"), std::string::npos);

    // The automation's Save answers an error; the file and Saved stay as they were.
    AutomationDispatcher dispatcher(session);
    const std::int64_t handle =
        dispatcher.handleFor({AutomationDispatcher::Kind::Document, doc.serial(), 0, 0});
    std::optional<Result<QJsonValue>> answer;
    for (const char* member : {"Save", "SaveAs"}) {
        QJsonArray args;
        if (QByteArray(member) == "SaveAs") args << dir.filePath(QStringLiteral("other.dxf"));
        dispatcher.invoke({AutomationDispatcher::Verb::Call, handle, std::string(member), {}, args},
                          [&](const Result<QJsonValue>& r) { answer = r; });
        ASSERT_TRUE(answer.has_value());
        ASSERT_FALSE(answer->ok()) << member;
        EXPECT_NE(answer->error().description.find("宽度"), std::string::npos) << member;
    }
    EXPECT_EQ(contents(path), before);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("other.dxf"))));
    EXPECT_TRUE(doc.modified());

    // Accepted (Save As to a new file), it writes the rest and the drawing stays unsaved.
    ASSERT_TRUE(session.saveDocument(dir.filePath(QStringLiteral("new.dxf")), SaveLoss::Accept).ok());
    EXPECT_TRUE(doc.modified());
    auto reread = readDxf(dir.filePath(QStringLiteral("new.dxf")));
    ASSERT_TRUE(reread.ok());
    EXPECT_EQ(std::get<ModelPolyline>(reread->document->modelSpace().at(0)).vertices.size(), 3u);
    EXPECT_TRUE(std::get<ModelPolyline>(reread->document->modelSpace().at(0)).closed);
}

// Justified texts are held, drawn by their alignment point whatever their
// stale first point says, picked where they are drawn, and saved tag for
// tag; an ellipse whose extrusion is 0,0,1 to the last bit is held too.
TEST_F(DxfShownTest, JustifiedTextsAndNearlyUprightEllipsesAreHeld)
{
    const QByteArray text = "0\nTEXT\n8\n0\n40\n10\n1\nTEXT\n";
    const QByteArray entities =
        text + "10\n-500\n20\n0\n72\n2\n11\n100\n21\n0\n" +      // right, on the baseline
        text + "10\n-500\n20\n0\n72\n4\n11\n0\n21\n100\n" +      // middle
        text + "10\n-500\n20\n0\n72\n0\n11\n-100\n21\n0\n73\n3\n" +  // top left
        text + "10\n0\n20\n-100\n72\n3\n11\n200\n21\n-100\n" +   // aligned between its points
        text + "10\n0\n20\n-200\n72\n5\n11\n200\n21\n-200\n" +   // fit between them
        text + "10\n0\n20\n0\n72\n2\n" +                          // justified without its point: kept
        "0\nELLIPSE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n4\n21\n0\n31\n0\n210\n0\n220\n0\n230\n0.9999999999999998\n"
        "40\n0.5\n41\n0\n42\n6.283185307179586\n"
        "0\nELLIPSE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n4\n21\n0\n31\n0\n210\n0\n220\n0.6\n230\n0.8\n"
        "40\n0.5\n41\n0\n42\n6.283185307179586\n";
    const QString path = file("justified.dxf", drawingWith(entities));
    auto report = readDxf(path);
    ASSERT_TRUE(report.ok()) << report.error().description;
    EXPECT_EQ(report->read, 6);
    EXPECT_EQ(report->kept, 2);
    const CadSpace& model = report->document->modelSpace();
    ASSERT_EQ(model.count(), 8);  // every one an entity, the kept ones as shapes
    EXPECT_EQ(std::get<ModelShape>(model.at(5)).objectName, "AcDbText");
    EXPECT_TRUE(std::holds_alternative<ModelEllipse>(model.at(6)));

    const double h = 10, slack = 0.3 * h;
    const Bounds right = inkOf(model, 0), middle = inkOf(model, 1), topLeft = inkOf(model, 2);
    const Bounds aligned = inkOf(model, 3), fit = inkOf(model, 4);
    EXPECT_NEAR(right.maxX, 100, slack);
    EXPECT_NEAR(right.minY, 0, 0.05 * h);
    EXPECT_NEAR((middle.minX + middle.maxX) / 2, 0, slack);
    EXPECT_NEAR((middle.minY + middle.maxY) / 2, 100, 0.05 * h);
    EXPECT_NEAR(topLeft.maxY, 0, 0.05 * h);
    EXPECT_NEAR(topLeft.minX, -100, slack);
    for (const Bounds& b : {aligned, fit}) {
        EXPECT_NEAR(b.minX, 0, 0.05 * 200);
        EXPECT_NEAR(b.maxX, 200, 0.05 * 200);
    }
    EXPECT_NEAR(fit.height(), h, 0.05 * h);  // fit stretches the width alone
    EXPECT_GT(aligned.height(), 2 * h);      // aligned keeps the glyphs' proportions
    // The stale first points (x = -500) do not widen the extents.
    EXPECT_GT(report->document->extents(SpaceKind::Model).minX, -150);
    // A pick reaches a text where it is drawn: a crossing box just right of
    // the right-justified text's end misses it, one over its end reaches it.
    EXPECT_TRUE(entitiesInBox(model, Bounds{100.5, -1, 300, 11}, true, 0.01).empty());
    EXPECT_EQ(entitiesInBox(model, Bounds{99, -1, 300, 11}, true, 0.01), std::vector<int>{0});

    // Saved unchanged, every tag is what the file had.
    const QString saved = dir.filePath(QStringLiteral("saved.dxf"));
    ASSERT_TRUE(writeDxf(*report->document, saved).ok());
    const std::string beforeBytes = contents(path).toStdString(), afterBytes = contents(saved).toStdString();
    const auto before = tessik::dxf::readDxfTags(beforeBytes);
    const auto after = tessik::dxf::readDxfTags(afterBytes);
    ASSERT_TRUE(before.ok() && after.ok());
    EXPECT_TRUE(*before == *after);
}

// A justified text in a block is shown by its alignment point where the
// block reference puts it.
TEST_F(DxfShownTest, JustifiedTextsInBlocksAreShownByTheirAlignmentPoint)
{
    needFonts();
    QByteArray bytes = drawingWith("0\nINSERT\n8\n0\n2\nB\n10\n100\n20\n0\n");
    bytes.replace("0\nSECTION\n2\nENTITIES\n",
                  "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n8\n0\n2\nB\n70\n0\n10\n0\n20\n0\n"
                  "0\nTEXT\n8\n0\n40\n10\n1\nTEXT\n10\n-500\n20\n0\n72\n2\n11\n0\n21\n0\n73\n1\n"
                  "0\nENDBLK\n8\n0\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n");
    auto report = readDxf(file("block.dxf", bytes));
    ASSERT_TRUE(report.ok()) << report.error().description;
    const Bounds ink = extrasInkOf(report->document->extras());
    ASSERT_FALSE(ink.empty());
    EXPECT_NEAR(ink.maxX, 100, 3);  // ends at the reference's point
    EXPECT_GT(ink.minX, 60);
    EXPECT_GT(ink.minY, -0.5);  // bottom-justified: descenders and all above the point
}
