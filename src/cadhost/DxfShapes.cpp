#include "DxfShapes.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <span>

#include "DxfStyle.h"
#include "DxfText.h"

namespace tessik::cadhost {

namespace {

using dxf::DxfTag;
using Tags = std::span<const DxfTag>;

constexpr double kDegree = kTwoPi / 360.0;

std::optional<double> toNumber(const std::string& text) { return dxf::tagNumber(text); }

double first(Tags tags, int code, double fallback)
{
    for (const DxfTag& t : tags)
        if (t.code == code) return toNumber(t.value).value_or(fallback);
    return fallback;
}

std::string firstText(Tags tags, int code)
{
    for (const DxfTag& t : tags)
        if (t.code == code) return t.value;
    return {};
}

// x' = a x + b y + e, y' = c x + d y + f
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    Point2 operator()(Point2 p) const { return {a * p[0] + b * p[1] + e, c * p[0] + d * p[1] + f}; }
    Affine then(const Affine& o) const  // this first, then o
    {
        return {o.a * a + o.b * c, o.a * b + o.b * d, o.c * a + o.d * c, o.c * b + o.d * d, o.a * e + o.b * f + o.e,
                o.c * e + o.d * f + o.f};
    }
    double scale() const { return std::sqrt(std::abs(a * d - b * c)); }
    double rotation() const { return std::atan2(c, a); }
};

void arcPoints(std::vector<Point2>& out, Point2 centre, double radius, double start, double span)
{
    const int n = std::clamp(static_cast<int>(std::ceil(std::abs(span) / kTwoPi * 72)), 2, 72);
    for (int i = 0; i <= n; ++i) {
        const double t = start + span * i / n;
        out.push_back({centre[0] + radius * std::cos(t), centre[1] + radius * std::sin(t)});
    }
}

// The points of the arc a bulge puts between p and q (p excluded).
void bulgePoints(std::vector<Point2>& out, Point2 p, Point2 q, double bulge)
{
    const double chord = std::hypot(q[0] - p[0], q[1] - p[1]);
    if (bulge == 0 || chord == 0 || !std::isfinite(bulge) || std::abs(bulge) > 1e6) {
        out.push_back(q);
        return;
    }
    const double angle = 4 * std::atan(bulge);
    const double radius = chord / (2 * std::sin(std::abs(angle) / 2));
    const double toCentre = std::atan2(q[1] - p[1], q[0] - p[0]) + (std::numbers::pi / 2 - angle / 2);
    const Point2 c{p[0] + radius * std::cos(toCentre), p[1] + radius * std::sin(toCentre)};
    std::vector<Point2> arc;
    arcPoints(arc, c, radius, std::atan2(p[1] - c[1], p[0] - c[0]), angle);
    out.insert(out.end(), arc.begin() + 1, arc.end() - 1);
    out.push_back(q);
}

// Vertices (10/20 pairs, each with the 42 after it) between two tag indices.
std::vector<Point2> vertexRun(Tags tags, std::size_t from, std::size_t to, bool closed, bool bulges)
{
    std::vector<std::pair<Point2, double>> v;
    for (std::size_t i = from; i < to; ++i) {
        if (tags[i].code == 10) v.push_back({{toNumber(tags[i].value).value_or(0), 0}, 0});
        if (tags[i].code == 20 && !v.empty()) v.back().first[1] = toNumber(tags[i].value).value_or(0);
        if (tags[i].code == 42 && bulges && !v.empty()) v.back().second = toNumber(tags[i].value).value_or(0);
    }
    std::vector<Point2> out;
    if (v.empty()) return out;
    out.push_back(v[0].first);
    for (std::size_t i = 1; i < v.size(); ++i) bulgePoints(out, v[i - 1].first, v[i].first, v[i - 1].second);
    if (closed && v.size() > 2) bulgePoints(out, v.back().first, v[0].first, v.back().second);
    return out;
}

// Points along a (rational) B-spline; empty when it cannot be evaluated.
std::vector<Point2> nurbsPoints(int degree, const std::vector<double>& knots, std::vector<double> weights,
                                const std::vector<Point2>& control)
{
    const std::size_t n = control.size();
    if (degree < 1 || degree > 11 || n <= static_cast<std::size_t>(degree) || knots.size() != n + degree + 1) return {};
    if (weights.size() != n) weights.assign(n, 1.0);
    const double t0 = knots[degree], t1 = knots[n];
    if (!(t1 > t0)) return {};
    std::vector<Point2> out;
    const int samples = static_cast<int>(std::min<std::size_t>(n * 16, 2000));
    std::vector<std::array<double, 3>> d(degree + 1);
    for (int s = 0; s <= samples; ++s) {
        const double t = std::min(t0 + (t1 - t0) * s / samples, t1);
        std::size_t k = degree;
        while (k + 1 < n && knots[k + 1] <= t) ++k;
        for (int j = 0; j <= degree; ++j) {
            const std::size_t idx = k - degree + j;
            d[j] = {control[idx][0] * weights[idx], control[idx][1] * weights[idx], weights[idx]};
        }
        for (int r = 1; r <= degree; ++r)
            for (int j = degree; j >= r; --j) {
                const std::size_t i = k - degree + j;
                const double den = knots[i + degree - r + 1] - knots[i];
                const double alpha = den == 0 ? 0 : (t - knots[i]) / den;
                for (int m = 0; m < 3; ++m) d[j][m] = (1 - alpha) * d[j - 1][m] + alpha * d[j][m];
            }
        if (d[degree][2] != 0) out.push_back({d[degree][0] / d[degree][2], d[degree][1] / d[degree][2]});
    }
    return out;
}

std::vector<Point2> splinePoints(Tags tags)
{
    const int degree = static_cast<int>(first(tags, 71, 3));
    std::vector<double> knots, weights;
    std::vector<Point2> control, fit;
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const double v = toNumber(tags[i].value).value_or(0);
        if (tags[i].code == 40) knots.push_back(v);
        if (tags[i].code == 41) weights.push_back(v);
        if (tags[i].code == 10) control.push_back({v, 0});
        if (tags[i].code == 20 && !control.empty()) control.back()[1] = v;
        if (tags[i].code == 11) fit.push_back({v, 0});
        if (tags[i].code == 21 && !fit.empty()) fit.back()[1] = v;
    }
    auto curve = nurbsPoints(degree, knots, weights, control);
    if (!curve.empty()) return curve;
    return control.size() >= 2 ? control : fit;  // not evaluable: its control polygon or fit points
}

// An elliptic edge: centre, major axis end (from the centre), the minor to
// major ratio, and start and end angles in degrees, counter-clockwise or not
// (group 73). As with arc edges, a clockwise edge's angles are measured the
// other way round.
template <class Next>
bool ellipseEdge(std::vector<Point2>& path, Next& next)
{
    const double cx = next(10).value_or(0), cy = next(20).value_or(0);
    const double mx = next(11).value_or(0), my = next(21).value_or(0), ratio = next(40).value_or(1);
    const auto a = next(50), b = next(51);
    if (!a || !b) return false;
    const bool ccw = next(73).value_or(1) != 0;
    const auto param = [ratio](double degrees) {
        const double t = degrees * kDegree;
        return std::atan2(std::sin(t), std::cos(t) * ratio);  // atan2(sin/ratio, cos), scaled by ratio
    };
    double from = param(*a), to = param(*b);
    if (!ccw) {
        from = -from;
        to = -to;
    }
    double span = std::fmod((ccw ? to - from : from - to) + 2 * kTwoPi, kTwoPi);
    if (span == 0) span = kTwoPi;
    const int n = std::clamp(static_cast<int>(std::ceil(span / kTwoPi * 72)), 2, 72);
    for (int k = 0; k <= n; ++k) {
        const double s = from + (ccw ? span : -span) * k / n;
        path.push_back({cx + mx * std::cos(s) - my * ratio * std::sin(s), cy + my * std::cos(s) + mx * ratio * std::sin(s)});
    }
    return true;
}

// A spline edge: degree, rational and periodic flags, knot and control point
// counts, the knots, the control points (each with its weight when rational),
// then fit points and tangents, which the curve does not need.
template <class Next>
bool splineEdge(std::vector<Point2>& path, Tags tags, std::size_t& i, Next& next)
{
    const auto degree = next(94);
    const auto knotCount = next(95), controlCount = next(96);
    if (!degree || !knotCount || !controlCount) return false;
    std::vector<double> knots, weights;
    std::vector<Point2> control;
    // Counts come from the file: each value takes a tag, so the tags bound them.
    for (double k = 0; k < *knotCount && i < tags.size(); ++k) {
        const auto v = next(40);
        if (!v) return false;
        knots.push_back(*v);
    }
    for (double k = 0; k < *controlCount && i < tags.size(); ++k) {
        const auto x = next(10), y = next(20);
        if (!x || !y) return false;
        control.push_back({*x, *y});
        if (i < tags.size() && tags[i].code == 42) weights.push_back(toNumber(tags[i++].value).value_or(1));
    }
    auto curve = nurbsPoints(static_cast<int>(*degree), knots, weights, control);
    if (curve.empty()) curve = control;
    path.insert(path.end(), curve.begin(), curve.end());
    return !curve.empty();
}

// The boundary paths of a hatch, in order; a path it cannot follow ends the list.
std::vector<std::vector<Point2>> hatchPaths(Tags tags)
{
    std::vector<std::vector<Point2>> paths;
    std::size_t i = 0;
    while (i < tags.size() && tags[i].code != 91) ++i;
    if (i >= tags.size()) return paths;
    const auto count = static_cast<long>(toNumber(tags[i].value).value_or(0));
    ++i;
    const auto next = [&](int code) -> std::optional<double> {
        while (i < tags.size() && tags[i].code != code) {
            if (tags[i].code == 92 || tags[i].code == 75) return std::nullopt;  // next path, or the end
            ++i;
        }
        if (i >= tags.size()) return std::nullopt;
        return toNumber(tags[i++].value);
    };
    for (long p = 0; p < count && i < tags.size(); ++p) {
        if (tags[i].code != 92) break;
        const auto flags = static_cast<long>(toNumber(tags[i].value).value_or(0));
        ++i;
        std::vector<Point2> path;
        if (flags & 2) {
            const bool bulges = first(tags.subspan(i), 72, 0) != 0;
            const std::size_t from = i;
            while (i < tags.size() && tags[i].code != 97 && tags[i].code != 92 && tags[i].code != 75) ++i;
            path = vertexRun(tags, from, i, true, bulges);
        } else {
            const auto edges = static_cast<long>(next(93).value_or(0));
            for (long e = 0; e < edges && i < tags.size(); ++e) {
                const auto type = next(72);
                if (!type) break;
                if (*type == 1) {
                    const double x1 = next(10).value_or(0), y1 = next(20).value_or(0);
                    const double x2 = next(11).value_or(0), y2 = next(21).value_or(0);
                    if (path.empty()) path.push_back({x1, y1});
                    path.push_back({x2, y2});
                } else if (*type == 2) {
                    const double cx = next(10).value_or(0), cy = next(20).value_or(0), r = next(40).value_or(0);
                    const double a = next(50).value_or(0) * kDegree, b = next(51).value_or(0) * kDegree;
                    const bool ccw = next(73).value_or(1) != 0;
                    double span = std::fmod(b - a + 2 * kTwoPi, kTwoPi);
                    if (span == 0) span = kTwoPi;
                    arcPoints(path, {cx, cy}, r, ccw ? a : -a, ccw ? span : -span);
                } else if (*type == 3) {
                    if (!ellipseEdge(path, next)) break;
                } else if (*type == 4) {
                    if (!splineEdge(path, tags, i, next)) break;
                } else {
                    break;  // not an edge type: the rest of the path is not followed
                }
            }
        }
        if (path.size() >= 2) paths.push_back(std::move(path));
        // Past its source objects (97, 330) to the next path.
        while (i < tags.size() && tags[i].code != 92 && tags[i].code != 75) ++i;
    }
    return paths;
}

// \P, \~ and %%c/%%d/%%p become what they mean; other formatting goes.
std::string plainText(const std::string& text, bool mtext)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && text[i + 1] == '%') {
            const char k = static_cast<char>(text[i + 2] | 0x20);
            const char* sym = k == 'c' ? "∅" : k == 'd' ? "°" : k == 'p' ? "±" : nullptr;
            if (sym) {
                out += sym;
                i += 2;
                continue;
            }
        }
        if (mtext && (c == '{' || c == '}')) continue;
        if (mtext && c == '\\' && i + 1 < text.size()) {
            const char k = text[i + 1];
            if (k == 'P' || k == 'p') {
                out += '\n';
                ++i;
            } else if (k == '~') {
                out += ' ';
                ++i;
            } else if (k == '\\' || k == '{' || k == '}') {
                out += k;
                ++i;
            } else if (std::string_view("fFHhWwQqTtCcAaSsp").find(k) != std::string_view::npos) {
                const std::size_t end = text.find(';', i);
                i = end == std::string::npos ? text.size() : end;
            } else {
                ++i;  // \L \O \K and the like: on/off switches
            }
            continue;
        }
        out += c;
    }
    return out;
}

class Shaper {
public:
    Shaper(const dxf::DxfDrawing& drawing) : drawing_(drawing), layers_(drawing) {}

    DrawingExtras result;

    // entities: a run of records (POLYLINE takes the VERTEX records after it).
    void shapeRun(const std::vector<Tags>& records, const Affine& m, int depth)
    {
        for (std::size_t r = 0; r < records.size(); ++r) {
            Tags t = records[r];
            if (t.empty()) continue;
            if (t[0].value == "POLYLINE") {
                std::vector<Tags> vertices;
                while (r + 1 < records.size() && !records[r + 1].empty() && records[r + 1][0].value == "VERTEX")
                    vertices.push_back(records[++r]);
                if (r + 1 < records.size() && !records[r + 1].empty() && records[r + 1][0].value == "SEQEND") ++r;
                if (visible(t)) polyline(t, vertices, m);
                continue;
            }
            if (visible(t)) shape(t, m, depth);
        }
    }

private:
    bool visible(Tags t) const { return layers_.shown(dxf::entityStyle(t).layer); }
    bool full() { return (result.truncated = result.truncated || points_ >= kMaxPoints); }

    void outline(std::vector<Point2> pts, const Affine& m, bool fill = false)
    {
        if (pts.empty() || full()) return;
        for (Point2& p : pts) {
            p = m(p);
            result.bounds.add(p[0], p[1]);
        }
        points_ += pts.size();
        (fill ? result.fills : result.outlines).push_back(std::move(pts));
    }

    void polyline(Tags header, const std::vector<Tags>& vertices, const Affine& m)
    {
        const auto flags = static_cast<long>(first(header, 70, 0));
        if (flags & (16 | 64)) return;  // meshes
        std::vector<DxfTag> run;
        for (Tags v : vertices)
            for (const DxfTag& tag : v)
                if (tag.code == 10 || tag.code == 20 || tag.code == 42) run.push_back(tag);
        // A 3D polyline (flag 8) has world points; a 2D one lies in its plane.
        outline(vertexRun(run, 0, run.size(), flags & 1, true), flags & 8 ? m : inPlane(header, m, 30));
    }

    void shape(Tags t, const Affine& m, int depth)
    {
        const std::string& type = t[0].value;
        const Point2 p10{first(t, 10, 0), first(t, 20, 0)};
        if (type == "LINE") {
            outline({p10, {first(t, 11, 0), first(t, 21, 0)}}, m);
        } else if (type == "CIRCLE" || type == "ARC") {
            const double r = first(t, 40, 0);
            const double a = type == "ARC" ? first(t, 50, 0) * kDegree : 0;
            double span = type == "ARC" ? std::fmod(first(t, 51, 360) * kDegree - a + 2 * kTwoPi, kTwoPi) : kTwoPi;
            if (span == 0) span = kTwoPi;
            std::vector<Point2> pts;
            arcPoints(pts, p10, r, a, span);
            outline(std::move(pts), inPlane(t, m, 30));
        } else if (type == "ELLIPSE") {
            const Point2 major{first(t, 11, 1), first(t, 21, 0)};
            const double ratio = first(t, 40, 1);
            const double a = first(t, 41, 0);
            double span = std::fmod(first(t, 42, kTwoPi) - a + 2 * kTwoPi, kTwoPi);
            if (span == 0) span = kTwoPi;
            std::vector<Point2> pts;
            for (int i = 0; i <= 72; ++i) {
                const double s = a + span * i / 72;
                pts.push_back({p10[0] + major[0] * std::cos(s) - major[1] * ratio * std::sin(s),
                               p10[1] + major[1] * std::cos(s) + major[0] * ratio * std::sin(s)});
            }
            outline(std::move(pts), m);
        } else if (type == "POINT") {
            outline({p10, p10}, m);
        } else if (type == "LWPOLYLINE") {
            outline(vertexRun(t, 0, t.size(), static_cast<long>(first(t, 70, 0)) & 1, true), inPlane(t, m, 38));
        } else if (type == "SPLINE") {
            outline(splinePoints(t), m);
        } else if (type == "SOLID" || type == "TRACE") {
            const Point2 p1{first(t, 11, 0), first(t, 21, 0)}, p2{first(t, 12, 0), first(t, 22, 0)};
            const Point2 p3{first(t, 13, p2[0]), first(t, 23, p2[1])};
            outline({p10, p1, p3, p2}, inPlane(t, m, 30), true);
        } else if (type == "3DFACE") {
            const Point2 p1{first(t, 11, 0), first(t, 21, 0)}, p2{first(t, 12, 0), first(t, 22, 0)};
            const Point2 p3{first(t, 13, p2[0]), first(t, 23, p2[1])};
            outline({p10, p1, p2, p3, p10}, m);
        } else if (type == "HATCH") {
            const bool solid = first(t, 70, 0) == 1;
            const Affine plane = inPlane(t, m, 30);
            for (auto& path : hatchPaths(t)) {
                if (solid) outline(path, plane, true);
                path.push_back(path.front());
                outline(std::move(path), plane);
            }
        } else if (type == "TEXT" || type == "MTEXT" || type == "ATTRIB") {
            // A text lies in its plane; an MTEXT's points are world points.
            text(t, type == "MTEXT" ? m : inPlane(t, m, 30), type == "MTEXT");
        } else if (type == "INSERT" || type == "DIMENSION") {
            insert(t, m, depth, type == "DIMENSION");
        }
    }

    // Points in the entity's object coordinate system, at the elevation its
    // group elevationCode gives, as the view (looking down the world's z)
    // sees them. Extrusion 0,0,-1, as mirroring leaves arcs, mirrors x.
    static Affine inPlane(Tags t, const Affine& m, int elevationCode)
    {
        const dxf::Ocs ocs(dxf::extrusion(t));
        if (ocs.identity()) return m;
        const double z = first(t, elevationCode, 0);
        return Affine{ocs.x[0], ocs.y[0], ocs.x[1], ocs.y[1], z * ocs.z[0], z * ocs.z[1]}.then(m);
    }

    void text(Tags t, const Affine& m, bool mtext)
    {
        std::string raw;
        if (mtext)
            for (const DxfTag& tag : t)
                if (tag.code == 3) raw += tag.value;
        raw += firstText(t, 1);
        const std::string decoded = dxf::decodeDxfText(raw, drawing_.codePage(), drawing_.unicode());
        Point2 at = p(t, 10);
        double rotation = first(t, 50, 0) * kDegree;
        const double height = first(t, 40, 2.5);
        if (!mtext && (first(t, 72, 0) != 0 || first(t, 73, 0) != 0)) at = {first(t, 11, at[0]), first(t, 21, at[1])};
        if (mtext) {
            const double dx = first(t, 11, 0), dy = first(t, 21, 0);
            if (dx != 0 || dy != 0) rotation = std::atan2(dy, dx);
            // Attachment at the top: the first baseline is one height lower.
            at = {at[0] + height * std::sin(rotation), at[1] - height * std::cos(rotation)};
        }
        if (full()) return;
        const Point2 pos = m(at);
        result.bounds.add(pos[0], pos[1]);
        ++points_;
        result.texts.push_back({pos, height * m.scale(), rotation + m.rotation(), plainText(decoded, mtext)});
    }

    static Point2 p(Tags t, int code) { return {first(t, code, 0), first(t, code + 10, 0)}; }

    void insert(Tags t, const Affine& m, int depth, bool dimension)
    {
        if (depth >= kMaxBlockDepth || full()) return;
        const std::string name = firstText(t, 2);
        const Tags header = drawing_.blockHeader(name);
        if (header.empty()) return;
        Affine local;
        if (!dimension) {
            const double sx = first(t, 41, 1), sy = first(t, 42, 1), rot = first(t, 50, 0) * kDegree;
            const Point2 base = p(header, 10), at = p(t, 10);
            const Affine toBase{1, 0, 0, 1, -base[0], -base[1]};
            const Affine placed{sx * std::cos(rot), -sy * std::sin(rot), sx * std::sin(rot), sy * std::cos(rot),
                                at[0], at[1]};
            local = toBase.then(placed).then(inPlane(t, Affine{}, 30));
        }
        shapeRun(drawing_.blockEntities(name), local.then(m), depth + 1);
    }

    const dxf::DxfDrawing& drawing_;
    dxf::LayerTable layers_;
    std::size_t points_ = 0;
};

}  // namespace

DrawingExtras drawingShapes(const dxf::DxfDrawing& drawing, const std::vector<std::size_t>& entities)
{
    Shaper shaper(drawing);
    std::vector<Tags> records;
    records.reserve(entities.size());
    for (std::size_t i : entities) records.push_back(drawing.entityTags(i));
    shaper.shapeRun(records, Affine{}, 0);
    return std::move(shaper.result);
}

}  // namespace tessik::cadhost
