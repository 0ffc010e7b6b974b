#include "render/SpaceLook.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "model/DxfShapes.h"

namespace tessik::cadhost {

namespace {

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

}  // namespace

void extendLook(SpaceLook& look, const DrawingDocument& doc, SpaceKind kind)
{
    const CadSpace& space = doc.space(kind);
    if (look.size() >= space.count()) return;
    const dxf::DxfDrawing& drawing = doc.drawing();
    const dxf::LayerTable layers(drawing);
    const dxf::LinetypeTable linetypes(drawing);
    std::map<std::pair<const std::vector<double>*, double>, std::uint16_t> known;
    const auto patternOf = [&](const std::string& name, double scale) -> std::uint16_t {
        const std::vector<double>& pattern = linetypes.pattern(name);
        if (pattern.empty()) return 0;
        const auto [it, added] = known.emplace(std::pair(&pattern, scale), 0);
        if (added) {
            // Patterns already in the look are matched by value.
            std::vector<double> scaled = pattern;
            for (double& d : scaled) d *= scale;
            std::size_t at = 1;
            while (at < look.dashes.size() && look.dashes[at] != scaled) ++at;
            if (at == look.dashes.size()) {
                if (at > 0xFFFF) return 0;
                look.dashes.push_back(std::move(scaled));
            }
            it->second = static_cast<std::uint16_t>(at);
        }
        return it->second;
    };
    // Layers made here, by name, with their colours.
    std::map<std::string, int, std::less<>> added;
    for (const auto& l : doc.addedLayers()) added.emplace(l.name, l.color);
    const auto layerInk = [&](const std::string& name) {
        if (const auto it = added.find(name); it != added.end())
            return it->second == 7 ? dxf::kForegroundInk : static_cast<dxf::Ink>(dxf::aciRgb(it->second));
        dxf::EntityStyle byLayer;
        byLayer.layer = name;
        return layers.resolvedInk(byLayer);
    };
    // Each layer resolved once (the table's lookups fold case, which costs
    // an allocation apiece): its ink and line type pattern.
    std::map<std::string, std::pair<dxf::Ink, std::uint16_t>, std::less<>> byLayer;
    const auto layerLook = [&](const std::string& layer) -> const std::pair<dxf::Ink, std::uint16_t>& {
        auto it = byLayer.find(layer);
        if (it == byLayer.end()) {
            dxf::EntityStyle style;
            style.layer = layer;
            it = byLayer.emplace(layer, std::pair(layerInk(layer), patternOf(layers.resolvedLinetype(style), 1))).first;
        }
        return it->second;
    };
    const auto isByLayer = [](const std::string& name) {
        constexpr std::string_view kByLayer = "BYLAYER";
        if (name.size() != kByLayer.size()) return false;
        for (std::size_t i = 0; i < name.size(); ++i)
            if ((name[i] & ~0x20) != kByLayer[i]) return false;
        return true;
    };
    // Text styles' fonts, read when the first text asks.
    std::map<std::string, std::string, std::less<>> styleFamilies;
    bool stylesRead = false;
    const auto faceOf = [&](std::span<const dxf::DxfTag> tags) -> std::uint16_t {
        if (!stylesRead) {
            stylesRead = true;
            for (std::span<const dxf::DxfTag> style : drawing.tableEntries("STYLE")) {
                std::string name, file, big;
                for (const dxf::DxfTag& t : style) {
                    if (t.code == 2 && name.empty()) name = upper(t.value);
                    else if (t.code == 3 && file.empty()) file = t.value;
                    else if (t.code == 4 && big.empty()) big = t.value;
                }
                if (!name.empty()) styleFamilies.emplace(name, fontFamily(file, big));
            }
        }
        // The text's own groups, not those of an object embedded after them.
        TextFace face;
        std::string style = "STANDARD";
        for (const dxf::DxfTag& t : tags) {
            if (t.code == 101 || t.code >= 1000) break;
            const auto number = [&] {
                const auto v = dxf::tagNumber(t.value);
                return v && std::isfinite(*v) ? *v : std::numeric_limits<double>::quiet_NaN();
            };
            if (t.code == 7) style = upper(t.value);
            else if (t.code == 41 && number() > 0) face.widthFactor = std::min(number(), 100.0);
            else if (t.code == 51 && std::isfinite(number())) face.oblique = std::clamp(std::remainder(number(), 360.0), -85.0, 85.0);
            else if (t.code == 71 && std::isfinite(number())) face.generation = static_cast<int>(number()) & 6;
        }
        if (const auto it = styleFamilies.find(style); it != styleFamilies.end()) face.family = it->second;
        else if (const auto standard = styleFamilies.find("STANDARD"); standard != styleFamilies.end())
            face.family = standard->second;
        if (face.family == fontFamily("", "")) face.family.clear();
        if (face == TextFace{}) return 0;
        std::size_t at = 1;
        while (at < look.textFaces.size() && look.textFaces[at] != face) ++at;
        if (at == look.textFaces.size()) {
            if (at > 0xFFFF) return 0;
            look.textFaces.push_back(std::move(face));
        }
        return static_cast<std::uint16_t>(at);
    };
    look.faces.reserve(static_cast<std::size_t>(space.count()));
    look.inks.reserve(static_cast<std::size_t>(space.count()));
    look.patterns.reserve(static_cast<std::size_t>(space.count()));
    for (int i = look.size(); i < space.count(); ++i) {
        const auto record = space.record(i);
        const bool read = record && *record < drawing.entityCount();
        look.faces.push_back(read && std::holds_alternative<ModelText>(space.at(i)) ? faceOf(drawing.entityTags(*record)) : 0);
        const auto& set = space.style(i);  // layer, colour ... as set since read or made
        if (!set && (!record || *record >= drawing.entityCount())) {
            const auto& l = layerLook(space.layer(i));
            look.inks.push_back(l.first);
            look.patterns.push_back(l.second);
            continue;
        }
        dxf::EntityStyle style = record && *record < drawing.entityCount()
                                     ? dxf::entityStyle(drawing.entityTags(*record))
                                     : dxf::EntityStyle{};
        if (set) {
            style.layer = set->layer;
            style.color.index = set->color;
            style.trueColor = set->trueColor;
            style.linetype = set->linetype;
            style.lineweight = set->lineweight;
        }
        const auto& l = layerLook(style.layer);
        if (style.trueColor)
            look.inks.push_back(static_cast<dxf::Ink>(*style.trueColor));
        else if (style.color.byLayer())
            look.inks.push_back(l.first);
        else
            look.inks.push_back(layers.resolvedInk(style));
        look.patterns.push_back(isByLayer(style.linetype) && style.linetypeScale == 1
                                    ? l.second
                                    : patternOf(layers.resolvedLinetype(style), style.linetypeScale));
    }
}

}  // namespace tessik::cadhost
