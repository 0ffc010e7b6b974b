#pragma once
// How each entity of a space looks: its ink (colour index or true colour,
// by layer resolved; colour 7 is the view's foreground) and the dash pattern
// of its line type, as the file's tags and layer table say, or, for an
// entity made here, as its layer says; a text's letters as its own groups
// and its style say. Worked out once per entity and kept
// by the view, which extends it as entities arrive and drops it when the
// drawing changes.

#include <cstdint>
#include <string>
#include <vector>

#include <QRgb>

#include "DxfStyle.h"
#include "model/DrawingDocument.h"

namespace tessik::cadhost {

// How a text's letters are drawn: in its style's font (an installed
// family; empty: the one installed with Tessik), its width factor, its
// obliquing (degrees, leaning right) and its generation flags (2 backward,
// 4 upside down).
struct TextFace {
    std::string family;
    double widthFactor = 1;
    double oblique = 0;
    int generation = 0;
    bool operator==(const TextFace&) const = default;
};

struct SpaceLook {
    std::vector<dxf::Ink> inks;           // one per slot of the space
    std::vector<std::uint16_t> patterns;  // one per slot: into dashes, 0 continuous
    std::vector<std::uint16_t> faces;     // one per slot: into textFaces, 0 the plain face (none: all plain)
    std::vector<TextFace> textFaces{{}};
    // Dash patterns in drawing units ($LTSCALE and the entity's scale applied);
    // the first is continuous.
    std::vector<std::vector<double>> dashes{{}};
    int size() const { return static_cast<int>(inks.size()); }
};

// Adds the look of the slots the look does not cover yet.
void extendLook(SpaceLook& look, const DrawingDocument& doc, SpaceKind kind);

inline QRgb inkRgb(dxf::Ink ink, QRgb foreground)
{
    return ink == dxf::kForegroundInk ? foreground : (0xFF000000u | static_cast<QRgb>(ink));
}

}  // namespace tessik::cadhost
