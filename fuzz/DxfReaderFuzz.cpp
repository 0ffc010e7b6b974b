// libFuzzer target: any bytes as a DXF file, through the tag reader, the
// drawing's index, the typed entity data, the shapes tessik-cad shows and
// the writer. Aborts on any broken invariant; the sanitizers catch the rest
// (and libFuzzer's timeout a picture that takes too long).
//
// What must hold: a drawing that was read writes out, and what it writes
// reads back to the same bytes again (the writer is a fixed point, binary
// or ASCII as the file was), with
// every tag kept; reading in parts is reading once; a new entity then gets a handle no other object has; any
// text decodes to UTF-8 that encodes again; the typed data holds no more
// vertices, edges or knots than the file has tags, and the picture stays
// within its bound; an entity written over its own record reads the same,
// and a block's entities written over themselves write the same bytes.

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <variant>
#include <string>
#include <string_view>

#include "DxfDrawing.h"
#include "DxfEntityCodec.h"
#include "DxfEntityData.h"
#include "model/DxfShapes.h"
#include "model/ModelNames.h"
#include "DxfTagReader.h"
#include "DxfText.h"

namespace {

void require(bool condition)
{
    if (!condition) std::abort();
}

// Items of typed data that each take at least one tag of the file.
std::size_t items(const tessik::dxf::EntityData& data)
{
    using namespace tessik::dxf;
    if (const auto* p = std::get_if<tessik::entities::Polyline>(&data)) return p->vertices.size();
    if (const auto* p = std::get_if<PolylineEntity>(&data)) return p->outline.vertices.size();
    if (const auto* s = std::get_if<Spline>(&data)) return s->knots.size() + s->control.size() + s->fit.size();
    std::size_t n = 0;
    if (const auto* h = std::get_if<Hatch>(&data))
        for (const HatchPath& p : h->paths) n += 1 + p.edges.size() + (p.polyline ? p.polyline->vertices.size() : 0);
    return n;
}

void interpret(const tessik::dxf::DxfDrawing& d)
{
    std::vector<std::span<const tessik::dxf::DxfTag>> records;
    std::vector<std::size_t> all;
    for (std::size_t i = 0; i < d.entityCount(); ++i) {
        records.push_back(d.entityTags(i));
        all.push_back(i);
    }
    std::size_t held = 0;
    for (const auto& e : tessik::dxf::interpretRecords(records, d)) held += 1 + items(e.data);
    require(held <= d.tagCount() + 1);
    const auto shapes = tessik::cadhost::drawingShapes(d, all);
    std::size_t points = shapes.texts.size();
    for (const auto& o : shapes.outlines) points += o.size();
    for (const auto& f : shapes.fills) points += f.size();
    points += shapes.segments.size();
    require(shapes.outlineStyles.size() == shapes.outlines.size() && shapes.fillStyles.size() == shapes.fills.size());
    for (const auto& run : shapes.segmentRuns) require(run.begin <= run.end && run.end <= shapes.segments.size());
    // The bound is checked before each outline, which adds a bounded number.
    require(points <= tessik::cadhost::kMaxPoints + 100'000);

    // As tessik-cad's model reads them: one entity per record with the
    // vertices and attributes after it, each with its own picture, class
    // name and common groups.
    std::vector<std::vector<std::size_t>> runs;
    for (std::size_t i = 0; i < d.entityCount(); ++i) {
        const std::string& type = d.entity(i).type;
        if ((type == "VERTEX" || type == "SEQEND" || type == "ATTRIB") && !runs.empty())
            runs.back().push_back(i);
        else
            runs.push_back({i});
    }
    const auto pictures = tessik::cadhost::entityShapes(d, runs);
    require(pictures.size() == runs.size());
    tessik::cadhost::DrawingExtras together;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        tessik::cadhost::appendShape(together, pictures[r], {0, 0, 0});
        const auto tags = d.entityTags(runs[r].front());
        require(!tessik::cadhost::shapeObjectName(d.entity(runs[r].front()).type, tags, d).empty() ||
                d.entity(runs[r].front()).type.empty());
        const auto common = tessik::cadhost::commonGroups(tags);
        require(!common.trueColor || *common.trueColor <= 0xFFFFFFu);
    }
    std::size_t shown = together.texts.size();
    for (const auto& o : together.outlines) shown += o.size();
    for (const auto& f : together.fills) shown += f.size();
    require(shown <= tessik::cadhost::kMaxPoints + 100'000);
}

// The kind of the shared vocabulary typed data holds, if any (an attribute
// belongs to its block reference).
std::optional<tessik::entities::Entity> vocabularyKind(const tessik::dxf::EntityData& data)
{
    using namespace tessik;
    using Kind = std::optional<entities::Entity>;
    return std::visit(entities::Overload{
                          [](const entities::Line& k) -> Kind { return k; },
                          [](const entities::Arc& k) -> Kind { return k; },
                          [](const entities::Circle& k) -> Kind { return k; },
                          [](const entities::Ellipse& k) -> Kind { return k; },
                          [](const entities::Point& k) -> Kind { return k; },
                          [](const entities::Polyline& k) -> Kind { return k; },
                          [](const dxf::TextEntity& k) -> Kind {
                              if (k.attribute) return std::nullopt;
                              return k.text;
                          },
                          [](const dxf::PolylineEntity&) -> Kind { return std::nullopt; },
                          [](const dxf::Spline&) -> Kind { return std::nullopt; },
                          [](const dxf::MText&) -> Kind { return std::nullopt; },
                          [](const dxf::Insert&) -> Kind { return std::nullopt; },
                          [](const dxf::Dimension&) -> Kind { return std::nullopt; },
                          [](const dxf::Quad&) -> Kind { return std::nullopt; },
                          [](const dxf::Hatch&) -> Kind { return std::nullopt; },
                      },
                      data);
}

// Each entity of the shared vocabulary written over its own record: the
// drawing still writes and reads back, and the record reads as the same
// entity (angles, which go through degrees and back, may move by an ulp).
void rewriteEach(tessik::dxf::DxfDrawing d)
{
    using namespace tessik;
    const std::size_t count = d.entityCount();
    for (std::size_t i = 0; i < count; ++i) {
        const auto data = dxf::entityData(d.entityTags(i), d);
        const auto kind = data ? vocabularyKind(data->data) : std::nullopt;
        if (!kind) continue;
        // A text reads as the record holds it, so it is written as it was.
        require(dxf::rewriteEntity(d, i, *kind).ok());
        const auto again = dxf::entityData(d.entityTags(i), d);
        require(again && again->data.index() == data->data.index());
        const bool throughDegrees =
            std::holds_alternative<entities::Arc>(*kind) || std::holds_alternative<entities::Text>(*kind);
        require(throughDegrees || vocabularyKind(again->data) == kind);
    }
    const auto written = d.toBytes();
    require(written.ok());
    const auto back = dxf::DxfDrawing::fromBytes(*written);
    require(back.ok() && back->entityCount() == count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Read in parts by several threads, a file gives the tags (or the error)
    // of one reading.
    const auto once = tessik::dxf::readDxfTags(bytes, 1);
    const auto inParts = tessik::dxf::readDxfTags(bytes, 1 + size % 7);
    require(once.ok() == inParts.ok());
    require(once.ok() ? *once == *inParts : once.error().description == inParts.error().description);
    // A copy of the drawing, its original gone: the copy keeps the bytes its
    // tags view (the sanitizer sees any read of what was freed).
    const auto copyOf = [](std::string_view file) -> tessik::Result<tessik::dxf::DxfDrawing> {
        auto read = tessik::dxf::DxfDrawing::fromBytes(file);
        if (!read) return read.error();
        tessik::dxf::DxfDrawing copy = *read;
        return copy;
    };
    auto drawing = copyOf(bytes);
    if (!drawing) {
        require(!drawing.error().description.empty());
        return 0;
    }
    {
        // An entity of one drawing added to another, the first then gone.
        tessik::dxf::DxfDrawing other = tessik::dxf::DxfDrawing::blank();
        {
            const auto source = copyOf(bytes);
            for (std::size_t i = 0; i < source->entityCount() && i < 4; ++i) {
                const auto tags = source->entityTags(i);
                tessik::dxf::NewEntity made{source->entity(i).type, "0", {}};
                if (!tags.empty()) made.data.assign(tags.begin() + 1, tags.end());
                const std::size_t at = other.addEntity(tessik::dxf::Space::Model, std::move(made));
                other.setEntityValues(at, std::vector<tessik::dxf::DxfTag>(tags.begin(), tags.end()));
            }
        }
        (void)other.toBytes();
    }
    require(drawing->tagCount() <= size / 2 + 1);
    interpret(*drawing);
    rewriteEach(*drawing);
    for (std::size_t i = 0; i < drawing->entityCount(); ++i)
        for (const tessik::dxf::DxfTag& t : drawing->entityTags(i))
            if (t.code == 1 || t.code == 3) {
                const std::string text =
                    tessik::dxf::decodeDxfText(t.value, drawing->codePage(), drawing->unicode());
                // A binary file's text may hold a line break: its tag goes
                // back as it came, but no edit can write such a text.
                if (text.find_first_of("\r\n") != std::string::npos) continue;
                require(tessik::dxf::encodeDxfText(text, drawing->codePage(), drawing->unicode()).ok());
            }
    const auto written = drawing->toBytes();
    require(written.ok());
    auto again = tessik::dxf::DxfDrawing::fromBytes(*written);
    require(again.ok());
    require(again->entityCount() == drawing->entityCount());
    const auto rewritten = again->toBytes();
    require(rewritten.ok() && *rewritten == *written);
    {
        // Each block entity written over by its own tags (as a moved
        // dimension's picture is written back): the same bytes.
        tessik::dxf::DxfDrawing blocks = *again;
        for (const std::string& name : blocks.blockNames()) {
            const auto entities = blocks.blockEntities(name);
            for (std::size_t k = 0; k < entities.size(); ++k)
                (void)blocks.replaceBlockEntity(name, k, {entities[k].begin(), entities[k].end()});
        }
        const auto same = blocks.toBytes();
        require(same.ok() && *same == *written);
    }

    tessik::dxf::DxfDrawing& d = again.value();
    const std::uint64_t seed = d.handleSeed();
    const std::size_t added =
        d.addEntity(tessik::dxf::Space::Model,
                    {"POINT", "0", {{100, "AcDbPoint"}, {10, "1.0"}, {20, "2.0"}, {30, "0.0"}}});
    for (std::size_t i = 0; i < added; ++i) require(d.entity(i).handle.empty() || d.entity(i).handle != d.entity(added).handle);
    require(d.entity(added).handle.empty() || d.handleSeed() == seed + 1);
    const auto withPoint = d.toBytes();
    if (seed == UINT64_MAX && !d.entity(added).handle.empty()) std::abort();
    if (!withPoint.ok()) {
        // Only a drawing out of handles refuses its new entity.
        require(seed == UINT64_MAX);
        return 0;
    }
    const auto third = tessik::dxf::DxfDrawing::fromBytes(*withPoint);
    require(third.ok() && third->entityCount() == added + 1);

    // A point more in each other paper layout's block: written inside it (or
    // refused, for a block the file does not define), it reads back there.
    std::size_t inLayouts = 0;
    for (const tessik::dxf::Layout& layout : d.layouts()) {
        std::string block = layout.block;
        for (char& c : block) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (block == "*MODEL_SPACE" || block == "*PAPER_SPACE") continue;
        d.addEntity(tessik::dxf::Space::Paper, {"POINT", "0", {{10, "1.0"}, {20, "2.0"}}}, {}, layout.block);
        ++inLayouts;
    }
    if (!inLayouts) return 0;
    const auto withLayouts = d.toBytes();
    if (!withLayouts.ok()) return 0;
    const auto fourth = tessik::dxf::DxfDrawing::fromBytes(*withLayouts);
    require(fourth.ok() && fourth->entityCount() == added + 1 + inLayouts);
    return 0;
}
