#include "DxfEntityCodec.h"

#include <algorithm>

#include "DxfText.h"

namespace tessik::dxf {

namespace {

using entities::kTwoPi;

constexpr double kDegree = kTwoPi / 360.0;

DxfTag subclass(std::string_view name) { return {100, std::string(name)}; }

// A text's string as the file spells it: the record's bytes when they read
// as the same text, else encoded for the drawing.
Result<std::string> textValue(const std::string& utf8, const DxfDrawing& drawing, Tags over)
{
    if (const DxfTag* was = firstGroup(over, EntityCodec<entities::Text>::kString))
        if (decodeDxfText(was->value, drawing.codePage(), drawing.unicode()) == utf8) return was->value.str();
    return encodeDxfText(utf8, drawing.codePage(), drawing.unicode());
}

std::optional<TextEntity> readText(Tags t, const DxfDrawing& drawing, bool attribute)
{
    using Codec = EntityCodec<entities::Text>;
    const auto at = groupPoint(t, Codec::kInsertion);
    const auto height = groupNumber(t, Codec::kHeight);
    if (!at || !height) return std::nullopt;
    TextEntity e;
    e.text = {decodeDxfText(groupText(t, Codec::kString), drawing.codePage(), drawing.unicode()), *at, *height,
              groupNumber(t, Codec::kRotation, 0) * kDegree};
    e.horizontal = groupInteger(t, Codec::kHorizontal, 0);
    e.vertical = groupInteger(t, attribute ? Codec::kAttributeVertical : Codec::kVertical, 0);
    e.alignment = groupPoint(t, Codec::kAlignment);
    e.attribute = attribute;
    return e;
}

}  // namespace

const DxfTag* firstGroup(Tags tags, int code)
{
    for (const DxfTag& t : tags) {
        if (t.code >= 1000) break;
        if (t.code == code) return &t;
    }
    return nullptr;
}

std::optional<double> groupNumber(Tags tags, int code)
{
    const DxfTag* t = firstGroup(tags, code);
    return t ? tagNumber(t->value) : std::nullopt;
}

double groupNumber(Tags tags, int code, double fallback) { return groupNumber(tags, code).value_or(fallback); }

int groupInteger(Tags tags, int code, int fallback)
{
    const double v = groupNumber(tags, code, fallback);
    return v >= -2147483648.0 && v <= 2147483647.0 ? static_cast<int>(v) : fallback;
}

std::string groupText(Tags tags, int code)
{
    const DxfTag* t = firstGroup(tags, code);
    return t ? t->value.str() : std::string();
}

std::optional<Point3> groupPoint(Tags tags, int code)
{
    // The first x, y and z groups, found in one pass.
    const DxfTag* axes[3] = {};
    for (const DxfTag& t : tags) {
        if (t.code >= 1000) break;
        const int axis = (t.code - code) / 10;
        if (t.code >= code && (t.code - code) % 10 == 0 && axis < 3 && !axes[axis]) axes[axis] = &t;
    }
    if (!axes[0] || !axes[1]) return std::nullopt;
    const auto x = tagNumber(axes[0]->value), y = tagNumber(axes[1]->value);
    if (!x || !y) return std::nullopt;
    return Point3{*x, *y, axes[2] ? tagNumber(axes[2]->value).value_or(0) : 0};
}

void writeOver(DxfDrawing& drawing, std::size_t i, const std::vector<DxfTag>& groups, std::span<const int> repeated)
{
    std::vector<DxfTag> single, many;
    for (const DxfTag& t : groups) {
        if (t.code == 100) continue;
        const bool isRepeated = std::find(repeated.begin(), repeated.end(), t.code) != repeated.end();
        (isRepeated ? many : single).push_back(t);
    }
    if (!many.empty()) drawing.replaceEntityGroups(i, repeated, many);
    drawing.setEntityValues(i, single);
}

DxfTag realGroup(int code, double value)
{
    RealText text;
    return {code, formatReal(value, text)};
}

void appendPoint(std::vector<DxfTag>& tags, int code, const Point3& p)
{
    tags.push_back(realGroup(code, p[0]));
    tags.push_back(realGroup(code + 10, p[1]));
    tags.push_back(realGroup(code + 20, p[2]));
}

// LINE

std::optional<entities::Line> EntityCodec<entities::Line>::read(Tags t, const DxfDrawing&)
{
    const auto a = groupPoint(t, kStart), b = groupPoint(t, kEnd);
    if (!a || !b) return std::nullopt;
    return entities::Line{*a, *b};
}

Result<std::vector<DxfTag>> EntityCodec<entities::Line>::write(const entities::Line& l, const DxfDrawing&, Tags)
{
    std::vector<DxfTag> tags;
    tags.reserve(7);
    tags.push_back(subclass("AcDbLine"));
    appendPoint(tags, kStart, l.start);
    appendPoint(tags, kEnd, l.end);
    return tags;
}

// CIRCLE

std::optional<entities::Circle> EntityCodec<entities::Circle>::read(Tags t, const DxfDrawing&)
{
    const auto c = groupPoint(t, kCenter);
    const auto r = groupNumber(t, kRadius);
    if (!c || !r) return std::nullopt;
    return entities::Circle{*c, *r};
}

Result<std::vector<DxfTag>> EntityCodec<entities::Circle>::write(const entities::Circle& c, const DxfDrawing&,
                                                                 Tags)
{
    std::vector<DxfTag> tags{subclass("AcDbCircle")};
    appendPoint(tags, kCenter, c.center);
    tags.push_back(realGroup(kRadius, c.radius));
    return tags;
}

// ARC

std::optional<entities::Arc> EntityCodec<entities::Arc>::read(Tags t, const DxfDrawing&)
{
    const auto c = groupPoint(t, kCenter);
    const auto r = groupNumber(t, kRadius);
    const auto a = groupNumber(t, kStartAngle), b = groupNumber(t, kEndAngle);
    if (!c || !r || !a || !b) return std::nullopt;
    return entities::Arc{*c, *r, *a * kDegree, *b * kDegree};
}

Result<std::vector<DxfTag>> EntityCodec<entities::Arc>::write(const entities::Arc& a, const DxfDrawing&, Tags)
{
    std::vector<DxfTag> tags{subclass("AcDbCircle")};
    appendPoint(tags, kCenter, a.center);
    tags.push_back(realGroup(kRadius, a.radius));
    tags.push_back(subclass("AcDbArc"));
    tags.push_back(realGroup(kStartAngle, a.startAngle / kDegree));
    tags.push_back(realGroup(kEndAngle, a.endAngle / kDegree));
    return tags;
}

// ELLIPSE

std::optional<entities::Ellipse> EntityCodec<entities::Ellipse>::read(Tags t, const DxfDrawing&)
{
    const auto c = groupPoint(t, kCenter), major = groupPoint(t, kMajorAxis);
    const auto ratio = groupNumber(t, kRatio);
    if (!c || !major || !ratio) return std::nullopt;
    return entities::Ellipse{*c, *major, *ratio, groupNumber(t, kStartParam, 0), groupNumber(t, kEndParam, kTwoPi)};
}

Result<std::vector<DxfTag>> EntityCodec<entities::Ellipse>::write(const entities::Ellipse& e, const DxfDrawing&,
                                                                  Tags)
{
    std::vector<DxfTag> tags{subclass("AcDbEllipse")};
    appendPoint(tags, kCenter, e.center);
    appendPoint(tags, kMajorAxis, e.majorAxis);
    tags.push_back(realGroup(kRatio, e.ratio));
    tags.push_back(realGroup(kStartParam, e.startParam));
    tags.push_back(realGroup(kEndParam, e.endParam));
    return tags;
}

// POINT

std::optional<entities::Point> EntityCodec<entities::Point>::read(Tags t, const DxfDrawing&)
{
    const auto at = groupPoint(t, kPosition);
    if (!at) return std::nullopt;
    return entities::Point{*at};
}

Result<std::vector<DxfTag>> EntityCodec<entities::Point>::write(const entities::Point& p, const DxfDrawing&, Tags)
{
    std::vector<DxfTag> tags{subclass("AcDbPoint")};
    appendPoint(tags, kPosition, p.position);
    return tags;
}

// LWPOLYLINE

std::optional<std::vector<entities::PolylineVertex>> EntityCodec<entities::Polyline>::readVertices(Tags tags,
                                                                                                   bool bulges)
{
    std::vector<entities::PolylineVertex> v;
    bool haveY = true;
    for (const DxfTag& t : tags) {
        if (t.code >= 1000) break;
        if (t.code != kX && t.code != kY && !(t.code == kBulge && bulges)) continue;
        const auto value = tagNumber(t.value);
        if (!value) return std::nullopt;
        if (t.code == kX) {
            if (!haveY) return std::nullopt;
            v.push_back({*value, 0, 0});
            haveY = false;
        } else if (v.empty()) {
            return std::nullopt;
        } else if (t.code == kY) {
            v.back().y = *value;
            haveY = true;
        } else {
            v.back().bulge = *value;
        }
    }
    if (!haveY) return std::nullopt;
    return v;
}

std::optional<entities::Polyline> EntityCodec<entities::Polyline>::read(Tags t, const DxfDrawing&)
{
    auto vertices = readVertices(t, true);
    if (!vertices || vertices->empty()) return std::nullopt;
    // A count that disagrees with the vertices: a damaged record, kept as it is.
    if (const auto n = groupNumber(t, kCount); n && *n != double(vertices->size())) return std::nullopt;
    return entities::Polyline{std::move(*vertices), (groupInteger(t, kFlags, 0) & kClosed) != 0,
                              groupNumber(t, kElevation, 0)};
}

std::vector<DxfTag> EntityCodec<entities::Polyline>::vertexGroups(const entities::Polyline& p)
{
    std::vector<DxfTag> tags;
    tags.reserve(p.vertices.size() * 3);
    for (const entities::PolylineVertex& v : p.vertices) {
        tags.push_back(realGroup(kX, v.x));
        tags.push_back(realGroup(kY, v.y));
        if (v.bulge != 0) tags.push_back(realGroup(kBulge, v.bulge));
    }
    return tags;
}

Result<std::vector<DxfTag>> EntityCodec<entities::Polyline>::write(const entities::Polyline& p, const DxfDrawing&,
                                                                   Tags over)
{
    // The record's other flags (128: the line type runs on round the vertices) stay.
    const int flags = (groupInteger(over, kFlags, 0) & ~kClosed) | (p.closed ? kClosed : 0);
    std::vector<DxfTag> tags{subclass("AcDbPolyline"),
                             {kCount, std::to_string(p.vertices.size())},
                             {kFlags, std::to_string(flags)}};
    if (p.elevation != 0 || firstGroup(over, kElevation)) tags.push_back(realGroup(kElevation, p.elevation));
    // The vocabulary has no widths: a new polyline is thin, a file's keeps its width.
    if (over.empty()) tags.push_back(realGroup(kConstantWidth, 0));
    // Over the same vertices, the record's vertex groups stay, widths and ids too.
    if (const auto was = readVertices(over, true); !over.empty() && was && *was == p.vertices) return tags;
    const std::vector<DxfTag> vertices = vertexGroups(p);
    tags.insert(tags.end(), vertices.begin(), vertices.end());
    return tags;
}

// TEXT

std::optional<TextEntity> EntityCodec<entities::Text>::read(Tags t, const DxfDrawing& drawing)
{
    return readText(t, drawing, false);
}

std::optional<TextEntity> EntityCodec<entities::Text>::readAttribute(Tags t, const DxfDrawing& drawing)
{
    return readText(t, drawing, true);
}

Result<std::vector<DxfTag>> EntityCodec<entities::Text>::write(const entities::Text& t, const DxfDrawing& drawing,
                                                               Tags over)
{
    Result<std::string> text = textValue(t.text, drawing, over);
    if (!text) return text.error();
    std::vector<DxfTag> tags{subclass("AcDbText")};
    appendPoint(tags, kInsertion, t.insertion);
    tags.push_back(realGroup(kHeight, t.height));
    tags.push_back({kString, std::move(text).value()});
    if (t.rotation != 0 || firstGroup(over, kRotation)) tags.push_back(realGroup(kRotation, t.rotation / kDegree));
    if (!t.justified()) {
        tags.push_back(subclass("AcDbText"));
        return tags;
    }
    tags.push_back({kHorizontal, std::to_string(static_cast<int>(t.horizontal))});
    appendPoint(tags, kAlignment, t.alignment);
    tags.push_back(subclass("AcDbText"));
    tags.push_back({kVertical, std::to_string(static_cast<int>(t.vertical))});
    return tags;
}

}  // namespace tessik::dxf
