#pragma once
// How each entity of a space looks: its ink (colour index or true colour,
// by layer resolved; colour 7 is the view's foreground) and the dash pattern
// of its line type, as the file's tags and layer table say, or, for an
// entity made here, as its layer says. Worked out once per entity and kept
// by the view, which extends it as entities arrive and drops it when the
// drawing changes.

#include <cstdint>
#include <vector>

#include <QRgb>

#include "DxfStyle.h"
#include "model/DrawingDocument.h"

namespace tessik::cadhost {

struct SpaceLook {
    std::vector<dxf::Ink> inks;           // one per slot of the space
    std::vector<std::uint16_t> patterns;  // one per slot: into dashes, 0 continuous
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
