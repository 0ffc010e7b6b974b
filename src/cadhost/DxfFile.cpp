#include "DxfFile.h"

#include "AutomationProtocol.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <span>

#include <QFile>
#include <QFileInfo>

#include "Dxf.h"

namespace tessik::cadhost {

namespace {

constexpr double kDegree = kTwoPi / 360.0;

using dxf::DxfTag;

// The first value of each group code an entity needs, read as numbers.
class Groups {
public:
    explicit Groups(std::span<const DxfTag> tags) : tags_(tags) {}

    std::optional<double> number(int code) const
    {
        for (const DxfTag& t : tags_) {
            if (t.code != code) continue;
            std::string_view s = t.value;
            while (!s.empty() && (s.front() == ' ' || s.front() == '+')) s.remove_prefix(1);
            while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
            double v = 0;
            const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
            if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
            return v;
        }
        return std::nullopt;
    }
    double number(int code, double fallback) const { return number(code).value_or(fallback); }
    std::optional<Point3> point(int code) const
    {
        const auto x = number(code), y = number(code + 10);
        if (!x || !y) return std::nullopt;
        return Point3{*x, *y, number(code + 20, 0)};
    }
    bool upright() const
    {
        return number(210, 0) == 0 && number(220, 0) == 0 && number(230, 1) == 1;
    }

    std::span<const DxfTag> tags() const { return tags_; }

private:
    std::span<const DxfTag> tags_;
};

// Vertices in file order: each 10 starts one, its 20 and 42 follow.
std::optional<CadEntity> polyline(const Groups& g)
{
    CadPolyline p;
    p.closed = (static_cast<int>(g.number(70, 0)) & 1) != 0;
    p.elevation = g.number(38, 0);
    bool haveY = true;
    for (const DxfTag& t : g.tags()) {
        const Groups one(std::span<const DxfTag>(&t, 1));
        if (t.code == 10) {
            if (!haveY) return std::nullopt;
            const auto x = one.number(10);
            if (!x) return std::nullopt;
            p.vertices.push_back({*x, 0, 0});
            haveY = false;
        } else if (t.code == 20 || t.code == 42) {
            const auto v = one.number(t.code);
            if (!v || p.vertices.empty()) return std::nullopt;
            if (t.code == 20) {
                p.vertices.back().y = *v;
                haveY = true;
            } else {
                p.vertices.back().bulge = *v;
            }
        }
    }
    if (!haveY || p.vertices.size() < 2) return std::nullopt;
    // A count that disagrees with the vertices: a damaged record, kept as it is.
    if (const auto n = g.number(90); n && *n != double(p.vertices.size())) return std::nullopt;
    return p;
}

std::optional<CadEntity> interpret(const std::string& type, const Groups& g, const dxf::DxfDrawing& d)
{
    if (!g.upright()) return std::nullopt;
    if (type == "LWPOLYLINE") return polyline(g);
    if (type == "TEXT") {
        const auto at = g.point(10);
        const auto height = g.number(40);
        // Aligned texts (72/73 other than 0) are placed by their second point: kept, not shown.
        if (!at || !height || !(*height > 0) || g.number(72, 0) != 0 || g.number(73, 0) != 0) return std::nullopt;
        std::string raw;
        for (const DxfTag& t : g.tags())
            if (t.code == 1) {
                raw = t.value;
                break;
            }
        return CadText{dxf::decodeDxfText(raw, d.codePage(), d.unicode()), *at, *height, g.number(50, 0) * kDegree};
    }
    if (type == "LINE") {
        const auto a = g.point(10), b = g.point(11);
        if (!a || !b) return std::nullopt;
        return CadLine{*a, *b};
    }
    if (type == "CIRCLE" || type == "ARC") {
        const auto c = g.point(10);
        const auto r = g.number(40);
        if (!c || !r || !(*r > 0)) return std::nullopt;
        if (type == "CIRCLE") return CadCircle{*c, *r};
        const auto a = g.number(50), b = g.number(51);
        if (!a || !b) return std::nullopt;
        return CadArc{*c, *r, normalizeAngle(*a * kDegree), normalizeAngle(*b * kDegree)};
    }
    if (type == "ELLIPSE") {
        const auto c = g.point(10), m = g.point(11);
        const auto ratio = g.number(40);
        const double a = g.number(41, 0), b = g.number(42, kTwoPi);
        if (!c || !m || !ratio || !(*ratio > 0 && *ratio <= 1) || !(std::hypot((*m)[0], (*m)[1]) > 0) ||
            (*m)[2] != 0)
            return std::nullopt;
        CadEllipse e{*c, *m, *ratio, 0, kTwoPi};
        // A complete ellipse is written 0 .. 2pi; anything else is cut.
        if (std::abs(std::abs(b - a) - kTwoPi) > 1e-12) {
            e.startParam = normalizeAngle(a);
            e.endParam = normalizeAngle(b);
        }
        return e;
    }
    return std::nullopt;
}

std::vector<DxfTag> pointTags(int code, const Point3& p)
{
    return {{code, dxf::formatReal(p[0])}, {code + 10, dxf::formatReal(p[1])}, {code + 20, dxf::formatReal(p[2])}};
}

// The groups that carry an entity's geometry, in the order of its subclass.
struct Geometry {
    std::string type;
    std::string subclass;
    std::vector<DxfTag> tags;
};

Geometry geometry(const CadEntity& entity, const dxf::DxfDrawing& drawing)
{
    const auto real = [](int code, double v) { return DxfTag{code, dxf::formatReal(v)}; };
    const auto concat = [](std::vector<DxfTag> a, const std::vector<DxfTag>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Visitor {
        decltype(real)& r;
        decltype(concat)& cat;
        Geometry operator()(const CadLine& l) const
        {
            return {"LINE", "AcDbLine", cat(pointTags(10, l.start), pointTags(11, l.end))};
        }
        Geometry operator()(const CadCircle& c) const
        {
            return {"CIRCLE", "AcDbCircle", cat(pointTags(10, c.center), {r(40, c.radius)})};
        }
        Geometry operator()(const CadArc& a) const
        {
            // The arc's angles follow their own subclass marker.
            return {"ARC", "AcDbCircle",
                    cat(pointTags(10, a.center), {r(40, a.radius), {100, "AcDbArc"}, r(50, a.startAngle / kDegree),
                                                  r(51, a.endAngle / kDegree)})};
        }
        Geometry operator()(const CadEllipse& e) const
        {
            return {"ELLIPSE", "AcDbEllipse",
                    cat(cat(pointTags(10, e.center), pointTags(11, e.majorAxis)),
                        {r(40, e.ratio), r(41, e.startParam), r(42, e.endParam)})};
        }
        Geometry operator()(const CadPolyline& p) const
        {
            std::vector<DxfTag> tags{{90, std::to_string(p.vertices.size())}, {70, p.closed ? "1" : "0"},
                                     r(38, p.elevation), r(43, 0)};
            for (const entities::PolylineVertex& v : p.vertices) {
                tags.push_back(r(10, v.x));
                tags.push_back(r(20, v.y));
                if (v.bulge != 0) tags.push_back(r(42, v.bulge));
            }
            return {"LWPOLYLINE", "AcDbPolyline", std::move(tags)};
        }
        Geometry operator()(const CadText& t) const
        {
            // In the drawing's code page, \U+XXXX for what it lacks; a text
            // that cannot be written at all is left empty rather than lost
            // silently in the middle of a save (the automation refuses it first).
            const Result<std::string> text = dxf::encodeDxfText(t.text, d.codePage(), d.unicode());
            return {"TEXT", "AcDbText",
                    cat(pointTags(10, t.insertion), {r(40, t.height), {1, text ? *text : std::string()},
                                                     r(50, t.rotation / kDegree), {100, "AcDbText"}})};
        }
        const dxf::DxfDrawing& d;
    };
    return std::visit(Visitor{real, concat, drawing}, entity);
}

Error readFailure(const QString& path, const Error& why)
{
    return Error{why.number, QStringLiteral("“%1”不是可读的 DXF 文件：%2")
                                 .arg(path, QString::fromStdString(why.description))
                                 .toStdString(),
                 path.toStdString()};
}

}  // namespace

Result<DxfReadReport> readDxf(const QString& path)
{
    auto bytes = dxf::readRegularFile(QFile::encodeName(path).toStdString());
    if (!bytes) return Error{errc::kFileNotFound, bytes.error().description, path.toStdString()};
    auto drawing = dxf::DxfDrawing::fromBytes(*bytes);
    if (!drawing) return readFailure(path, drawing.error());

    auto doc = std::make_unique<CadDocument>(QFileInfo(path).completeBaseName());
    DxfReadReport report;
    const dxf::DxfDrawing& d = *drawing;
    std::vector<std::size_t> shapes;
    for (std::size_t i = 0; i < d.entityCount(); ++i) {
        const dxf::EntityRecord& record = d.entity(i);
        auto entity = interpret(record.type, Groups(d.entityTags(i)), d);
        if (!entity) {
            // A polyline's vertices and attributes are parts of the entity before them.
            if (record.type != "VERTEX" && record.type != "SEQEND" && record.type != "ATTRIB") ++report.kept;
            if (record.space == dxf::Space::Model) shapes.push_back(i);
            continue;
        }
        doc->space(record.space == dxf::Space::Paper ? SpaceKind::Paper : SpaceKind::Model).add(std::move(*entity), i);
        ++report.read;
    }
    doc->setExtras(drawingShapes(d, shapes));
    doc->setDrawing(std::move(drawing).value());
    doc->setPath(QFileInfo(path).absoluteFilePath());
    report.document = std::move(doc);
    return report;
}

Result<std::string> dxfBytes(const CadDocument& document)
{
    dxf::DxfDrawing drawing = document.drawing();
    for (const SpaceKind kind : {SpaceKind::Model, SpaceKind::Paper}) {
        const CadSpace& space = document.space(kind);
        for (int i = 0; i < space.count(); ++i) {
            const auto record = space.record(i);
            if (space.erased(i)) {
                if (record) drawing.removeEntity(*record);
                continue;
            }
            if (record && !space.changed(i)) continue;
            Geometry g = geometry(space.at(i), drawing);
            if (record) {
                std::vector<DxfTag> values;
                for (const DxfTag& t : g.tags)
                    if (t.code != 100) values.push_back(t);
                // A polyline repeats its vertex groups and only its flag can
                // change; a text changes nothing once made.
                if (std::holds_alternative<CadPolyline>(space.at(i)))
                    values = {{70, std::get<CadPolyline>(space.at(i)).closed ? "1" : "0"}};
                if (std::holds_alternative<CadText>(space.at(i))) continue;
                drawing.setEntityValues(*record, values);
                continue;
            }
            std::vector<DxfTag> data{{100, g.subclass}};
            data.insert(data.end(), g.tags.begin(), g.tags.end());
            drawing.addEntity(kind == SpaceKind::Paper ? dxf::Space::Paper : dxf::Space::Model,
                              dxf::NewEntity{g.type, "0", std::move(data)});
        }
    }
    return drawing.toBytes();
}

Status writeDxf(const CadDocument& document, const QString& path)
{
    auto bytes = dxfBytes(document);
    if (!bytes)
        return Error{protocol::kFailed,  // as a CAD reports a failed save
                     QStringLiteral("无法保存“%1”：%2").arg(path, QString::fromStdString(bytes.error().description)).toStdString(),
                     path.toStdString()};
    return dxf::replaceFile(QFile::encodeName(path).toStdString(), *bytes);
}

}  // namespace tessik::cadhost
