#include "model/DxfShapes.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <optional>
#include <span>
#include <cstdio>
#include <string_view>

#include "DxfEntityData.h"
#include "DxfStyle.h"

namespace tessik::cadhost {

namespace {

using dxf::DxfTag;
using Tags = std::span<const DxfTag>;

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

// A polyline's outline, its bulged segments as arcs.
std::vector<Point2> polylinePoints(const entities::Polyline& p)
{
    std::vector<Point2> out;
    const auto& v = p.vertices;
    if (v.empty()) return out;
    const auto xy = [](const entities::PolylineVertex& a) { return Point2{a.x, a.y}; };
    out.push_back(xy(v[0]));
    for (std::size_t i = 1; i < v.size(); ++i) bulgePoints(out, xy(v[i - 1]), xy(v[i]), v[i - 1].bulge);
    if (p.closed && v.size() > 2) bulgePoints(out, xy(v.back()), xy(v[0]), v.back().bulge);
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

std::vector<Point2> splinePoints(const dxf::Spline& s)
{
    std::vector<Point2> control, fit;
    for (const Point3& p : s.control) control.push_back({p[0], p[1]});
    for (const Point3& p : s.fit) fit.push_back({p[0], p[1]});
    auto curve = nurbsPoints(s.degree, s.knots, s.weights, control);
    if (!curve.empty()) return curve;
    return control.size() >= 2 ? control : fit;  // not evaluable: its control polygon or fit points
}

// An elliptic edge's points. As with arc edges, a clockwise edge's angles
// are measured the other way round.
void ellipseEdge(std::vector<Point2>& path, const dxf::HatchEllipse& e)
{
    const auto [cx, cy] = e.center;
    const auto [mx, my] = e.majorAxis;
    const double ratio = e.ratio;
    const auto param = [ratio](double t) {
        return std::atan2(std::sin(t), std::cos(t) * ratio);  // atan2(sin/ratio, cos), scaled by ratio
    };
    double from = param(e.startAngle), to = param(e.endAngle);
    if (!e.ccw) {
        from = -from;
        to = -to;
    }
    double span = std::fmod((e.ccw ? to - from : from - to) + 2 * kTwoPi, kTwoPi);
    if (span == 0) span = kTwoPi;
    const int n = std::clamp(static_cast<int>(std::ceil(span / kTwoPi * 72)), 2, 72);
    for (int k = 0; k <= n; ++k) {
        const double s = from + (e.ccw ? span : -span) * k / n;
        path.push_back({cx + mx * std::cos(s) - my * ratio * std::sin(s), cy + my * std::cos(s) + mx * ratio * std::sin(s)});
    }
}

// The outline of one boundary path.
std::vector<Point2> hatchPathPoints(const dxf::HatchPath& p)
{
    if (p.polyline) return polylinePoints(*p.polyline);
    std::vector<Point2> path;
    for (const dxf::HatchEdge& edge : p.edges)
        std::visit(entities::Overload{
                       [&](const dxf::HatchLine& l) {
                           if (path.empty()) path.push_back(l.start);
                           path.push_back(l.end);
                       },
                       [&](const dxf::HatchArc& a) {
                           double span = std::fmod(a.endAngle - a.startAngle + 2 * kTwoPi, kTwoPi);
                           if (span == 0) span = kTwoPi;
                           arcPoints(path, a.center, a.radius, a.ccw ? a.startAngle : -a.startAngle,
                                     a.ccw ? span : -span);
                       },
                       [&](const dxf::HatchEllipse& e) { ellipseEdge(path, e); },
                       [&](const dxf::HatchSpline& s) {
                           auto curve = nurbsPoints(s.degree, s.knots, s.weights, s.control);
                           if (curve.empty()) curve = s.control;
                           path.insert(path.end(), curve.begin(), curve.end());
                       },
                   },
                   edge);
    return path;
}

std::string upperAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool isType(Tags t, std::string_view type) { return !t.empty() && t[0].code == 0 && t[0].value == type; }

const DxfTag* firstTag(Tags tags, int code)
{
    for (const DxfTag& t : tags) {
        if (t.code >= 1000) break;
        if (t.code == code) return &t;
    }
    return nullptr;
}

double number(Tags tags, int code, double fallback)
{
    const DxfTag* t = firstTag(tags, code);
    const auto v = t ? dxf::tagNumber(t->value) : std::nullopt;
    return v && std::isfinite(*v) ? *v : fallback;
}

std::optional<Point2> point(Tags tags, int code)
{
    const DxfTag* x = firstTag(tags, code);
    const DxfTag* y = firstTag(tags, code + 10);
    if (!x || !y) return std::nullopt;
    const auto vx = dxf::tagNumber(x->value), vy = dxf::tagNumber(y->value);
    if (!vx || !vy || !std::isfinite(*vx) || !std::isfinite(*vy)) return std::nullopt;
    return Point2{*vx, *vy};
}

// One family of a hatch pattern: parallel lines through base + k offset, in
// the direction of angle, dashed by the pattern (as a line type's).
struct PatternLine {
    double angle = 0;
    Point2 base{}, offset{};
    std::vector<double> dashes;
};

// The pattern lines a HATCH gives after its group 78 (angles in degrees,
// already scaled and turned as drawn). As many as the tags hold.
std::vector<PatternLine> patternLines(Tags t)
{
    std::vector<PatternLine> out;
    std::size_t i = 0;
    while (i < t.size() && t[i].code != 78) ++i;
    for (++i; i < t.size(); ++i) {
        const DxfTag& g = t[i];
        const auto v = dxf::tagNumber(g.value);
        if (g.code == 53) {
            out.emplace_back();
            out.back().angle = v.value_or(0) * kTwoPi / 360;
            continue;
        }
        if (out.empty()) {
            if (g.code == 98 || g.code == 1001) break;  // seed points, extended data
            continue;
        }
        PatternLine& l = out.back();
        if (!v || !std::isfinite(*v)) continue;
        switch (g.code) {
        case 43: l.base[0] = *v; break;
        case 44: l.base[1] = *v; break;
        case 45: l.offset[0] = *v; break;
        case 46: l.offset[1] = *v; break;
        case 49: l.dashes.push_back(*v); break;
        case 79: break;
        default: return out;  // past the pattern lines
        }
    }
    return out;
}

// Calls on(from, to) for the dashed stretches of [t0, t1] along a line whose
// pattern starts at 0; a dot is a stretch of no length. Every element walked
// (drawn or not) takes one of budget; false when it runs out.
template <class On>
bool dashed(const std::vector<double>& dashes, double t0, double t1, std::size_t& budget, On on)
{
    double period = 0;
    for (double d : dashes) period += std::abs(d);
    if (dashes.empty() || !(period > 0)) {
        if (budget == 0) return false;
        --budget;
        on(t0, t1);
        return true;
    }
    double at = std::floor(t0 / period) * period;
    while (at < t1) {
        for (double d : dashes) {
            if (at >= t1) break;
            if (budget == 0) return false;
            --budget;
            if (d >= 0) {
                const double a = std::max(at, t0), b = std::min(at + d, t1);
                if (b >= a && (d > 0 ? b > a : at >= t0)) on(a, b);
            }
            at += std::abs(d);
        }
    }
    return true;
}

class Shaper {
    // A text style's font family, width factor and obliquing (degrees).
    struct TextStyle {
        std::string family;
        double widthFactor = 1, oblique = 0;
    };

public:
    Shaper(const dxf::DxfDrawing& drawing) : drawing_(drawing), layers_(drawing), linetypes_(drawing)
    {
        for (Tags style : drawing.tableEntries("STYLE")) {
            const DxfTag* name = firstTag(style, 2);
            const DxfTag* file = firstTag(style, 3);
            const DxfTag* big = firstTag(style, 4);
            if (name)
                fonts_.emplace(upperAscii(name->value),
                               TextStyle{fontFamily(file ? file->value : "", big ? big->value : ""),
                                         number(style, 41, 1), number(style, 50, 0)});
        }
    }

    DrawingExtras result;

    // The picture shaped so far, and a fresh one for what comes next; the
    // limits on points and visits keep counting over the whole drawing.
    DrawingExtras take()
    {
        DrawingExtras taken = std::move(result);
        result = DrawingExtras{};
        result.truncated = taken.truncated;
        linetypeIndices_.clear();
        return taken;
    }

    // What a block reference passes on to what it draws.
    struct Context {
        Affine m;
        int depth = 0;
        dxf::Ink ink = dxf::kForegroundInk;  // BYBLOCK colour
        int lineweight = dxf::kLineweightDefault;
        std::string linetype = "CONTINUOUS";  // BYBLOCK line type, resolved
    };

    struct Item {
        dxf::InterpretedEntity entity;
        Tags tags;
    };

    // The records of a section or block as items: a POLYLINE takes its
    // vertices, invisible attributes go, a constant attribute definition
    // becomes the text it shows, a dimension without a block keeps its tags.
    std::vector<Item> items(std::span<const Tags> records)
    {
        std::vector<Item> out;
        for (std::size_t r = 0; r < records.size(); ++r) {
            const Tags t = records[r];
            if (isType(t, "POLYLINE")) {
                std::size_t end = r + 1;
                while (end < records.size() && isType(records[end], "VERTEX")) ++end;
                if (end < records.size() && isType(records[end], "SEQEND")) ++end;
                for (auto& e : dxf::interpretRecords(records.subspan(r, end - r), drawing_))
                    out.push_back({std::move(e), t});
                r = end - 1;
                continue;
            }
            const bool attdef = isType(t, "ATTDEF");
            if (attdef || isType(t, "ATTRIB")) {
                const int flags = static_cast<int>(number(t, 70, 0));
                if (flags & 1) continue;            // invisible
                if (attdef && !(flags & 2)) continue;  // a prompt for the value a reference gives
            }
            std::optional<dxf::InterpretedEntity> e;
            if (attdef) {
                std::vector<DxfTag> text(t.begin(), t.end());
                text[0].value = "ATTRIB";
                e = dxf::entityData(text, drawing_);
            } else {
                e = dxf::entityData(t, drawing_);
            }
            if (!e && isType(t, "DIMENSION")) {
                dxf::InterpretedEntity d{{}, dxf::entityStyle(t), dxf::extrusion(t), dxf::Dimension{}};
                e = std::move(d);
            }
            if (e) out.push_back({std::move(*e), t});
        }
        return out;
    }

    void shapeRun(const std::vector<Item>& run, const Context& c)
    {
        for (const Item& item : run) {
            if (full()) return;
            ++visited_;
            if (layers_.shown(item.entity.style.layer)) shape(item, c);
        }
    }

private:
    // Points, or entities looked at: blocks drawn a million times over stop
    // the picture as a million points would.
    bool full() { return (result.truncated = result.truncated || points_ >= kMaxPoints || visited_ >= kMaxVisits); }

    void outline(std::vector<Point2> pts, const Affine& m, bool fill = false)
    {
        if (pts.empty() || full()) return;
        for (Point2& p : pts) {
            p = m(p);
            result.bounds.add(p[0], p[1]);
        }
        points_ += pts.size();
        ShapeStyle style = style_;
        style.linetypeScale = static_cast<float>(style.linetypeScale * m.scale());
        if (fill) {
            result.fills.push_back(std::move(pts));
            result.fillStyles.push_back(style);
        } else {
            result.outlines.push_back(std::move(pts));
            result.outlineStyles.push_back(style);
        }
    }

    static Point2 xy(const Point3& p) { return {p[0], p[1]}; }

    std::uint16_t linetypeIndex(const std::string& name)
    {
        const std::vector<double>& pattern = linetypes_.pattern(name);
        if (pattern.empty()) return 0;
        const auto [it, added] = linetypeIndices_.emplace(&pattern, result.linetypes.size());
        if (added) {
            if (result.linetypes.size() >= 0xFFFF) return 0;
            result.linetypes.push_back(pattern);
        }
        return static_cast<std::uint16_t>(it->second);
    }

    // The style of an entity drawn in context c, and what it passes on to
    // the blocks it draws.
    Context styled(const dxf::InterpretedEntity& e, const Context& c)
    {
        Context inner = c;
        inner.ink = layers_.resolvedInk(e.style, c.ink);
        inner.lineweight = layers_.resolvedLineweight(e.style, c.lineweight);
        std::string linetype = layers_.resolvedLinetype(e.style);
        if (upperAscii(linetype) == "BYBLOCK") linetype = c.linetype;
        inner.linetype = linetype;
        style_.ink = inner.ink;
        style_.lineweight = static_cast<std::int16_t>(inner.lineweight);
        style_.linetype = linetypeIndex(linetype);
        style_.linetypeScale = static_cast<float>(e.style.linetypeScale);
        style_.alpha = 255;
        return inner;
    }

    void shape(const Item& item, const Context& c)
    {
        const dxf::InterpretedEntity& e = item.entity;
        const Affine& m = c.m;
        const Context inner = styled(e, c);
        // Points in the entity's object coordinate system, at the elevation
        // given, as the view (looking down the world's z) sees them.
        const auto plane = [&](double z) { return inPlane(e.extrusion, z, m); };
        std::visit(entities::Overload{
                       [&](const entities::Line& l) { outline({xy(l.start), xy(l.end)}, m); },
                       [&](const entities::Circle& ci) {
                           std::vector<Point2> pts;
                           arcPoints(pts, xy(ci.center), ci.radius, 0, kTwoPi);
                           outline(std::move(pts), plane(ci.center[2]));
                       },
                       [&](const entities::Arc& a) {
                           double span = std::fmod(a.endAngle - a.startAngle + 2 * kTwoPi, kTwoPi);
                           if (span == 0) span = kTwoPi;
                           std::vector<Point2> pts;
                           arcPoints(pts, xy(a.center), a.radius, a.startAngle, span);
                           outline(std::move(pts), plane(a.center[2]));
                       },
                       [&](const entities::Ellipse& el) { outline(ellipsePoints(el, e.extrusion), m); },
                       [&](const entities::Point& p) { outline({xy(p.position), xy(p.position)}, m); },
                       [&](const entities::Polyline& p) { outline(polylinePoints(p), plane(p.elevation)); },
                       [&](const dxf::PolylineEntity& p) {
                           // A 3D polyline has world points; a 2D one lies in its plane.
                           outline(polylinePoints(p.outline), p.is3d ? m : plane(p.outline.elevation));
                       },
                       [&](const dxf::Spline& s) { outline(splinePoints(s), m); },
                       [&](const dxf::Quad& q) { quad(q, plane(q.corners[0][2]), m); },
                       [&](const dxf::Hatch& h) { hatch(h, item.tags, plane(h.elevation)); },
                       [&](const dxf::TextEntity& t) { text(t, item.tags, plane(t.text.insertion[2])); },
                       [&](const dxf::MText& t) { mtext(t, e, item.tags, m, c.ink); },
                       [&](const dxf::Insert& i) { insert(i, item.tags, e.extrusion, inner, c.depth); },
                       [&](const dxf::Dimension& d) {
                           Context placed = inner;
                           placed.m = Affine{}.then(m);
                           if (d.block.empty() || drawing_.blockEntities(d.block).empty())
                               dimension(item.tags, plane(0), e.style, c.ink);
                           else
                               block(d.block, placed);
                       },
                   },
                   e.data);
    }

    // An ellipse's points are world points; its minor axis is the
    // extrusion crossed with the major one (mirrored for 0,0,-1), seen from above.
    static std::vector<Point2> ellipsePoints(const entities::Ellipse& e, const dxf::Vec3& extrusion)
    {
        const double a = e.startParam;
        double span = std::fmod(e.endParam - a + 2 * kTwoPi, kTwoPi);
        if (span == 0) span = kTwoPi;
        const auto& c = e.center;
        const auto& major = e.majorAxis;
        const dxf::Vec3 n = dxf::Ocs(extrusion).z;
        const dxf::Vec3 minor{(n[1] * major[2] - n[2] * major[1]) * e.ratio, (n[2] * major[0] - n[0] * major[2]) * e.ratio,
                              0};
        std::vector<Point2> pts;
        for (int i = 0; i <= 72; ++i) {
            const double s = a + span * i / 72;
            pts.push_back({c[0] + major[0] * std::cos(s) + minor[0] * std::sin(s),
                           c[1] + major[1] * std::cos(s) + minor[1] * std::sin(s)});
        }
        return pts;
    }

    // Solids and traces are filled, their corners taken 1, 2, 4, 3; a face
    // is an outline of world points.
    void quad(const dxf::Quad& q, const Affine& plane, const Affine& m)
    {
        const auto& c = q.corners;
        if (q.kind == dxf::Quad::Kind::Face) outline({xy(c[0]), xy(c[1]), xy(c[2]), xy(c[3]), xy(c[0])}, m);
        else outline({xy(c[0]), xy(c[1]), xy(c[3]), xy(c[2])}, plane, true);
    }

    // A solid hatch is filled; a pattern hatch draws its pattern lines
    // inside the boundary (even-odd over all its paths), and one too dense
    // to draw line by line is a veil of its colour. The boundary itself is
    // not drawn, as CAD programs leave it to the entities around the hatch,
    // unless the hatch has no pattern lines to show.
    void hatch(const dxf::Hatch& h, Tags tags, const Affine& where)
    {
        // The paths its style hatches between, under the odd-even rule: all
        // of them (normal), the external and outermost ones (outer), or the
        // external ones (ignore); all of them when none is marked so.
        const double style = number(tags, 75, 0);
        const long kept = style == 1 ? 1 | 16 : style == 2 ? 1 : 0;
        const bool marked = kept != 0 && std::any_of(h.paths.begin(), h.paths.end(),
                                                     [&](const dxf::HatchPath& p) { return (p.flags & kept) != 0; });
        std::vector<std::vector<Point2>> paths;
        for (const dxf::HatchPath& p : h.paths) {
            if (marked && !(p.flags & kept)) continue;
            auto path = hatchPathPoints(p);
            if (path.size() >= 2) paths.push_back(std::move(path));
        }
        if (paths.empty() || full()) return;
        if (h.solid) {
            outline(oddEvenArea(paths), where, true);
            return;
        }
        const std::vector<PatternLine> lines = patternLines(tags);
        if (lines.empty() || !patternSegments(lines, paths, where)) {
            for (auto& path : paths) {
                path.push_back(path.front());
                outline(std::move(path), where);
            }
        }
    }

    // Paths as one area under the odd-even rule: each closed on its first
    // point, the next reached from there, and the way back to the first
    // path's start retraced, so that the joins enclose nothing.
    static std::vector<Point2> oddEvenArea(const std::vector<std::vector<Point2>>& paths)
    {
        if (paths.size() == 1) return paths.front();
        std::vector<Point2> area;
        for (const auto& path : paths) {
            area.insert(area.end(), path.begin(), path.end());
            area.push_back(path.front());
        }
        for (std::size_t k = paths.size() - 1; k-- > 0;) area.push_back(paths[k].front());
        return area;
    }

    // False when the pattern is too dense to draw (then it is a veil).
    bool patternSegments(const std::vector<PatternLine>& lines, const std::vector<std::vector<Point2>>& paths,
                         const Affine& where)
    {
        Bounds box;
        for (const auto& path : paths)
            for (const Point2& p : path) box.add(p[0], p[1]);
        // Segments (and dash elements walked), and edges tested against lines.
        std::size_t budget = std::min(kMaxHatchSegments, (kMaxPoints - std::min(points_, kMaxPoints)) / 2);
        std::size_t edges = 0, work = 0;
        for (const auto& path : paths) edges += path.size();
        const std::size_t begin = result.segments.size();
        std::vector<double> crossings;
        bool dense = false;
        for (const PatternLine& l : lines) {
            const Point2 d{std::cos(l.angle), std::sin(l.angle)}, n{-d[1], d[0]};
            const double spacing = l.offset[0] * n[0] + l.offset[1] * n[1];
            const double along = l.offset[0] * d[0] + l.offset[1] * d[1];
            double lo = INFINITY, hi = -INFINITY;
            for (const Point2& q : {Point2{box.minX, box.minY}, Point2{box.maxX, box.minY}, Point2{box.minX, box.maxY},
                                    Point2{box.maxX, box.maxY}}) {
                const double h = (q[0] - l.base[0]) * n[0] + (q[1] - l.base[1]) * n[1];
                lo = std::min(lo, h);
                hi = std::max(hi, h);
            }
            if (!(std::abs(spacing) > 1e-12 * std::max(1.0, hi - lo))) continue;
            const double k0 = std::ceil(std::min(lo / spacing, hi / spacing));
            const double k1 = std::floor(std::max(lo / spacing, hi / spacing));
            if (!(k1 - k0 < kMaxHatchLines)) {
                dense = true;
                break;
            }
            const long count = k1 >= k0 ? static_cast<long>(k1 - k0) + 1 : 0;  // k0 + j is exact for each j
            if ((work += static_cast<std::size_t>(count) * edges) > kMaxHatchWork) {
                dense = true;
                break;
            }
            for (long j = 0; j < count; ++j) {
                const double k = k0 + static_cast<double>(j);
                const Point2 p{l.base[0] + k * l.offset[0], l.base[1] + k * l.offset[1]};
                crossings.clear();
                for (const auto& path : paths)
                    for (std::size_t i = 0; i < path.size(); ++i) {
                        const Point2& a = path[i];
                        const Point2& b = path[(i + 1) % path.size()];
                        const double ha = (a[0] - p[0]) * n[0] + (a[1] - p[1]) * n[1];
                        const double hb = (b[0] - p[0]) * n[0] + (b[1] - p[1]) * n[1];
                        if ((ha > 0) == (hb > 0)) continue;
                        const double ta = (a[0] - p[0]) * d[0] + (a[1] - p[1]) * d[1];
                        const double tb = (b[0] - p[0]) * d[0] + (b[1] - p[1]) * d[1];
                        crossings.push_back(ta + (tb - ta) * ha / (ha - hb));
                    }
                std::sort(crossings.begin(), crossings.end());
                // The pattern of line k starts where the offsets along it put it.
                const double shift = k * along;
                for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
                    const bool ok = dashed(l.dashes, crossings[i] + shift, crossings[i + 1] + shift, budget,
                                           [&](double a, double b) {
                                               a -= shift;
                                               b -= shift;
                                               result.segments.push_back(where({p[0] + a * d[0], p[1] + a * d[1]}));
                                               result.segments.push_back(where({p[0] + b * d[0], p[1] + b * d[1]}));
                                           });
                    if (!ok) {
                        dense = true;
                        break;
                    }
                }
                if (dense) break;
            }
            if (dense) break;
        }
        for (const auto& path : paths)
            for (const Point2& q : path) {
                const Point2 w = where(q);
                result.bounds.add(w[0], w[1]);
            }
        if (dense) {
            result.segments.resize(begin);
            ShapeStyle veil = style_;
            veil.alpha = 96;
            std::vector<Point2> area = oddEvenArea(paths);
            for (Point2& q : area) q = where(q);
            points_ += area.size();
            result.fills.push_back(std::move(area));
            result.fillStyles.push_back(veil);
            return true;
        }
        points_ += result.segments.size() - begin;
        if (result.segments.size() > begin) {
            ShapeStyle style = style_;
            style.linetype = 0;
            result.segmentRuns.push_back({style, begin, result.segments.size()});
        }
        return true;
    }

    // Extrusion 0,0,-1, as mirroring leaves arcs, mirrors x.
    static Affine inPlane(const dxf::Vec3& extrusion, double z, const Affine& m)
    {
        const dxf::Ocs ocs(extrusion);
        if (ocs.identity()) return m;
        return Affine{ocs.x[0], ocs.y[0], ocs.x[1], ocs.y[1], z * ocs.z[0], z * ocs.z[1]}.then(m);
    }

    // Spaces, line breaks and no-break spaces only.
    static bool blank(const std::string& text)
    {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c == ' ' || c == '\n' || c == '\t' || c == '\r') continue;
            if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
                ++i;
                continue;
            }
            return false;
        }
        return true;
    }

    const TextStyle& textStyle(Tags tags)
    {
        static const TextStyle fallback{fontFamily("", ""), 1, 0};
        const DxfTag* style = firstTag(tags, 7);
        const auto found = fonts_.find(upperAscii(style ? style->value : "STANDARD"));
        return found != fonts_.end() ? found->second : fallback;
    }

    // A text with nothing to show is left out: no ink, no extents. Its
    // letters (width factor, obliquing in degrees) go through m as they
    // are: a block reference stretched, turned or mirrored draws its texts
    // so (the frame splits into height, rotation, xScale and shear).
    ShownText* addText(Point2 at, double height, double rotation, const Affine& m, std::string text, Tags tags,
                       double widthFactor = 1, double oblique = 0, int generation = 0)
    {
        if (full() || blank(text) || !(height > 0)) return nullptr;
        if (!(widthFactor > 0) || !std::isfinite(widthFactor)) widthFactor = 1;
        const double lean = std::tan(std::clamp(oblique, -85.0, 85.0) * kTwoPi / 360);
        const double c = std::cos(rotation), s = std::sin(rotation);
        // The letters' x and upright in the text's plane, one height long.
        Point2 ux{c * widthFactor, s * widthFactor}, uy{-s + c * lean, c + s * lean};
        if (generation & 2) ux = {-ux[0], -ux[1]};  // backward
        if (generation & 4) uy = {-uy[0], -uy[1]};  // upside down
        const auto linear = [&](Point2 v) { return Point2{m.a * v[0] + m.b * v[1], m.c * v[0] + m.d * v[1]}; };
        const Point2 x = linear(ux), y = linear(uy);
        double angle = std::atan2(x[1], x[0]);
        double along = std::hypot(x[0], x[1]);
        double lift = -std::sin(angle) * y[0] + std::cos(angle) * y[1];
        double run = std::cos(angle) * y[0] + std::sin(angle) * y[1];
        if (lift < 0) {  // upside down: the same letters turned half round and mirrored
            angle += kTwoPi / 2;
            along = -along;
            lift = -lift;
            run = -run;
        }
        if (!(lift > 1e-12) || !std::isfinite(lift) || !std::isfinite(along)) return nullptr;
        const Point2 pos = m(at);
        result.bounds.add(pos[0], pos[1]);
        ++points_;
        ShownText& shown = result.texts.emplace_back();
        shown.position = pos;
        shown.height = height * lift;
        shown.rotation = angle;
        shown.xScale = along / lift;
        shown.shear = run / lift;
        shown.text = std::move(text);
        shown.ink = style_.ink;
        shown.font = textStyle(tags).family;
        return &shown;
    }

    // The runs of an MTEXT string resolved for the view: inks (by block,
    // by layer, an index or a true colour) and installed font families.
    std::vector<TextRun> formatted(const std::string& text, double height, const dxf::EntityStyle& entity,
                                   dxf::Ink blockInk)
    {
        std::vector<TextRun> runs = parseMText(text, height);
        for (TextRun& r : runs) {
            r.ink = style_.ink;
            if (r.look.rgb) {
                r.ink = static_cast<dxf::Ink>(*r.look.rgb);
            } else if (r.look.aci >= 0) {
                dxf::EntityStyle st = entity;
                st.trueColor.reset();
                st.color.index = r.look.aci;
                r.ink = layers_.resolvedInk(st, blockInk);
            }
            if (!r.look.font.empty()) r.family = fontFamily(r.look.font, r.look.bigFont);
        }
        return runs;
    }

    // A text's or attribute's own group, not one of the multi-line text an
    // attribute may embed (after group 101).
    static double ownNumber(Tags tags, int code, double fallback)
    {
        for (const DxfTag& t : tags) {
            if (t.code == 101 || t.code >= 1000) break;
            if (t.code == code) {
                const auto v = dxf::tagNumber(t.value);
                return v && std::isfinite(*v) ? *v : fallback;
            }
        }
        return fallback;
    }

    // A justified text by its alignment point, or (aligned and fit) between
    // its two points; one whose justification is not one of the DXF values
    // starts at its first point.
    void text(const dxf::TextEntity& t, Tags tags, const Affine& m)
    {
        const bool justified = t.aligned() && t.alignment && t.horizontal >= 0 && t.horizontal <= 5 &&
                               t.vertical >= 0 && t.vertical <= 3;
        const auto horizontal = static_cast<entities::TextHorizontal>(justified ? t.horizontal : 0);
        const bool between =
            horizontal == entities::TextHorizontal::Aligned || horizontal == entities::TextHorizontal::Fit;
        const Point3 at = justified && !between ? *t.alignment : t.text.insertion;
        ShownText* shown = addText(xy(at), t.text.height, t.text.rotation, m, dxf::plainText(t.text.text, false),
                                   tags, ownNumber(tags, 41, 1), ownNumber(tags, 51, 0),
                                   static_cast<int>(ownNumber(tags, 71, 0)));
        if (!shown || !justified) return;
        shown->horizontal = horizontal;
        shown->vertical = static_cast<entities::TextVertical>(t.vertical);
        shown->end = m(xy(*t.alignment));
    }

    // An MTEXT's points are world points; the painter lays its lines out
    // from the attachment point, wrapped to its reference width.
    void mtext(const dxf::MText& t, const dxf::InterpretedEntity& e, Tags tags, const Affine& m, dxf::Ink blockInk)
    {
        double rotation = t.rotation;
        if (t.direction && ((*t.direction)[0] != 0 || (*t.direction)[1] != 0))
            rotation = std::atan2((*t.direction)[1], (*t.direction)[0]);
        std::vector<TextRun> runs = formatted(t.text, t.height, e.style, blockInk);
        const TextStyle& style = textStyle(tags);
        ShownText* shown =
            addText(xy(t.insertion), t.height, rotation, m, plainText(runs), tags, style.widthFactor, style.oblique);
        if (!shown) return;
        shown->attachment = t.attachment >= 1 && t.attachment <= 9 ? t.attachment : 1;
        // The reference width is along the text's x, stretched as the text
        // is by the block but not by the style's width factor.
        const double width = ownNumber(tags, 41, 0);
        const double letters = style.widthFactor > 0 ? style.widthFactor : 1;
        shown->width =
            width > 0 ? width * shown->height * std::abs(shown->xScale) / (t.height * letters) : 0;
        shown->lineSpacing = std::clamp(ownNumber(tags, 44, 1), 0.25, 4.0);
        shown->runs = std::move(runs);
        shown->columns = columns(tags, t.height * letters, t.height);
    }

    // The columns of a multi-line text, from the object embedded after its
    // own groups (101): 71 type (0 none, 1 static, 2 dynamic), 72 count,
    // 73 every column the defined height (41), 74 reversed, 44 width, 45
    // gutter, 46 each column's height. Widths in text heights by across,
    // heights by up.
    static TextColumns columns(Tags tags, double across, double up)
    {
        TextColumns c;
        const auto embedded = std::find_if(tags.begin(), tags.end(), [](const DxfTag& t) {
            return t.code == 101 && t.value == "Embedded Object";
        });
        if (embedded == tags.end() || !(across > 0) || !(up > 0)) return c;
        int type = 0, count = 0;
        bool auto_ = false;
        double defined = 0;
        std::vector<double> heights;
        for (auto t = embedded + 1; t != tags.end() && t->code < 1000; ++t) {
            const auto v = dxf::tagNumber(t->value);
            if (!v || !std::isfinite(*v)) continue;
            if (t->code == 71) type = static_cast<int>(*v);
            else if (t->code == 72) count = static_cast<int>(std::clamp(*v, 0.0, 1000.0));
            else if (t->code == 73) auto_ = *v != 0;
            else if (t->code == 74) c.reversed = *v != 0;
            else if (t->code == 41) defined = *v;
            else if (t->code == 44) c.width = *v / across;
            else if (t->code == 45) c.gutter = *v / across;
            else if (t->code == 46 && heights.size() < 1000) heights.push_back(*v / up);
        }
        if ((type != 1 && type != 2) || !(c.width > 0)) return TextColumns{};
        c.height = defined / up;
        if (type == 1) {
            c.count = static_cast<std::size_t>(std::max(count, 1));
        } else if (auto_ || heights.empty()) {
            c.count = 0;  // as many as the text needs
        } else {
            c.heights = std::move(heights);
            c.count = c.heights.size();
        }
        return c;
    }

    // A dimension drawn from its own points when its block is missing:
    // linear and aligned (extension lines, the dimension line with its
    // arrows), radial and diameter (a line to the curve with an arrow),
    // angular (the arc between the two lines), and the measurement as text
    // at its text point.
    void dimension(Tags t, const Affine& m, const dxf::EntityStyle& entity, dxf::Ink blockInk)
    {
        const int type = static_cast<int>(number(t, 70, 0)) & 7;
        const auto p10 = point(t, 10), p11 = point(t, 11), p13 = point(t, 13), p14 = point(t, 14),
                   p15 = point(t, 15), p16 = point(t, 16);
        // Each setting from the dimension style the entity names, else the
        // header's variable, else the fallback; sizes times DIMSCALE.
        const DxfTag* styleName = firstTag(t, 3);
        const Tags style = dimensionStyle(styleName ? styleName->value : "STANDARD");
        const auto setting = [&](int code, std::string_view variable, double fallback, bool positive) {
            const auto usable = [&](std::optional<double> n) {
                return n && std::isfinite(*n) && (positive ? *n > 0 : *n >= 0) && *n < 1e12;
            };
            if (const DxfTag* g = firstTag(style, code); g && usable(dxf::tagNumber(g->value)))
                return *dxf::tagNumber(g->value);
            const auto v = drawing_.headerValue(variable);
            const auto n = v ? dxf::tagNumber(*v) : std::nullopt;
            return usable(n) ? *n : fallback;
        };
        const double scale = setting(40, "$DIMSCALE", 1, true);
        const double arrow = setting(41, "$DIMASZ", 2.5, true) * scale;
        const double offset = setting(42, "$DIMEXO", 0.625, false) * scale;
        const double beyond = setting(44, "$DIMEXE", 1.25, false) * scale;
        const auto line = [&](Point2 a, Point2 b) { outline({a, b}, m); };
        const auto head = [&](Point2 tip, Point2 toward) {
            const double len = std::hypot(toward[0] - tip[0], toward[1] - tip[1]);
            if (!(len > 0)) return;
            const Point2 u{(toward[0] - tip[0]) / len, (toward[1] - tip[1]) / len};
            const double a = arrow, w = arrow / 6;
            outline({tip, {tip[0] + u[0] * a - u[1] * w, tip[1] + u[1] * a + u[0] * w},
                     {tip[0] + u[0] * a + u[1] * w, tip[1] + u[1] * a - u[0] * w}},
                    m, true);
        };
        std::optional<double> measured;
        Point2 textAt{};
        if ((type == 0 || type == 1) && p10 && p13 && p14) {
            const Point2 a = *p13, b = *p14, d = *p10;
            Point2 dir{b[0] - a[0], b[1] - a[1]};
            if (type == 0) {
                const double angle = number(t, 50, 0) * kTwoPi / 360;
                dir = {std::cos(angle), std::sin(angle)};
            }
            const double len = std::hypot(dir[0], dir[1]);
            if (!(len > 0)) return;
            dir = {dir[0] / len, dir[1] / len};
            // The feet of both origins on the dimension line through d.
            const auto foot = [&](Point2 q) {
                const double s = (q[0] - d[0]) * dir[0] + (q[1] - d[1]) * dir[1];
                return Point2{d[0] + s * dir[0], d[1] + s * dir[1]};
            };
            const Point2 fa = foot(a), fb = foot(b);
            // An extension line from DIMEXO off its origin to DIMEXE past
            // the dimension line (none when the origin is on that line).
            const auto extension = [&](Point2 origin, Point2 onLine) {
                const double len = std::hypot(onLine[0] - origin[0], onLine[1] - origin[1]);
                if (!(len > offset)) return;
                const Point2 u{(onLine[0] - origin[0]) / len, (onLine[1] - origin[1]) / len};
                line({origin[0] + u[0] * offset, origin[1] + u[1] * offset},
                     {onLine[0] + u[0] * beyond, onLine[1] + u[1] * beyond});
            };
            extension(a, fa);
            extension(b, fb);
            line(fa, fb);
            head(fa, fb);
            head(fb, fa);
            measured = std::hypot(fb[0] - fa[0], fb[1] - fa[1]);
            textAt = {(fa[0] + fb[0]) / 2, (fa[1] + fb[1]) / 2};
        } else if ((type == 3 || type == 4) && p10 && p15) {
            const Point2 c = *p10, q = *p15;
            line(c, q);
            head(q, c);
            const double r = std::hypot(q[0] - c[0], q[1] - c[1]);
            measured = r;
            textAt = {(c[0] + q[0]) / 2, (c[1] + q[1]) / 2};
            if (type == 3) head(c, q);
        } else if ((type == 2 || type == 5) && p10 && p13 && p14 && p15) {
            // Three-point (5): vertex 15, ends 13 and 14; two-line (2): lines 13-14 and 10-15, arc through 16.
            Point2 vertex = *p15, a = *p13, b = *p14;
            if (type == 2) {
                const Point2 u{p14->at(0) - p13->at(0), p14->at(1) - p13->at(1)};
                const Point2 v{p15->at(0) - p10->at(0), p15->at(1) - p10->at(1)};
                const double den = u[0] * v[1] - u[1] * v[0];
                if (std::abs(den) < 1e-12) return;
                const double s = ((p10->at(0) - p13->at(0)) * v[1] - (p10->at(1) - p13->at(1)) * v[0]) / den;
                vertex = {p13->at(0) + s * u[0], p13->at(1) + s * u[1]};
                a = *p14;
                b = *p15;
            }
            const Point2 onArc = type == 2 ? p16.value_or(*p10) : *p10;
            const double r = std::hypot(onArc[0] - vertex[0], onArc[1] - vertex[1]);
            double a0 = std::atan2(a[1] - vertex[1], a[0] - vertex[0]);
            double a1 = std::atan2(b[1] - vertex[1], b[0] - vertex[0]);
            double span = std::fmod(a1 - a0 + 2 * kTwoPi, kTwoPi);
            if (span > kTwoPi / 2) {
                std::swap(a0, a1);
                span = kTwoPi - span;
            }
            if (!(r > 0)) return;
            std::vector<Point2> arc;
            arcPoints(arc, vertex, r, a0, span);
            outline(std::move(arc), m);
            measured = span * 360 / kTwoPi;
            textAt = {vertex[0] + r * std::cos(a0 + span / 2), vertex[1] + r * std::sin(a0 + span / 2)};
        } else {
            return;
        }
        std::string label;
        if (const DxfTag* g = firstTag(t, 1)) label = g->value;
        const bool angular = type == 2 || type == 5;
        const double value = number(t, 42, *measured) * (angular ? 1 : setting(144, "$DIMLFAC", 1, true));
        // Decimals by DIMDEC (DIMADEC for angles); DIMZIN 8 drops trailing
        // zeros, 4 a leading one; DIMDSEP the decimal separator.
        const int decimals = static_cast<int>(std::min(8.0, angular ? setting(179, "$DIMADEC", 0, false)
                                                                    : setting(271, "$DIMDEC", 2, false)));
        const int zeros = angular ? 0 : static_cast<int>(std::min(15.0, setting(78, "$DIMZIN", 0, false)));
        const double separator = setting(278, "$DIMDSEP", '.', true);
        char number[64];
        std::snprintf(number, sizeof number, "%.*f", decimals, std::isfinite(value) ? value : 0.0);
        std::string digits = number;
        if (const auto dot = digits.find('.'); dot != std::string::npos) {
            if (zeros & 8) {
                while (digits.back() == '0') digits.pop_back();
                if (digits.back() == '.') digits.pop_back();
            }
            if (digits.find('.') != std::string::npos && separator >= 0x21 && separator < 0x7F)
                digits[dot] = static_cast<char>(separator);
        }
        if (zeros & 4 && digits.size() > 1 && digits[0] == '0' && !std::isdigit(static_cast<unsigned char>(digits[1])))
            digits.erase(0, 1);
        std::string shown = std::string(type == 3 ? "∅" : type == 4 ? "R" : "") + digits + (angular ? "°" : "");
        if (label == " ") return;  // suppressed
        if (!label.empty()) {
            const auto at = label.find("<>");
            shown = at == std::string::npos ? label : label.replace(at, 2, shown);
        }
        const double height = setting(140, "$DIMTXT", 2.5, true) * scale;
        const Point2 at = p11 ? *p11 : textAt;
        std::vector<TextRun> runs = formatted(shown, height, entity, blockInk);
        if (ShownText* s = addText(at, height, 0, m, plainText(runs), t)) {
            s->attachment = 5;
            s->runs = std::move(runs);
        }
    }

    // The DIMSTYLE table entry of that name (any case); none when the
    // drawing has no such style.
    Tags dimensionStyle(const std::string& name) const
    {
        const std::string wanted = upperAscii(name);
        for (Tags style : drawing_.tableEntries("DIMSTYLE"))
            if (const DxfTag* n = firstTag(style, 2); n && upperAscii(n->value) == wanted) return style;
        return {};
    }

    // A MINSERT draws its block in columns (70) and rows (71), spacings 44
    // and 45 along the reference's turned axes; each copy counts as an
    // entity drawn.
    void insert(const dxf::Insert& i, Tags tags, const dxf::Vec3& extrusion, const Context& c, int depth)
    {
        const Tags header = drawing_.blockHeader(i.block);
        if (header.empty()) return;
        const double sx = i.xScale, sy = i.yScale, rot = i.rotation;
        const Point3 base = dxf::groupPoint(header, 10).value_or(Point3{});
        const Affine toBase{1, 0, 0, 1, -base[0], -base[1]};
        const Affine placed{sx * std::cos(rot), -sy * std::sin(rot), sx * std::sin(rot), sy * std::cos(rot),
                            i.insertion[0], i.insertion[1]};
        const Affine outer = inPlane(extrusion, i.insertion[2], Affine{}).then(c.m);
        Context inner = c;
        inner.depth = depth;
        const bool array = isType(tags, "INSERT") && firstTag(tags, 70) && firstTag(tags, 71);
        const double columns = array ? std::clamp(std::floor(number(tags, 70, 1)), 1.0, 32767.0) : 1;
        const double rows = array ? std::clamp(std::floor(number(tags, 71, 1)), 1.0, 32767.0) : 1;
        const double dx = number(tags, 44, 0), dy = number(tags, 45, 0);
        for (double r = 0; r < rows; ++r)
            for (double k = 0; k < columns; ++k) {
                if (full()) return;
                if (r > 0 || k > 0) ++visited_;
                const double ox = k * dx, oy = r * dy;
                const Affine cell{1, 0, 0, 1, ox * std::cos(rot) - oy * std::sin(rot), ox * std::sin(rot) + oy * std::cos(rot)};
                inner.m = toBase.then(placed).then(cell).then(outer);
                block(i.block, inner);
            }
    }

    // A block's entities, each block interpreted once however often it is
    // drawn. A block that draws itself, directly or through others, is
    // drawn once: CAD programs refuse such blocks.
    void block(const std::string& name, const Context& c)
    {
        if (c.depth >= kMaxBlockDepth || full()) return;
        const std::string key = upperAscii(name);  // block names ignore ASCII case
        auto found = blocks_.find(key);
        if (found == blocks_.end()) {
            const auto records = drawing_.blockEntities(name);
            found = blocks_.emplace(key, Block{items(records)}).first;
        }
        Block& b = found->second;
        if (b.drawing) return;
        b.drawing = true;
        Context inner = c;
        inner.depth = c.depth + 1;
        const ShapeStyle outer = style_;
        shapeRun(b.items, inner);
        style_ = outer;
        b.drawing = false;
    }

    struct Block {
        std::vector<Item> items;
        bool drawing = false;  // on the way from the drawing to what is drawn now
    };

    static constexpr std::size_t kMaxHatchSegments = 200'000;
    static constexpr double kMaxHatchLines = 20'000;
    static constexpr std::size_t kMaxHatchWork = 20'000'000;

    const dxf::DxfDrawing& drawing_;
    dxf::LayerTable layers_;
    dxf::LinetypeTable linetypes_;
    std::map<std::string, TextStyle, std::less<>> fonts_;  // by text style name
    std::map<const std::vector<double>*, std::size_t> linetypeIndices_;
    std::map<std::string, Block, std::less<>> blocks_;
    ShapeStyle style_;  // of the entity being shaped
    std::size_t points_ = 0;
    std::size_t visited_ = 0;
};

}  // namespace

namespace {

// What a text covers, roughly (no font at hand here: a character is taken
// as 0.8 of the height wide, a line as 1.667 heights apart; a multi-line
// text is laid out by its runs so), so that zoom extents shows whole texts
// rather than their insertion points.
void addTextBox(Bounds& bounds, const ShownText& t)
{
    double width = 0, height = t.height, x0 = 0, y0 = 0;
    if (t.attachment > 0) {
        // In the text's heights, then drawing units.
        const double scaleX = t.height * std::abs(t.xScale);
        const TextLayout laid =
            layoutText(t.runs, scaleX > 0 ? t.width / scaleX : 0, t.lineSpacing,
                       (t.attachment - 1) % 3, roughAdvance, t.columns);
        width = laid.width * scaleX;
        height = laid.height * t.height;
        const int column = (t.attachment - 1) % 3, row = (t.attachment - 1) / 3;
        x0 = column == 0 ? 0 : column == 1 ? -width / 2 : -width;
        y0 = row == 0 ? -height : row == 1 ? -height / 2 : 0;
        if (t.xScale < 0) x0 = -x0 - width;
    } else {
        std::size_t lines = 1, longest = 0, chars = 0;
        for (unsigned char c : t.text) {
            if (c == '\n') {
                ++lines;
                chars = 0;
            } else if ((c & 0xC0) != 0x80) {
                longest = std::max(longest, ++chars);
            }
        }
        width = static_cast<double>(longest) * t.height * 0.8 * std::abs(t.xScale);
        height = t.height * (1 + 1.667 * static_cast<double>(lines - 1));
        y0 = -(height - t.height);
        if (t.horizontal != entities::TextHorizontal::Left || t.xScale < 0) {
            x0 = -width;  // right, centred, between two points or mirrored: the box either side
            width *= 2;
        }
    }
    const double c = std::cos(t.rotation), s = std::sin(t.rotation);
    for (const double x : {x0, x0 + width})
        for (const double y : {y0, y0 + height})
            if (std::isfinite(x) && std::isfinite(y))
                bounds.add(t.position[0] + (x + t.shear * y) * c - y * s, t.position[1] + (x + t.shear * y) * s + y * c);
}

}  // namespace

std::string fontFamily(const std::string& fontFile, const std::string& bigFont)
{
    static const std::string chinese = "WenQuanYi Micro Hei";
    if (!bigFont.empty()) return chinese;
    std::string name;
    for (char c : fontFile) name += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (const auto slash = name.find_last_of("/\\"); slash != std::string::npos) name.erase(0, slash + 1);
    const auto has = [&](std::string_view part) { return name.find(part) != std::string::npos; };
    // Non-ASCII names (宋体, 仿宋_GB2312, ...) and the Chinese fonts' own file names.
    if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) ||
        has("simsun") || has("simhei") || has("simkai") || has("simfang") || has("song") || has("hei") ||
        has("kaiti") || has("gbcbig") || has("hz") || has("msyh") || has("yahei") || has("mingliu") ||
        has("chinese") || has("bigfont"))
        return chinese;
    if (has("cour") || has("mono") || has("consol")) return "Liberation Mono";
    if (has("times") || has("roman") || has("serif") || has("georgia")) return "Liberation Serif";
    if (has("arial") || has("helv") || has("verdana") || has("tahoma") || has("calibri") || has("segoe") ||
        has("iso") || has("txt") || has("simplex") || has("swiss") || has("sans") || has("gbenor") || has("gbeitc"))
        return "Liberation Sans";
    return chinese;  // an unknown font: the one installed with Tessik, which has every glyph
}

DrawingExtras drawingShapes(const dxf::DxfDrawing& drawing, const std::vector<std::size_t>& entities)
{
    Shaper shaper(drawing);
    std::vector<Tags> records;
    records.reserve(entities.size());
    for (std::size_t i : entities) records.push_back(drawing.entityTags(i));
    shaper.shapeRun(shaper.items(records), Shaper::Context{});
    DrawingExtras result = std::move(shaper.result);
    for (const ShownText& t : result.texts) addTextBox(result.bounds, t);
    return result;
}

}  // namespace tessik::cadhost

namespace tessik::cadhost {

std::vector<DrawingExtras> entityShapes(const dxf::DxfDrawing& drawing,
                                        const std::vector<std::vector<std::size_t>>& runs)
{
    Shaper shaper(drawing);
    std::vector<DrawingExtras> pictures;
    pictures.reserve(runs.size());
    std::vector<Tags> records;
    for (const std::vector<std::size_t>& run : runs) {
        records.clear();
        for (std::size_t i : run) records.push_back(drawing.entityTags(i));
        shaper.shapeRun(shaper.items(records), Shaper::Context{});
        DrawingExtras& picture = pictures.emplace_back(shaper.take());
        for (const ShownText& t : picture.texts) addTextBox(picture.bounds, t);
    }
    return pictures;
}

DrawingExtras recordShape(const dxf::DxfDrawing& drawing, const std::vector<Tags>& records)
{
    Shaper shaper(drawing);
    shaper.shapeRun(shaper.items(records), Shaper::Context{});
    DrawingExtras picture = shaper.take();
    for (const ShownText& t : picture.texts) addTextBox(picture.bounds, t);
    return picture;
}

void appendShape(DrawingExtras& to, const DrawingExtras& picture, const Point3& offset)
{
    const double dx = offset[0], dy = offset[1];
    const auto moved = [dx, dy](Point2 p) { return Point2{p[0] + dx, p[1] + dy}; };
    const auto movedRun = [&](const std::vector<Point2>& run) {
        std::vector<Point2> out;
        out.reserve(run.size());
        for (const Point2& p : run) out.push_back(moved(p));
        return out;
    };
    // The picture's dash patterns by their index in `to`'s table (a pattern
    // both use is listed once).
    std::vector<std::uint16_t> linetype(picture.linetypes.size(), 0);
    for (std::size_t k = 1; k < picture.linetypes.size(); ++k) {
        const auto found = std::find(to.linetypes.begin(), to.linetypes.end(), picture.linetypes[k]);
        if (found != to.linetypes.end()) {
            linetype[k] = static_cast<std::uint16_t>(found - to.linetypes.begin());
        } else if (to.linetypes.size() < 0xFFFF) {
            linetype[k] = static_cast<std::uint16_t>(to.linetypes.size());
            to.linetypes.push_back(picture.linetypes[k]);
        }
    }
    const auto restyled = [&](ShapeStyle style) {
        style.linetype = style.linetype < linetype.size() ? linetype[style.linetype] : 0;
        return style;
    };
    for (const auto& o : picture.outlines) to.outlines.push_back(dx == 0 && dy == 0 ? o : movedRun(o));
    for (const ShapeStyle& st : picture.outlineStyles) to.outlineStyles.push_back(restyled(st));
    for (const auto& f : picture.fills) to.fills.push_back(dx == 0 && dy == 0 ? f : movedRun(f));
    for (const ShapeStyle& st : picture.fillStyles) to.fillStyles.push_back(restyled(st));
    const std::size_t base = to.segments.size();
    for (const Point2& p : picture.segments) to.segments.push_back(moved(p));
    for (SegmentRun run : picture.segmentRuns) {
        run.style = restyled(run.style);
        run.begin += base;
        run.end += base;
        to.segmentRuns.push_back(run);
    }
    for (ShownText t : picture.texts) {
        t.position = moved(t.position);
        t.end = moved(t.end);
        to.texts.push_back(std::move(t));
    }
    if (!picture.bounds.empty())
        to.bounds.add(Bounds{picture.bounds.minX + dx, picture.bounds.minY + dy, picture.bounds.maxX + dx,
                             picture.bounds.maxY + dy});
    to.truncated = to.truncated || picture.truncated;
}

}  // namespace tessik::cadhost
