#include "DxfEntityData.h"

#include <string_view>

#include "DxfText.h"

namespace tessik::dxf {

namespace {

using Tags = std::span<const DxfTag>;
using entities::kTwoPi;

constexpr double kDegree = kTwoPi / 360.0;

// The first group of a code, before the extended data.
const DxfTag* firstTag(Tags tags, int code)
{
    for (const DxfTag& t : tags) {
        if (t.code >= 1000) break;
        if (t.code == code) return &t;
    }
    return nullptr;
}

std::optional<double> number(Tags tags, int code)
{
    const DxfTag* t = firstTag(tags, code);
    return t ? tagNumber(t->value) : std::nullopt;
}

double number(Tags tags, int code, double fallback) { return number(tags, code).value_or(fallback); }

int integer(Tags tags, int code, int fallback)
{
    const double v = number(tags, code, fallback);
    return v >= -2147483648.0 && v <= 2147483647.0 ? static_cast<int>(v) : fallback;
}

// x at code, y at code + 10, z (0 when left out) at code + 20.
std::optional<Point3> point(Tags tags, int code)
{
    const auto x = number(tags, code), y = number(tags, code + 10);
    if (!x || !y) return std::nullopt;
    return Point3{*x, *y, number(tags, code + 20, 0)};
}

std::string text(Tags tags, int code)
{
    const DxfTag* t = firstTag(tags, code);
    return t ? t->value : std::string();
}

// Vertices in tag order: each 10 starts one, its 20 (and 42, when bulges
// count) follow. Nothing when a vertex lacks its y or a value is no number.
std::optional<std::vector<entities::PolylineVertex>> vertexRun(Tags tags, bool bulges)
{
    std::vector<entities::PolylineVertex> v;
    bool haveY = true;
    for (const DxfTag& t : tags) {
        if (t.code >= 1000) break;
        if (t.code != 10 && t.code != 20 && !(t.code == 42 && bulges)) continue;
        const auto value = tagNumber(t.value);
        if (!value) return std::nullopt;
        if (t.code == 10) {
            if (!haveY) return std::nullopt;
            v.push_back({*value, 0, 0});
            haveY = false;
        } else if (v.empty()) {
            return std::nullopt;
        } else if (t.code == 20) {
            v.back().y = *value;
            haveY = true;
        } else {
            v.back().bulge = *value;
        }
    }
    if (!haveY) return std::nullopt;
    return v;
}

std::optional<EntityData> lwpolyline(Tags t)
{
    auto vertices = vertexRun(t, true);
    if (!vertices || vertices->empty()) return std::nullopt;
    // A count that disagrees with the vertices: a damaged record, kept as it is.
    if (const auto n = number(t, 90); n && *n != double(vertices->size())) return std::nullopt;
    return entities::Polyline{std::move(*vertices), (integer(t, 70, 0) & 1) != 0, number(t, 38, 0)};
}

std::optional<EntityData> spline(Tags tags)
{
    Spline s;
    s.degree = integer(tags, 71, 3);
    s.closed = (integer(tags, 70, 0) & 1) != 0;
    for (const DxfTag& t : tags) {
        if (t.code >= 1000) break;
        const auto v = tagNumber(t.value);
        if (!v) continue;
        switch (t.code) {
        case 40: s.knots.push_back(*v); break;
        case 41: s.weights.push_back(*v); break;
        case 10: s.control.push_back({*v, 0, 0}); break;
        case 11: s.fit.push_back({*v, 0, 0}); break;
        case 20:
        case 30:
            if (!s.control.empty()) s.control.back()[t.code == 20 ? 1 : 2] = *v;
            break;
        case 21:
        case 31:
            if (!s.fit.empty()) s.fit.back()[t.code == 21 ? 1 : 2] = *v;
            break;
        default: break;
        }
    }
    if (s.control.empty() && s.fit.empty()) return std::nullopt;
    return s;
}

std::optional<EntityData> textEntity(Tags t, const DxfDrawing& drawing, bool attribute)
{
    const auto at = point(t, 10);
    const auto height = number(t, 40);
    if (!at || !height) return std::nullopt;
    TextEntity e;
    e.text = {decodeDxfText(text(t, 1), drawing.codePage(), drawing.unicode()), *at, *height,
              number(t, 50, 0) * kDegree};
    e.horizontal = integer(t, 72, 0);
    e.vertical = integer(t, attribute ? 74 : 73, 0);
    e.alignment = point(t, 11);
    e.attribute = attribute;
    return e;
}

std::optional<EntityData> mtext(Tags t, const DxfDrawing& drawing)
{
    const auto at = point(t, 10);
    if (!at) return std::nullopt;
    std::string raw;
    for (const DxfTag& tag : t)
        if (tag.code == 3) raw += tag.value;
    raw += text(t, 1);
    MText m;
    m.text = decodeDxfText(raw, drawing.codePage(), drawing.unicode());
    m.insertion = *at;
    m.height = number(t, 40, 2.5);
    m.rotation = number(t, 50, 0) * kDegree;
    m.direction = point(t, 11);
    m.attachment = integer(t, 71, 1);
    return m;
}

std::optional<EntityData> insert(Tags t)
{
    const auto at = point(t, 10);
    std::string block = text(t, 2);
    if (!at || block.empty()) return std::nullopt;
    return Insert{std::move(block), *at, number(t, 41, 1), number(t, 42, 1), number(t, 50, 0) * kDegree};
}

std::optional<EntityData> quad(Tags t, Quad::Kind kind)
{
    const auto a = point(t, 10), b = point(t, 11), c = point(t, 12);
    if (!a || !b || !c) return std::nullopt;
    return Quad{kind, {*a, *b, *c, point(t, 13).value_or(*c)}};
}

// The boundary paths of a hatch, read in order: group 91 counts them, 92
// starts each (flag 2: a polyline path), 75 ends the list. A path is taken
// as far as it can be followed; a path that is not where one should start
// ends the list.
class HatchReader {
public:
    explicit HatchReader(Tags tags) : tags_(tags) {}

    std::vector<HatchPath> paths()
    {
        std::vector<HatchPath> out;
        while (i_ < tags_.size() && tags_[i_].code != 91) ++i_;
        if (i_ >= tags_.size()) return out;
        const double count = tagNumber(tags_[i_].value).value_or(0);
        ++i_;
        // Each path takes at least one tag: the tags bound the count.
        for (double p = 0; p < count && i_ < tags_.size(); ++p) {
            if (tags_[i_].code != 92) break;
            const auto flags = static_cast<long>(tagNumber(tags_[i_].value).value_or(0));
            ++i_;
            HatchPath path;
            if (flags & 2) polylinePath(path);
            else edgePath(path);
            if (!path.edges.empty() || (path.polyline && path.polyline->vertices.size() >= 2))
                out.push_back(std::move(path));
            // Past its source objects (97, 330) to the next path.
            while (i_ < tags_.size() && tags_[i_].code != 92 && tags_[i_].code != 75) ++i_;
        }
        return out;
    }

private:
    bool endOfPath() const { return tags_[i_].code == 92 || tags_[i_].code == 75; }

    // The next value of a code within this path.
    std::optional<double> next(int code)
    {
        while (i_ < tags_.size() && tags_[i_].code != code) {
            if (endOfPath()) return std::nullopt;
            ++i_;
        }
        if (i_ >= tags_.size()) return std::nullopt;
        return tagNumber(tags_[i_++].value);
    }

    void polylinePath(HatchPath& path)
    {
        const std::size_t from = i_;
        while (i_ < tags_.size() && tags_[i_].code != 97 && !endOfPath()) ++i_;
        const Tags run = tags_.subspan(from, i_ - from);
        const bool bulges = number(run, 72, 0) != 0;
        // A damaged path is left out; the next one may be sound.
        if (auto vertices = vertexRun(run, bulges)) path.polyline = entities::Polyline{std::move(*vertices), true, 0};
    }

    void edgePath(HatchPath& path)
    {
        const double edges = next(93).value_or(0);
        for (double e = 0; e < edges && i_ < tags_.size(); ++e) {
            const auto type = next(72);
            if (!type) return;
            std::optional<HatchEdge> edge;
            if (*type == 1) edge = line();
            else if (*type == 2) edge = arc();
            else if (*type == 3) edge = ellipse();
            else if (*type == 4) edge = splineEdge();
            if (!edge) return;  // not an edge type, or one cut short
            path.edges.push_back(std::move(*edge));
        }
    }

    std::optional<HatchEdge> line()
    {
        const double x1 = next(10).value_or(0), y1 = next(20).value_or(0);
        const double x2 = next(11).value_or(0), y2 = next(21).value_or(0);
        return HatchLine{{x1, y1}, {x2, y2}};
    }

    std::optional<HatchEdge> arc()
    {
        HatchArc a;
        a.center = {next(10).value_or(0), next(20).value_or(0)};
        a.radius = next(40).value_or(0);
        a.startAngle = next(50).value_or(0) * kDegree;
        a.endAngle = next(51).value_or(0) * kDegree;
        a.ccw = next(73).value_or(1) != 0;
        return a;
    }

    std::optional<HatchEdge> ellipse()
    {
        HatchEllipse e;
        e.center = {next(10).value_or(0), next(20).value_or(0)};
        e.majorAxis = {next(11).value_or(0), next(21).value_or(0)};
        e.ratio = next(40).value_or(1);
        const auto a = next(50), b = next(51);
        if (!a || !b) return std::nullopt;
        e.startAngle = *a * kDegree;
        e.endAngle = *b * kDegree;
        e.ccw = next(73).value_or(1) != 0;
        return e;
    }

    // Degree, rational and periodic flags, knot and control point counts,
    // the knots, the control points (each with its weight when rational),
    // then fit points and tangents, which the curve does not need.
    std::optional<HatchEdge> splineEdge()
    {
        const auto degree = next(94);
        const auto knotCount = next(95), controlCount = next(96);
        if (!degree || !knotCount || !controlCount) return std::nullopt;
        HatchSpline s;
        s.degree = *degree >= 0 && *degree <= 64 ? static_cast<int>(*degree) : -1;  // -1: no curve of it
        // Each value takes a tag: the tags bound the counts.
        for (double k = 0; k < *knotCount && i_ < tags_.size(); ++k) {
            const auto v = next(40);
            if (!v) return std::nullopt;
            s.knots.push_back(*v);
        }
        for (double k = 0; k < *controlCount && i_ < tags_.size(); ++k) {
            const auto x = next(10), y = next(20);
            if (!x || !y) return std::nullopt;
            s.control.push_back({*x, *y});
            if (i_ < tags_.size() && tags_[i_].code == 42) s.weights.push_back(tagNumber(tags_[i_++].value).value_or(1));
        }
        if (double(s.knots.size()) != *knotCount || double(s.control.size()) != *controlCount) return std::nullopt;
        return s;
    }

    Tags tags_;
    std::size_t i_ = 0;
};

std::optional<EntityData> hatch(Tags t)
{
    Hatch h;
    h.pattern = text(t, 2);
    h.solid = integer(t, 70, 0) == 1;
    h.elevation = number(t, 30, 0);
    h.paths = HatchReader(t).paths();
    return h;
}

std::optional<EntityData> curve(std::string_view type, Tags t)
{
    if (type == "LINE") {
        const auto a = point(t, 10), b = point(t, 11);
        if (!a || !b) return std::nullopt;
        return entities::Line{*a, *b};
    }
    if (type == "POINT") {
        const auto at = point(t, 10);
        if (!at) return std::nullopt;
        return entities::Point{*at};
    }
    const auto c = point(t, 10);
    if (!c) return std::nullopt;
    if (type == "ELLIPSE") {
        const auto major = point(t, 11);
        const auto ratio = number(t, 40);
        if (!major || !ratio) return std::nullopt;
        return entities::Ellipse{*c, *major, *ratio, number(t, 41, 0), number(t, 42, kTwoPi)};
    }
    const auto r = number(t, 40);
    if (!r) return std::nullopt;
    if (type == "CIRCLE") return entities::Circle{*c, *r};
    const auto a = number(t, 50), b = number(t, 51);
    if (!a || !b) return std::nullopt;
    return entities::Arc{*c, *r, *a * kDegree, *b * kDegree};
}

std::optional<EntityData> data(std::string_view type, Tags t, const DxfDrawing& drawing)
{
    if (type == "LINE" || type == "POINT" || type == "CIRCLE" || type == "ARC" || type == "ELLIPSE")
        return curve(type, t);
    if (type == "LWPOLYLINE") return lwpolyline(t);
    if (type == "SPLINE") return spline(t);
    if (type == "TEXT" || type == "ATTRIB") return textEntity(t, drawing, type == "ATTRIB");
    if (type == "MTEXT") return mtext(t, drawing);
    if (type == "INSERT") return insert(t);
    if (type == "DIMENSION") {
        std::string block = text(t, 2);
        if (block.empty()) return std::nullopt;
        return Dimension{std::move(block)};
    }
    if (type == "SOLID") return quad(t, Quad::Kind::Solid);
    if (type == "TRACE") return quad(t, Quad::Kind::Trace);
    if (type == "3DFACE") return quad(t, Quad::Kind::Face);
    if (type == "HATCH") return hatch(t);
    return std::nullopt;
}

bool isRecord(std::span<const DxfTag> r, std::string_view type) { return !r.empty() && r[0].value == type; }

}  // namespace

std::optional<InterpretedEntity> entityData(std::span<const DxfTag> record, const DxfDrawing& drawing)
{
    if (record.empty()) return std::nullopt;
    auto d = data(record[0].value, record, drawing);
    if (!d) return std::nullopt;
    return InterpretedEntity{text(record, 5), entityStyle(record), extrusion(record), std::move(*d)};
}

std::optional<InterpretedEntity> polylineData(std::span<const DxfTag> header,
                                              std::span<const std::span<const DxfTag>> vertices)
{
    const int flags = integer(header, 70, 0);
    if (flags & (16 | 64)) return std::nullopt;  // meshes
    PolylineEntity p;
    p.is3d = (flags & 8) != 0;
    p.outline.closed = (flags & 1) != 0;
    p.outline.elevation = number(header, 30, 0);
    for (std::span<const DxfTag> v : vertices) {
        if (integer(v, 70, 0) & 16) continue;  // a spline's frame, not on the curve
        const auto at = point(v, 10);
        if (!at) return std::nullopt;
        p.outline.vertices.push_back({(*at)[0], (*at)[1], number(v, 42, 0)});
    }
    if (p.outline.vertices.empty()) return std::nullopt;
    return InterpretedEntity{text(header, 5), entityStyle(header), extrusion(header), std::move(p)};
}

std::vector<InterpretedEntity> interpretRecords(std::span<const std::span<const DxfTag>> records,
                                                const DxfDrawing& drawing)
{
    std::vector<InterpretedEntity> out;
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (isRecord(records[r], "POLYLINE")) {
            const std::size_t header = r;
            while (r + 1 < records.size() && isRecord(records[r + 1], "VERTEX")) ++r;
            auto p = polylineData(records[header], records.subspan(header + 1, r - header));
            if (r + 1 < records.size() && isRecord(records[r + 1], "SEQEND")) ++r;
            if (p) out.push_back(std::move(*p));
            continue;
        }
        if (auto e = entityData(records[r], drawing)) out.push_back(std::move(*e));
    }
    return out;
}

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
            if (k == 'P') {
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

}  // namespace tessik::dxf
