#include "render/EntityHitTest.h"

#include <algorithm>
#include <cmath>
#include "model/DxfShapes.h"
#include "render/ClipEdge.h"

namespace tessik::cadhost {

namespace {

struct XY {
    double x = 0;
    double y = 0;
};
using Path = std::vector<XY>;

// An entity as polylines in the plane; filled: its inside counts as part of
// it (a text's rectangle).
struct Outline {
    std::vector<Path> paths;
    bool filled = false;
};

// The chord approximation keeps the points a curve passes; a curve far
// larger than the view may get fewer segments than the error asks for.
constexpr int kMaxSegments = 1 << 16;

void addCurve(Path& out, XY c, XY u, XY w, double start, double span, double size, double chordError)
{
    const double ratio = std::clamp(chordError / size, 1e-12, 1.0);
    const double step = 2 * std::acos(1 - ratio);
    const int n = std::clamp(static_cast<int>(std::ceil(std::abs(span) / step)), 2, kMaxSegments);
    for (int i = 0; i <= n; ++i) {
        const double t = start + span * i / n;
        out.push_back({c.x + u.x * std::cos(t) + w.x * std::sin(t), c.y + u.y * std::cos(t) + w.y * std::sin(t)});
    }
}

// The arc from a to z with included angle 4 atan(bulge), counter-clockwise
// for a positive bulge; a's point itself is on the path already.
void addBulge(Path& out, XY a, XY z, double bulge, double chordError)
{
    const double dx = z.x - a.x, dy = z.y - a.y, chord = std::hypot(dx, dy);
    if (chord == 0 || bulge == 0 || !std::isfinite(bulge)) {
        out.push_back(z);
        return;
    }
    const double offset = (1 - bulge * bulge) / (2 * bulge) / 2;
    const XY c{(a.x + z.x) / 2 - dy * offset, (a.y + z.y) / 2 + dx * offset};
    const double r = std::hypot(a.x - c.x, a.y - c.y);
    const double start = std::atan2(a.y - c.y, a.x - c.x);
    Path arc;
    addCurve(arc, c, {r, 0}, {0, r}, start, 4 * std::atan(bulge), r, chordError);
    out.insert(out.end(), arc.begin() + 1, arc.end() - 1);
    out.push_back(z);  // exactly, whatever the rounding of the last chord point
}

double textWidth(const std::string& utf8, double height)
{
    double width = 0;
    for (unsigned char ch : utf8) {
        if ((ch & 0xC0) == 0x80) continue;  // a continuation byte of the same character
        width += ch < 0x80 ? 0.75 * height : 1.4 * height;
    }
    return width;
}

Outline outline(const ModelEntity& entity, double chordError)
{
    Outline o;
    o.paths.emplace_back();
    Path& p = o.paths.back();
    std::visit(
        Overload{
            [&](const ModelLine& l) { p = {{l.start[0], l.start[1]}, {l.end[0], l.end[1]}}; },
            [&](const ModelCircle& c) {
                addCurve(p, {c.center[0], c.center[1]}, {c.radius, 0}, {0, c.radius}, 0, kTwoPi, c.radius,
                         chordError);
            },
            [&](const ModelArc& a) {
                addCurve(p, {a.center[0], a.center[1]}, {a.radius, 0}, {0, a.radius}, a.startAngle,
                         sweep(a.startAngle, a.endAngle), a.radius, chordError);
            },
            [&](const ModelEllipse& e) {
                const XY u{e.majorAxis[0], e.majorAxis[1]}, w{-u.y * e.ratio, u.x * e.ratio};
                addCurve(p, {e.center[0], e.center[1]}, u, w, e.startParam, sweep(e.startParam, e.endParam),
                         std::hypot(u.x, u.y), chordError);
            },
            [&](const ModelPolyline& l) {
                const std::size_t n = l.vertices.size();
                if (n == 0) return;
                p.push_back({l.vertices[0].x, l.vertices[0].y});
                for (std::size_t i = 0; i + (l.closed ? 0 : 1) < n; ++i) {
                    const auto& a = l.vertices[i];
                    const auto& z = l.vertices[(i + 1) % n];
                    addBulge(p, {a.x, a.y}, {z.x, z.y}, a.bulge, chordError);
                }
            },
            [&](const ModelShape& s) {
                // Its picture moved by its offset; a filled one (a hatch, a
                // solid) is reached inside its first area, one drawn with
                // neither lines nor areas (a text, a custom object) inside its box.
                const auto moved = [&](const std::vector<Point2>& run, bool closed) {
                    Path out;
                    for (const Point2& q : run) out.push_back({q[0] + s.offset[0], q[1] + s.offset[1]});
                    if (closed && !out.empty()) out.push_back(out.front());
                    return out;
                };
                const Bounds b = s.bounds();
                if (!s.picture || b.empty()) return;
                if (!s.picture->fills.empty()) {
                    p = moved(s.picture->fills.front(), true);
                    o.filled = true;
                    for (std::size_t i = 1; i < s.picture->fills.size(); ++i)
                        o.paths.push_back(moved(s.picture->fills[i], true));
                } else if (s.picture->outlines.empty()) {
                    p = {{b.minX, b.minY}, {b.maxX, b.minY}, {b.maxX, b.maxY}, {b.minX, b.maxY}, {b.minX, b.minY}};
                    o.filled = true;
                }
                for (const auto& run : s.picture->outlines) o.paths.push_back(moved(run, false));
            },
            [&](const ModelText& t) {
                const double w = textWidth(t.text, t.height);
                const entities::TextPlacement at = entities::placeText(t, w, 0.25 * t.height);
                const double sw = w * at.xScale, h = t.height * at.yScale;
                const double c = std::cos(at.rotation), s = std::sin(at.rotation);
                for (const XY q : {XY{0, 0}, XY{sw, 0}, XY{sw, h}, XY{0, h}, XY{0, 0}})
                    p.push_back({at.origin[0] + q.x * c - q.y * s, at.origin[1] + q.x * s + q.y * c});
                o.filled = true;
            }},
        entity);
    return o;
}

Bounds outlineBounds(const ModelEntity& entity)
{
    // A text's bounds are the points that place it (EntityGeometry.h); its
    // rectangle is what a pick reaches.
    if (std::holds_alternative<ModelText>(entity)) {
        Bounds b;
        const Outline o = outline(entity, 1);
        for (const XY& q : o.paths.front()) b.add(q.x, q.y);
        return b;
    }
    return entityBounds(entity);
}

double segmentDistance(XY p, XY a, XY b)
{
    const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Even-odd rule over the closed first path.
bool insidePath(const Path& path, XY p)
{
    bool inside = false;
    for (std::size_t i = 0, j = path.size() - 1; i < path.size(); j = i++) {
        const XY& a = path[i];
        const XY& b = path[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) inside = !inside;
    }
    return inside;
}

double distance(const ModelEntity& entity, XY p, double chordError)
{
    // Circles are measured exactly: a large one seen close up would need
    // more chords than are worth making.
    if (const auto* c = std::get_if<ModelCircle>(&entity))
        return std::abs(std::hypot(p.x - c->center[0], p.y - c->center[1]) - c->radius);
    const Outline o = outline(entity, chordError);
    if (o.filled && insidePath(o.paths.front(), p)) return 0;
    double best = INFINITY;
    for (const Path& path : o.paths) {
        if (path.size() == 1) best = std::min(best, std::hypot(p.x - path[0].x, p.y - path[0].y));
        for (std::size_t i = 0; i + 1 < path.size(); ++i) best = std::min(best, segmentDistance(p, path[i], path[i + 1]));
    }
    return best;
}

// Whether the segment a-b has a point inside box (Liang-Barsky).
bool segmentMeetsBox(XY a, XY b, const Bounds& box)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    double t0 = 0, t1 = 1;
    const auto edge = [&](double p, double q) { return clipEdge(p, q, t0, t1); };
    return edge(-dx, a.x - box.minX) && edge(dx, box.maxX - a.x) && edge(-dy, a.y - box.minY) &&
           edge(dy, box.maxY - a.y);
}

bool crosses(const ModelEntity& entity, const Bounds& box, double chordError)
{
    if (const auto* c = std::get_if<ModelCircle>(&entity)) {
        // Some point of the box is nearer the centre than the radius, and some farther.
        const double nx = std::clamp(c->center[0], box.minX, box.maxX) - c->center[0];
        const double ny = std::clamp(c->center[1], box.minY, box.maxY) - c->center[1];
        const double fx = std::max(std::abs(box.minX - c->center[0]), std::abs(box.maxX - c->center[0]));
        const double fy = std::max(std::abs(box.minY - c->center[1]), std::abs(box.maxY - c->center[1]));
        return std::hypot(nx, ny) <= c->radius && std::hypot(fx, fy) >= c->radius;
    }
    const Outline o = outline(entity, chordError);
    for (const Path& path : o.paths) {
        if (path.size() == 1 && segmentMeetsBox(path[0], path[0], box)) return true;
        for (std::size_t i = 0; i + 1 < path.size(); ++i)
            if (segmentMeetsBox(path[i], path[i + 1], box)) return true;
    }
    // A box wholly inside a text's rectangle.
    return o.filled && insidePath(o.paths.front(), {box.minX, box.minY});
}

}  // namespace

std::optional<int> nearestEntity(const CadSpace& space, double x, double y, double reach, double chordError)
{
    std::optional<int> best;
    double bestDistance = INFINITY;
    Bounds around;
    around.add(x - reach, y - reach);
    around.add(x + reach, y + reach);
    for (int i = 0; i < space.count(); ++i) {
        if (!space.drawn(i) || !outlineBounds(space.at(i)).intersects(around)) continue;
        const double d = distance(space.at(i), {x, y}, chordError);
        if (d <= reach && d <= bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

std::vector<int> entitiesInBox(const CadSpace& space, const Bounds& box, bool crossing, double chordError)
{
    std::vector<int> found;
    if (box.empty()) return found;
    for (int i = 0; i < space.count(); ++i) {
        if (!space.drawn(i)) continue;
        const Bounds b = outlineBounds(space.at(i));
        if (box.contains(b))
            found.push_back(i);
        else if (crossing && b.intersects(box) && crosses(space.at(i), box, chordError))
            found.push_back(i);
    }
    return found;
}

}  // namespace tessik::cadhost
