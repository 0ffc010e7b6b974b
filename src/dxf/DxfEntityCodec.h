#pragma once
// The one place where the entity kinds of the shared vocabulary (Entity.h)
// meet their DXF group codes. Each kind has an EntityCodec specialisation
// that names its groups once and reads and writes them: the typed entity
// data (DxfEntityData) reads through it, and every program that writes
// entities (tessik-cad's saves, the fabrication templates) writes through
// newEntity and entityGroups. EntityCodec is declared, never defined, so a
// kind added to the vocabulary without its codec is a compile error wherever
// entities are read or written.
//
// Reading takes a record's tags and looks at the first group of each code
// before the extended data; a record that lacks a group its kind cannot do
// without (a line's end, a circle's radius, a vertex without its y), or whose
// value there is no number, gives nothing, and groups that may be left out
// take the values the DXF reference gives them. Angles are degrees in the
// file and radians in the kinds; ellipse start and end are parameters in both.
//
// Writing gives the groups after the ones every entity has (handle, owner,
// layer: DxfDrawing::addEntity writes those), subclass markers included, in
// the order of the subclasses. An optional group that holds its default (a
// text's rotation 0, a polyline's elevation 0) is left out, unless the record
// the groups go over (`over`, empty for a new record) has it: no value of the
// file outlives a change. A text whose string is the one the record holds
// keeps the record's bytes for it (its code page, its escapes as written,
// the line break a binary file may hold).
//
//   DxfDrawing d = DxfDrawing::blank();
//   d.addLayer("CUT", 1);
//   d.addEntity(Space::Model, *newEntity(entities::Line{{0, 0, 0}, {100, 0, 0}}, "CUT", d));
//   rewriteEntity(d, 0, entities::Line{{0, 0, 0}, {50, 0, 0}});

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "DxfDrawing.h"
#include "DxfTag.h"
#include "Entity.h"
#include "Error.h"

namespace tessik::dxf {

using Tags = std::span<const DxfTag>;

// The groups of a record as typed values: the first group of a code before
// the extended data (1000 and up).
const DxfTag* firstGroup(Tags tags, int code);
std::optional<double> groupNumber(Tags tags, int code);
double groupNumber(Tags tags, int code, double fallback);
// An integer group, fallback when it is missing or out of int's range.
int groupInteger(Tags tags, int code, int fallback);
std::string groupText(Tags tags, int code);
// A point: x at code, y at code + 10, z (0 when left out) at code + 20.
std::optional<Point3> groupPoint(Tags tags, int code);

// The other way: a real as the file spells it, and a point as its three groups.
DxfTag realGroup(int code, double value);
void appendPoint(std::vector<DxfTag>& tags, int code, const Point3& p);

// A TEXT or ATTRIB as read: the text decoded to UTF-8 with its %% codes as
// written, the justification as the file gives it (groups 72 and 73, 74 for
// an attribute's vertical one), valid or not, and the alignment point when
// there is one.
struct TextEntity {
    entities::Text text;
    int horizontal = 0;
    int vertical = 0;
    std::optional<Point3> alignment;
    bool attribute = false;
    bool aligned() const { return horizontal != 0 || vertical != 0; }
};

template <class Kind>
struct EntityCodec;

template <>
struct EntityCodec<entities::Line> {
    static constexpr int kStart = 10, kEnd = 11;
    static std::optional<entities::Line> read(Tags tags, const DxfDrawing& drawing);
    static Result<std::vector<DxfTag>> write(const entities::Line& line, const DxfDrawing& drawing, Tags over);
};

template <>
struct EntityCodec<entities::Circle> {
    static constexpr int kCenter = 10, kRadius = 40;
    static std::optional<entities::Circle> read(Tags tags, const DxfDrawing& drawing);
    static Result<std::vector<DxfTag>> write(const entities::Circle& circle, const DxfDrawing& drawing,
                                             Tags over);
};

// An ARC is a circle (AcDbCircle) with its angles in a subclass of their own.
template <>
struct EntityCodec<entities::Arc> {
    static constexpr int kCenter = 10, kRadius = 40, kStartAngle = 50, kEndAngle = 51;
    static std::optional<entities::Arc> read(Tags tags, const DxfDrawing& drawing);
    static Result<std::vector<DxfTag>> write(const entities::Arc& arc, const DxfDrawing& drawing, Tags over);
};

template <>
struct EntityCodec<entities::Ellipse> {
    static constexpr int kCenter = 10, kMajorAxis = 11, kRatio = 40, kStartParam = 41, kEndParam = 42;
    static std::optional<entities::Ellipse> read(Tags tags, const DxfDrawing& drawing);
    static Result<std::vector<DxfTag>> write(const entities::Ellipse& ellipse, const DxfDrawing& drawing,
                                             Tags over);
};

template <>
struct EntityCodec<entities::Point> {
    static constexpr int kPosition = 10;
    static std::optional<entities::Point> read(Tags tags, const DxfDrawing& drawing);
    static Result<std::vector<DxfTag>> write(const entities::Point& point, const DxfDrawing& drawing,
                                             Tags over);
};

// LWPOLYLINE: a vertex is a 10 followed by its 20, then its widths (40, 41),
// bulge (42) and id (91) where it has them; group 90 counts the vertices.
// Written over a record with the same vertices (x, y, bulge), the record's
// vertex groups stay, with their widths.
template <>
struct EntityCodec<entities::Polyline> {
    static constexpr int kCount = 90, kFlags = 70, kElevation = 38, kConstantWidth = 43;
    static constexpr int kX = 10, kY = 20, kStartWidth = 40, kEndWidth = 41, kBulge = 42, kVertexId = 91;
    static constexpr int kVertexCodes[] = {kX, kY, kStartWidth, kEndWidth, kBulge, kVertexId};
    static constexpr int kClosed = 1;  // flag of group 70

    static std::optional<entities::Polyline> read(Tags tags, const DxfDrawing& drawing);
    static Result<std::vector<DxfTag>> write(const entities::Polyline& polyline, const DxfDrawing& drawing,
                                             Tags over);
    // The vertices in tag order (bulges counted when asked), as a hatch's
    // polyline path holds them too; nothing when one lacks its y or a value
    // is no number.
    static std::optional<std::vector<entities::PolylineVertex>> readVertices(Tags tags, bool bulges);
    // The vertex groups of a polyline: x, y and a bulge that is not 0.
    static std::vector<DxfTag> vertexGroups(const entities::Polyline& polyline);
};

// TEXT: its string in the drawing's code page (\U+XXXX for what the page
// lacks). The horizontal justification and the alignment point belong to the
// first AcDbText subclass, the vertical one to the second; a text left on
// its baseline has neither.
template <>
struct EntityCodec<entities::Text> {
    static constexpr int kInsertion = 10, kHeight = 40, kString = 1, kRotation = 50;
    static constexpr int kHorizontal = 72, kAlignment = 11, kVertical = 73, kAttributeVertical = 74;

    static std::optional<TextEntity> read(Tags tags, const DxfDrawing& drawing);
    static std::optional<TextEntity> readAttribute(Tags tags, const DxfDrawing& drawing);
    // Fails on a text no DXF can hold (a line break, bytes that are no UTF-8).
    static Result<std::vector<DxfTag>> write(const entities::Text& text, const DxfDrawing& drawing,
                                             Tags over);
};

// The groups of an entity after the common ones (see above).
template <class Kind>
Result<std::vector<DxfTag>> entityGroups(const Kind& entity, const DxfDrawing& drawing, Tags over = {})
{
    return EntityCodec<Kind>::write(entity, drawing, over);
}

template <class... Kinds>
Result<std::vector<DxfTag>> entityGroups(const std::variant<Kinds...>& entity, const DxfDrawing& drawing,
                                         Tags over = {})
{
    return std::visit([&](const auto& kind) { return entityGroups(kind, drawing, over); }, entity);
}

// An entity of any kind as a new record of drawing, on layer.
template <class Kind>
Result<NewEntity> newEntity(const Kind& entity, std::string layer, const DxfDrawing& drawing)
{
    auto groups = EntityCodec<Kind>::write(entity, drawing, {});
    if (!groups) return groups.error();
    return NewEntity{std::string(entities::EntityTraits<Kind>::dxfName), std::move(layer), std::move(groups).value()};
}

template <class... Kinds>
Result<NewEntity> newEntity(const std::variant<Kinds...>& entity, std::string layer, const DxfDrawing& drawing)
{
    return std::visit([&](const auto& kind) { return newEntity(kind, std::move(layer), drawing); }, entity);
}

// Writes groups over record i: each replaces the first group of its code,
// except those of the codes repeated (a polyline's vertex groups), which,
// when there are any, replace all of theirs together. Subclass markers are
// not written over.
void writeOver(DxfDrawing& drawing, std::size_t i, const std::vector<DxfTag>& groups, std::span<const int> repeated);

// Entity written over record i of drawing, a record of its kind: its groups
// change, every other group of the record (handle, layer, colour, extended
// data) stays. Fails, changing nothing, on a text no DXF can hold.
template <class Kind>
Status rewriteEntity(DxfDrawing& drawing, std::size_t i, const Kind& entity)
{
    auto groups = EntityCodec<Kind>::write(entity, drawing, drawing.entityTags(i));
    if (!groups) return groups.error();
    if constexpr (requires { EntityCodec<Kind>::kVertexCodes; })
        writeOver(drawing, i, *groups, EntityCodec<Kind>::kVertexCodes);
    else
        writeOver(drawing, i, *groups, {});
    return success();
}

template <class... Kinds>
Status rewriteEntity(DxfDrawing& drawing, std::size_t i, const std::variant<Kinds...>& entity)
{
    return std::visit([&](const auto& kind) { return rewriteEntity(drawing, i, kind); }, entity);
}

}  // namespace tessik::dxf
