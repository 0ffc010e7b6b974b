#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "ElbowFabrication.h"
#include "PieceTemplate.h"
#include "TemplateEntities.h"

namespace tessik {
namespace {

constexpr double kPi = std::numbers::pi;

FabricationInput published()
{
    FabricationInput in;
    in.cutAngle = 90.0 / 4 / 2;  // 90 degrees in three middle pieces and two ends
    in.middlePieces = 3;
    in.bendRadius = 381;
    in.outerDiameter = 273;
    return in;
}

ElbowFabrication develop(const FabricationInput& in)
{
    const Result<ElbowFabrication> f = developElbow(in);
    EXPECT_TRUE(f.ok()) << (f.ok() ? "" : f.error().description);
    return f.valueOr({});
}

// Handbook figures for a 273 mm pipe, R 381, a 90 degree bend of five pieces.
TEST(ElbowFabrication, PublishedChecks)
{
    const ElbowFabrication f = develop(published());
    ASSERT_EQ(f.pieces.size(), 2u);
    EXPECT_NEAR(f.pieces[1].centerline, 151.6, 0.05);
    EXPECT_NEAR(f.pieces[0].centerline, 75.8, 0.05);
    EXPECT_NEAR(f.cutback, 27.15, 0.005);
    EXPECT_NEAR(f.weldPerJoint, 866.08, 0.005);
    EXPECT_EQ(f.joints, 4);
    EXPECT_DOUBLE_EQ(f.weldTotal, 4 * f.weldPerJoint);
}

TEST(ElbowFabrication, EllipsePerimeterLimits)
{
    EXPECT_NEAR(ellipsePerimeter(10, 10), 2 * kPi * 10, 1e-12);
    EXPECT_NEAR(ellipsePerimeter(7, 0), 28, 1e-12);
    EXPECT_DOUBLE_EQ(ellipsePerimeter(3, 1), ellipsePerimeter(1, 3));
    // Ramanujan's second formula is good to about 1e-10 relative at this ratio.
    const double a = 5, b = 4, h = (a - b) * (a - b) / ((a + b) * (a + b));
    EXPECT_NEAR(ellipsePerimeter(a, b), kPi * (a + b) * (1 + 3 * h / (10 + std::sqrt(4 - 3 * h))), 1e-8);
}

TEST(ElbowFabrication, OrdinatesWrapAndMeetTheCutList)
{
    FabricationInput in = published();
    in.divisions = 12;
    const ElbowFabrication f = develop(in);
    const Ordinates& o = f.ordinates;
    ASSERT_EQ(o.x.size(), 13u);
    EXPECT_EQ(o.x.front(), 0);
    EXPECT_NEAR(o.x.back(), f.templateWidth, 1e-12);
    EXPECT_EQ(o.end.back(), o.end.front());
    EXPECT_NEAR(o.end[0], f.pieces[0].longSide, 1e-12);
    EXPECT_NEAR(o.end[6], f.pieces[0].shortSide, 1e-12);
    EXPECT_NEAR(o.end[3], f.pieces[0].centerline, 1e-12);
    EXPECT_NEAR(o.middle[6], f.pieces[1].shortSide, 1e-12);
}

TEST(ElbowFabrication, WeightIsTheHollowPipeTheyAreCutFrom)
{
    FabricationInput in = published();
    in.wall = 9.3;
    const ElbowFabrication f = develop(in);
    ASSERT_TRUE(f.weight);
    const double area = kPi * 9.3 * (273 - 9.3);  // wall ring as mean circumference times thickness
    EXPECT_NEAR(*f.weight, area * f.pipeLength * 7850 / 1e9, 1e-9);
    EXPECT_NEAR(f.pipeLength, 2 * f.pieces[0].centerline + 3 * f.pieces[1].centerline, 1e-9);
    in.wall.reset();
    EXPECT_FALSE(develop(in).weight);
}

TEST(ElbowFabrication, TemplateDiameters)
{
    FabricationInput in = published();
    in.wall = 10;
    in.templateDiameter = TemplateDiameterKind::mean;
    EXPECT_EQ(develop(in).templateDiameter, 263);
    in.templateDiameter = TemplateDiameterKind::inside;
    const ElbowFabrication inside = develop(in);
    EXPECT_EQ(inside.templateDiameter, 253);
    // The weld follows the outside surface whatever the template.
    EXPECT_EQ(inside.weldPerJoint, develop(published()).weldPerJoint);
}

TEST(ElbowFabrication, Warnings)
{
    FabricationInput in = published();
    EXPECT_TRUE(develop(in).warnings.empty());
    in.cutAngle = 30;
    in.bendRadius = 100;
    const ElbowFabrication f = develop(in);
    EXPECT_EQ(f.warnings, (std::vector<std::string>{"cut-angle-over-22.5", "inner-side-negative"}));
    EXPECT_LT(f.pieces[0].shortSide, 0);
    in.cutAngle = 22.5;
    in.bendRadius = 136.5;
    EXPECT_TRUE(develop(in).warnings.empty());
}

TEST(ElbowFabrication, WhatCannotBeDeveloped)
{
    struct Row {
        const char* name;
        void (*change)(FabricationInput&);
    };
    const Row rows[] = {
        {"zero cut angle", [](FabricationInput& in) { in.cutAngle = 0; }},
        {"right cut angle", [](FabricationInput& in) { in.cutAngle = 90; }},
        {"negative cut angle", [](FabricationInput& in) { in.cutAngle = -10; }},
        {"not a number", [](FabricationInput& in) { in.cutAngle = std::nan(""); }},
        {"negative middle pieces", [](FabricationInput& in) { in.middlePieces = -3; }},
        {"zero diameter", [](FabricationInput& in) { in.outerDiameter = 0; }},
        {"negative radius", [](FabricationInput& in) { in.bendRadius = -1; }},
        {"mean without wall", [](FabricationInput& in) { in.templateDiameter = TemplateDiameterKind::mean; }},
        {"inside, wall too thick",
         [](FabricationInput& in) {
             in.templateDiameter = TemplateDiameterKind::inside;
             in.wall = 136.5;
         }},
        {"three divisions", [](FabricationInput& in) { in.divisions = 3; }},
        {"overflow", [](FabricationInput& in) { in.bendRadius = 1e308; }},
    };
    for (const Row& row : rows) {
        FabricationInput in = published();
        row.change(in);
        const Result<ElbowFabrication> f = developElbow(in);
        ASSERT_FALSE(f.ok()) << row.name;
        EXPECT_EQ(f.error().description.rfind("无法展开：", 0), 0u) << row.name << ": " << f.error().description;
    }
}

// --- templates ---------------------------------------------------------------

double shoelace(const std::vector<TemplatePoint>& p)
{
    double twice = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const TemplatePoint& a = p[i];
        const TemplatePoint& b = p[(i + 1) % p.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return twice / 2;
}

double perimeter(const std::vector<TemplatePoint>& p)
{
    double sum = 0;
    for (std::size_t i = 0; i < p.size(); ++i)
        sum += std::hypot(p[(i + 1) % p.size()].x - p[i].x, p[(i + 1) % p.size()].y - p[i].y);
    return sum;
}

struct Case {
    const char* name;
    double theta, radius, diameter;
    int middle;
};
const Case kCases[] = {{"published", 11.25, 381, 273, 3},  {"small pipe", 15, 40, 25, 2},
                       {"large steep", 30, 6600, 4400, 1}, {"tight inner side", 20, 110, 219, 2},
                       {"shallow", 3.75, 1500, 1020, 11}};

TEST(PieceTemplate, OutlinesAgreeWithTheDevelopment)
{
    for (const Case& c : kCases) {
        FabricationInput in;
        in.cutAngle = c.theta;
        in.bendRadius = c.radius;
        in.outerDiameter = c.diameter;
        in.middlePieces = c.middle;
        const ElbowFabrication f = develop(in);
        const Result<TemplateSheet> sheet = templateSheet(f);
        ASSERT_TRUE(sheet.ok()) << c.name;
        ASSERT_EQ(sheet->pieces.size(), 2u) << c.name;
        const double tangent = std::tan(c.theta * kPi / 180);
        for (const PieceTemplate& t : sheet->pieces) {
            const bool middle = t.kind == PieceKind::middle;
            const double factor = middle ? 2 : 1;
            // Area: the mean length R tan theta times the width (cos averages out).
            EXPECT_NEAR(shoelace(t.outline), factor * kPi * c.diameter * c.radius * tangent,
                        1e-9 * factor * kPi * c.diameter * c.radius * tangent)
                << c.name;
            // The cut edges are as long as the weld: the perimeter less the
            // straight edges (the square end and the two seam edges).
            const double longSide = f.pieces[middle ? 1 : 0].longSide;
            const double straight = middle ? 2 * longSide : f.templateWidth + 2 * longSide;
            EXPECT_NEAR((perimeter(t.outline) - straight) / factor, f.weldPerJoint, 1e-4 * f.weldPerJoint) << c.name;
        }
    }
}

// Below half the outer diameter neighbouring cuts meet inside the pipe: no
// template, whichever diameter it is drawn for; at half the diameter they touch.
TEST(PieceTemplate, TemplateThatWouldCrossItselfIsRefused)
{
    for (const TemplateDiameterKind kind :
         {TemplateDiameterKind::outside, TemplateDiameterKind::mean, TemplateDiameterKind::inside}) {
        FabricationInput in;
        in.cutAngle = 20;
        in.middlePieces = 2;
        in.outerDiameter = 219;
        in.wall = 20;
        in.templateDiameter = kind;
        in.bendRadius = std::nextafter(109.5, 0.0);
        const Result<TemplateSheet> refused = templateSheet(develop(in));
        ASSERT_FALSE(refused.ok());
        EXPECT_EQ(refused.error().description.rfind("无法展开：", 0), 0u);
        EXPECT_NE(refused.error().description.find("自相交叉"), std::string::npos);
        in.bendRadius = 109.5;
        EXPECT_TRUE(templateSheet(develop(in)).ok());
    }
}

// Every point of the true cut lies within the chord error of the outline.
TEST(PieceTemplate, ChordErrorBound)
{
    for (const Case& c : kCases) {
        FabricationInput in;
        in.cutAngle = c.theta;
        in.bendRadius = c.radius;
        in.outerDiameter = c.diameter;
        in.middlePieces = c.middle;
        const ElbowFabrication f = develop(in);
        const TemplateSheet sheet = templateSheet(f).valueOr({});
        ASSERT_FALSE(sheet.pieces.empty());
        const PieceTemplate& end = sheet.pieces[0];
        // The cut of the end piece runs from the third vertex on, right to left.
        const std::vector<TemplatePoint> cut(end.outline.begin() + 2, end.outline.end());
        const double rho = c.diameter / 2, tangent = std::tan(c.theta * kPi / 180);
        const double dy = end.outline[0].y;  // where the sheet put the square end
        double worst = 0;
        for (std::size_t i = 0; i + 1 < cut.size(); ++i) {
            const TemplatePoint a = cut[i + 1], b = cut[i];  // left to right
            for (int s = 1; s < 16; ++s) {
                const double x = a.x + (b.x - a.x) * s / 16;
                const double y = dy + (c.radius + rho * std::cos(x / rho)) * tangent;
                const double cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
                worst = std::max(worst, std::fabs(cross) / std::hypot(b.x - a.x, b.y - a.y));
            }
        }
        EXPECT_LE(worst, kChordError) << c.name;
        EXPECT_GT(worst, kChordError / 20) << c.name << ": far more vertices than needed";
    }
}

TEST(PieceTemplate, SheetLaysPiecesApartAndLabelsThem)
{
    const ElbowFabrication f = develop(published());
    const TemplateSheet sheet = templateSheet(f).valueOr({});
    ASSERT_EQ(sheet.pieces.size(), 2u);
    double previousTop = 0;
    for (const PieceTemplate& t : sheet.pieces) {
        double low = 1e300, high = -1e300;
        for (const TemplatePoint& v : t.outline) {
            low = std::min(low, v.y);
            high = std::max(high, v.y);
            EXPECT_GE(v.x, 0);
            EXPECT_LE(v.x, sheet.width);
        }
        EXPECT_GE(t.labelAt.y, previousTop);
        EXPECT_LT(t.labelAt.y + t.labelHeight, low);
        previousTop = high;
        EXPECT_NE(t.label.find("273"), std::string::npos);
        EXPECT_NE(t.label.find("11.25"), std::string::npos);
    }
    EXPECT_GE(sheet.height, previousTop);
    EXPECT_NE(sheet.pieces[1].label.find("中节 × 3"), std::string::npos);
}

TEST(TemplateEntities, OneClosedOutlinePerPieceOnItsLayer)
{
    const TemplateSheet sheet = templateSheet(develop(published())).valueOr({});
    const std::vector<LayeredEntity> all = templateEntities(sheet, 1000, -50);
    std::size_t expectedMarks = 0, expectedTexts = 0;
    for (const PieceTemplate& t : sheet.pieces) {
        expectedMarks += t.marks.size();
        expectedTexts += t.notes.size() + 1;
    }
    ASSERT_EQ(all.size(), 2 + expectedMarks + expectedTexts);
    std::size_t piece = 0, marks = 0, texts = 0;
    for (const LayeredEntity& e : all) {
        if (const auto* outline = std::get_if<entities::Polyline>(&e.entity)) {
            EXPECT_EQ(e.layer, "CUT");
            EXPECT_TRUE(outline->closed);
            const std::vector<TemplatePoint>& expected = sheet.pieces.at(piece++).outline;
            ASSERT_EQ(outline->vertices.size(), expected.size());
            for (std::size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(outline->vertices[i].x, expected[i].x + 1000);
                EXPECT_EQ(outline->vertices[i].y, expected[i].y - 50);
                EXPECT_EQ(outline->vertices[i].bulge, 0);
            }
            // No repeated vertex: a cutter would see a zero-length segment.
            EXPECT_NE(outline->vertices.front(), outline->vertices.back());
        } else if (std::holds_alternative<entities::Line>(e.entity)) {
            EXPECT_EQ(e.layer, "MARK");
            ++marks;
        } else {
            ASSERT_TRUE(std::holds_alternative<entities::Text>(e.entity));
            EXPECT_EQ(e.layer, "TEXT");
            ++texts;
        }
    }
    EXPECT_EQ(piece, 2u);
    EXPECT_EQ(marks, expectedMarks);
    EXPECT_EQ(texts, expectedTexts);
    // Each piece's label closes its group.
    EXPECT_EQ(std::get<entities::Text>(all.back().entity).text, sheet.pieces.back().label);
}

}  // namespace
}  // namespace tessik
