#include "model/DxfShapes.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <span>

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

class Shaper {
public:
    Shaper(const dxf::DxfDrawing& drawing) : drawing_(drawing), layers_(drawing) {}

    DrawingExtras result;

    void shapeRun(const std::vector<dxf::InterpretedEntity>& entities, const Affine& m, int depth)
    {
        for (const dxf::InterpretedEntity& e : entities) {
            if (full()) return;
            ++visited_;
            if (layers_.shown(e.style.layer)) shape(e, m, depth);
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
        (fill ? result.fills : result.outlines).push_back(std::move(pts));
    }

    static Point2 xy(const Point3& p) { return {p[0], p[1]}; }

    void shape(const dxf::InterpretedEntity& e, const Affine& m, int depth)
    {
        // Points in the entity's object coordinate system, at the elevation
        // given, as the view (looking down the world's z) sees them.
        const auto plane = [&](double z) { return inPlane(e.extrusion, z, m); };
        std::visit(entities::Overload{
                       [&](const entities::Line& l) { outline({xy(l.start), xy(l.end)}, m); },
                       [&](const entities::Circle& c) {
                           std::vector<Point2> pts;
                           arcPoints(pts, xy(c.center), c.radius, 0, kTwoPi);
                           outline(std::move(pts), plane(c.center[2]));
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
                       [&](const dxf::Hatch& h) {
                           const Affine where = plane(h.elevation);
                           for (const dxf::HatchPath& p : h.paths) {
                               auto path = hatchPathPoints(p);
                               if (path.size() < 2) continue;
                               if (h.solid) outline(path, where, true);
                               path.push_back(path.front());
                               outline(std::move(path), where);
                           }
                       },
                       [&](const dxf::TextEntity& t) { text(t, plane(t.text.insertion[2])); },
                       [&](const dxf::MText& t) { mtext(t, m); },
                       [&](const dxf::Insert& i) { insert(i, e.extrusion, m, depth); },
                       [&](const dxf::Dimension& d) { block(d.block, Affine{}.then(m), depth); },
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

    // Extrusion 0,0,-1, as mirroring leaves arcs, mirrors x.
    static Affine inPlane(const dxf::Vec3& extrusion, double z, const Affine& m)
    {
        const dxf::Ocs ocs(extrusion);
        if (ocs.identity()) return m;
        return Affine{ocs.x[0], ocs.y[0], ocs.x[1], ocs.y[1], z * ocs.z[0], z * ocs.z[1]}.then(m);
    }

    ShownText* addText(Point2 at, double height, double rotation, const Affine& m, std::string text)
    {
        if (full()) return nullptr;
        const Point2 pos = m(at);
        result.bounds.add(pos[0], pos[1]);
        ++points_;
        result.texts.push_back({pos, height * m.scale(), rotation + m.rotation(), std::move(text)});
        return &result.texts.back();
    }

    // A justified text by its alignment point, or (aligned and fit) between
    // its two points; one whose justification is not one of the DXF values
    // starts at its first point.
    void text(const dxf::TextEntity& t, const Affine& m)
    {
        const bool justified = t.aligned() && t.alignment && t.horizontal >= 0 && t.horizontal <= 5 &&
                               t.vertical >= 0 && t.vertical <= 3;
        const auto horizontal = static_cast<entities::TextHorizontal>(justified ? t.horizontal : 0);
        const bool between =
            horizontal == entities::TextHorizontal::Aligned || horizontal == entities::TextHorizontal::Fit;
        const Point3 at = justified && !between ? *t.alignment : t.text.insertion;
        ShownText* shown = addText(xy(at), t.text.height, t.text.rotation, m, dxf::plainText(t.text.text, false));
        if (!shown || !justified) return;
        shown->horizontal = horizontal;
        shown->vertical = static_cast<entities::TextVertical>(t.vertical);
        shown->end = m(xy(*t.alignment));
    }

    // An MTEXT's points are world points; attached at the top, its first
    // baseline is one height lower.
    void mtext(const dxf::MText& t, const Affine& m)
    {
        double rotation = t.rotation;
        if (t.direction && ((*t.direction)[0] != 0 || (*t.direction)[1] != 0))
            rotation = std::atan2((*t.direction)[1], (*t.direction)[0]);
        const Point2 at{t.insertion[0] + t.height * std::sin(rotation), t.insertion[1] - t.height * std::cos(rotation)};
        addText(at, t.height, rotation, m, dxf::plainText(t.text, true));
    }

    void insert(const dxf::Insert& i, const dxf::Vec3& extrusion, const Affine& m, int depth)
    {
        const Tags header = drawing_.blockHeader(i.block);
        if (header.empty()) return;
        const auto number = [&](int code) {
            for (const DxfTag& t : header)
                if (t.code == code) return dxf::tagNumber(t.value).value_or(0);
            return 0.0;
        };
        const double sx = i.xScale, sy = i.yScale, rot = i.rotation;
        const Affine toBase{1, 0, 0, 1, -number(10), -number(20)};
        const Affine placed{sx * std::cos(rot), -sy * std::sin(rot), sx * std::sin(rot), sy * std::cos(rot),
                            i.insertion[0], i.insertion[1]};
        block(i.block, toBase.then(placed).then(inPlane(extrusion, i.insertion[2], Affine{})).then(m), depth);
    }

    // A block's entities, each block interpreted once however often it is
    // drawn. A block that draws itself, directly or through others, is
    // drawn once: CAD programs refuse such blocks.
    void block(const std::string& name, const Affine& m, int depth)
    {
        if (depth >= kMaxBlockDepth || full()) return;
        std::string key = name;  // block names ignore ASCII case
        for (char& c : key)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        auto found = blocks_.find(key);
        if (found == blocks_.end())
            found = blocks_.emplace(key, Block{dxf::interpretRecords(drawing_.blockEntities(name), drawing_)}).first;
        Block& b = found->second;
        if (b.drawing) return;
        b.drawing = true;
        shapeRun(b.entities, m, depth + 1);
        b.drawing = false;
    }

    struct Block {
        std::vector<dxf::InterpretedEntity> entities;
        bool drawing = false;  // on the way from the drawing to what is drawn now
    };

    const dxf::DxfDrawing& drawing_;
    dxf::LayerTable layers_;
    std::map<std::string, Block, std::less<>> blocks_;
    std::size_t points_ = 0;
    std::size_t visited_ = 0;
};

}  // namespace

DrawingExtras drawingShapes(const dxf::DxfDrawing& drawing, const std::vector<std::size_t>& entities)
{
    Shaper shaper(drawing);
    std::vector<Tags> records;
    records.reserve(entities.size());
    for (std::size_t i : entities) records.push_back(drawing.entityTags(i));
    shaper.shapeRun(dxf::interpretRecords(records, drawing), Affine{}, 0);
    return std::move(shaper.result);
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
        const bool truncated = shaper.result.truncated;
        shaper.shapeRun(dxf::interpretRecords(records, drawing), Affine{}, 0);
        pictures.push_back(std::move(shaper.result));
        shaper.result = DrawingExtras{};
        shaper.result.truncated = truncated || pictures.back().truncated;
    }
    return pictures;
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
    for (const auto& o : picture.outlines) to.outlines.push_back(dx == 0 && dy == 0 ? o : movedRun(o));
    for (const auto& f : picture.fills) to.fills.push_back(dx == 0 && dy == 0 ? f : movedRun(f));
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
