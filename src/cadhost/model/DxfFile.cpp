#include "model/DxfFile.h"

#include "AutomationProtocol.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <system_error>
#include <thread>
#include <optional>

#include <QFile>
#include <QFileInfo>

#include "Dxf.h"
#include "model/DxfShapes.h"
#include "model/ModelNames.h"

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
            // Not held as their own kind: shapes (ModelShape), kept for writing back.
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

namespace {

// The kinds whose points are in their own coordinate system (their
// extrusion's); the others' are world points whatever their extrusion.
bool inObjectCoordinates(std::string_view type)
{
    return type == "CIRCLE" || type == "ARC" || type == "TEXT" || type == "ATTDEF" || type == "ATTRIB" ||
           type == "INSERT" || type == "SOLID" || type == "TRACE" || type == "LWPOLYLINE" || type == "SHAPE" ||
           type == "HATCH" || type == "DIMENSION" || type == "ARC_DIMENSION" || type == "LARGE_RADIAL_DIMENSION";
}

// A viewport whose visible part is another entity of the layout (a closed
// polyline, a circle ...): moved alone it would show other parts of model
// space through the boundary left behind.
bool clippedByEntity(std::span<const DxfTag> tags)
{
    constexpr int kClippedByEntity = 0x10000;
    if (!(dxf::groupInteger(tags, 90, 0) & kClippedByEntity)) return false;
    for (const DxfTag& t : tags) {
        if (t.code == 1001) break;
        if (t.code == 340 && !t.value.empty() && t.value != "0") return true;
    }
    return false;
}

// The kinds whose every position group can be written back moved: those
// with point groups (ModelNames.h), and the hatch, dimensions and
// multileader, moved group by group below. World points stay world points
// whatever the extrusion; a 2D polyline's are in its own plane.
bool movableKind(std::string_view type, std::span<const DxfTag> tags)
{
    if (type == "VIEWPORT") return !clippedByEntity(tags);
    return !movedPointCodes(type).empty() || type == "HATCH" || type == "DIMENSION" || type == "ARC_DIMENSION" ||
           type == "LARGE_RADIAL_DIMENSION" || type == "MULTILEADER" || type == "MLEADER";
}

// Where an entity without a picture lies: its own points (custom objects
// carry them in 10/20 like every other kind), when it is in the world's
// plane; a viewport is the rectangle round its centre on the sheet (its
// other points are in model space, what it shows).
Bounds pointBounds(std::string_view type, std::span<const DxfTag> tags)
{
    Bounds b;
    if (type == "VIEWPORT") {
        const auto x = dxf::groupNumber(tags, 10), y = dxf::groupNumber(tags, 20);
        const auto w = dxf::groupNumber(tags, 40), h = dxf::groupNumber(tags, 41);
        if (x && y && w && h && std::isfinite(*x + *y + *w + *h))
            b.add(*x - std::abs(*w) / 2, *y - std::abs(*h) / 2), b.add(*x + std::abs(*w) / 2, *y + std::abs(*h) / 2);
        return b;
    }
    // The x of a point whose y is still to come; NaN when there is none.
    double x = std::numeric_limits<double>::quiet_NaN();
    for (const DxfTag& t : tags) {
        if (t.code == 1001) break;
        if (t.code == 210 || t.code == 220) return {};  // in a plane of its own: not known here
        if (t.code >= 10 && t.code <= 18) x = dxf::tagNumber(t.value).value_or(std::numeric_limits<double>::quiet_NaN());
        if (t.code >= 20 && t.code <= 28) {
            const auto y = dxf::tagNumber(t.value);
            if (y && std::isfinite(x) && std::isfinite(*y)) b.add(x, *y);
            x = std::numeric_limits<double>::quiet_NaN();
        }
    }
    return b;
}

std::string upperName(std::string_view name)
{
    std::string out(name);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return out;
}

// The first group of that code in the record's own groups (before the extended data).
std::optional<std::string_view> ownText(std::span<const DxfTag> tags, int code)
{
    for (const DxfTag& t : tags) {
        if (t.code == 1001) break;
        if (t.code == code) return std::string_view(t.value);
    }
    return std::nullopt;
}

bool isDimension(std::string_view type)
{
    return type == "DIMENSION" || type == "ARC_DIMENSION" || type == "LARGE_RADIAL_DIMENSION";
}

// Whether a record's group 2 may name a block: the common kinds that have
// none, or use it for a pattern, a tag or a style, are left out.
bool mayNameBlock(std::string_view type)
{
    static constexpr std::string_view kNever[] = {"LINE",  "ARC",    "CIRCLE",  "ELLIPSE", "LWPOLYLINE", "POLYLINE",
                                                  "VERTEX", "SEQEND", "POINT",  "TEXT",    "MTEXT",      "SPLINE",
                                                  "SOLID", "TRACE",  "3DFACE", "HATCH",   "ATTRIB",     "ATTDEF",
                                                  "SHAPE", "MLINE",  "LEADER", "RAY",     "XLINE",      "VIEWPORT"};
    return std::find(std::begin(kNever), std::end(kNever), type) == std::end(kNever);
}

// A dimension is drawn from the block its group 2 names, and moving it
// moves that block's entities. The dimensions read (slot, record) whose
// block is not theirs alone keep their place: a block another entity
// names too (a writer's copy; moved twice, or another entity's picture
// moved), a layout's block, or one holding an entity whose points cannot
// be written back. One without a block is drawn from its own points.
void keepSharedDimensionBlocks(const dxf::DxfDrawing& d, std::vector<ModelEntity>& entities,
                               std::span<const std::pair<std::size_t, std::size_t>> dimensions)
{
    // The blocks they name, each with how many records name it (2: not theirs alone).
    std::map<std::string, int, std::less<>> named;
    for (const auto& [slot, record] : dimensions)
        if (const auto name = ownText(d.entityTags(record), 2); name && !d.blockHeader(*name).empty())
            named.emplace(upperName(*name), 0);
    if (named.empty()) return;
    const auto count = [&](std::span<const DxfTag> tags) {
        if (tags.empty() || !mayNameBlock(tags.front().value)) return;
        if (const auto name = ownText(tags, 2))
            if (const auto it = named.find(upperName(*name)); it != named.end()) ++it->second;
    };
    for (std::size_t i = 0; i < d.entityCount(); ++i)
        if (d.entity(i).block.empty()) count(d.entityTags(i));  // a layout's are among the blocks'
    for (const std::string& block : d.blockNames())
        for (const auto tags : d.blockEntities(block)) count(tags);
    for (const dxf::Layout& layout : d.layouts())
        if (const auto it = named.find(upperName(layout.block)); it != named.end()) it->second = 2;
    for (auto& [name, n] : named) {
        if (name.starts_with("*MODEL_SPACE") || name.starts_with("*PAPER_SPACE")) n = 2;
        for (const auto tags : d.blockEntities(name))
            if (!tags.empty() && !partOfPrevious(tags.front().value) && !movableKind(tags.front().value, tags)) n = 2;
    }
    for (const auto& [slot, record] : dimensions) {
        const auto name = ownText(d.entityTags(record), 2);
        if (const auto it = name ? named.find(upperName(*name)) : named.end(); it != named.end() && it->second > 1)
            std::get<ModelShape>(entities[slot]).movable = false;
    }
}

}  // namespace

Result<DxfReadReport> readDxf(const QString& path)
{
    auto bytes = dxf::readRegularFile(QFile::encodeName(path).toStdString());
    if (!bytes) return Error{errc::kFileNotFound, bytes.error().description, path.toStdString()};
    auto drawing = dxf::DxfDrawing::fromBuffer(std::move(*bytes));
    if (!drawing) return readFailure(path, drawing.error());

    auto doc = std::make_unique<DrawingDocument>(QFileInfo(path).completeBaseName());
    DxfReadReport report;
    const dxf::DxfDrawing& d = *drawing;
    const dxf::LayerTable layers(d);
    // Each entity in file order with the records that belong to it; held
    // kinds are entities of their own, everything else a shape. The
    // entities are built in place, in the vector the space then takes.
    struct Read {
        std::size_t record = 0;
        bool held = false;
    };
    // The records that start an entity; the others belong to the one before.
    std::vector<Read> read;
    read.reserve(d.entityCount());
    for (std::size_t i = 0; i < d.entityCount(); ++i)
        if (!partOfPrevious(d.entity(i).type) || read.empty()) read.emplace_back().record = i;
    std::vector<ModelEntity> entities(read.size());
    std::vector<CadSpace::Origin> origins(read.size());
    // Each entity's data, the most of the work: a large drawing is shared
    // out between the cores in runs of entities, each read on its own.
    const auto interpret = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k) {
            Read& r = read[k];
            const auto tags = d.entityTags(r.record);
            auto data = dxf::entityData(tags, d);
            if (data) {
                if (auto h = held(*data)) {
                    entities[k] = std::move(*h);
                    r.held = true;
                }
                origins[k].layer = std::move(data->style.layer);
            } else {
                origins[k].layer = dxf::entityStyle(tags).layer;
            }
        }
    };
    constexpr std::size_t kEntitiesPerThread = 50'000;
    const std::size_t threads =
        std::clamp<std::size_t>(read.size() / kEntitiesPerThread, 1, std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    std::vector<std::thread> others;
    for (std::size_t t = 1; t < threads; ++t) {
        const std::size_t from = read.size() * t / threads, to = read.size() * (t + 1) / threads;
        try {
            others.emplace_back(interpret, from, to);
        } catch (const std::system_error&) {
            interpret(from, to);  // no thread to be had: read them here
        }
    }
    interpret(0, read.size() / threads);
    for (std::thread& t : others) t.join();

    // Whether each layer is shown, looked up once a name (a drawing has few layers).
    std::map<std::string, bool, std::less<>> layerShown;
    std::vector<std::vector<std::size_t>> runs;  // the shapes' records
    for (std::size_t k = 0; k < read.size(); ++k) {
        const Read& r = read[k];
        CadSpace::Origin& origin = origins[k];
        auto it = layerShown.find(origin.layer);
        if (it == layerShown.end()) it = layerShown.emplace(origin.layer, layers.shown(origin.layer)).first;
        origin.record = r.record;
        origin.hidden = !it->second;
        if (r.held) continue;
        auto& run = runs.emplace_back();
        const std::size_t next = k + 1 < read.size() ? read[k + 1].record : d.entityCount();
        for (std::size_t i = r.record; i < next; ++i) run.push_back(i);
    }
    std::vector<DrawingExtras> pictures = entityShapes(d, runs);
    runs = {};
    // A space for each further paper layout, in the order of the layouts, entities or none.
    for (const dxf::Layout& layout : d.layouts()) {
        std::string block = layout.block;
        std::transform(block.begin(), block.end(), block.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        if (block != "*MODEL_SPACE" && block != "*PAPER_SPACE") doc->layoutSpaceOf(block);
    }
    // Which space each entity is in; nearly always the model space for all.
    std::vector<SpaceKind> spaceOf(read.size());
    std::vector<std::pair<std::size_t, std::size_t>> dimensions;  // slot, record
    std::size_t shape = 0;
    for (std::size_t k = 0; k < read.size(); ++k) {
        const Read& r = read[k];
        const dxf::EntityRecord& record = d.entity(r.record);
        spaceOf[k] = !record.block.empty()                ? doc->layoutSpaceOf(record.block)
                     : record.space == dxf::Space::Paper ? SpaceKind::Paper
                                                         : SpaceKind::Model;
        if (r.held) {
            ++report.read;
            continue;
        }
        const auto tags = d.entityTags(r.record);
        ModelShape s;
        s.type = record.type;
        s.objectName = shapeObjectName(record.type, tags, d);
        s.readBounds = pictures[shape].bounds;
        if (s.readBounds.empty() && !origins[k].hidden) s.readBounds = pointBounds(record.type, tags);
        s.picture = std::make_shared<const DrawingExtras>(std::move(pictures[shape]));
        s.movable = movableKind(record.type, tags);
        if (s.movable && isDimension(s.type)) dimensions.emplace_back(k, r.record);
        ++shape;
        ++report.kept;
        entities[k] = std::move(s);
    }
    pictures = {};
    if (!dimensions.empty()) keepSharedDimensionBlocks(d, entities, dimensions);
    if (std::all_of(spaceOf.begin(), spaceOf.end(), [&](SpaceKind s) { return s == spaceOf.front(); })) {
        if (!entities.empty()) doc->space(spaceOf.front()).addRead(std::move(entities), std::move(origins));
    } else {
        // Shared out between the spaces, each keeping the file's order.
        std::map<SpaceKind, std::pair<std::vector<ModelEntity>, std::vector<CadSpace::Origin>>> bySpace;
        for (std::size_t k = 0; k < read.size(); ++k) {
            auto& [kept, keptOrigins] = bySpace[spaceOf[k]];
            kept.push_back(std::move(entities[k]));
            keptOrigins.push_back(std::move(origins[k]));
        }
        for (auto& [kind, held] : bySpace) doc->space(kind).addRead(std::move(held.first), std::move(held.second));
    }
    doc->setDrawing(std::move(drawing).value());
    doc->setPath(QFileInfo(path).absoluteFilePath());
    report.document = std::move(doc);
    return report;
}

namespace {

// The held kinds the shared vocabulary has, as the entity codec writes
// them; a shape (only ever read from its file) has none.
std::optional<entities::Entity> sharedKind(const ModelEntity& entity)
{
    using Shared = std::optional<entities::Entity>;
    return std::visit(Overload{
                          [](const ModelLine& e) -> Shared { return e; },
                          [](const ModelArc& e) -> Shared { return e; },
                          [](const ModelCircle& e) -> Shared { return e; },
                          [](const ModelEllipse& e) -> Shared { return e; },
                          [](const ModelPolyline& e) -> Shared { return e; },
                          [](const ModelText& e) -> Shared { return e; },
                          [](const ModelShape&) -> Shared { return std::nullopt; },
                      },
                      entity);
}

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

// The offset in the entity's own coordinate system (its extrusion's, by
// the arbitrary axis algorithm); +Z, absent or degenerate: as it is.
Point3 offsetInObjectCoordinates(std::span<const DxfTag> tags, const Point3& by)
{
    Point3 n{0, 0, 1};
    for (const DxfTag& t : tags) {
        if (t.code == 1001) break;
        if (t.code == 210 || t.code == 220 || t.code == 230)
            if (const auto v = dxf::tagNumber(t.value)) n[std::size_t((t.code - 210) / 10)] = *v;
    }
    const auto unit = [](Point3 v) {
        const double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        return l > 0 && std::isfinite(l) ? Point3{v[0] / l, v[1] / l, v[2] / l} : Point3{};
    };
    const auto cross = [](const Point3& a, const Point3& b) {
        return Point3{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    };
    n = unit(n);
    if (n == Point3{} || (n[0] == 0 && n[1] == 0 && n[2] > 0)) return by;
    const Point3 ax = unit(std::abs(n[0]) < 1.0 / 64 && std::abs(n[1]) < 1.0 / 64 ? cross({0, 1, 0}, n)
                                                                                  : cross({0, 0, 1}, n));
    const Point3 ay = unit(cross(n, ax));
    const auto dot = [&by](const Point3& a) { return a[0] * by[0] + a[1] * by[1] + a[2] * by[2]; };
    return {dot(ax), dot(ay), dot(n)};
}

// A hatch's groups moved: its boundary's points (polyline vertices, edge
// ends, centres, spline control and fit points) and its seed points in its
// own plane, its elevation along its normal; the ellipse edges' axes and
// the spline edges' tangents are directions and stay.
std::vector<DxfTag> movedHatch(std::span<const DxfTag> tags, const Point3& by)
{
    std::vector<DxfTag> out(tags.begin(), tags.end());
    // Its own groups: all of them in a file without subclass markers.
    bool paths = false, polylinePath = false, hatch = true;
    int edge = 0;
    for (DxfTag& t : out) {
        if (t.code == 1001) break;
        if (t.code == 100) hatch = t.value == "AcDbHatch";
        if (!hatch) continue;
        const auto v = dxf::tagNumber(t.value);
        if (t.code == 91) paths = true;
        if (t.code == 92 && v) polylinePath = (static_cast<long long>(*v) & 2) != 0, edge = 0;
        if (t.code == 72 && v && paths && !polylinePath) edge = static_cast<int>(*v);
        double d = 0;
        if (!paths && t.code == 30) d = by[2];
        else if (paths && (t.code == 10 || t.code == 20)) d = by[std::size_t(t.code / 10 - 1)];
        else if (paths && (edge == 1 || edge == 4) && !polylinePath && (t.code == 11 || t.code == 21))
            d = by[std::size_t(t.code / 10 - 1)];
        if (d != 0 && v) t.value = dxf::formatReal(*v + d);
    }
    return out;
}

// A multileader's groups moved: in its context data the content's base
// point, the text's and the block's places and the plane's origin, each
// leader's last point and breaks and each leader line's vertices and
// breaks, all world points; the block's transform takes the offset in its
// translation. Normals, directions and the block's scale (10 after the
// context data) stay. Its proxy picture shows the old place: it is left
// out, as a reader that knows the kind draws it from the groups.
std::vector<DxfTag> movedMultileader(std::span<const DxfTag> tags, const Point3& by)
{
    std::vector<DxfTag> out;
    out.reserve(tags.size());
    bool own = false, context = false, contextDone = false;
    int nesting = 0;             // 0 the context itself, 1 a leader, 2 a leader line
    std::vector<std::size_t> matrix;  // where the block transform's 16 values are
    for (const DxfTag& t : tags) {
        if (t.code == 1001) own = false, context = false;
        if (t.code == 100) own = t.value == "AcDbMLeader";
        // The proxy picture, in the entity's common part.
        if (!own && !contextDone && (t.code == 92 || t.code == 160 || t.code == 310)) continue;
        out.push_back(t);
        if (!own) continue;
        if (t.code == 300 && t.value == "CONTEXT_DATA{") context = true, nesting = 0;
        if (!context) continue;
        if (t.code == 301) {
            context = false, contextDone = true;
            continue;
        }
        if (t.code == 302) nesting = 1;
        if (t.code == 303) nesting = 0;
        if (t.code == 304 && nesting == 1) nesting = 2;
        if (t.code == 305) nesting = 1;
        if (t.code == 47 && nesting == 0) matrix.push_back(out.size() - 1);
        // x, y and z of a point: 10..18, 20..28, 30..38 and 110..112, 120..122, 130..132.
        const int axis = t.code >= 110 ? (t.code - 110) / 10 : (t.code - 10) / 10;
        const int group = t.code - 10 * axis;
        if (t.code < 10 || axis < 0 || axis > 2 || (group > 18 && group < 110) || group > 112) continue;
        const bool moves = nesting == 0 ? (group == 10 || group == 12 || group == 15 || group == 110)
                                        : (group == 10 || group == 12 || (nesting == 1 ? group == 13 : group == 11));
        if (!moves) continue;
        if (const auto v = dxf::tagNumber(t.value)) out.back().value = dxf::formatReal(*v + by[std::size_t(axis)]);
    }
    // Row-major, the translation in the last column: each row's last value
    // takes its axis's offset times the bottom row's (1 for an affine one).
    if (matrix.size() == 16) {
        double m[16];
        for (std::size_t k = 0; k < 16; ++k) m[k] = dxf::tagNumber(out[matrix[k]].value).value_or(k % 5 == 0 ? 1 : 0);
        for (std::size_t row = 0; row < 3; ++row)
            for (std::size_t col = 0; col < 4; ++col)
                if (const double d = by[row] * m[12 + col]; d != 0)
                    out[matrix[row * 4 + col]].value = dxf::formatReal(m[row * 4 + col] + d);
    }
    return out;
}

// Group code's number in the record's own groups (before the extended data).
std::optional<double> ownNumber(std::span<const DxfTag> tags, int code)
{
    for (const DxfTag& t : tags) {
        if (t.code == 1001) break;
        if (t.code == code) return dxf::tagNumber(t.value);
    }
    return std::nullopt;
}

// Records a move is written to, each read as its tags and written whole:
// the drawing's entities, or the entities of a block definition. The
// records that belong to an entity (a polyline's vertices, a reference's
// attributes) follow it.
class MovedRecords {
public:
    virtual ~MovedRecords() = default;
    virtual std::size_t count() const = 0;
    virtual std::span<const DxfTag> tags(std::size_t i) const = 0;
    // Tags as read from tags(i), changed; its extended data is never moved.
    virtual void set(std::size_t i, std::vector<DxfTag> tags) = 0;
    std::string_view type(std::size_t i) const
    {
        const auto t = tags(i);
        return t.empty() ? std::string_view() : std::string_view(t.front().value);
    }
};

class DrawingRecords final : public MovedRecords {
public:
    explicit DrawingRecords(dxf::DxfDrawing& drawing) : drawing_(drawing) {}
    std::size_t count() const override { return drawing_.entityCount(); }
    std::span<const DxfTag> tags(std::size_t i) const override { return drawing_.entityTags(i); }
    void set(std::size_t i, std::vector<DxfTag> tags) override
    {
        std::vector<int> all;
        for (const DxfTag& t : drawing_.entityTags(i))
            if (t.code > 0 && t.code < 1000 && std::find(all.begin(), all.end(), t.code) == all.end()) all.push_back(t.code);
        std::erase_if(tags, [](const DxfTag& t) { return t.code <= 0 || t.code >= 1000; });
        drawing_.replaceEntityGroups(i, all, tags);
    }

private:
    dxf::DxfDrawing& drawing_;
};

class BlockRecords final : public MovedRecords {
public:
    BlockRecords(dxf::DxfDrawing& drawing, std::string name)
        : drawing_(drawing), name_(std::move(name)), entities_(drawing.blockEntities(name_))
    {
    }
    std::size_t count() const override { return entities_.size(); }
    std::span<const DxfTag> tags(std::size_t i) const override { return entities_[i]; }
    void set(std::size_t i, std::vector<DxfTag> tags) override
    {
        if (const auto now = drawing_.replaceBlockEntity(name_, i, std::move(tags)); !now.empty())
            entities_[i] = now;
        else
            refused_ = true;
    }
    // Whether a record could not be written (the block of a layout).
    bool refused() const { return refused_; }

private:
    dxf::DxfDrawing& drawing_;
    std::string name_;
    std::vector<std::span<const DxfTag>> entities_;
    bool refused_ = false;
};

// The tags with each of the given points (x groups, their y and z beside)
// moved by `by`.
std::vector<DxfTag> movedGroups(std::span<const DxfTag> tags, std::span<const int> xs, const Point3& by)
{
    std::vector<DxfTag> moved(tags.begin(), tags.end());
    for (DxfTag& t : moved) {
        if (t.code == 1001) break;
        for (const int x : xs)
            for (int axis = 0; axis < 3; ++axis)
                if (t.code == x + 10 * axis)
                    if (const auto v = dxf::tagNumber(t.value)) t.value = dxf::formatReal(*v + by[std::size_t(axis)]);
    }
    return moved;
}

// A polyline moved with its vertices. A 3D polyline's or mesh's vertices
// are world points; a 2D one's lie in its plane (its extrusion's), at the
// height its own 30 group gives, so they move by the offset turned into
// that plane and the height by its third part. Its own 10 and 20 are no
// place (always 0) and stay; a polyface mesh's face records are no point.
void movePolyline(MovedRecords& records, std::size_t record, const Point3& offset)
{
    const auto tags = records.tags(record);
    const int flags = dxf::groupInteger(tags, 70, 0);
    const bool flat = (flags & (8 | 16 | 64)) == 0;
    const Point3 by = flat ? offsetInObjectCoordinates(tags, offset) : offset;
    if (flat && by[2] != 0) {
        const auto height = ownNumber(tags, 30);
        records.set(record, dxf::DxfDrawing::withValues(
                                tags, height ? std::vector<DxfTag>{DxfTag{30, dxf::formatReal(*height + by[2])}}
                                             : std::vector<DxfTag>{DxfTag{10, "0.0"}, DxfTag{20, "0.0"},
                                                                   DxfTag{30, dxf::formatReal(by[2])}}));
    }
    for (std::size_t i = record + 1; i < records.count() && records.type(i) == "VERTEX"; ++i) {
        const auto vertex = records.tags(i);
        const int vertexFlags = dxf::groupInteger(vertex, 70, 0);
        if ((vertexFlags & 128) && !(vertexFlags & 64)) continue;  // a face: indices only
        std::vector<DxfTag> values;
        for (int axis = 0; axis < 3; ++axis)
            if (const auto v = ownNumber(vertex, 10 + 10 * axis); v && by[std::size_t(axis)] != 0)
                values.push_back({10 + 10 * axis, dxf::formatReal(*v + by[std::size_t(axis)])});
            else if (!v && axis == 2 && by[2] != 0)
                values.push_back({30, dxf::formatReal(by[2])});
        if (!values.empty()) records.set(i, dxf::DxfDrawing::withValues(vertex, values));
    }
}

// Record i, of a kind whose points can be written back moved
// (movableKind), moved by the offset with the records that belong to it:
// each of its position groups, every other tag as it was. Points in the
// entity's own coordinate system move by the offset turned into it.
void moveRecord(MovedRecords& records, std::size_t record, const Point3& offset)
{
    const std::string type(records.type(record));
    const Point3 by = inObjectCoordinates(type) ? offsetInObjectCoordinates(records.tags(record), offset) : offset;
    const auto moveGroups = [&](std::size_t i, std::span<const int> xs, const Point3& by) {
        records.set(i, movedGroups(records.tags(i), xs, by));
    };
    if (type == "HATCH") return records.set(record, movedHatch(records.tags(record), by));
    if (type == "MULTILEADER" || type == "MLEADER") return records.set(record, movedMultileader(records.tags(record), offset));
    if (type == "POLYLINE") return movePolyline(records, record, offset);
    if (type == "DIMENSION") {
        // Definition points in the world, the text's place and the arc
        // point (and the clones' insertion point) in its own plane.
        static constexpr int kWorld[] = {10, 13, 14, 15};
        static constexpr int kOwn[] = {11, 12, 16};
        moveGroups(record, kWorld, offset);
        moveGroups(record, kOwn, by);
        return;
    }
    if (type == "ARC_DIMENSION" || type == "LARGE_RADIAL_DIMENSION") {
        // The common dimension groups as above; the arc's ends, centre and
        // leader points (an arc dimension's 16 is one, not an arc point),
        // or the chord, centre override and jog points, in the world.
        static constexpr int kArcWorld[] = {10, 13, 14, 15, 16, 17};
        static constexpr int kRadialWorld[] = {10, 13, 14, 15};
        static constexpr int kOwn[] = {11, 12};
        moveGroups(record, type == "ARC_DIMENSION" ? std::span<const int>(kArcWorld) : kRadialWorld, offset);
        moveGroups(record, kOwn, by);
        return;
    }
    std::vector<DxfTag> moved = movedGroups(records.tags(record), movedPointCodes(type), by);
    if (type == "LWPOLYLINE" && by[2] != 0) {
        // Its height above its plane: the elevation group (0 when absent).
        const double elevation = ownNumber(moved, 38).value_or(0);
        static constexpr int kElevation[] = {38};
        moved = dxf::DxfDrawing::withGroups(moved, kElevation, {DxfTag{38, dxf::formatReal(elevation + by[2])}});
    }
    records.set(record, std::move(moved));
    static constexpr int kAttribute[] = {10, 11};
    // Each attribute in its own coordinate system.
    if (type == "INSERT")
        for (std::size_t i = record + 1; i < records.count() && records.type(i) == "ATTRIB"; ++i)
            moveGroups(i, kAttribute, offsetInObjectCoordinates(records.tags(i), offset));
}

// A moved shape. A dimension is drawn from the block it names: that
// block's entities move with it (the block is its own, movableDimension).
void writeShapeMove(dxf::DxfDrawing& drawing, std::size_t record, const ModelShape& shape, std::vector<std::string>& lost)
{
    if (shape.offset == Point3{}) return;
    if (!shape.movable || !movableKind(shape.type, drawing.entityTags(record))) {
        lost.push_back(describe(drawing, record, shape.objectName.c_str()) + "移动后的位置");
        return;
    }
    DrawingRecords records(drawing);
    moveRecord(records, record, shape.offset);
    if (!isDimension(shape.type)) return;
    const auto name = ownText(drawing.entityTags(record), 2);
    if (!name || name->empty()) return;
    BlockRecords block(drawing, std::string(*name));
    for (std::size_t i = 0; i < block.count(); ++i)
        if (!partOfPrevious(block.type(i))) moveRecord(block, i, shape.offset);
    if (block.refused()) lost.push_back(describe(drawing, record, shape.objectName.c_str()) + "所在块中移动后的图形");
}

// An entity read from the file, changed: its groups are written over the
// record's, everything else of the record stays (see rewriteEntity).
void writeChange(dxf::DxfDrawing& drawing, std::size_t record, const ModelEntity& entity, std::vector<std::string>& lost)
{
    if (const auto* s = std::get_if<ModelShape>(&entity)) return writeShapeMove(drawing, record, *s, lost);
    if (const auto* p = std::get_if<ModelPolyline>(&entity); p && losesVertexWidths(drawing, record, *p))
        lost.push_back(describe(drawing, record, "多段线") + "各顶点的宽度");
    // Only a text can fail: one whose new content no DXF can hold.
    if (Status written = dxf::rewriteEntity(drawing, record, *sharedKind(entity)); !written)
        lost.push_back(describe(drawing, record, "文字") + "改动后的内容：" + written.error().description);
}

}  // namespace

Result<std::string> dxfBytes(const DrawingDocument& document, std::vector<std::string>* lost)
{
    std::vector<std::string> notWritten;
    dxf::DxfDrawing drawing = document.drawing();
    // New entities took their handles when made; later objects come after them.
    for (const SpaceKind kind : document.spaceKinds()) {
        const CadSpace& space = document.space(kind);
        for (int i = 0; i < space.count(); ++i)
            if (!space.record(i) && !space.erased(i)) drawing.reserveHandles(document.nextHandle());
    }
    for (const DrawingDocument::AddedLayer& layer : document.addedLayers())
        if (!drawing.hasLayer(layer.name)) drawing.addLayer(layer.name, layer.color);
    for (const SpaceKind kind : document.spaceKinds()) {
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
            if (record) {
                if (space.changed(i)) writeChange(drawing, *record, space.at(i), notWritten);
                if (const auto& style = space.style(i))
                    drawing.replaceEntityGroups(*record, kStyleCodes, styleTags(drawing.entityTags(*record), *style));
                continue;
            }
            const auto shared = sharedKind(space.at(i));
            if (!shared) continue;  // shapes come only from the file, with a record
            const CommonGroups groups = document.entityGroups(kind, i);
            auto entity = dxf::newEntity(*shared, groups.layer, drawing);
            if (!entity) {
                // Only a text can fail: one no DXF can hold.
                const auto* t = std::get_if<ModelText>(&space.at(i));
                notWritten.push_back("新文字“" + (t ? t->text.substr(0, 40) : std::string()) + "”：" +
                                     entity.error().description);
                continue;
            }
            // Its line type, colour and lineweight join the common groups, after the layer.
            dxf::NewEntity made = std::move(entity).value();
            std::vector<DxfTag> style = styleTags({}, groups);
            std::erase_if(style, [](const DxfTag& t) { return t.code == 8; });
            made.data.insert(made.data.begin(), style.begin(), style.end());
            // In its own space: an entity of a layout other than the active one in that layout's block.
            const auto layout = static_cast<std::size_t>(kind);
            drawing.addEntity(kind == SpaceKind::Model ? dxf::Space::Model : dxf::Space::Paper, std::move(made),
                              groups.handle, layout >= 2 ? document.layoutSpaces()[layout - 2].block : std::string());
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
