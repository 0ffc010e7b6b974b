#pragma once
// How an entity looks, as the file says it: its layer, colour and line type,
// and the layer table those resolve against. Colours are AutoCAD Color Index
// numbers (1..255), or "by layer" (256, also what an entity without group 62
// has) or "by block" (0: the colour of the block reference that draws it).
// A layer whose colour is negative is off; flag 1 of its group 70 freezes it.
// Names compare without regard to ASCII case, as CAD programs compare them.
//
// Also here: the object coordinate system of the kinds whose points are in
// the plane of their extrusion direction (group 210), by the arbitrary axis
// algorithm CAD programs use.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "DxfDrawing.h"
#include "DxfTag.h"

namespace tessik::dxf {

struct DxfColor {
    static constexpr int kByBlock = 0;
    static constexpr int kByLayer = 256;
    int index = kByLayer;
    bool byLayer() const { return index == kByLayer; }
    bool byBlock() const { return index == kByBlock; }
};

// Line weights (group 370) are hundredths of a millimetre, or one of these.
inline constexpr int kLineweightByLayer = -1;
inline constexpr int kLineweightByBlock = -2;
inline constexpr int kLineweightDefault = -3;

struct EntityStyle {
    std::string layer = "0";
    DxfColor color;
    std::optional<std::uint32_t> trueColor;  // group 420, 0xRRGGBB: wins over the index
    std::string linetype = "BYLAYER";
    double linetypeScale = 1;  // group 48
    int lineweight = kLineweightByLayer;
};

struct LayerStyle {
    std::string name;
    int color = 7;  // 1..255, whether the layer is on or not
    std::optional<std::uint32_t> trueColor;
    std::string linetype = "CONTINUOUS";
    int lineweight = kLineweightDefault;
    bool on = true;
    bool frozen = false;
    bool shown() const { return on && !frozen; }
};

// The first 8, 62, 420, 6, 48 and 370 of an entity's tags (before its extended data).
EntityStyle entityStyle(std::span<const DxfTag> tags);

// The colour of an AutoCAD Color Index (1..255) as 0xRRGGBB: 1..9 the named
// colours (7 white, drawn black on a light background by the caller),
// 10..249 24 hues in 15 degree steps at five values, each full and half
// saturated, 250..255 greys. Anything else is white.
std::uint32_t aciRgb(int index);

// An ink a view draws in: 0xRRGGBB, or kForegroundInk for colour 7 (white
// on a dark background, black on a light one).
using Ink = std::int32_t;
inline constexpr Ink kForegroundInk = -1;

class LayerTable {
public:
    explicit LayerTable(const DxfDrawing& drawing);
    // A layer the table lacks is shown in colour 7, as CAD programs treat it.
    LayerStyle layer(std::string_view name) const;
    bool shown(std::string_view name) const { return layer(name).shown(); }
    // The colour an entity is drawn in: by layer takes its layer's, by block
    // the block reference's (blockColor, itself resolved), else its own.
    int resolvedColor(const EntityStyle& style, int blockColor = 7) const;
    // The line type, with "by layer" resolved; "BYBLOCK" stays for the caller.
    std::string resolvedLinetype(const EntityStyle& style) const;
    // The ink of an entity: true colour, else its index (7 is the
    // foreground), by layer and by block resolved (blockInk: the reference's).
    Ink resolvedInk(const EntityStyle& style, Ink blockInk = kForegroundInk) const;
    // Hundredths of a millimetre, or kLineweightDefault.
    int resolvedLineweight(const EntityStyle& style, int blockWeight = kLineweightDefault) const;

private:
    std::map<std::string, LayerStyle, std::less<>> layers_;  // by upper-case name
};

// The dash patterns of the LTYPE table, by name: lengths in drawing units,
// a dash positive, a gap negative, a dot 0. A line type without elements, or
// unknown, is continuous (an empty pattern). Every pattern is scaled by the
// drawing's $LTSCALE.
class LinetypeTable {
public:
    explicit LinetypeTable(const DxfDrawing& drawing);
    const std::vector<double>& pattern(std::string_view name) const;
    double globalScale() const { return scale_; }

private:
    std::map<std::string, std::vector<double>, std::less<>> patterns_;  // by upper-case name
    double scale_ = 1;
};

using Vec3 = std::array<double, 3>;

// The axes of the object coordinate system of extrusion direction n (any
// length but zero; a zero or unusable one counts as 0,0,1).
struct Ocs {
    Vec3 x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
    explicit Ocs(Vec3 n = {0, 0, 1});
    bool identity() const { return z[0] == 0 && z[1] == 0 && z[2] == 1; }
    Vec3 toWorld(Vec3 p) const;
};

// The extrusion direction of an entity's tags (210/220/230, default 0,0,1).
Vec3 extrusion(std::span<const DxfTag> tags);

}  // namespace tessik::dxf
