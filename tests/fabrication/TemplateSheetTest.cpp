// The template sheet against a model of the cut in space: every cut line is
// the plane through the bend's axis (moved out by half a kerf) met with the
// pipe, seen from wherever the seam is; marks and names lie inside the
// outline and clear of it.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "ElbowFabrication.h"
#include "PieceTemplate.h"

namespace tessik {
namespace {

constexpr double kPi = std::numbers::pi;

struct Elbow {
    double theta = 11.25, radius = 381, diameter = 273, wall = 9.27;
    int middle = 3;
};

ElbowFabrication develop(const Elbow& e, TemplateDiameterKind kind, int divisions = 16)
{
    FabricationInput in;
    in.cutAngle = e.theta;
    in.middlePieces = e.middle;
    in.bendRadius = e.radius;
    in.outerDiameter = e.diameter;
    in.wall = e.wall;
    in.templateDiameter = kind;
    in.divisions = divisions;
    const Result<ElbowFabrication> f = developElbow(in);
    EXPECT_TRUE(f.ok());
    return f.valueOr({});
}

double seamAngle(SeamPosition s) { return s == SeamPosition::extrados ? 0 : s == SeamPosition::side ? kPi / 2 : kPi; }

double shoelace(const std::vector<TemplatePoint>& p)
{
    double twice = 0;
    for (std::size_t i = 0; i < p.size(); ++i)
        twice += p[i].x * p[(i + 1) % p.size()].y - p[(i + 1) % p.size()].x * p[i].y;
    return twice / 2;
}

bool inside(const std::vector<TemplatePoint>& poly, TemplatePoint q)
{
    bool in = false;
    for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++)
        if ((poly[i].y > q.y) != (poly[j].y > q.y) &&
            q.x < (poly[j].x - poly[i].x) * (q.y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x)
            in = !in;
    return in;
}

double distanceToEdge(const std::vector<TemplatePoint>& poly, TemplatePoint q)
{
    double best = 1e300;
    for (std::size_t i = 0; i < poly.size(); ++i) {
        const TemplatePoint a = poly[i], b = poly[(i + 1) % poly.size()];
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double t = std::clamp(((q.x - a.x) * dx + (q.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
        best = std::min(best, std::hypot(a.x + t * dx - q.x, a.y + t * dy - q.y));
    }
    return best;
}

struct Options {
    const char* name;
    TemplateDiameterKind kind;
    SeamPosition seam;
    double kerf;
};
const Options kOptions[] = {
    {"outside, extrados seam", TemplateDiameterKind::outside, SeamPosition::extrados, 0},
    {"outside, side seam, kerf", TemplateDiameterKind::outside, SeamPosition::side, 3.2},
    {"inside, intrados seam, kerf", TemplateDiameterKind::inside, SeamPosition::intrados, 1.5},
    {"plate, side seam, kerf", TemplateDiameterKind::plate, SeamPosition::side, 2},
};
const Elbow kElbows[] = {{}, {30, 6600, 4400, 40, 1}, {20, 110, 219, 8, 2}, {15, 40, 25, 3, 2}};

// Every cut vertex lies on the plane model, the areas are the model's, and
// the kerf widens the piece by exactly the saw's share.
TEST(TemplateSheet, CutLinesAreThePlanesMovedOutByHalfTheKerf)
{
    for (const Elbow& e : kElbows) {
        for (const Options& o : kOptions) {
            const ElbowFabrication f = develop(e, o.kind);
            const Result<TemplateSheet> sheet = templateSheet(f, {o.seam, o.kerf});
            ASSERT_TRUE(sheet.ok()) << o.name;
            const double rho = f.templateDiameter / 2, t = std::tan(e.theta * kPi / 180);
            const double along = o.kerf / 2 / std::cos(e.theta * kPi / 180), square = o.kerf / 2;
            const bool plate = o.kind == TemplateDiameterKind::plate;
            const double dx = plate ? square : 0, w = kPi * f.templateDiameter;
            EXPECT_NEAR(sheet->width, w + 2 * dx, 1e-9 * w) << o.name;
            for (const PieceTemplate& p : sheet->pieces) {
                double low = 1e300, high = -1e300;
                for (const TemplatePoint& v : p.outline) low = std::min(low, v.y), high = std::max(high, v.y);
                const bool middle = p.kind == PieceKind::middle;
                const double base = middle ? (low + high) / 2 : low + square;  // the finished square end or centre
                for (std::size_t i = middle ? 0 : 2; i < p.outline.size(); ++i) {  // not the square end
                    const TemplatePoint v = p.outline[i];
                    const double x = v.x - dx;
                    if (x < 0 || x > w) continue;  // a plate's seam corner
                    const double cut = (e.radius + rho * std::cos(x / rho + seamAngle(o.seam))) * t + along;
                    EXPECT_NEAR(std::fabs(v.y - base), cut, 1e-7 * (1 + cut)) << o.name;
                }
                const double area = middle ? w * 2 * (e.radius * t + along) : w * (e.radius * t + along + square);
                const double seamEdges = plate ? 2 * square * (middle ? 2 * (e.radius * t + along) : e.radius * t + along + square) : 0;
                EXPECT_NEAR(shoelace(p.outline), area + seamEdges, 1e-6 * area) << o.name;
            }
        }
    }
}

// Marks lie inside their outline, clear of its edges; the lines across the
// template stand at the quarters and at the ordinate table's stations, seen
// from the seam, the seam itself being the template's edge.
TEST(TemplateSheet, MarksStandAtQuartersAndStationsClearOfTheCut)
{
    for (const Elbow& e : kElbows) {
        for (const Options& o : kOptions) {
            for (const int divisions : {16, 18}) {
                const ElbowFabrication f = develop(e, o.kind, divisions);
                const TemplateSheet sheet = templateSheet(f, {o.seam, o.kerf}).valueOr({});
                ASSERT_EQ(sheet.pieces.size(), 2u);
                const double rho = f.templateDiameter / 2, w = kPi * f.templateDiameter;
                const double dx = o.kind == TemplateDiameterKind::plate ? o.kerf / 2 : 0;
                std::vector<double> expected;
                for (int k = 0; k < divisions; ++k) expected.push_back(2 * kPi * k / divisions);
                for (int q = 1; q < 4; ++q) expected.push_back(q * kPi / 2);
                std::vector<double> wanted;  // template x of each, seam left out
                for (const double phi : expected) {
                    const double x = rho * std::fmod(phi - seamAngle(o.seam) + 4 * kPi, 2 * kPi);
                    if (x > 1e-9 && x < w - 1e-6 &&
                        std::none_of(wanted.begin(), wanted.end(), [&](double y) { return std::fabs(x - y) < 1e-6; }))
                        wanted.push_back(x);
                }
                for (const PieceTemplate& p : sheet.pieces) {
                    std::vector<double> across;
                    for (const TemplateSegment& m : p.marks) {
                        for (int s = 0; s <= 10; ++s) {
                            const TemplatePoint q{m.start.x + (m.end.x - m.start.x) * s / 10,
                                                  m.start.y + (m.end.y - m.start.y) * s / 10};
                            EXPECT_TRUE(inside(p.outline, q)) << o.name;
                            EXPECT_GT(distanceToEdge(p.outline, q), 0.9) << o.name << " " << q.x << "," << q.y;
                        }
                        if (m.start.x == m.end.x) across.push_back(m.start.x - dx);
                    }
                    // Where a piece is under 3 mm across there is no room for a mark.
                    if ((e.radius - rho) * std::tan(e.theta * kPi / 180) < 3) continue;
                    ASSERT_EQ(across.size(), wanted.size()) << o.name << " " << divisions;
                    std::sort(across.begin(), across.end());
                    std::sort(wanted.begin(), wanted.end());
                    for (std::size_t i = 0; i < wanted.size(); ++i) EXPECT_NEAR(across[i], wanted[i], 1e-9 * w) << o.name;
                    // The piece's name is written inside it.
                    const auto named = std::find_if(p.notes.begin(), p.notes.end(),
                                                    [&](const TemplateText& n) { return n.text == p.name; });
                    ASSERT_NE(named, p.notes.end()) << o.name;
                    const double width = approximateTextWidth(named->text, named->height);
                    for (const TemplatePoint corner : {named->at, TemplatePoint{named->at.x + width, named->at.y},
                                                       TemplatePoint{named->at.x, named->at.y + named->height},
                                                       TemplatePoint{named->at.x + width, named->at.y + named->height}})
                        EXPECT_TRUE(inside(p.outline, corner)) << o.name;
                }
                EXPECT_EQ(sheet.pieces[0].name, "端节（第 1、" + std::to_string(e.middle + 2) + " 节）");
            }
        }
    }
}

// Small pipes, tight radii and many joints: a piece at least 8 mm across at
// its extrados carries its name, and every note lies inside its piece, for
// every seam.
TEST(TemplateSheet, EveryPieceWideEnoughIsNamed)
{
    for (const double diameter : {60.3, 88.9, 114.3})
        for (const double radius : {0.5, 1.0, 1.5})
            for (const int middle : {0, 1, 2, 4})
                for (const double bend : {30.0, 90.0})
                    for (const SeamPosition seam : {SeamPosition::extrados, SeamPosition::side, SeamPosition::intrados}) {
                        const Elbow e{bend / (middle + 1) / 2, radius * diameter, diameter, 4, middle};
                        const ElbowFabrication f = develop(e, TemplateDiameterKind::outside);
                        const TemplateSheet sheet = templateSheet(f, {seam, 0}).valueOr({});
                        for (const PieceTemplate& p : sheet.pieces) {
                            const double across = (e.radius + diameter / 2) * std::tan(e.theta * kPi / 180) *
                                                  (p.kind == PieceKind::middle ? 2 : 1);
                            const auto named = std::find_if(p.notes.begin(), p.notes.end(),
                                                            [&](const TemplateText& n) { return n.text == p.name; });
                            // Every note, on a narrow piece too, stands inside its piece.
                            for (const TemplateText& n : p.notes) {
                                const double right = n.at.x + approximateTextWidth(n.text, n.height);
                                for (const TemplatePoint c : {n.at, TemplatePoint{right, n.at.y + n.height}})
                                    EXPECT_TRUE(inside(p.outline, c)) << n.text << " D " << diameter << " n " << middle;
                            }
                            if (across < 8) continue;
                            ASSERT_NE(named, p.notes.end()) << diameter << " R " << e.radius << " n " << middle
                                                            << " bend " << bend << " seam " << int(seam);
                            const double width = approximateTextWidth(named->text, named->height);
                            for (const TemplatePoint c : {named->at, TemplatePoint{named->at.x + width, named->at.y},
                                                          TemplatePoint{named->at.x, named->at.y + named->height},
                                                          TemplatePoint{named->at.x + width, named->at.y + named->height}})
                                EXPECT_TRUE(inside(p.outline, c)) << diameter << " " << middle << " " << int(seam);
                        }
                    }
}

// A plate carries the lines of both surfaces, developed on the mean width:
// the outside line is the longer at the extrados, the inside one at the
// intrados, and they meet half-way round.
TEST(TemplateSheet, PlateCarriesBothSurfaceLines)
{
    const Elbow e;
    const ElbowFabrication f = develop(e, TemplateDiameterKind::plate);
    const TemplateSheet sheet = templateSheet(f, {SeamPosition::intrados, 0}).valueOr({});
    ASSERT_EQ(sheet.pieces.size(), 2u);
    EXPECT_NEAR(sheet.width, kPi * (e.diameter - e.wall), 1e-9);
    const double t = std::tan(e.theta * kPi / 180);
    const PieceTemplate& end = sheet.pieces[0];
    ASSERT_EQ(end.surfaceLines.size(), 2u);
    EXPECT_EQ(sheet.pieces[1].surfaceLines.size(), 4u);
    const double base = end.outline[0].y;
    for (std::size_t s = 0; s < 2; ++s) {
        const double rho = s == 0 ? e.diameter / 2 : e.diameter / 2 - e.wall;
        const std::vector<TemplatePoint>& line = end.surfaceLines[s];
        const TemplatePoint extrados = line[line.size() / 2];  // the seam is at the intrados
        EXPECT_NEAR(extrados.x, sheet.width / 2, 1e-9);
        EXPECT_NEAR(extrados.y - base, (e.radius + rho) * t, 1e-9);
        EXPECT_NEAR(line.front().y - base, (e.radius - rho) * t, 1e-9);
        EXPECT_NEAR(line[line.size() / 4].y - base, e.radius * t, 1e-9);
    }
    EXPECT_TRUE(develop(e, TemplateDiameterKind::outside).wall.has_value());

    // A thick, steep plate: the surface lines run outside the cut and still lie in the sheet's frame.
    const Elbow thick{30, 6600, 4400, 40, 1};
    const TemplateSheet big = templateSheet(develop(thick, TemplateDiameterKind::plate), {}).valueOr({});
    ASSERT_EQ(big.pieces.size(), 2u);
    for (const PieceTemplate& p : big.pieces)
        for (const auto& line : p.surfaceLines)
            for (const TemplatePoint& v : line) {
                EXPECT_GE(v.y, 0);
                EXPECT_LE(v.y, big.height);
                EXPECT_GT(v.y, p.labelAt.y + p.labelHeight);  // clear of its own label
            }
}

TEST(TemplateSheet, KerfOutOfRangeIsRefused)
{
    const ElbowFabrication f = develop({}, TemplateDiameterKind::outside);
    for (const double kerf : {-0.1, kMaxKerf * 1.01, std::nan(""), double(INFINITY)}) {
        const Result<TemplateSheet> refused = templateSheet(f, {SeamPosition::extrados, kerf});
        ASSERT_FALSE(refused.ok()) << kerf;
        EXPECT_NE(refused.error().description.find("割缝"), std::string::npos);
    }
    EXPECT_TRUE(templateSheet(f, {SeamPosition::extrados, kMaxKerf}).ok());
}

}  // namespace
}  // namespace tessik
