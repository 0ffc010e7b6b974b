#include "DxfStyle.h"

#include <algorithm>
#include <cmath>

namespace tessik::dxf {

namespace {

std::string upper(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::optional<double> number(std::string_view s) { return tagNumber(s); }

Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

std::optional<Vec3> unit(const Vec3& v)
{
    const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(n > 0) || !std::isfinite(n)) return std::nullopt;
    return Vec3{v[0] / n, v[1] / n, v[2] / n};
}

}  // namespace

EntityStyle entityStyle(std::span<const DxfTag> tags)
{
    EntityStyle style;
    bool layer = false, color = false, linetype = false, trueColor = false, scale = false, weight = false;
    for (const DxfTag& t : tags) {
        if (t.code >= 1000) break;
        if (t.code == 420 && !trueColor) {
            trueColor = true;
            if (const auto v = number(t.value); v && *v >= 0 && *v <= 0xFFFFFF)
                style.trueColor = static_cast<std::uint32_t>(*v);
            continue;
        }
        if (t.code == 48 && !scale) {
            scale = true;
            if (const auto v = number(t.value); v && *v > 0 && std::isfinite(*v)) style.linetypeScale = *v;
            continue;
        }
        if (t.code == 370 && !weight) {
            weight = true;
            if (const auto v = number(t.value); v && *v >= -3 && *v <= 211) style.lineweight = static_cast<int>(*v);
            continue;
        }
        if (t.code == 8 && !layer) {
            style.layer = t.value;
            layer = true;
        } else if (t.code == 62 && !color) {
            // Outside 0..256 (a negative colour is how a layer says it is off) it is drawn by layer.
            const auto v = number(t.value);
            if (v && *v >= 0 && *v <= 256) style.color.index = static_cast<int>(*v);
            color = true;
        } else if (t.code == 6 && !linetype) {
            style.linetype = t.value;
            linetype = true;
        }
    }
    return style;
}

LayerTable::LayerTable(const DxfDrawing& drawing)
{
    for (std::span<const DxfTag> entry : drawing.layers()) {
        LayerStyle layer;
        bool named = false, colored = false, flagged = false, typed = false;
        for (const DxfTag& t : entry) {
            if (t.code == 420 && !layer.trueColor) {
                if (const auto v = number(t.value); v && *v >= 0 && *v <= 0xFFFFFF)
                    layer.trueColor = static_cast<std::uint32_t>(*v);
            } else if (t.code == 370) {
                if (const auto v = number(t.value); v && *v >= 0 && *v <= 211) layer.lineweight = static_cast<int>(*v);
            }
            if (t.code == 2 && !named) {
                layer.name = t.value;
                named = true;
            } else if (t.code == 62 && !colored) {
                const double c = number(t.value).value_or(7);
                layer.on = c >= 0;
                const int magnitude = static_cast<int>(std::abs(c));
                layer.color = magnitude >= 1 && magnitude <= 255 ? magnitude : 7;
                colored = true;
            } else if (t.code == 70 && !flagged) {
                layer.frozen = (static_cast<long>(number(t.value).value_or(0)) & 1) != 0;
                flagged = true;
            } else if (t.code == 6 && !typed) {
                layer.linetype = t.value;
                typed = true;
            }
        }
        if (named) layers_.emplace(upper(layer.name), std::move(layer));  // the first of a name counts
    }
}

LayerStyle LayerTable::layer(std::string_view name) const
{
    if (const auto it = layers_.find(upper(name)); it != layers_.end()) return it->second;
    LayerStyle missing;
    missing.name = std::string(name);
    return missing;
}

int LayerTable::resolvedColor(const EntityStyle& style, int blockColor) const
{
    if (style.color.byLayer()) return layer(style.layer).color;
    if (style.color.byBlock()) return blockColor;
    return style.color.index;
}

std::string LayerTable::resolvedLinetype(const EntityStyle& style) const
{
    if (upper(style.linetype) == "BYLAYER") return layer(style.layer).linetype;
    return style.linetype;
}

std::uint32_t aciRgb(int index)
{
    static constexpr std::uint32_t named[10] = {0xFFFFFF, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF,
                                                0x0000FF, 0xFF00FF, 0xFFFFFF, 0x808080, 0xC0C0C0};
    static constexpr std::uint32_t greys[6] = {0x333333, 0x505050, 0x696969, 0x828282, 0xBEBEBE, 0xFFFFFF};
    if (index >= 1 && index <= 9) return named[index];
    if (index >= 250 && index <= 255) return greys[index - 250];
    if (index < 10 || index > 255) return 0xFFFFFF;
    static constexpr double values[5] = {255, 165, 127, 76, 38};
    const int k = (index - 10) % 10;
    const double hue = (index - 10) / 10 * 15.0, v = values[k / 2], s = k % 2 ? 0.5 : 1.0;
    // HSV to RGB, truncated as the palette is.
    const int sector = static_cast<int>(hue / 60);
    const double f = hue / 60 - sector;
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    double r = v, g = t, b = p;
    switch (sector) {
    case 1: r = q, g = v, b = p; break;
    case 2: r = p, g = v, b = t; break;
    case 3: r = p, g = q, b = v; break;
    case 4: r = t, g = p, b = v; break;
    case 5: r = v, g = p, b = q; break;
    default: break;
    }
    const auto byte = [](double c) { return static_cast<std::uint32_t>(std::clamp(c, 0.0, 255.0)); };
    return byte(r) << 16 | byte(g) << 8 | byte(b);
}

Ink LayerTable::resolvedInk(const EntityStyle& style, Ink blockInk) const
{
    if (style.trueColor) return static_cast<Ink>(*style.trueColor);
    if (style.color.byBlock()) return blockInk;
    if (style.color.byLayer()) {
        const LayerStyle l = layer(style.layer);
        if (l.trueColor) return static_cast<Ink>(*l.trueColor);
        return l.color == 7 ? kForegroundInk : static_cast<Ink>(aciRgb(l.color));
    }
    return style.color.index == 7 ? kForegroundInk : static_cast<Ink>(aciRgb(style.color.index));
}

int LayerTable::resolvedLineweight(const EntityStyle& style, int blockWeight) const
{
    if (style.lineweight == kLineweightByLayer) return layer(style.layer).lineweight;
    if (style.lineweight == kLineweightByBlock) return blockWeight;
    return style.lineweight;
}

LinetypeTable::LinetypeTable(const DxfDrawing& drawing)
{
    if (const auto v = drawing.headerValue("$LTSCALE"))
        if (const auto s = number(*v); s && *s > 0 && std::isfinite(*s)) scale_ = *s;
    for (std::span<const DxfTag> entry : drawing.tableEntries("LTYPE")) {
        std::string name;
        std::vector<double> pattern;  // as many elements as the entry holds, whatever group 73 says
        for (const DxfTag& t : entry) {
            if (t.code == 2 && name.empty()) name = t.value;
            if (t.code == 49)
                if (const auto v = number(t.value); v && std::isfinite(*v)) pattern.push_back(*v * scale_);
        }
        double period = 0;
        for (double d : pattern) period += std::abs(d);
        if (!(period > 0)) pattern.clear();  // nothing but dots: drawn whole
        if (!name.empty()) patterns_.emplace(upper(name), std::move(pattern));
    }
}

const std::vector<double>& LinetypeTable::pattern(std::string_view name) const
{
    static const std::vector<double> continuous;
    const auto it = patterns_.find(upper(name));
    return it == patterns_.end() ? continuous : it->second;
}

Ocs::Ocs(Vec3 n)
{
    const auto axis = unit(n);
    if (!axis) return;
    z = *axis;
    // Near the world's z axis the x axis comes from the world's y, else from its z.
    constexpr double kNear = 1.0 / 64;
    const Vec3 helper = std::abs(z[0]) < kNear && std::abs(z[1]) < kNear ? Vec3{0, 1, 0} : Vec3{0, 0, 1};
    x = unit(cross(helper, z)).value_or(Vec3{1, 0, 0});
    y = unit(cross(z, x)).value_or(Vec3{0, 1, 0});
}

Vec3 Ocs::toWorld(Vec3 p) const
{
    return {p[0] * x[0] + p[1] * y[0] + p[2] * z[0], p[0] * x[1] + p[1] * y[1] + p[2] * z[1],
            p[0] * x[2] + p[1] * y[2] + p[2] * z[2]};
}

Vec3 extrusion(std::span<const DxfTag> tags)
{
    Vec3 n{0, 0, 1};
    bool seen[3] = {false, false, false};
    for (const DxfTag& t : tags) {
        if (t.code >= 1000) break;
        if (t.code != 210 && t.code != 220 && t.code != 230) continue;
        const int k = (t.code - 210) / 10;
        if (seen[k]) continue;
        seen[k] = true;
        if (const auto v = number(t.value)) n[static_cast<std::size_t>(k)] = *v;
    }
    return n;
}

}  // namespace tessik::dxf
