// Curves traced through the Viewport at zooms from a few pixels to millions
// of pixels across: every chord stays within a quarter pixel of the true
// curve (measured by an independent closest-point search), and every part of
// the curve inside the view is covered by some chord.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include <QImage>

#include "render/DrawingPainter.h"
#include "render/SpaceLook.h"

using namespace tessik::cadhost;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kBound = 0.25;  // pixels

// A full ellipse centre + u cos t + v sin t (a circle when u and v are equal
// and square), with the part [t0, t0 + span] the entity covers.
struct TrueCurve {
    QPointF centre, u, v;
    double t0 = 0, span = 2 * kPi;
    QPointF at(double t) const { return centre + u * std::cos(t) + v * std::sin(t); }
    double largestRadius() const { return std::max(std::hypot(u.x(), u.y()), std::hypot(v.x(), v.y())); }
};

// Distance from p to the full curve: a coarse scan, then a ternary search
// around the best sample.
double distanceTo(const TrueCurve& k, QPointF p)
{
    const auto d2 = [&](double t) {
        const QPointF q = k.at(t) - p;
        return q.x() * q.x() + q.y() * q.y();
    };
    constexpr int n = 720;
    int best = 0;
    for (int i = 1; i < n; ++i)
        if (d2(2 * kPi * i / n) < d2(2 * kPi * best / n)) best = i;
    double lo = 2 * kPi * (best - 1) / n, hi = 2 * kPi * (best + 1) / n;
    for (int i = 0; i < 100; ++i) {
        const double a = lo + (hi - lo) / 3, b = hi - (hi - lo) / 3;
        (d2(a) < d2(b) ? hi : lo) = d2(a) < d2(b) ? b : a;
    }
    return std::sqrt(d2((lo + hi) / 2));
}

double segmentDistance(QPointF p, QPointF a, QPointF b)
{
    const QPointF ab = b - a;
    const double len2 = QPointF::dotProduct(ab, ab);
    const double t = len2 > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / len2, 0.0, 1.0) : 0;
    const QPointF q = a + ab * t - p;
    return std::hypot(q.x(), q.y());
}

struct Traced {
    std::vector<std::pair<QPointF, QPointF>> segments;
    int dots = 0;
};

Traced traceOne(const ModelEntity& entity, const Viewport& viewport)
{
    CadSpace space;
    space.add(entity);
    Traced out;
    traceSpace(
        viewport, space, [&](QPointF a, QPointF b) { out.segments.emplace_back(a, b); },
        [&](QPointF) { ++out.dots; });
    return out;
}

// Checks the bound and the coverage with the view centred on the curve's
// point at tMid, at a scale that makes its largest radius `pixels` wide.
void checkAtZoom(const ModelEntity& entity, const TrueCurve& k, double tMid, double pixels)
{
    SCOPED_TRACE(testing::Message() << "radius in pixels " << pixels);
    Viewport view;
    view.setSize({640, 480});
    const double scale = pixels / k.largestRadius();
    view.setView(pixels < 400 ? k.centre : k.at(tMid), scale);
    const Traced traced = traceOne(entity, view);
    ASSERT_FALSE(traced.segments.empty());
    EXPECT_EQ(traced.dots, 0);
    // Only what reaches the view is traced, however large the curve.
    EXPECT_LT(traced.segments.size(), 20000u);
    double worst = 0;
    for (const auto& [a, b] : traced.segments)
        for (int i = 0; i <= 8; ++i)
            worst = std::max(worst, distanceTo(k, view.toWorld(a + (b - a) * (i / 8.0))) * scale);
    EXPECT_LT(worst, kBound);

    const QRectF inner = QRectF(QPointF(0, 0), view.size()).adjusted(1, 1, -1, -1);
    const double h = std::min(k.span / 4000, 0.5 / pixels);
    double uncovered = 0;
    // Near the view only, for curves far larger than it.
    const double from = pixels < 400 ? k.t0 : std::max(k.t0, tMid - 3000 * h);
    const double to = pixels < 400 ? k.t0 + k.span : std::min(k.t0 + k.span, tMid + 3000 * h);
    for (double t = from; t <= to; t += h) {
        const QPointF p = view.toScreen(k.at(t));
        if (!inner.contains(p)) continue;
        double nearest = 1e300;
        for (const auto& [a, b] : traced.segments) nearest = std::min(nearest, segmentDistance(p, a, b));
        uncovered = std::max(uncovered, nearest);
    }
    EXPECT_LT(uncovered, kBound);
}

}  // namespace

TEST(CurveTrace, ChordsStayWithinAQuarterPixelAtEveryZoom)
{
    const double zooms[] = {3, 40, 600, 5e4, 3e6};
    {
        SCOPED_TRACE("circle");
        const ModelCircle c{{12, -7, 0}, 10};
        const TrueCurve k{{12, -7}, {10, 0}, {0, 10}};
        for (double px : zooms) checkAtZoom(c, k, 1.0, px);
    }
    {
        SCOPED_TRACE("arc across angle zero");
        const ModelArc a{{0, 0, 0}, 5, 5.5, 1.2};
        const TrueCurve k{{0, 0}, {5, 0}, {0, 5}, 5.5, 1.2 + 2 * kPi - 5.5};
        for (double px : zooms) checkAtZoom(a, k, 0.3, px);
    }
    {
        SCOPED_TRACE("partial tilted ellipse");
        const double c = std::cos(0.7), s = std::sin(0.7);
        const ModelEllipse e{{3, 4, 0}, {30 * c, 30 * s, 0}, 0.3, 0.4, 4.0};
        const TrueCurve k{{3, 4}, {30 * c, 30 * s}, {-9 * s, 9 * c}, 0.4, 3.6};
        for (double px : zooms) checkAtZoom(e, k, 1.5, px);
    }
}

// The curves rasterized into an image at zooms that keep them inside it or
// cut them at its edges: every lit pixel lies near the true curve (a chord's
// quarter pixel, plus rounding to whole pixels), and every point of the curve
// inside the image has a lit pixel next to it.
TEST(CurveTrace, RasterizedPixelsFollowTheCurve)
{
    const double c = std::cos(0.7), s = std::sin(0.7);
    const ModelEllipse e{{3, 4, 0}, {30 * c, 30 * s, 0}, 0.3, 0.4, 4.0};
    const TrueCurve k{{3, 4}, {30 * c, 30 * s}, {-9 * s, 9 * c}, 0.4, 3.6};
    for (const double pixels : {6.0, 90.0, 700.0}) {
        SCOPED_TRACE(testing::Message() << "radius in pixels " << pixels);
        Viewport view;
        view.setSize({321, 203});
        const double scale = pixels / k.largestRadius();
        view.setView(pixels < 100 ? k.centre : k.at(1.5), scale);
        CadSpace space;
        space.add(ModelEntity(e));
        QImage image(321, 203, QImage::Format_RGB32);
        image.fill(0);
        rasterizeSpace(image, 0xffffffff, view, space);
        int lit = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != 0xff000000u) {
                    ++lit;
                    EXPECT_LT(distanceTo(k, view.toWorld(QPointF(x, y))) * scale, 1.25) << x << "," << y;
                }
        EXPECT_GT(lit, 0);
        for (double t = k.t0; t <= k.t0 + k.span; t += 0.25 / pixels) {
            const QPoint p = view.toScreen(k.at(t)).toPoint();
            if (p.x() < 1 || p.y() < 1 || p.x() >= image.width() - 1 || p.y() >= image.height() - 1) continue;
            bool near = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) near = near || image.pixel(p.x() + dx, p.y() + dy) != 0xff000000u;
            ASSERT_TRUE(near) << p.x() << "," << p.y();
        }
    }
}
namespace {

// Distance from p to the part [t0, t0 + span] of the curve: a scan, then a
// ternary search around the best sample.
double distanceToPart(const TrueCurve& k, QPointF p)
{
    const auto d2 = [&](double t) {
        const QPointF q = k.at(t) - p;
        return q.x() * q.x() + q.y() * q.y();
    };
    constexpr int n = 1000;
    const double h = k.span / n;
    int best = 0;
    for (int i = 1; i <= n; ++i)
        if (d2(k.t0 + h * i) < d2(k.t0 + h * best)) best = i;
    double lo = k.t0 + h * std::max(0, best - 1), hi = k.t0 + h * std::min(n, best + 1);
    for (int i = 0; i < 60; ++i) {
        const double a = lo + (hi - lo) / 3, b = hi - (hi - lo) / 3;
        (d2(a) < d2(b) ? hi : lo) = d2(a) < d2(b) ? b : a;
    }
    return std::sqrt(d2((lo + hi) / 2));
}

// The number of 8-connected groups the lit pixels form.
int litGroups(const QImage& image)
{
    std::vector<char> seen(static_cast<std::size_t>(image.width() * image.height()), 0);
    const auto lit = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < image.width() && y < image.height() && image.pixel(x, y) != 0xff000000u;
    };
    int groups = 0;
    for (int y0 = 0; y0 < image.height(); ++y0)
        for (int x0 = 0; x0 < image.width(); ++x0) {
            if (!lit(x0, y0) || seen[static_cast<std::size_t>(y0 * image.width() + x0)]) continue;
            ++groups;
            std::vector<QPoint> stack{{x0, y0}};
            seen[static_cast<std::size_t>(y0 * image.width() + x0)] = 1;
            while (!stack.empty()) {
                const QPoint q = stack.back();
                stack.pop_back();
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int x = q.x() + dx, y = q.y() + dy;
                        if (!lit(x, y) || seen[static_cast<std::size_t>(y * image.width() + x)]) continue;
                        seen[static_cast<std::size_t>(y * image.width() + x)] = 1;
                        stack.emplace_back(x, y);
                    }
            }
        }
    return groups;
}

QImage rasterizedAlone(const ModelEntity& entity, const Viewport& view)
{
    CadSpace space;
    space.add(entity);
    QImage image(view.size().toSize(), QImage::Format_RGB32);
    image.fill(0);
    rasterizeSpace(image, 0xffffffff, view, space);
    return image;
}

// Every lit pixel lies within bound of the part of the curve k (screen
// coordinates); every point of the part inside the image has a lit pixel
// next to it, and a part's ends their own; with oneGroup the pixels are one
// 8-connected line.
void expectNearAndUnbroken(const QImage& image, const TrueCurve& k, double bound, bool oneGroup)
{
    double worst = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != 0xff000000u) worst = std::max(worst, distanceToPart(k, QPointF(x, y)));
    EXPECT_LT(worst, bound);
    const double h = 0.2 / k.largestRadius();
    const int n = static_cast<int>(std::ceil(k.span / h));
    for (int i = 0; i <= n; ++i) {
        const QPoint p = k.at(k.t0 + k.span * i / n).toPoint();
        if (p.x() < 1 || p.y() < 1 || p.x() >= image.width() - 1 || p.y() >= image.height() - 1) continue;
        bool near = false;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) near = near || image.pixel(p.x() + dx, p.y() + dy) != 0xff000000u;
        ASSERT_TRUE(near) << p.x() << "," << p.y() << " at " << i << " of " << n;
    }
    // The pixels nearest a part's ends are lit.
    if (k.span < 2 * kPi) {
        for (const double t : {k.t0, k.t0 + k.span}) {
            const QPoint p = k.at(t).toPoint();
            if (image.rect().contains(p)) {
                EXPECT_NE(image.pixel(p), 0xff000000u) << "end " << p.x() << "," << p.y();
            }
        }
    }
    if (oneGroup) {
        EXPECT_EQ(litGroups(image), 1);
    }
}

}  // namespace

// Whole circles and tilted ellipses of every size that fits the image, at
// fractional positions, rasterized alone: every lit pixel lies within 0.75
// pixel of the curve (chords with their ends rounded to pixels stray up to
// about 1.1), every point of it has a lit pixel next to it, and the pixels
// are one 8-connected line.
TEST(CurveTrace, RasterizedCirclesAndEllipsesStayNearAndUnbroken)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0, 1);
    const QSize size(240, 200);
    for (int i = 0; i < 120; ++i) {
        const double r = 1.2 + 90 * std::pow(unit(random), 2);  // pixels, scale 1
        const QPointF c(r + 2 + unit(random) * (size.width() - 2 * r - 4), r + 2 + unit(random) * (size.height() - 2 * r - 4));
        ModelEntity entity;
        TrueCurve k;
        // World y points up: a world angle t is the screen point c + r (cos t, -sin t).
        const Point3 centre{c.x(), -c.y(), 0};
        k.centre = c;
        if (i % 2 == 0) {
            entity = ModelCircle{centre, r};
            k.u = {r, 0};
            k.v = {0, -r};
        } else {
            const double tilt = unit(random) * kPi, ratio = 0.05 + 0.95 * unit(random);
            entity = ModelEllipse{centre, {r * std::cos(tilt), r * std::sin(tilt), 0}, ratio, 0, 2 * kPi};
            k.u = {r * std::cos(tilt), -r * std::sin(tilt)};
            k.v = {-r * ratio * std::sin(tilt), -r * ratio * std::cos(tilt)};
        }
        SCOPED_TRACE(testing::Message() << "entity " << i << " radius " << r << " centre " << c.x() << ","
                                        << c.y());
        Viewport view;
        view.setSize(size);
        view.setView({size.width() / 2.0, -size.height() / 2.0}, 1);
        expectNearAndUnbroken(rasterizedAlone(entity, view), k, 0.75, true);
    }
}

// Arcs and parts of tilted ellipses, rasterized alone: inside the image
// (spans across angle zero, tiny, whole, any), and arcs of radii up to a
// million pixels whose part crosses the image. Every lit pixel lies near the
// part, not only the whole curve, so the pixels stop where its ends are;
// every point of the part has a lit pixel next to it, and its ends their
// own; and the pixels are one 8-connected line.
TEST(CurveTrace, RasterizedArcsStayNearReachTheirEndsAndHoldTogether)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0, 1);
    const QSize size(240, 200);
    Viewport view;
    view.setSize(size);
    view.setView({size.width() / 2.0, -size.height() / 2.0}, 1);
    for (int i = 0; i < 160; ++i) {
        TrueCurve k;
        double start = unit(random) * 2 * kPi, span = 0.01 + unit(random) * 2 * kPi;
        switch (i % 4) {
        case 0: start = 2 * kPi - unit(random) * 0.5; break;  // across angle zero
        case 1: span = std::pow(10, -4 + 3 * unit(random)); break;
        case 2: span = 2 * kPi; break;  // start and end the same
        }
        const bool huge = i % 8 == 7;
        const double r = huge ? std::pow(10, 3 + 3 * unit(random)) : 1.2 + 90 * std::pow(unit(random), 2);
        if (huge) {
            // The circle's top crosses the image; each end inside it or well
            // outside, the left end to the left.
            const auto x = [&](double side) {
                return unit(random) < 0.5 ? (unit(random) - 0.5) * 0.8 * size.width() : side * (1 + unit(random)) * size.width();
            };
            const double left = x(-1), right = std::max(left, x(1));
            start = kPi / 2 - right / r;
            span = (right - left) / r + 1e-9;
            k.centre = QPointF(size.width() / 2.0, size.height() / 2.0 + r);
        } else {
            k.centre = QPointF(r + 2 + unit(random) * (size.width() - 2 * r - 4),
                               r + 2 + unit(random) * (size.height() - 2 * r - 4));
        }
        // World y points up: a world angle t is the screen point c + r (cos t, -sin t).
        const Point3 centre{k.centre.x(), -k.centre.y(), 0};
        const double end = span < 2 * kPi ? start + span : start;
        k.t0 = start;
        k.span = span;
        ModelEntity entity;
        if (i % 2 == 0 || huge) {
            entity = ModelArc{centre, r, start, end};
            k.u = {r, 0};
            k.v = {0, -r};
        } else {
            const double tilt = unit(random) * kPi, ratio = 0.05 + 0.95 * unit(random);
            entity = ModelEllipse{centre, {r * std::cos(tilt), r * std::sin(tilt), 0}, ratio, start, end};
            k.u = {r * std::cos(tilt), -r * std::sin(tilt)};
            k.v = {-r * ratio * std::sin(tilt), -r * ratio * std::cos(tilt)};
        }
        SCOPED_TRACE(testing::Message() << "entity " << i << " radius " << r << " centre " << k.centre.x() << ","
                                        << k.centre.y() << " from " << start << " over " << span);
        // The huge arcs are cut to the image's edges, pixel for pixel as
        // the small ones are.
        expectNearAndUnbroken(rasterizedAlone(entity, view), k, 0.75, true);
    }
}

// Circles, arcs and tilted ellipses that cross the image's edges and the
// edges between bands of rows: cut to each band pixel for pixel as inside
// it, so every lit pixel lies as near the curve as inside, and every point
// of it in the image has a lit pixel next to it.
TEST(CurveTrace, CurvesCrossingTheImagesAndTheBandsEdgesStayNearAndUnbroken)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0, 1);
    const QSize size(240, 200);
    Viewport view;
    view.setSize(size);
    view.setView({size.width() / 2.0, -size.height() / 2.0}, 1);
    for (int i = 0; i < 90; ++i) {
        const double r = 1.2 + 150 * std::pow(unit(random), 2);
        TrueCurve k;
        k.centre = QPointF((unit(random) * 1.4 - 0.2) * size.width(), (unit(random) * 1.4 - 0.2) * size.height());
        k.t0 = unit(random) * 2 * kPi;
        k.span = i % 3 == 0 ? 2 * kPi : 0.1 + unit(random) * 6;
        const Point3 centre{k.centre.x(), -k.centre.y(), 0};
        ModelEntity entity;
        if (i % 2 == 0) {
            entity = k.span < 2 * kPi ? ModelEntity(ModelArc{centre, r, k.t0, k.t0 + k.span})
                                      : ModelEntity(ModelCircle{centre, r});
            k.u = {r, 0};
            k.v = {0, -r};
        } else {
            const double tilt = unit(random) * kPi, ratio = 0.05 + 0.95 * unit(random);
            // A whole one from 0 to 2 pi: start + 2 pi may round to a sliver.
            entity = k.span < 2 * kPi ? ModelEllipse{centre, {r * std::cos(tilt), r * std::sin(tilt), 0}, ratio,
                                                     k.t0, k.t0 + k.span}
                                      : ModelEllipse{centre, {r * std::cos(tilt), r * std::sin(tilt), 0}, ratio, 0,
                                                     2 * kPi};
            k.u = {r * std::cos(tilt), -r * std::sin(tilt)};
            k.v = {-r * ratio * std::sin(tilt), -r * ratio * std::cos(tilt)};
        }
        if (k.span >= 2 * kPi) k.t0 = 0;
        CadSpace space;
        space.add(entity);
        for (const int bands : {1, 3, 7}) {
            SCOPED_TRACE(testing::Message() << "entity " << i << " radius " << r << " centre " << k.centre.x() << ","
                                            << k.centre.y() << " in " << bands << " bands");
            QImage image(size, QImage::Format_RGB32);
            image.fill(0);
            rasterizeSpace(image, 0xffffffff, view, space, 0, bands);
            expectNearAndUnbroken(image, k, 0.75, false);
        }
    }
}

namespace {

// Lit pixels of a with no lit pixel of b in the 3 x 3 square round them.
int litAlone(const QImage& a, const QImage& b)
{
    int alone = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) == 0xff000000u) continue;
            bool near = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    near = near || (b.valid(x + dx, y + dy) && b.pixel(x + dx, y + dy) != 0xff000000u);
            alone += near ? 0 : 1;
        }
    return alone;
}

}  // namespace

// A drawing rasterized in bands of rows on threads draws what one band
// draws, give or take a pixel where a line is cut between bands: nothing
// lost at the seams, nothing written beside it. Lines and dots lie exactly
// on the seams too (world y = 1 is screen y = 100.5, between rows 100 and 101).
TEST(CurveTrace, BandsOfRowsDrawWhatOneBandDraws)
{
    Viewport view;
    view.setSize({321, 203});
    view.setView({0, 0}, 1);
    CadSpace space;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> where(-170, 170), size(0.2, 25), angle(0, 2 * kPi), ratio(0.1, 1);
    for (int i = 0; i < 120; ++i) {
        const Point3 c{where(random), where(random) * 0.7, 0};
        const double r = size(random), a = angle(random);
        switch (i % 5) {
        case 0: space.add(ModelLine{c, {c[0] + r * std::cos(a), c[1] + 3 * r * std::sin(a), 0}}); break;
        case 1: space.add(ModelArc{c, r, a, angle(random)}); break;
        case 2: space.add(ModelCircle{c, r}); break;
        case 3: space.add(ModelEllipse{c, {r * std::cos(a), r * std::sin(a), 0}, ratio(random), a, a + 4}); break;
        default: space.add(ModelEllipse{c, {r * std::cos(a), r * std::sin(a), 0}, ratio(random), 0, 2 * kPi});
        }
    }
    for (const double y : {1.0, 34.5, -33.5}) {
        space.add(ModelLine{{-150, y, 0}, {150, y, 0}});
        space.add(ModelLine{{-100, y, 0}, {-90, y + 10, 0}});
        space.add(ModelCircle{{120, y, 0}, 0.3});
    }
    const auto drawn = [&](int bands) {
        QImage image(view.size().toSize(), QImage::Format_RGB32);
        image.fill(0);
        rasterizeSpace(image, 0xffffffff, view, space, 0, bands);
        return image;
    };
    const QImage one = drawn(1);
    int lit = 0;
    for (int y = 0; y < one.height(); ++y)
        for (int x = 0; x < one.width(); ++x) lit += one.pixel(x, y) != 0xff000000u;
    // Sparse enough that a lost or stray pixel has no neighbour to hide by.
    ASSERT_GT(lit, 3000);
    ASSERT_LT(lit, one.width() * one.height() / 5);
    for (const int bands : {2, 3, 6, 203}) {
        SCOPED_TRACE(testing::Message() << bands << " bands");
        const QImage banded = drawn(bands);
        EXPECT_EQ(litAlone(one, banded), 0);
        EXPECT_EQ(litAlone(banded, one), 0);
    }
}

// Threads take bands as they come free. Every entity lands exactly as it
// does drawn alone (the union of the entities' own images, an independent
// reference for the bands' bounds), and the pixels do not depend on which
// thread drew which band: with two threads and five bands, three bands are
// drawn by whichever thread is free first.
TEST(CurveTrace, EveryChunkOfEveryBandLandsWhoeverDrawsIt)
{
    Viewport view;
    view.setSize({640, 480});
    view.setView({0, 0}, 1);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> x(-330, 330), y(-250, 250), size(0.2, 6), angle(0, 2 * kPi);
    std::vector<ModelEntity> entities;
    for (int i = 0; i < 1700; ++i) {
        const Point3 c{x(random), y(random), 0};
        const double r = size(random), a = angle(random);
        switch (i % 4) {
        case 0: entities.emplace_back(ModelLine{c, {c[0] + 4 * r * std::cos(a), c[1] + 4 * r * std::sin(a), 0}}); break;
        case 1: entities.emplace_back(ModelArc{c, r, a, angle(random)}); break;
        case 2: entities.emplace_back(ModelCircle{c, r}); break;
        default: entities.emplace_back(ModelEllipse{c, {r * std::cos(a), r * std::sin(a), 0}, 0.5, a, a + 5});
        }
    }
    const auto image = [&] {
        QImage i(view.size().toSize(), QImage::Format_RGB32);
        i.fill(0);
        return i;
    };
    QImage alone = image();
    CadSpace space;
    for (const ModelEntity& e : entities) {
        CadSpace one;
        one.add(e);
        QImage own = image();
        rasterizeSpace(own, 0xffffffff, view, one, 0, 1, 1);
        for (int r = 0; r < own.height(); ++r) {
            auto* to = reinterpret_cast<QRgb*>(alone.scanLine(r));
            const auto* from = reinterpret_cast<const QRgb*>(own.constScanLine(r));
            for (int c = 0; c < own.width(); ++c) to[c] |= from[c];
        }
        space.add(e);
    }
    const auto drawn = [&](int bands, int threads) {
        QImage i = image();
        rasterizeSpace(i, 0xffffffff, view, space, 0, bands, threads);
        return i;
    };
    EXPECT_TRUE(drawn(1, 1) == alone);
    const QImage serial = drawn(5, 1);
    for (int run = 0; run < 3; ++run) {
        EXPECT_TRUE(drawn(5, 2) == serial);
        EXPECT_TRUE(drawn(5, 5) == serial);
    }
}

// A banded raster leaves out what cannot reach a band by the slot's kept
// reach: after a move, an erase, an unerase and a hide, each slot draws as
// a fresh space holding just what is left of it draws.
TEST(CurveTrace, BandsFollowEachSlotAsItMovesErasesAndHides)
{
    Viewport view;
    view.setSize({200, 160});
    view.setView({0, 0}, 1);
    const ModelEntity circle = ModelCircle{{-50, 40, 0}, 12}, moved = ModelCircle{{40, -50, 0}, 12};
    const ModelEntity line = ModelLine{{-90, -70, 0}, {-20, -10, 0}};
    const auto drawn = [&](const CadSpace& space) {
        QImage i(view.size().toSize(), QImage::Format_RGB32);
        i.fill(0);
        rasterizeSpace(i, 0xffffffff, view, space, 0, 4, 2);
        return i;
    };
    const auto only = [&](std::vector<ModelEntity> entities) {
        CadSpace s;
        for (ModelEntity& e : entities) s.add(std::move(e));
        return drawn(s);
    };
    CadSpace space;
    space.add(circle);
    space.add(line);
    EXPECT_TRUE(drawn(space) == only({circle, line}));
    space.replace(0, moved);
    EXPECT_TRUE(drawn(space) == only({moved, line}));
    space.setErased(0, true);
    EXPECT_TRUE(drawn(space) == only({line}));
    space.replace(0, circle);  // changed while erased: still not drawn
    EXPECT_TRUE(drawn(space) == only({line}));
    space.setErased(0, false);
    EXPECT_TRUE(drawn(space) == only({circle, line}));
    space.setHidden(1, true);
    EXPECT_TRUE(drawn(space) == only({circle}));
    space.setHidden(1, false);
    EXPECT_TRUE(drawn(space) == only({circle, line}));
    EXPECT_FALSE(only({circle}) == only({moved}));
}

// Where entities overlap, the later one is on top, however many threads
// draw: thousands of full-width lines in their own colours over the same 64
// rows of the top band (the bottom band is empty, so a thread done with it
// is free for the rest), each row showing the colour of its last line.
TEST(CurveTrace, TheLaterEntityIsOnTopWhateverTheThreads)
{
    Viewport view;
    view.setSize({256, 256});
    view.setView({128, 128}, 1);
    CadSpace space;
    SpaceLook look;
    constexpr int kLines = 24000, kRows = 64;
    for (int i = 0; i < kLines; ++i) {
        const double y = 256 - i % kRows;  // screen row i % kRows
        space.add(ModelLine{{0, y, 0}, {255, y, 0}});
        look.inks.push_back(static_cast<tessik::dxf::Ink>(i + 1));  // a colour of its own
        look.patterns.push_back(0);
    }
    for (int run = 0; run < 6; ++run) {
        QImage image(256, 256, QImage::Format_RGB32);
        image.fill(0);
        rasterizeSpace(image, 0xffffffff, view, space, 0, 2, 2, &look);
        int wrong = 0;
        for (int r = 0; r < kRows; ++r) {
            const int last = r + (kLines - 1 - r) / kRows * kRows;
            const QRgb want = inkRgb(look.inks[static_cast<std::size_t>(last)], 0xffffffff);
            for (int x = 0; x < 256; ++x) wrong += image.pixel(x, r) != want;
        }
        EXPECT_EQ(wrong, 0) << "run " << run;
    }
}

// Hatch pattern lines and outlines of shapes are written straight into a
// 32-bit image; QPainter (which draws them into any other format) is the
// judge: solid lines lie within a pixel of its lines both ways, in their
// own colours, and a dashed pattern lights about the share of the line
// that QPainter's dashes light.
TEST(CurveTrace, ShapeLinesLieWhereQPainterDrawsThem)
{
    Viewport view;
    view.setSize({300, 200});
    view.setView({0, 0}, 2);
    std::mt19937 random(13);
    std::uniform_real_distribution<double> x(-80, 80), y(-55, 55);
    const auto extrasOf = [&](std::uint16_t linetype) {
        DrawingExtras e;
        e.linetypes.push_back({3, -2});
        for (int r = 0; r < 40; ++r) {
            const std::size_t begin = e.segments.size();
            for (int i = 0; i < 6; ++i) e.segments.push_back({x(random), y(random)});
            e.segmentRuns.push_back({ShapeStyle{0x102030 * (r % 5 + 1), 25, linetype}, begin, e.segments.size()});
        }
        for (int o = 0; o < 30; ++o) {
            e.outlines.push_back({{x(random), y(random)}, {x(random), y(random)}, {x(random), y(random)}});
            e.outlineStyles.push_back(ShapeStyle{0x305010 * (o % 3 + 1), 25, linetype});
        }
        return e;
    };
    const auto painted = [&](const DrawingExtras& e, QImage::Format format) {
        QImage image(300, 200, format);
        image.fill(Qt::black);
        paintExtras(image, Qt::white, view, e);
        return image.convertToFormat(QImage::Format_RGB32);
    };
    const auto lit = [](const QImage& i) {
        int n = 0;
        for (int r = 0; r < i.height(); ++r)
            for (int c = 0; c < i.width(); ++c) n += i.pixel(c, r) != 0xff000000u;
        return n;
    };
    const DrawingExtras solid = extrasOf(0);
    const QImage direct = painted(solid, QImage::Format_RGB32), judge = painted(solid, QImage::Format_RGB888);
    ASSERT_GT(lit(judge), 3000);
    // Lit pixels of a, inside the pixel round the edge (a line half a pixel
    // past the last row's centre is cut there, as the entities' lines
    // are), with no pixel of b in the 3 x 3 square round them that is lit
    // (or of the same colour).
    const auto alone = [](const QImage& a, const QImage& b, bool colour) {
        int n = 0;
        for (int r = 1; r + 1 < a.height(); ++r)
            for (int c = 1; c + 1 < a.width(); ++c) {
                const QRgb p = a.pixel(c, r);
                if (p == 0xff000000u) continue;
                bool near = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const QRgb q = b.pixel(c + dx, r + dy);
                        near = near || (colour ? q == p : q != 0xff000000u);
                    }
                n += !near;
            }
        return n;
    };
    EXPECT_EQ(alone(direct, judge, false), 0);
    EXPECT_EQ(alone(judge, direct, false), 0);
    // Where lines of two colours cross, the pixels a pixel aside may differ.
    EXPECT_LT(alone(direct, judge, true), lit(judge) / 50);
    random.seed(13);
    const DrawingExtras dashed = extrasOf(1);
    const QImage dashedDirect = painted(dashed, QImage::Format_RGB32), dashedJudge = painted(dashed, QImage::Format_RGB888);
    EXPECT_EQ(alone(dashedDirect, judge, false), 0);
    const double share = double(lit(dashedDirect)) / lit(direct), judged = double(lit(dashedJudge)) / lit(judge);
    EXPECT_GT(share, 0.5);
    EXPECT_LT(share, 0.85);
    EXPECT_NEAR(share, judged, 0.15);
}
