#include "DxfFile.h"

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

private:
    std::span<const DxfTag> tags_;
};

std::optional<CadEntity> interpret(const std::string& type, const Groups& g)
{
    if (!g.upright()) return std::nullopt;
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

Geometry geometry(const CadEntity& entity)
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
    };
    return std::visit(Visitor{real, concat}, entity);
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
        auto entity = interpret(record.type, Groups(d.entityTags(i)));
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
            if (record && !space.changed(i)) continue;
            Geometry g = geometry(space.at(i));
            if (record) {
                std::vector<DxfTag> values;
                for (const DxfTag& t : g.tags)
                    if (t.code != 100) values.push_back(t);
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
        return Error{-2147467259,  // E_FAIL, as a CAD reports a failed save
                     QStringLiteral("无法保存“%1”：%2").arg(path, QString::fromStdString(bytes.error().description)).toStdString(),
                     path.toStdString()};
    return dxf::replaceFile(QFile::encodeName(path).toStdString(), *bytes);
}

}  // namespace tessik::cadhost
