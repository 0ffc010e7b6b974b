#include "render/SpaceLook.h"

#include <map>
#include <string>
#include <string_view>

namespace tessik::cadhost {

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
    look.inks.reserve(static_cast<std::size_t>(space.count()));
    look.patterns.reserve(static_cast<std::size_t>(space.count()));
    for (int i = look.size(); i < space.count(); ++i) {
        const auto record = space.record(i);
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
