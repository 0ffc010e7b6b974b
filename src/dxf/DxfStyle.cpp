#include "DxfStyle.h"

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
    bool layer = false, color = false, linetype = false;
    for (const DxfTag& t : tags) {
        if (t.code >= 1000) break;
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
