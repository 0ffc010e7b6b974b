#include "DxfEntityData.h"

#include <algorithm>
#include <string_view>
#include <type_traits>

#include "DxfText.h"

namespace tessik::dxf {

namespace {

using entities::kTwoPi;

constexpr double kDegree = kTwoPi / 360.0;

std::optional<EntityData> spline(Tags tags)
{
    Spline s;
    s.degree = groupInteger(tags, 71, 3);
    s.closed = (groupInteger(tags, 70, 0) & 1) != 0;
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

std::optional<EntityData> mtext(Tags all, const DxfDrawing& drawing)
{
    // Its own groups: the object embedded after them (101) repeats some
    // codes with other meanings (11 the insertion point, 41 a height).
    const auto embedded = std::find_if(all.begin(), all.end(), [](const DxfTag& tag) { return tag.code == 101; });
    const Tags t = all.first(static_cast<std::size_t>(embedded - all.begin()));
    const auto at = groupPoint(t, 10);
    if (!at) return std::nullopt;
    std::string raw;
    for (const DxfTag& tag : t)
        if (tag.code == 3) raw += tag.value;
    raw += groupText(t, 1);
    MText m;
    m.text = decodeDxfText(raw, drawing.codePage(), drawing.unicode());
    m.insertion = *at;
    m.height = groupNumber(t, 40, 2.5);
    m.rotation = groupNumber(t, 50, 0) * kDegree;
    m.direction = groupPoint(t, 11);
    m.attachment = groupInteger(t, 71, 1);
    return m;
}

std::optional<EntityData> insert(Tags t)
{
    const auto at = groupPoint(t, 10);
    std::string block = groupText(t, 2);
    if (!at || block.empty()) return std::nullopt;
    return Insert{std::move(block), *at, groupNumber(t, 41, 1), groupNumber(t, 42, 1), groupNumber(t, 50, 0) * kDegree};
}

std::optional<EntityData> quad(Tags t, Quad::Kind kind)
{
    const auto a = groupPoint(t, 10), b = groupPoint(t, 11), c = groupPoint(t, 12);
    if (!a || !b || !c) return std::nullopt;
    return Quad{kind, {*a, *b, *c, groupPoint(t, 13).value_or(*c)}};
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
            path.flags = flags;
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
        const bool bulges = groupNumber(run, 72, 0) != 0;
        // A damaged path is left out; the next one may be sound.
        if (auto vertices = EntityCodec<entities::Polyline>::readVertices(run, bulges)) path.polyline = entities::Polyline{std::move(*vertices), true, 0};
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
    h.pattern = groupText(t, 2);
    h.solid = groupInteger(t, 70, 0) == 1;
    h.elevation = groupNumber(t, 30, 0);
    h.paths = HatchReader(t).paths();
    return h;
}

// A kind of the shared vocabulary, read by its codec when type is its DXF name.
template <class Kind>
bool readKind(std::string_view type, Tags t, const DxfDrawing& drawing, std::optional<EntityData>& out)
{
    if (type != entities::EntityTraits<Kind>::dxfName) return false;
    if (auto kind = EntityCodec<Kind>::read(t, drawing)) out = std::move(*kind);
    return true;
}

template <class... Kinds>
std::optional<EntityData> vocabularyKind(std::string_view type, Tags t, const DxfDrawing& drawing,
                                         std::type_identity<std::variant<Kinds...>>)
{
    std::optional<EntityData> out;
    (readKind<Kinds>(type, t, drawing, out) || ...);
    return out;
}

std::optional<EntityData> data(std::string_view type, Tags t, const DxfDrawing& drawing)
{
    if (entities::KindsOf<entities::Entity>::hasDxfName(type))
        return vocabularyKind(type, t, drawing, std::type_identity<entities::Entity>{});
    if (type == "ATTRIB") {
        auto attribute = EntityCodec<entities::Text>::readAttribute(t, drawing);
        if (!attribute) return std::nullopt;
        return std::move(*attribute);
    }
    if (type == "SPLINE") return spline(t);
    if (type == "MTEXT") return mtext(t, drawing);
    if (type == "INSERT") return insert(t);
    if (type == "DIMENSION") {
        std::string block = groupText(t, 2);
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
    return InterpretedEntity{groupText(record, 5), entityStyle(record), extrusion(record), std::move(*d)};
}

std::optional<InterpretedEntity> polylineData(std::span<const DxfTag> header,
                                              std::span<const std::span<const DxfTag>> vertices)
{
    const int flags = groupInteger(header, 70, 0);
    if (flags & (16 | 64)) return std::nullopt;  // meshes
    PolylineEntity p;
    p.is3d = (flags & 8) != 0;
    p.outline.closed = (flags & 1) != 0;
    p.outline.elevation = groupNumber(header, 30, 0);
    for (std::span<const DxfTag> v : vertices) {
        if (groupInteger(v, 70, 0) & 16) continue;  // a spline's frame, not on the curve
        const auto at = groupPoint(v, 10);
        if (!at) return std::nullopt;
        p.outline.vertices.push_back({(*at)[0], (*at)[1], groupNumber(v, 42, 0)});
    }
    if (p.outline.vertices.empty()) return std::nullopt;
    return InterpretedEntity{groupText(header, 5), entityStyle(header), extrusion(header), std::move(p)};
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
