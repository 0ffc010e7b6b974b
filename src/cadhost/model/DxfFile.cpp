#include "model/DxfFile.h"

#include "AutomationProtocol.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <span>

#include <QFile>
#include <QFileInfo>

#include "Dxf.h"
#include "model/DxfShapes.h"
#include "model/ModelNames.h"

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

    std::span<const DxfTag> tags() const { return tags_; }

private:
    std::span<const DxfTag> tags_;
};

// What of the entities the DXF layer interprets the drawing model holds. A
// line's points are world points whatever its extrusion; the other kinds
// held here lie in their extrusion's plane, which the drawing model has only
// for 0,0,1 (the rest is shown through DxfShapes). A justified text is held
// with its alignment point; attributes belong to their block reference.
std::optional<ModelEntity> held(const dxf::InterpretedEntity& e)
{
    if (!std::holds_alternative<entities::Line>(e.data) && !e.upright()) return std::nullopt;
    using Held = std::optional<ModelEntity>;
    return std::visit(
        Overload{
            [](const entities::Line& l) -> Held { return l; },
            [](const entities::Circle& c) -> Held {
                if (!(c.radius > 0)) return std::nullopt;
                return c;
            },
            [](const entities::Arc& a) -> Held {
                if (!(a.radius > 0)) return std::nullopt;
                return ModelArc{a.center, a.radius, normalizeAngle(a.startAngle), normalizeAngle(a.endAngle)};
            },
            [](const entities::Ellipse& el) -> Held {
                const auto& m = el.majorAxis;
                if (!(el.ratio > 0 && el.ratio <= 1) || !(std::hypot(m[0], m[1]) > 0) || m[2] != 0)
                    return std::nullopt;
                ModelEllipse e{el.center, m, el.ratio, 0, kTwoPi};
                // A complete ellipse is written 0 .. 2pi; anything else is cut.
                if (std::abs(std::abs(el.endParam - el.startParam) - kTwoPi) > 1e-12) {
                    e.startParam = normalizeAngle(el.startParam);
                    e.endParam = normalizeAngle(el.endParam);
                }
                return e;
            },
            [](const entities::Polyline& p) -> Held {
                if (p.vertices.size() < 2) return std::nullopt;
                return p;
            },
            [](const dxf::TextEntity& t) -> Held {
                if (t.attribute || !(t.text.height > 0)) return std::nullopt;
                if (!t.aligned()) return t.text;
                // Justified: placed by its alignment point, which it cannot do without.
                if (!t.alignment || t.horizontal < 0 || t.horizontal > 5 || t.vertical < 0 || t.vertical > 3)
                    return std::nullopt;
                ModelText text = t.text;
                text.horizontal = static_cast<entities::TextHorizontal>(t.horizontal);
                text.vertical = static_cast<entities::TextVertical>(t.vertical);
                text.alignment = *t.alignment;
                return text;
            },
            // Shapes (ModelShape) for the model.
            [](const entities::Point&) -> Held { return std::nullopt; },
            [](const dxf::PolylineEntity&) -> Held { return std::nullopt; },
            [](const dxf::Spline&) -> Held { return std::nullopt; },
            [](const dxf::MText&) -> Held { return std::nullopt; },
            [](const dxf::Insert&) -> Held { return std::nullopt; },
            [](const dxf::Dimension&) -> Held { return std::nullopt; },
            [](const dxf::Quad&) -> Held { return std::nullopt; },
            [](const dxf::Hatch&) -> Held { return std::nullopt; },
        },
        e.data);
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

Geometry geometry(const ModelEntity& entity, const dxf::DxfDrawing& drawing)
{
    const auto real = [](int code, double v) { return DxfTag{code, dxf::formatReal(v)}; };
    const auto concat = [](std::vector<DxfTag> a, const std::vector<DxfTag>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Visitor {
        decltype(real)& r;
        decltype(concat)& cat;
        Geometry operator()(const ModelLine& l) const
        {
            return {"LINE", "AcDbLine", cat(pointTags(10, l.start), pointTags(11, l.end))};
        }
        Geometry operator()(const ModelCircle& c) const
        {
            return {"CIRCLE", "AcDbCircle", cat(pointTags(10, c.center), {r(40, c.radius)})};
        }
        Geometry operator()(const ModelArc& a) const
        {
            // The arc's angles follow their own subclass marker.
            return {"ARC", "AcDbCircle",
                    cat(pointTags(10, a.center), {r(40, a.radius), {100, "AcDbArc"}, r(50, a.startAngle / kDegree),
                                                  r(51, a.endAngle / kDegree)})};
        }
        Geometry operator()(const ModelEllipse& e) const
        {
            return {"ELLIPSE", "AcDbEllipse",
                    cat(cat(pointTags(10, e.center), pointTags(11, e.majorAxis)),
                        {r(40, e.ratio), r(41, e.startParam), r(42, e.endParam)})};
        }
        Geometry operator()(const ModelPolyline& p) const
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
        Geometry operator()(const ModelText& t) const
        {
            // In the drawing's code page, \U+XXXX for what it lacks; a text
            // that cannot be written at all is left empty rather than lost
            // silently in the middle of a save (the automation refuses it first).
            const Result<std::string> text = dxf::encodeDxfText(t.text, d.codePage(), d.unicode());
            std::vector<DxfTag> tags = cat(pointTags(10, t.insertion), {r(40, t.height), {1, text ? *text : std::string()},
                                                                       r(50, t.rotation / kDegree)});
            if (!t.justified()) {
                tags.push_back({100, "AcDbText"});
                return {"TEXT", "AcDbText", std::move(tags)};
            }
            // The horizontal justification and the alignment point belong to
            // the first subclass, the vertical one to the second.
            tags.push_back({72, std::to_string(static_cast<int>(t.horizontal))});
            tags = cat(std::move(tags), pointTags(11, t.alignment));
            tags.push_back({100, "AcDbText"});
            tags.push_back({73, std::to_string(static_cast<int>(t.vertical))});
            return {"TEXT", "AcDbText", std::move(tags)};
        }
        // A shape is only ever read from its file: writeChange writes it.
        Geometry operator()(const ModelShape& s) const { return {s.type, {}, {}}; }
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

namespace {

// The records that belong to the one before them: a polyline's vertices
// and its end, a block reference's attributes and their end.
bool partOfPrevious(const std::string& type) { return type == "VERTEX" || type == "SEQEND" || type == "ATTRIB"; }

// Where an entity without a picture lies: its own points (custom objects
// carry them in 10/20 like every other kind), when it is in the world's plane.
Bounds pointBounds(std::span<const DxfTag> tags)
{
    Bounds b;
    std::optional<double> x;
    for (const DxfTag& t : tags) {
        if (t.code == 1001) break;
        if (t.code == 210 || t.code == 220) return {};  // in a plane of its own: not known here
        if (t.code >= 10 && t.code <= 18) x = dxf::tagNumber(t.value);
        if (t.code >= 20 && t.code <= 28 && x) {
            const auto y = dxf::tagNumber(t.value);
            if (y && std::isfinite(*x) && std::isfinite(*y)) b.add(*x, *y);
            x.reset();
        }
    }
    return b;
}

}  // namespace

Result<DxfReadReport> readDxf(const QString& path)
{
    auto bytes = dxf::readRegularFile(QFile::encodeName(path).toStdString());
    if (!bytes) return Error{errc::kFileNotFound, bytes.error().description, path.toStdString()};
    auto drawing = dxf::DxfDrawing::fromBytes(*bytes);
    if (!drawing) return readFailure(path, drawing.error());

    auto doc = std::make_unique<DrawingDocument>(QFileInfo(path).completeBaseName());
    DxfReadReport report;
    const dxf::DxfDrawing& d = *drawing;
    const dxf::LayerTable layers(d);
    // Each entity in file order with the records that belong to it; held
    // kinds are entities of their own, everything else a shape.
    struct Read {
        std::size_t record;
        std::optional<ModelEntity> held;
        bool shown;
    };
    std::vector<Read> read;
    std::vector<std::vector<std::size_t>> runs;  // the shapes' records
    for (std::size_t i = 0; i < d.entityCount(); ++i) {
        const dxf::EntityRecord& record = d.entity(i);
        if (partOfPrevious(record.type) && !read.empty()) {
            if (!read.back().held) runs.back().push_back(i);
            continue;
        }
        const auto tags = d.entityTags(i);
        const auto data = dxf::entityData(tags, d);
        read.push_back({i, data ? held(*data) : std::nullopt, layers.shown(dxf::entityStyle(tags).layer)});
        if (!read.back().held) runs.push_back({i});
    }
    std::vector<DrawingExtras> pictures = entityShapes(d, runs);
    std::size_t shape = 0;
    for (Read& r : read) {
        const dxf::EntityRecord& record = d.entity(r.record);
        CadSpace& space = doc->space(record.space == dxf::Space::Paper ? SpaceKind::Paper : SpaceKind::Model);
        if (r.held) {
            ++report.read;
        } else {
            const auto tags = d.entityTags(r.record);
            ModelShape s;
            s.type = record.type;
            s.objectName = shapeObjectName(record.type, tags, d);
            s.readBounds = pictures[shape].bounds;
            if (s.readBounds.empty() && r.shown) s.readBounds = pointBounds(tags);
            s.picture = std::make_shared<const DrawingExtras>(std::move(pictures[shape]));
            const auto data = dxf::entityData(tags, d);
            const bool upright = data ? data->upright()
                                      : std::none_of(tags.begin(), tags.end(), [](const DxfTag& t) { return t.code == 210; });
            s.movable = !movedPointCodes(record.type).empty() && upright;
            ++shape;
            ++report.kept;
            r.held = std::move(s);
        }
        const int index = space.add(std::move(*r.held), r.record);
        space.setLayer(index, dxf::entityStyle(d.entityTags(r.record)).layer);
        space.setHidden(index, !r.shown);
    }
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

bool sameVertices(const ModelPolyline& a, const ModelPolyline& b)
{
    return std::equal(a.vertices.begin(), a.vertices.end(), b.vertices.begin(), b.vertices.end(),
                      [](const entities::PolylineVertex& p, const entities::PolylineVertex& q) {
                          return p.x == q.x && p.y == q.y && p.bulge == q.bulge;
                      });
}

// A polyline read from the file: its flag and elevation are groups of their
// own; new vertices replace the vertex groups, which loses the widths and
// vertex ids the file gave them.
void writePolylineChange(dxf::DxfDrawing& drawing, std::size_t record, const ModelPolyline& now,
                         std::vector<std::string>& lost)
{
    const Groups file(drawing.entityTags(record));
    std::vector<DxfTag> values{{70, now.closed ? "1" : "0"}};
    if (now.elevation != 0 || file.number(38)) values.push_back({38, dxf::formatReal(now.elevation)});
    const auto before = dxf::entityData(file.tags(), drawing);
    const auto* old = before ? std::get_if<entities::Polyline>(&before->data) : nullptr;
    if (old && sameVertices(*old, now)) {
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

// A moved shape: each of its position groups (and those of the vertices
// after a POLYLINE) by the offset, every other tag as it was.
void writeShapeMove(dxf::DxfDrawing& drawing, std::size_t record, const ModelShape& shape, std::vector<std::string>& lost)
{
    if (shape.offset == Point3{}) return;
    const std::span<const int> codes = movedPointCodes(shape.type);
    if (!shape.movable || codes.empty()) {
        lost.push_back(describe(drawing, record, shape.objectName.c_str()) + "移动后的位置");
        return;
    }
    const auto moveGroups = [&](std::size_t i, int x) {
        const int axes[3] = {x, x + 10, x + 20};
        std::vector<DxfTag> moved;
        for (const DxfTag& t : drawing.entityTags(i)) {
            if (t.code == 1001) break;
            for (int axis = 0; axis < 3; ++axis) {
                if (t.code != axes[axis]) continue;
                const auto v = dxf::tagNumber(t.value);
                moved.push_back(v ? DxfTag{t.code, dxf::formatReal(*v + shape.offset[std::size_t(axis)])} : t);
            }
        }
        if (!moved.empty()) drawing.replaceEntityGroups(i, axes, moved);
    };
    for (const int x : codes) moveGroups(record, x);
    if (shape.type == "POLYLINE")
        for (std::size_t i = record + 1; i < drawing.entityCount() && drawing.entity(i).type == "VERTEX"; ++i)
            moveGroups(i, 10);
    if (shape.type == "INSERT")
        for (std::size_t i = record + 1; i < drawing.entityCount() && drawing.entity(i).type == "ATTRIB"; ++i)
            for (const int x : {10, 11}) moveGroups(i, x);
}

void writeChange(dxf::DxfDrawing& drawing, std::size_t record, const ModelEntity& entity, std::vector<std::string>& lost)
{
    if (const auto* s = std::get_if<ModelShape>(&entity)) return writeShapeMove(drawing, record, *s, lost);
    if (const auto* p = std::get_if<ModelPolyline>(&entity)) return writePolylineChange(drawing, record, *p, lost);
    if (const auto* t = std::get_if<ModelText>(&entity)) {
        const auto text = dxf::encodeDxfText(t->text, drawing.codePage(), drawing.unicode());
        if (!text) {
            lost.push_back(describe(drawing, record, "文字") + "改动后的内容：" + text.error().description);
            return;
        }
    }
    // A text whose string is unchanged keeps the file's bytes for it (its
    // code page, its \U+ and \M+ escapes as written).
    bool sameText = false;
    if (const auto* t = std::get_if<ModelText>(&entity)) {
        const auto before = dxf::entityData(drawing.entityTags(record), drawing);
        const auto* old = before ? std::get_if<dxf::TextEntity>(&before->data) : nullptr;
        sameText = old && old->text.text == t->text;
    }
    std::vector<DxfTag> values;
    for (const DxfTag& t : geometry(entity, drawing).tags)
        if (t.code != 100 && !(sameText && t.code == 1)) values.push_back(t);
    drawing.setEntityValues(record, values);
}

}  // namespace

Result<std::string> dxfBytes(const DrawingDocument& document, std::vector<std::string>* lost)
{
    std::vector<std::string> notWritten;
    dxf::DxfDrawing drawing = document.drawing();
    for (const DrawingDocument::AddedLayer& layer : document.addedLayers())
        if (!drawing.hasLayer(layer.name)) drawing.addLayer(layer.name, layer.color);
    for (const SpaceKind kind : {SpaceKind::Model, SpaceKind::Paper}) {
        const CadSpace& space = document.space(kind);
        for (int i = 0; i < space.count(); ++i) {
            const auto record = space.record(i);
            if (space.erased(i)) {
                if (!record) continue;
                // With the records that belong to it: a polyline's vertices, a reference's attributes.
                drawing.removeEntity(*record);
                for (std::size_t k = *record + 1; k < drawing.entityCount() && partOfPrevious(drawing.entity(k).type); ++k)
                    drawing.removeEntity(k);
                continue;
            }
            if (record && !space.changed(i)) continue;
            if (record) {
                writeChange(drawing, *record, space.at(i), notWritten);
                continue;
            }
            if (const auto* t = std::get_if<ModelText>(&space.at(i))) {
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
                              dxf::NewEntity{g.type, space.layer(i), std::move(data)});
        }
    }
    if (lost) *lost = std::move(notWritten);
    return drawing.toBytes();
}

std::vector<std::string> contentLostOnSave(const DrawingDocument& document)
{
    std::vector<std::string> lost;
    if (!dxfBytes(document, &lost)) return {};  // a save that fails at all says why itself
    return lost;
}

Status writeDxf(const DrawingDocument& document, const QString& path, SaveLoss loss)
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
