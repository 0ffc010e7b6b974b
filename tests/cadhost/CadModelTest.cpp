// The pure parts of tessik-cad: viewport mapping, entity geometry, the
// prompt line's point syntax, the undo history and hit testing.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "model/DrawingDocument.h"
#include "model/CommandLine.h"
#include "render/EntityHitTest.h"
#include "render/Viewport.h"

using namespace tessik::cadhost;

namespace {
constexpr double kPi = std::numbers::pi;
}

TEST(Viewport, WorldScreenRoundTripsAndYPointsUp)
{
    Viewport v;
    v.setSize({800, 600});
    v.setView({100, -50}, 2.5);
    EXPECT_EQ(v.toScreen(100, -50), QPointF(400, 300));
    // World y up is screen y down.
    EXPECT_LT(v.toScreen(100, -40).y(), 300);
    for (QPointF world : {QPointF(0, 0), QPointF(123.5, -7), QPointF(-1e6, 3e5)}) {
        const QPointF back = v.toWorld(v.toScreen(world));
        EXPECT_NEAR(back.x(), world.x(), 1e-9 * std::max(1.0, std::abs(world.x())));
        EXPECT_NEAR(back.y(), world.y(), 1e-9 * std::max(1.0, std::abs(world.y())));
    }
}

TEST(Viewport, ZoomKeepsThePointUnderTheCursor)
{
    struct Row {
        const char* name;
        QPointF cursor;
        double factor;
    };
    for (const Row& row : {Row{"in at corner", {10, 20}, 1.2}, Row{"out at centre", {400, 300}, 1 / 1.2},
                           Row{"far in at edge", {799, 1}, 1000}, Row{"far out", {5, 590}, 1e-4}}) {
        Viewport v;
        v.setSize({800, 600});
        v.setView({3, 4}, 0.7);
        const QPointF before = v.toWorld(row.cursor);
        const double scale = v.scale();
        v.zoomAbout(row.cursor, row.factor);
        const QPointF after = v.toWorld(row.cursor);
        EXPECT_NEAR(after.x(), before.x(), 1e-9 * (1 + std::abs(before.x()))) << row.name;
        EXPECT_NEAR(after.y(), before.y(), 1e-9 * (1 + std::abs(before.y()))) << row.name;
        EXPECT_NEAR(v.scale(), scale * row.factor, 1e-12 * scale * row.factor) << row.name;
    }
}

TEST(Viewport, PanMovesTheDrawingWithTheDrag)
{
    Viewport v;
    v.setSize({800, 600});
    v.setView({0, 0}, 2);
    const QPointF screenOfOrigin = v.toScreen(0, 0);
    v.panBy({30, -10});
    EXPECT_EQ(v.toScreen(0, 0), screenOfOrigin + QPointF(30, -10));
}

TEST(Viewport, ZoomToBoundsShowsEverythingCentred)
{
    Viewport v;
    v.setSize({1000, 500});
    Bounds b;
    b.add(-100, 0);
    b.add(300, 50);
    v.zoomToBounds(b, 0.05);
    EXPECT_TRUE(v.visibleWorld().contains(b));
    EXPECT_EQ(v.center(), QPointF(100, 25));
    EXPECT_DOUBLE_EQ(v.scale(), 900.0 / 400.0);  // width limits: 1000 px less margins over 400

    Bounds vertical;  // zero width
    vertical.add(5, -10);
    vertical.add(5, 10);
    v.zoomToBounds(vertical, 0);
    EXPECT_DOUBLE_EQ(v.scale(), 500.0 / 20.0);
}

TEST(EntityGeometry, EllipseAnglesAndParametersConvertBothWays)
{
    for (double ratio : {1.0, 0.5, 0.1}) {
        for (double angle : {0.0, 0.3, kPi / 2, 2.0, kPi, 4.0, 3 * kPi / 2, 6.0}) {
            const double param = ellipseParamFromAngle(angle, ratio);
            EXPECT_NEAR(ellipseAngleFromParam(param, ratio), angle, 1e-12) << ratio << " " << angle;
            // The point at the parameter lies on the ray at the angle.
            const ModelEllipse e{{1, 2, 0}, {4, 0, 0}, ratio, 0, kTwoPi};
            const Point3 p = ellipsePoint(e, param);
            EXPECT_NEAR(std::atan2(std::sin(angle), std::cos(angle)), std::atan2(p[1] - 2, p[0] - 1), 1e-12);
        }
    }
    // The rule of the DXF format, written out.
    EXPECT_DOUBLE_EQ(ellipseParamFromAngle(0.5, 0.25), std::atan2(std::sin(0.5) / 0.25, std::cos(0.5)));
}

TEST(EntityGeometry, BoundsFollowTheCurveNotItsCircle)
{
    struct Row {
        const char* name;
        ModelEntity entity;
        Bounds expected;
    };
    const auto box = [](double x0, double y0, double x1, double y1) {
        Bounds b;
        b.add(x0, y0);
        b.add(x1, y1);
        return b;
    };
    const Row rows[] = {
        {"quarter arc", ModelArc{{0, 0, 0}, 2, 0, kPi / 2}, box(0, 0, 2, 2)},
        {"arc across zero", ModelArc{{0, 0, 0}, 1, 3 * kPi / 2, kPi / 2}, box(0, -1, 1, 1)},
        {"circle", ModelCircle{{1, 1, 0}, 1}, box(0, 0, 2, 2)},
        {"full ellipse", ModelEllipse{{0, 0, 0}, {2, 0, 0}, 0.5, 0, kTwoPi}, box(-2, -1, 2, 1)},
        {"upper half ellipse", ModelEllipse{{0, 0, 0}, {2, 0, 0}, 0.5, 0, kPi}, box(-2, 0, 2, 1)},
        {"turned ellipse", ModelEllipse{{0, 0, 0}, {0, 3, 0}, 1.0 / 3, 0, kTwoPi}, box(-1, -3, 1, 3)},
    };
    for (const Row& row : rows) {
        const Bounds b = entityBounds(row.entity);
        EXPECT_NEAR(b.minX, row.expected.minX, 1e-12) << row.name;
        EXPECT_NEAR(b.minY, row.expected.minY, 1e-12) << row.name;
        EXPECT_NEAR(b.maxX, row.expected.maxX, 1e-12) << row.name;
        EXPECT_NEAR(b.maxY, row.expected.maxY, 1e-12) << row.name;
    }
}

TEST(CadSpace, ExtentsShrinkWhenTheOutermostEntityChanges)
{
    CadSpace space;
    space.add(ModelLine{{0, 0, 0}, {1, 1, 0}});
    const int far = space.add(ModelLine{{0, 0, 0}, {100, 0, 0}});
    EXPECT_EQ(space.extents().maxX, 100);
    space.replace(far, ModelLine{{0, 0, 0}, {2, 0, 0}});
    EXPECT_EQ(space.extents().maxX, 2);
}

// A large read is measured in runs on several threads: the space ends as
// adding each entity and hiding the hidden ones would leave it.
TEST(CadSpace, AReadHoldsWhatAddingOneByOneHolds)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> where(-1e4, 1e4);
    std::vector<ModelEntity> read;
    std::vector<CadSpace::Origin> origins;
    for (int i = 0; i < 130'000; ++i) {
        const double x = where(random), y = where(random);
        if (i % 3 == 0)
            read.push_back(ModelCircle{{x, y, 0}, double(1 + i % 50)});
        else if (i % 3 == 1)
            read.push_back(ModelLine{{x, y, 0}, {x + 10, y - i % 70, 0}});
        else
            read.push_back(ModelText{"t", {x, y, 0}, 2.5, 0});
        origins.emplace_back().hidden = i % 11 == 0;
    }
    // The farthest entity last, so a run that missed the end would shrink the extents.
    read.push_back(ModelLine{{0, 0, 0}, {3e4, -3e4, 0}});
    origins.emplace_back();
    CadSpace oneByOne, atOnce;
    for (CadSpace* space : {&oneByOne, &atOnce}) space->add(ModelLine{{-2e4, 0, 0}, {0, 0, 0}});
    for (std::size_t k = 0; k < read.size(); ++k) {
        const int index = oneByOne.add(read[k]);
        if (origins[k].hidden) oneByOne.setHidden(index, true);
    }
    const std::uint64_t before = atOnce.shapesVersion();
    atOnce.addRead(std::vector<ModelEntity>(read), std::vector<CadSpace::Origin>(origins));
    ASSERT_EQ(atOnce.count(), oneByOne.count());
    EXPECT_EQ(atOnce.extents().minX, oneByOne.extents().minX);
    EXPECT_EQ(atOnce.extents().maxX, oneByOne.extents().maxX);
    EXPECT_EQ(atOnce.extents().minY, oneByOne.extents().minY);
    EXPECT_EQ(atOnce.extents().maxY, oneByOne.extents().maxY);
    std::size_t differ = 0;
    for (std::size_t k = 0; k < read.size() + 1; ++k) {
        const auto a = atOnce.reaches()[k], b = oneByOne.reaches()[k];
        differ += !(a.minX == b.minX && a.minY == b.minY && a.maxX == b.maxX && a.maxY == b.maxY);
    }
    EXPECT_EQ(differ, 0u);
    EXPECT_EQ(atOnce.liveIndex(atOnce.liveCount() - 1), atOnce.count() - 1);
    // Whoever last looked before the read is told to look at everything.
    EXPECT_GT(atOnce.shapesVersion(), before);
    EXPECT_FALSE(atOnce.shapeChangesSince(before).has_value());
}

TEST(PointText, TypedCoordinates)
{
    struct Row {
        const char* text;
        std::optional<Point3> expected;
    };
    const Point3 base{10, 20, 30};
    const Row rows[] = {
        {"12.5,-3", Point3{12.5, -3, 0}},
        {" 1 , 2 , 3 ", Point3{1, 2, 3}},
        {"1e3,-2E-1", Point3{1000, -0.2, 0}},
        {"@1,2", Point3{11, 22, 30}},
        {"@1,2,-30", Point3{11, 22, 0}},
        {"1;2", std::nullopt},
        {"1,2,3,4", std::nullopt},
        {"1,", std::nullopt},
        {"1,2,x", std::nullopt},
        {"inf,0", std::nullopt},
        {"nan,0", std::nullopt},
        {"1,5e400", std::nullopt},
        {"1,5 0", std::nullopt},
        {"", std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(parsePointText(QString::fromUtf8(row.text), base), row.expected) << row.text;
    EXPECT_EQ(parsePointText(QStringLiteral("@1,2"), std::nullopt), std::nullopt);
}

// modified() is "not where the last save was", whatever path led there.
TEST(CadHistory, ModifiedFollowsThePositionAgainstTheSave)
{
    DrawingDocument doc(QStringLiteral("d"));
    EXPECT_FALSE(doc.modified());
    doc.addEntity(SpaceKind::Model, ModelLine{{0, 0, 0}, {1, 0, 0}});
    doc.addEntity(SpaceKind::Model, ModelLine{{0, 0, 0}, {0, 1, 0}});
    EXPECT_TRUE(doc.modified());
    doc.setModified(false);  // saved with both lines
    doc.undo();
    EXPECT_TRUE(doc.modified());
    doc.redo();
    EXPECT_FALSE(doc.modified());
    EXPECT_TRUE(doc.redo().empty());  // nothing to redo
    doc.undo();
    doc.undo();
    EXPECT_TRUE(doc.modified());
    EXPECT_TRUE(doc.undo().empty());
    EXPECT_EQ(doc.modelSpace().liveCount(), 0);
    // A new step after undoing past the save: the save cannot be reached again.
    doc.addEntity(SpaceKind::Model, ModelCircle{{0, 0, 0}, 1});
    EXPECT_FALSE(doc.canRedo());
    doc.undo();
    EXPECT_TRUE(doc.modified());

    // A drawing marked modified with no saved state (a recovered one) stays so until saved.
    DrawingDocument recovered(QStringLiteral("r"));
    recovered.setModified(true);
    recovered.addEntity(SpaceKind::Model, ModelCircle{{0, 0, 0}, 1});
    recovered.undo();
    EXPECT_TRUE(recovered.modified());
    recovered.setModified(false);
    EXPECT_FALSE(recovered.modified());
}

TEST(CadHistory, ErasedSlotsKeepTheirIndexAndLeaveTheExtents)
{
    DrawingDocument doc(QStringLiteral("d"));
    CadSpace& m = doc.modelSpace();
    doc.addEntity(SpaceKind::Model, ModelLine{{0, 0, 0}, {10, 10, 0}});
    const int far = doc.addEntity(SpaceKind::Model, ModelCircle{{100, 0, 0}, 5});
    doc.addEntity(SpaceKind::Model, ModelLine{{2, 2, 0}, {3, 3, 0}});
    EXPECT_EQ(doc.eraseEntities({{SpaceKind::Model, far}, {SpaceKind::Model, far}}), 1);
    EXPECT_EQ(doc.eraseEntities({{SpaceKind::Model, far}}), 0);  // already erased: no step
    EXPECT_EQ(doc.undoText(), QStringLiteral("删除圆"));
    EXPECT_EQ(m.count(), 3);
    EXPECT_EQ(m.liveCount(), 2);
    EXPECT_EQ(m.liveIndex(1), 2);
    EXPECT_DOUBLE_EQ(m.extents().maxX, 10);
    doc.undo();
    EXPECT_TRUE(std::holds_alternative<ModelCircle>(m.at(far)));
    EXPECT_EQ(m.liveIndex(1), far);
    EXPECT_DOUBLE_EQ(m.extents().maxX, 105);

    // A replacement undone restores the value and whether it differs from the file.
    doc.replaceEntity(SpaceKind::Model, far, ModelCircle{{100, 0, 0}, 50});
    EXPECT_TRUE(m.changed(far));
    EXPECT_EQ(doc.undoText(), QStringLiteral("修改圆"));
    doc.undo();
    EXPECT_DOUBLE_EQ(std::get<ModelCircle>(m.at(far)).radius, 5);
    EXPECT_FALSE(m.changed(far));
    EXPECT_DOUBLE_EQ(m.extents().maxX, 105);
    doc.redo();
    EXPECT_DOUBLE_EQ(m.extents().maxX, 150);
}

// The judge is plane geometry worked by hand: distances to a segment, an
// arc's extremes, a box's edges.
TEST(EntityHitTest, NearestWindowAndCrossing)
{
    DrawingDocument doc(QStringLiteral("d"));
    CadSpace& m = doc.modelSpace();
    const int line = m.add(ModelLine{{0, 0, 0}, {10, 0, 0}});
    const int arc = m.add(ModelArc{{0, 0, 0}, 5, 0, kPi / 2});  // quarter circle in x, y >= 0
    const int big = m.add(ModelCircle{{50, 50, 0}, 40});
    const int text = m.add(ModelText{"AB", {20, -10, 0}, 2, 0});
    const double err = 1e-4;

    EXPECT_EQ(nearestEntity(m, 8, 0.4, 0.5, err), line);
    EXPECT_FALSE(nearestEntity(m, 8, 0.6, 0.5, err));
    EXPECT_FALSE(nearestEntity(m, 11, 0, 0.5, err));  // beyond the line's end
    // On the arc's middle; its missing three quarters do not count.
    EXPECT_EQ(nearestEntity(m, 5 * std::cos(kPi / 4), 5 * std::sin(kPi / 4) + 0.3, 0.5, err), arc);
    EXPECT_FALSE(nearestEntity(m, -5, 0.3, 0.5, err));
    EXPECT_EQ(nearestEntity(m, 50, 90.2, 0.5, err), big);
    EXPECT_EQ(nearestEntity(m, 21, -9, 0.5, err), text);  // inside the text's rectangle

    const auto box = [](double x0, double y0, double x1, double y1) {
        Bounds b;
        b.add(x0, y0);
        b.add(x1, y1);
        return b;
    };
    // The arc's extents are [0, 5] x [0, 5]; the line sticks out of this box.
    EXPECT_EQ(entitiesInBox(m, box(-1, -1, 6, 6), false, err), std::vector<int>{arc});
    EXPECT_EQ(entitiesInBox(m, box(-1, -1, 6, 6), true, err), (std::vector<int>{line, arc}));
    // A box inside the big circle touches nothing; one over its rim crosses it.
    EXPECT_TRUE(entitiesInBox(m, box(40, 40, 60, 60), true, err).empty());
    EXPECT_EQ(entitiesInBox(m, box(85, 45, 95, 55), true, err), std::vector<int>{big});
    // Between the arc and the axes' corner: near both, touching neither.
    EXPECT_TRUE(entitiesInBox(m, box(4, 4, 4.5, 4.5), true, err).empty());

    m.setErased(line, true);
    EXPECT_FALSE(nearestEntity(m, 8, 0, 0.5, err));
    EXPECT_EQ(entitiesInBox(m, box(-1, -1, 6, 6), true, err), std::vector<int>{arc});
}

namespace {

// A shape's picture of a few outlines, fills, hatch segments and texts, in
// dash patterns of its own table.
std::shared_ptr<const DrawingExtras> randomPicture(std::mt19937& random)
{
    std::uniform_real_distribution<double> at(-100, 100);
    std::uniform_int_distribution<int> few(0, 3), kind(0, 3);
    auto p = std::make_shared<DrawingExtras>();
    p->linetypes.push_back({1.0 + few(random), -1});
    p->linetypes.push_back({2, -0.5, 0, -0.5});
    const auto style = [&] {
        ShapeStyle s;
        s.ink = few(random);
        s.linetype = static_cast<std::uint16_t>(kind(random) % 3);
        return s;
    };
    const auto points = [&](int n) {
        std::vector<Point2> run;
        for (int i = 0; i < n; ++i) {
            run.push_back({at(random), at(random)});
            p->bounds.add(run.back()[0], run.back()[1]);
        }
        return run;
    };
    for (int i = few(random); i > 0; --i) {
        p->outlines.push_back(points(2 + few(random)));
        p->outlineStyles.push_back(style());
    }
    for (int i = few(random) / 2; i > 0; --i) {
        p->fills.push_back(points(3));
        p->fillStyles.push_back(style());
    }
    for (int i = few(random) / 2; i > 0; --i) {
        const std::size_t begin = p->segments.size();
        for (const Point2& q : points(2 * (1 + few(random)))) p->segments.push_back(q);
        p->segmentRuns.push_back({style(), begin, p->segments.size()});
    }
    if (kind(random) == 0) {
        ShownText t;
        t.position = points(1)[0];
        t.text = std::to_string(few(random));
        p->texts.push_back(t);
    }
    p->truncated = kind(random) == 0 && few(random) == 0;
    return p;
}

// A picture with its dash patterns written out, to compare pictures whose
// pattern tables are numbered differently.
struct ResolvedPicture {
    std::vector<std::pair<std::vector<Point2>, std::vector<double>>> outlines, fills;
    std::vector<std::pair<std::vector<Point2>, std::vector<double>>> runs;
    std::vector<std::pair<Point2, std::string>> texts;
    std::array<double, 4> bounds{};
    bool truncated = false;
    friend bool operator==(const ResolvedPicture&, const ResolvedPicture&) = default;
};

ResolvedPicture resolved(const DrawingExtras& e)
{
    ResolvedPicture r;
    const auto dashes = [&](const ShapeStyle& s) {
        auto d = s.linetype < e.linetypes.size() ? e.linetypes[s.linetype] : std::vector<double>{99};
        d.push_back(s.ink);
        return d;
    };
    for (std::size_t i = 0; i < e.outlines.size(); ++i) r.outlines.emplace_back(e.outlines[i], dashes(e.outlineStyles.at(i)));
    for (std::size_t i = 0; i < e.fills.size(); ++i) r.fills.emplace_back(e.fills[i], dashes(e.fillStyles.at(i)));
    for (const SegmentRun& run : e.segmentRuns)
        r.runs.emplace_back(std::vector<Point2>(e.segments.begin() + static_cast<std::ptrdiff_t>(run.begin),
                                                e.segments.begin() + static_cast<std::ptrdiff_t>(run.end)),
                            dashes(run.style));
    for (const ShownText& t : e.texts) r.texts.emplace_back(t.position, t.text);
    r.bounds = {e.bounds.minX, e.bounds.minY, e.bounds.maxX, e.bounds.maxY};
    r.truncated = e.truncated;
    return r;
}

}  // namespace

// The shown picture of the shapes, mended where a few of them change, is
// the picture made afresh from every live shape: through moves, erases,
// additions, hidden layers, undo and redo, and lines between them.
TEST(DrawingDocument, MendedPictureOfShapesIsThePictureMadeAfresh)
{
    std::mt19937 random(5);
    DrawingDocument doc(QStringLiteral("shapes"));
    const auto shape = [&] {
        ModelShape s{"HATCH", "AcDbHatch", randomPicture(random), {}, {}, true};
        s.readBounds = s.picture->bounds;
        return s;
    };
    for (int i = 0; i < 300; ++i) {
        if (i % 7 == 3) doc.modelSpace().add(ModelLine{{0, 0, 0}, {1, double(i), 0}});
        else doc.modelSpace().add(shape());
    }
    const auto afresh = [&] {
        DrawingExtras e;
        const CadSpace& s = doc.modelSpace();
        for (int i = 0; i < s.count(); ++i)
            if (const auto* m = std::get_if<ModelShape>(&s.at(i)); m && m->picture && s.drawn(i))
                appendShape(e, *m->picture, m->offset);
        return e;
    };
    ASSERT_EQ(resolved(doc.extras()), resolved(afresh()));
    std::uniform_int_distribution<int> op(0, 9), shift(-20, 20);
    for (int step = 0; step < 400; ++step) {
        const int count = doc.modelSpace().count();
        const int slot = std::uniform_int_distribution<int>(0, count - 1)(random);
        switch (op(random)) {
        case 0:
        case 1:
        case 2:
            if (auto* m = std::get_if<ModelShape>(&doc.modelSpace().at(slot))) {
                ModelShape moved = *m;
                moved.offset[0] += shift(random);
                moved.offset[1] += shift(random);
                doc.replaceEntity(SpaceKind::Model, slot, moved);
            }
            break;
        case 3: doc.replaceEntity(SpaceKind::Model, slot, shape()); break;
        case 4: doc.eraseEntities({{SpaceKind::Model, slot}, {SpaceKind::Model, (slot * 7) % count}}); break;
        case 5: doc.addEntity(SpaceKind::Model, shape()); break;
        case 6: doc.modelSpace().setHidden(slot, !doc.modelSpace().hidden(slot)); break;
        case 7: doc.undo(); break;
        case 8: doc.redo(); break;
        default: doc.replaceEntity(SpaceKind::Model, slot, ModelCircle{{1, 2, 0}, 3});
        }
        if (step % 3 == 0) continue;  // several changes mended at once
        ASSERT_EQ(resolved(doc.extras()), resolved(afresh())) << "after step " << step;
    }
    // More changes than are mended one by one: made afresh.
    for (int i = 0; i < 200; ++i) doc.modelSpace().setHidden(i, i % 2 == 0);
    EXPECT_EQ(resolved(doc.extras()), resolved(afresh()));
}
