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
        for (const DxfTag& t : tags_)
            if (t.code == code) return dxf::tagNumber(t.value);
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
    // A line's points are world points whatever its extrusion; the other
    // kinds held here lie in their extrusion's plane, which the drawing model
    // has only for 0,0,1 (the rest is shown through DxfShapes).
    if (type != "LINE" && !g.upright()) return std::nullopt;
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
    const dxf::LayerTable layers(d);
    std::vector<std::size_t> shapes[2];
    for (std::size_t i = 0; i < d.entityCount(); ++i) {
        const dxf::EntityRecord& record = d.entity(i);
        const SpaceKind kind = record.space == dxf::Space::Paper ? SpaceKind::Paper : SpaceKind::Model;
        const auto tags = d.entityTags(i);
        auto entity = interpret(record.type, Groups(tags), d);
        if (!entity) {
            // A polyline's vertices and attributes are parts of the entity before them.
            if (record.type != "VERTEX" && record.type != "SEQEND" && record.type != "ATTRIB") ++report.kept;
            shapes[static_cast<int>(kind)].push_back(i);
            continue;
        }
        CadSpace& space = doc->space(kind);
        const int index = space.add(std::move(*entity), i);
        space.setHidden(index, !layers.shown(dxf::entityStyle(tags).layer));
        ++report.read;
    }
    doc->setExtras(SpaceKind::Model, drawingShapes(d, shapes[0]));
    doc->setExtras(SpaceKind::Paper, drawingShapes(d, shapes[1]));
    doc->setDrawing(std::move(drawing).value());
    doc->setPath(QFileInfo(path).absoluteFilePath());
    report.document = std::move(doc);
    return report;
}

namespace {

std::string describe(const dxf::DxfDrawing& drawing, std::size_t record, const char* kind)
{
    const std::string& handle = drawing.entity(record).handle;
    return handle.empty() ? std::string(kind) + "（第 " + std::to_string(record + 1) + " 个实体）"
                          : std::string(kind) + "（句柄 " + handle + "）";
}

bool sameVertices(const CadPolyline& a, const CadPolyline& b)
{
    return std::equal(a.vertices.begin(), a.vertices.end(), b.vertices.begin(), b.vertices.end(),
                      [](const entities::PolylineVertex& p, const entities::PolylineVertex& q) {
                          return p.x == q.x && p.y == q.y && p.bulge == q.bulge;
                      });
}

// A polyline read from the file: its flag and elevation are groups of their
// own; new vertices replace the vertex groups, which loses the widths and
// vertex ids the file gave them.
void writePolylineChange(dxf::DxfDrawing& drawing, std::size_t record, const CadPolyline& now,
                         std::vector<std::string>& lost)
{
    const Groups file(drawing.entityTags(record));
    std::vector<DxfTag> values{{70, now.closed ? "1" : "0"}};
    if (now.elevation != 0 || file.number(38)) values.push_back({38, dxf::formatReal(now.elevation)});
    const auto before = polyline(file);
    if (before && std::holds_alternative<CadPolyline>(*before) && sameVertices(std::get<CadPolyline>(*before), now)) {
        drawing.setEntityValues(record, values);
        return;
    }
    for (const DxfTag& t : file.tags())
        if (t.code == 91 || ((t.code == 40 || t.code == 41) && Groups(std::span<const DxfTag>(&t, 1)).number(t.code, 0) != 0)) {
            lost.push_back(describe(drawing, record, "多段线") + "各顶点的宽度");
            break;
        }
    values.push_back({90, std::to_string(now.vertices.size())});
    std::vector<DxfTag> vertices;
    for (const entities::PolylineVertex& v : now.vertices) {
        vertices.push_back({10, dxf::formatReal(v.x)});
        vertices.push_back({20, dxf::formatReal(v.y)});
        if (v.bulge != 0) vertices.push_back({42, dxf::formatReal(v.bulge)});
    }
    static constexpr int kVertexCodes[] = {10, 20, 40, 41, 42, 91};
    drawing.replaceEntityGroups(record, kVertexCodes, vertices);
    drawing.setEntityValues(record, values);
}

void writeChange(dxf::DxfDrawing& drawing, std::size_t record, const CadEntity& entity, std::vector<std::string>& lost)
{
    if (const auto* p = std::get_if<CadPolyline>(&entity)) return writePolylineChange(drawing, record, *p, lost);
    if (const auto* t = std::get_if<CadText>(&entity)) {
        const auto text = dxf::encodeDxfText(t->text, drawing.codePage(), drawing.unicode());
        if (!text) {
            lost.push_back(describe(drawing, record, "文字") + "改动后的内容：" + text.error().description);
            return;
        }
    }
    std::vector<DxfTag> values;
    for (const DxfTag& t : geometry(entity, drawing).tags)
        if (t.code != 100) values.push_back(t);
    drawing.setEntityValues(record, values);
}

}  // namespace

Result<std::string> dxfBytes(const CadDocument& document, std::vector<std::string>* lost)
{
    std::vector<std::string> notWritten;
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
            if (record) {
                writeChange(drawing, *record, space.at(i), notWritten);
                continue;
            }
            if (const auto* t = std::get_if<CadText>(&space.at(i))) {
                const auto text = dxf::encodeDxfText(t->text, drawing.codePage(), drawing.unicode());
                if (!text) {
                    notWritten.push_back("新文字“" + t->text.substr(0, 40) + "”：" + text.error().description);
                    continue;
                }
            }
            Geometry g = geometry(space.at(i), drawing);
            std::vector<DxfTag> data{{100, g.subclass}};
            data.insert(data.end(), g.tags.begin(), g.tags.end());
            drawing.addEntity(kind == SpaceKind::Paper ? dxf::Space::Paper : dxf::Space::Model,
                              dxf::NewEntity{g.type, "0", std::move(data)});
        }
    }
    if (lost) *lost = std::move(notWritten);
    return drawing.toBytes();
}

std::vector<std::string> contentLostOnSave(const CadDocument& document)
{
    std::vector<std::string> lost;
    if (!dxfBytes(document, &lost)) return {};  // a save that fails at all says why itself
    return lost;
}

Status writeDxf(const CadDocument& document, const QString& path, SaveLoss loss)
{
    std::vector<std::string> lost;
    auto bytes = dxfBytes(document, &lost);
    if (!bytes)
        return Error{protocol::kFailed,  // as a CAD reports a failed save
                     QStringLiteral("无法保存“%1”：%2").arg(path, QString::fromStdString(bytes.error().description)).toStdString(),
                     path.toStdString()};
    if (!lost.empty() && loss == SaveLoss::Refuse) {
        std::string list;
        for (const std::string& item : lost) list += "\n  " + item;
        return Error{protocol::kFailed,
                     QStringLiteral("没有保存“%1”：DXF 文件写不下图形中的以下内容，保存会丢失它们（文件未改动）：")
                             .arg(path)
                             .toStdString() +
                         list,
                     path.toStdString()};
    }
    return dxf::replaceFile(QFile::encodeName(path).toStdString(), *bytes);
}

}  // namespace tessik::cadhost
