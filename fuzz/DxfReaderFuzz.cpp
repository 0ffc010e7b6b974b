// libFuzzer target: any bytes as a DXF file, through the tag reader, the
// drawing's index and its writer. Aborts on any broken invariant; the
// sanitizers catch the rest.
//
// What must hold: a drawing that was read writes out, and what it writes
// reads back to the same bytes again (the writer is a fixed point), with
// every tag kept; a new entity then gets a handle no other object has; any
// text decodes to UTF-8 that encodes again.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "DxfDrawing.h"
#include "DxfText.h"

namespace {

void require(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto drawing = tessik::dxf::DxfDrawing::fromBytes(bytes);
    if (!drawing) {
        require(!drawing.error().description.empty());
        return 0;
    }
    require(drawing->tagCount() <= size / 2 + 1);
    for (std::size_t i = 0; i < drawing->entityCount(); ++i)
        for (const tessik::dxf::DxfTag& t : drawing->entityTags(i))
            if (t.code == 1 || t.code == 3) {
                const std::string text =
                    tessik::dxf::decodeDxfText(t.value, drawing->codePage(), drawing->unicode());
                require(tessik::dxf::encodeDxfText(text, drawing->codePage(), drawing->unicode()).ok());
            }
    const auto written = drawing->toBytes();
    require(written.ok());
    auto again = tessik::dxf::DxfDrawing::fromBytes(*written);
    require(again.ok());
    require(again->entityCount() == drawing->entityCount());
    const auto rewritten = again->toBytes();
    require(rewritten.ok() && *rewritten == *written);

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
    return 0;
}
