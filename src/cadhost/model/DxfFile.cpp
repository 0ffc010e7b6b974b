#include "model/DxfFile.h"

#include "AutomationProtocol.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <QFile>
#include <QFileInfo>

#include "Dxf.h"

namespace tessik::cadhost {

namespace {

using dxf::DxfTag;

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
            // Not held: shown through DxfShapes, kept for writing back.
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

    auto doc = std::make_unique<DrawingDocument>(QFileInfo(path).completeBaseName());
    DxfReadReport report;
    const dxf::DxfDrawing& d = *drawing;
    const dxf::LayerTable layers(d);
    std::vector<std::size_t> shapes[2];
    // Nearly every entity of a large drawing is in model space.
    doc->space(SpaceKind::Model).reserve(d.entityCount());
    for (std::size_t i = 0; i < d.entityCount(); ++i) {
        const dxf::EntityRecord& record = d.entity(i);
        const SpaceKind kind = record.space == dxf::Space::Paper ? SpaceKind::Paper : SpaceKind::Model;
        const auto tags = d.entityTags(i);
        const auto data = dxf::entityData(tags, d);
        auto entity = data ? held(*data) : std::nullopt;
        if (!entity) {
            // A polyline's vertices and attributes are parts of the entity before them.
            if (record.type != "VERTEX" && record.type != "SEQEND" && record.type != "ATTRIB") ++report.kept;
            shapes[static_cast<int>(kind)].push_back(i);
            continue;
        }
        CadSpace& space = doc->space(kind);
        const int index = space.add(std::move(*entity), i);
        space.setHidden(index, !layers.shown(data->style.layer));
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

// New vertices replace the file's vertex groups, which loses the widths
// and vertex ids the file gave them: the save says so.
bool losesVertexWidths(const dxf::DxfDrawing& drawing, std::size_t record, const ModelPolyline& now)
{
    const auto tags = drawing.entityTags(record);
    const auto before = dxf::entityData(tags, drawing);
    const auto* old = before ? std::get_if<entities::Polyline>(&before->data) : nullptr;
    if (old && old->vertices == now.vertices) return false;
    using Codec = dxf::EntityCodec<entities::Polyline>;
    return std::any_of(tags.begin(), tags.end(), [](const DxfTag& t) {
        return t.code == Codec::kVertexId ||
               ((t.code == Codec::kStartWidth || t.code == Codec::kEndWidth) && dxf::tagNumber(t.value).value_or(0) != 0);
    });
}

// An entity read from the file, changed: its groups are written over the
// record's, everything else of the record stays (see rewriteEntity).
void writeChange(dxf::DxfDrawing& drawing, std::size_t record, const ModelEntity& entity, std::vector<std::string>& lost)
{
    if (const auto* p = std::get_if<ModelPolyline>(&entity); p && losesVertexWidths(drawing, record, *p))
        lost.push_back(describe(drawing, record, "多段线") + "各顶点的宽度");
    // Only a text can fail: one whose new content no DXF can hold.
    if (Status written = dxf::rewriteEntity(drawing, record, entity); !written)
        lost.push_back(describe(drawing, record, "文字") + "改动后的内容：" + written.error().description);
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
                if (record) drawing.removeEntity(*record);
                continue;
            }
            if (record && !space.changed(i)) continue;
            if (record) {
                writeChange(drawing, *record, space.at(i), notWritten);
                continue;
            }
            auto entity = dxf::newEntity(space.at(i), space.layer(i), drawing);
            if (!entity) {
                // Only a text can fail: one no DXF can hold.
                const auto* t = std::get_if<ModelText>(&space.at(i));
                notWritten.push_back("新文字“" + (t ? t->text.substr(0, 40) : std::string()) + "”：" +
                                     entity.error().description);
                continue;
            }
            drawing.addEntity(kind == SpaceKind::Paper ? dxf::Space::Paper : dxf::Space::Model,
                              std::move(entity).value());
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
