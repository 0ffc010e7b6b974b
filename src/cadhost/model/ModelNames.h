#pragma once
// What a drawing's entities are called and what they carry, as the
// commercial CAD's automation answers: the class name (ObjectName), the
// entity-type number (EntityType) and the type name a client sees on a
// handle, for the kinds with EntityTraits and for every ModelShape by its
// DXF record (a dimension by its type, a POLYLINE by its flags, a custom
// object by the class the file's CLASSES section gives it).
//
// Also the properties every entity read from a file has in its tags
// (handle, layer, colour, line type, lineweight) and, for the kinds held as
// shapes, the points that move with it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "DxfDrawing.h"
#include "DxfTag.h"
#include "model/ModelEntity.h"

namespace tessik::cadhost {

std::string_view objectName(const ModelEntity& entity);
int typeNumber(const ModelEntity& entity);
// A name with static storage (handles keep it).
std::string_view automationName(const ModelEntity& entity);

// The DXF record name ("LINE", "MTEXT", ...).
std::string_view dxfTypeName(const ModelEntity& entity);

// The class name of a record that is held as a shape; tags: its own.
std::string shapeObjectName(std::string_view type, std::span<const dxf::DxfTag> tags, const dxf::DxfDrawing& drawing);

// The groups an entity's position is written in (x codes; y and z are
// 10 and 20 on), for the kinds whose points all move with it; empty when a
// kind's points cannot be moved one by one (a hatch's edges, a dimension
// drawn by its block, a custom object).
std::span<const int> movedPointCodes(std::string_view type);

// The records that belong to the one before them: a polyline's vertices
// and its end, a block reference's attributes and their end.
inline bool partOfPrevious(std::string_view type) { return type == "VERTEX" || type == "SEQEND" || type == "ATTRIB"; }

// The properties of an entity's common groups, as the file has them; an
// absent group answers its DXF default.
struct CommonGroups {
    std::string handle;
    std::string layer = "0";
    int color = 256;                     // ACI; 256 by layer, 0 by block
    std::optional<std::uint32_t> trueColor;  // group 420, 0x00RRGGBB
    std::string linetype = "ByLayer";
    int lineweight = -1;                 // hundredths of a millimetre; -1 by layer, -2 by block, -3 default
};
CommonGroups commonGroups(std::span<const dxf::DxfTag> tags);

// A handle as files write it: upper-case hexadecimal.
std::string handleText(std::uint64_t handle);

// The groups that hold layer, line type, colour (index, true colour and
// colour-book name) and lineweight.
inline constexpr int kStyleCodes[] = {8, 6, 62, 420, 430, 370};
// Whether a record's style groups can be written over in place: each is in
// its common part (before the entity's own subclass) and there at most once.
bool restylable(std::span<const dxf::DxfTag> tags);
// The style groups of a record (tags, possibly none: a new entity) set to
// now: a group whose value stays is the file's tag as it was, a group at
// its default that the record lacks stays out, in the order the commercial
// CAD writes them. A new colour drops the colour-book name.
std::vector<dxf::DxfTag> styleTags(std::span<const dxf::DxfTag> tags, const CommonGroups& now);

// The entity moved by (dx, dy, dz); nullopt for a shape whose points cannot
// be written back moved (ModelShape::movable).
std::optional<ModelEntity> movedEntity(const ModelEntity& entity, const Point3& by);
// Why movedEntity refuses an entity, for the user: where its place is kept
// instead of point groups.
std::string_view unmovableReason(const ModelEntity& entity);

}  // namespace tessik::cadhost
