#include "model/ModelNames.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <iterator>

namespace tessik::cadhost {

namespace {

struct KindName {
    std::string_view type;        // DXF record
    std::string_view objectName;  // class
    int number;                   // the commercial CAD's entity-type number; 0 where it has none
    std::string_view automation;
};

// Dimensions by the low bits of group 70, polylines by their flags.
constexpr std::array kDimensions{
    KindName{"DIMENSION", "AcDbRotatedDimension", 15, "DimRotated"},
    KindName{"DIMENSION", "AcDbAlignedDimension", 9, "DimAligned"},
    KindName{"DIMENSION", "AcDb2LineAngularDimension", 10, "DimAngular"},
    KindName{"DIMENSION", "AcDbDiametricDimension", 12, "DimDiametric"},
    KindName{"DIMENSION", "AcDbRadialDimension", 14, "DimRadial"},
    KindName{"DIMENSION", "AcDb3PointAngularDimension", 41, "Dim3PointAngular"},
    KindName{"DIMENSION", "AcDbOrdinateDimension", 13, "DimOrdinate"},
};

constexpr std::array kKinds{
    KindName{"LINE", "AcDbLine", 19, "Line"},
    KindName{"ARC", "AcDbArc", 4, "Arc"},
    KindName{"CIRCLE", "AcDbCircle", 8, "Circle"},
    KindName{"ELLIPSE", "AcDbEllipse", 16, "Ellipse"},
    KindName{"LWPOLYLINE", "AcDbPolyline", 24, "LWPolyline"},
    KindName{"TEXT", "AcDbText", 32, "Text"},
    KindName{"MTEXT", "AcDbMText", 21, "MText"},
    KindName{"INSERT", "AcDbBlockReference", 7, "BlockReference"},
    KindName{"HATCH", "AcDbHatch", 17, "Hatch"},
    KindName{"SPLINE", "AcDbSpline", 31, "Spline"},
    KindName{"SOLID", "AcDbSolid", 30, "Solid"},
    KindName{"TRACE", "AcDbTrace", 34, "Trace"},
    KindName{"POINT", "AcDbPoint", 22, "Point"},
    KindName{"LEADER", "AcDbLeader", 18, "Leader"},
    KindName{"MULTILEADER", "AcDbMLeader", 0, "MLeader"},
    KindName{"MLEADER", "AcDbMLeader", 0, "MLeader"},
    KindName{"3DFACE", "AcDbFace", 1, "3DFace"},
    KindName{"IMAGE", "AcDbRasterImage", 26, "RasterImage"},
    KindName{"ATTDEF", "AcDbAttributeDefinition", 5, "Attribute"},
    KindName{"ATTRIB", "AcDbAttribute", 6, "AttributeReference"},
    KindName{"XLINE", "AcDbXline", 36, "XLine"},
    KindName{"RAY", "AcDbRay", 27, "Ray"},
    KindName{"REGION", "AcDbRegion", 28, "Region"},
    KindName{"3DSOLID", "AcDb3dSolid", 3, "3DSolid"},
    KindName{"BODY", "AcDbBody", 0, "Body"},
    KindName{"TOLERANCE", "AcDbFcf", 33, "Tolerance"},
    KindName{"VIEWPORT", "AcDbViewport", 35, "PViewport"},
    KindName{"SHAPE", "AcDbShape", 29, "Shape"},
    KindName{"MLINE", "AcDbMline", 40, "MLine"},
    KindName{"WIPEOUT", "AcDbWipeout", 0, "Wipeout"},
    KindName{"OLE2FRAME", "AcDbOle2Frame", 0, "Ole2Frame"},
    KindName{"OLEFRAME", "AcDbOleFrame", 0, "OleFrame"},
    KindName{"ARC_DIMENSION", "AcDbArcDimension", 0, "DimArcLength"},
    KindName{"LARGE_RADIAL_DIMENSION", "AcDbRadialDimensionLarge", 0, "DimRadialLarge"},
    KindName{"ACAD_PROXY_ENTITY", "AcDbProxyEntity", 0, "Entity"},
    KindName{"POLYLINE", "AcDb2dPolyline", 23, "Polyline"},
    KindName{"POLYLINE", "AcDb3dPolyline", 2, "3DPolyline"},
    KindName{"POLYLINE", "AcDbPolygonMesh", 25, "PolygonMesh"},
    KindName{"POLYLINE", "AcDbPolyFaceMesh", 39, "PolyfaceMesh"},
    KindName{"INSERT", "AcDbMInsertBlock", 38, "MInsertBlock"},
};

const KindName* byObjectName(std::string_view name)
{
    for (const KindName& k : kKinds)
        if (k.objectName == name) return &k;
    for (const KindName& k : kDimensions)
        if (k.objectName == name) return &k;
    return nullptr;
}

int intGroup(std::span<const dxf::DxfTag> tags, int code, int fallback)
{
    for (const dxf::DxfTag& t : tags) {
        if (t.code == 1001) break;  // extended data
        if (t.code != code) continue;
        std::string_view v = t.value;
        while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
        int n = fallback;
        const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
        return ec == std::errc() ? n : fallback;
    }
    return fallback;
}

template <class Shape, class Held>
auto byKind(const ModelEntity& entity, Shape shape, Held held)
{
    return std::visit(Overload{[&](const ModelShape& s) { return shape(s); },
                               [&](const ModelLine&) { return held(entities::EntityTraits<ModelLine>{}); },
                               [&](const ModelArc&) { return held(entities::EntityTraits<ModelArc>{}); },
                               [&](const ModelCircle&) { return held(entities::EntityTraits<ModelCircle>{}); },
                               [&](const ModelEllipse&) { return held(entities::EntityTraits<ModelEllipse>{}); },
                               [&](const ModelPolyline&) { return held(entities::EntityTraits<ModelPolyline>{}); },
                               [&](const ModelText&) { return held(entities::EntityTraits<ModelText>{}); }},
                      entity);
}

}  // namespace

std::string_view objectName(const ModelEntity& entity)
{
    return byKind(
        entity, [](const ModelShape& s) { return std::string_view(s.objectName); },
        [](auto traits) { return decltype(traits)::objectName; });
}

int typeNumber(const ModelEntity& entity)
{
    return byKind(
        entity,
        [](const ModelShape& s) {
            const KindName* k = byObjectName(s.objectName);
            return k ? k->number : 0;
        },
        [](auto traits) { return decltype(traits)::typeNumber; });
}

std::string_view automationName(const ModelEntity& entity)
{
    return byKind(
        entity,
        [](const ModelShape& s) {
            const KindName* k = byObjectName(s.objectName);
            return k ? k->automation : std::string_view("Entity");
        },
        [](auto traits) { return decltype(traits)::automationName; });
}

std::string_view dxfTypeName(const ModelEntity& entity)
{
    return byKind(
        entity, [](const ModelShape& s) { return std::string_view(s.type); },
        [](auto traits) { return decltype(traits)::dxfName; });
}

std::string shapeObjectName(std::string_view type, std::span<const dxf::DxfTag> tags, const dxf::DxfDrawing& drawing)
{
    if (type == "DIMENSION") {
        const int kind = intGroup(tags, 70, 0) & 7;
        return std::string(kind < int(kDimensions.size()) ? kDimensions[std::size_t(kind)].objectName
                                                          : kDimensions[0].objectName);
    }
    if (type == "POLYLINE") {
        const int flags = intGroup(tags, 70, 0);
        if (flags & 64) return "AcDbPolyFaceMesh";
        if (flags & 16) return "AcDbPolygonMesh";
        if (flags & 8) return "AcDb3dPolyline";
        return "AcDb2dPolyline";
    }
    if (type == "INSERT" && (intGroup(tags, 70, 1) > 1 || intGroup(tags, 71, 1) > 1)) return "AcDbMInsertBlock";
    for (const KindName& k : kKinds)
        if (k.type == type) return std::string(k.objectName);
    // A custom object: the class its file declares for it.
    std::string declared = drawing.className(type);
    return declared.empty() ? std::string(type) : declared;
}

std::span<const int> movedPointCodes(std::string_view type)
{
    static constexpr int kAt[] = {10};
    static constexpr int kText[] = {10, 11};
    static constexpr int kCorners[] = {10, 11, 12, 13};
    static constexpr int kSpline[] = {10, 11};
    static constexpr int kLine[] = {10, 11};
    static constexpr int kCircle[] = {10};
    if (type == "INSERT" || type == "MTEXT" || type == "POINT" || type == "LEADER" || type == "XLINE" ||
        type == "RAY" || type == "IMAGE" || type == "WIPEOUT" || type == "POLYLINE" || type == "SHAPE" ||
        type == "TOLERANCE" || type == "VIEWPORT" || type == "MESH")  // a viewport's place on its sheet, not its view
        return kAt;
    if (type == "TEXT" || type == "ATTDEF" || type == "ATTRIB") return kText;
    if (type == "SOLID" || type == "TRACE" || type == "3DFACE") return kCorners;
    // MLINE: its start and its vertices; HELIX: its spline's and its axis's base and start.
    if (type == "SPLINE" || type == "MLINE" || type == "HELIX") return kSpline;
    if (type == "LINE" || type == "OLE2FRAME") return kLine;  // an embedded object's frame: two corners
    if (type == "CIRCLE" || type == "ARC" || type == "ELLIPSE" || type == "LWPOLYLINE") return kCircle;
    return {};
}

CommonGroups commonGroups(std::span<const dxf::DxfTag> tags)
{
    CommonGroups g;
    bool layer = false, color = false, linetype = false, weight = false, handle = false, rgb = false;
    int subclasses = 0;
    for (const dxf::DxfTag& t : tags) {
        if (t.code == 1001) break;
        // The common groups come before the entity's own subclass.
        if (t.code == 100 && ++subclasses > 1) break;
        if (t.code == 102) continue;
        if (t.code == 5 && !handle) handle = true, g.handle = t.value;
        if (t.code == 8 && !layer) layer = true, g.layer = t.value;
        if (t.code == 62 && !color) color = true, g.color = intGroup(std::span(&t, 1), 62, 256);
        if (t.code == 6 && !linetype) linetype = true, g.linetype = t.value;
        if (t.code == 370 && !weight) weight = true, g.lineweight = intGroup(std::span(&t, 1), 370, -1);
        if (t.code == 420 && !rgb) {
            rgb = true;
            const int v = intGroup(std::span(&t, 1), 420, -1);
            if (v >= 0) g.trueColor = static_cast<std::uint32_t>(v) & 0xFFFFFFu;
        }
    }
    return g;
}

std::string handleText(std::uint64_t handle)
{
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, handle, 16).ptr;
    std::string text(buf, end);
    for (char& ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return text;
}

bool restylable(std::span<const dxf::DxfTag> tags)
{
    int seen[std::size(kStyleCodes)] = {};
    int subclasses = 0;
    bool common = true;
    for (const dxf::DxfTag& t : tags) {
        if (t.code >= 1000) break;
        if (t.code == 100 && ++subclasses > 1) common = false;
        for (std::size_t k = 0; k < std::size(kStyleCodes); ++k)
            if (t.code == kStyleCodes[k] && (!common || ++seen[k] > 1)) return false;
    }
    return true;
}

std::vector<dxf::DxfTag> styleTags(std::span<const dxf::DxfTag> tags, const CommonGroups& now)
{
    const CommonGroups was = commonGroups(tags);
    const auto fileTag = [&](int code) -> const dxf::DxfTag* {
        for (const dxf::DxfTag& t : tags) {
            if (t.code >= 1000) break;
            if (t.code == code) return &t;
        }
        return nullptr;
    };
    const auto sameName = [](const std::string& a, const std::string& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
        });
    };
    std::vector<dxf::DxfTag> out;
    // Keeps the file's tag when the value stays, else writes the new one
    // unless it is the default and the file had none.
    const auto put = [&](int code, bool same, bool isDefault, std::string value) {
        const dxf::DxfTag* t = fileTag(code);
        if (same && t) out.push_back(*t);
        else if (!same && (t || !isDefault)) out.push_back({code, std::move(value)});
    };
    put(8, was.layer == now.layer, false, now.layer);
    put(6, sameName(was.linetype, now.linetype), sameName(now.linetype, "ByLayer"), now.linetype);
    const bool sameColor = was.color == now.color && was.trueColor == now.trueColor;
    put(62, was.color == now.color, now.color == 256, std::to_string(now.color));
    if (now.trueColor) put(420, was.trueColor == now.trueColor, false, std::to_string(*now.trueColor));
    if (const dxf::DxfTag* name = fileTag(430); name && sameColor) out.push_back(*name);
    put(370, was.lineweight == now.lineweight, now.lineweight == -1, std::to_string(now.lineweight));
    return out;
}

std::optional<ModelEntity> movedEntity(const ModelEntity& entity, const Point3& by)
{
    const auto shift = [&by](Point3 p) {
        for (std::size_t i = 0; i < 3; ++i) p[i] += by[i];
        return p;
    };
    using Moved = std::optional<ModelEntity>;
    return std::visit(Overload{[&](ModelLine l) -> Moved {
                                   l.start = shift(l.start);
                                   l.end = shift(l.end);
                                   return l;
                               },
                               [&](ModelArc a) -> Moved {
                                   a.center = shift(a.center);
                                   return a;
                               },
                               [&](ModelCircle c) -> Moved {
                                   c.center = shift(c.center);
                                   return c;
                               },
                               [&](ModelEllipse e) -> Moved {
                                   e.center = shift(e.center);
                                   return e;
                               },
                               [&](ModelPolyline p) -> Moved {
                                   for (entities::PolylineVertex& v : p.vertices) {
                                       v.x += by[0];
                                       v.y += by[1];
                                   }
                                   p.elevation += by[2];
                                   return p;
                               },
                               [&](ModelText t) -> Moved {
                                   t.insertion = shift(t.insertion);
                                   t.alignment = shift(t.alignment);
                                   return t;
                               },
                               [&](ModelShape s) -> Moved {
                                   if (!s.movable) return std::nullopt;
                                   s.offset = shift(s.offset);
                                   return s;
                               }},
                      entity);
}

std::string_view unmovableReason(const ModelEntity& entity)
{
    const std::string_view type = dxfTypeName(entity);
    if (type == "REGION" || type == "3DSOLID" || type == "BODY" || type.ends_with("SURFACE"))
        return "它的形状在 ACIS 数据中，不在点的组码里";
    if (type == "VIEWPORT")  // only one clipped by another entity refuses
        return "它由布局中的另一个图元裁剪，单独移动会透过留在原处的边界显示模型空间的别处";
    if (type == "OLEFRAME") return "它的位置在嵌入对象的二进制数据中";
    if (type == "DIMENSION" || type == "ARC_DIMENSION" || type == "LARGE_RADIAL_DIMENSION")
        return "它的图形所在的块不归它独有（另有对象或布局引用这个块），或块中有位置写不回去的对象，"
               "移动它会改动别处的图形";
    return "它是自定义对象，它的几何只有定义它的程序知道";
}

}  // namespace tessik::cadhost
