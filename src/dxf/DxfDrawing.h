#pragma once
// A DXF drawing as the file holds it: every tag of every section, table,
// block, entity and object, in its order, written back unchanged. On top of
// that the drawing knows where things are (sections, header variables, the
// records of the ENTITIES section, the block records that own the two
// spaces) and takes three kinds of change:
//
//  - a new entity, appended to the ENTITIES section (or to the block of a
//    paper layout), with a handle from $HANDSEED (which advances) and the
//    owner of its space;
//  - new values for some groups of an existing entity, replaced in place
//    (every other tag of it stays, its handle and its extended data too);
//  - an entity left out: it is not written (its tags stay in memory);
//  - nothing else: what the drawing does not interpret it never rewrites.
//
// Handles are hexadecimal; a handle seed below a handle the file already uses
// is raised past it, so a new entity can never take an existing handle. A
// custom object may use group 5 for data after its handle; such a value that
// is not hexadecimal is no handle.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "DxfTag.h"
#include "DxfTagReader.h"
#include "Error.h"

namespace tessik::dxf {

enum class Space { Model, Paper };

// One entity: a run of tags that starts with group 0.
// The type and handle are the file's tag texts (views into its bytes, as
// the tags are), so the records of a large file take no copies of them.
struct EntityRecord {
    TagText type;
    Space space = Space::Model;
    TagText handle;  // empty when the file has none
    // The block (upper-case name) of a paper layout other than the active
    // one, for an entity of that layout's block definition; empty for an
    // entity of the ENTITIES section.
    std::string block;
};

// A layout as its LAYOUT object gives it: its name, its place among the
// tabs and the name of the block that holds its entities (*Model_Space,
// *Paper_Space for the active paper layout, *Paper_SpaceN for the others).
struct Layout {
    std::string name;
    int tabOrder = 0;
    std::string block;
};

// An entity made in memory: its type, layer and the tags after the common
// ones (subclass markers included; they are left out for R12).
struct NewEntity {
    std::string type;
    std::string layer = "0";
    std::vector<DxfTag> data;
};

class DxfDrawing {
public:
    // Reads the tags of a file (ASCII or binary) and indexes them.
    static Result<DxfDrawing> fromBytes(std::string_view bytes);
    // The same, keeping bytes (no copy of them is made).
    static Result<DxfDrawing> fromBuffer(std::string bytes);
    // An empty AutoCAD 2000 drawing (AC1015, code page ANSI_936, millimetres):
    // layer 0, the standard line types, text style and dimension style, model
    // and paper space with their layouts.
    static DxfDrawing blank();

    // "AC1009" (R12) when the file does not say.
    const std::string& version() const { return version_; }
    // $DWGCODEPAGE, "ANSI_1252" when the file does not say.
    const std::string& codePage() const { return codePage_; }
    // Whether the version stores text as UTF-8 (AutoCAD 2007, AC1021, and later).
    bool unicode() const { return version_ >= "AC1021"; }
    std::optional<std::string> headerValue(std::string_view name) const;
    // Sets a point header variable ($EXTMIN, $EXTMAX, ...) the drawing holds
    // with x, y and z groups; false (nothing changed) when it has none.
    bool setHeaderPoint(std::string_view name, double x, double y, double z);
    // Tags read from the file (what was added in memory not counted).
    std::size_t tagCount() const { return tags_.size(); }

    // The ENTITIES section, then the entities of the other paper layouts'
    // blocks (EntityRecord::block, layout by layout, each in file order),
    // then the entities added since; index i stays i. Records of a layout
    // block are rewritten and left out in place, inside the BLOCKS section.
    std::size_t entityCount() const { return records_.size() + added_.size(); }
    const EntityRecord& entity(std::size_t i) const;
    std::span<const DxfTag> entityTags(std::size_t i) const;

    // Adds a layer to the LAYER table (colour: ACI 1..255; negative is off),
    // unless one of that name exists. False when the drawing has no LAYER table.
    bool addLayer(const std::string& name, int color = 7, const std::string& linetype = "Continuous");
    bool hasLayer(std::string_view name) const;

    // Returns the new entity's index; its tags are checked when written.
    // handle: given beforehand (hexadecimal, below reserveHandles' next);
    // empty: the next one. block: that of a paper layout other than the
    // active one (as EntityRecord::block): the entity goes at the end of
    // that block's definition, owned by its block record, in paper space;
    // empty: the ENTITIES section.
    std::size_t addEntity(Space space, NewEntity entity, std::string handle = {}, std::string block = {});
    // Sets the first group of each code in values to its value; a code the
    // entity lacks is added before its extended data, except a point's y or
    // z, which goes right after the point's x or y (a 2D writer leaves z out).
    void setEntityValues(std::size_t i, const std::vector<DxfTag>& values);
    // Leaves entity i out of what toBytes writes; its index stays.
    void removeEntity(std::size_t i) { removed_.insert(i); }
    // Replaces every group of the given codes (repeated ones too, as a
    // polyline's vertices) with tags, put where the first of them was, or
    // before the extended data when the entity has none of them.
    void replaceEntityGroups(std::size_t i, std::span<const int> codes, const std::vector<DxfTag>& tags);
    // A record's tags with those groups replaced the same way.
    static std::vector<DxfTag> withGroups(std::span<const DxfTag> current, std::span<const int> codes,
                                          const std::vector<DxfTag>& tags);
    // A record's tags with those values set as setEntityValues sets them.
    static std::vector<DxfTag> withValues(std::span<const DxfTag> current, const std::vector<DxfTag>& values);

    // The entities of a block definition (upper-case name match), each as its
    // tags (as replaced, if they were), and the tags of its BLOCK record;
    // empty for an unknown block.
    std::vector<std::span<const DxfTag>> blockEntities(std::string_view name) const;
    std::span<const DxfTag> blockHeader(std::string_view name) const;
    // The upper-case names of the blocks the BLOCKS section defines.
    std::vector<std::string> blockNames() const;
    // Writes tags (its group 0 first, of the same type) in place of the k-th
    // entity of a block definition; returns them as now held. Empty,
    // changing nothing, for an unknown block or entity, other tags, or the
    // block of a paper layout other than the active one: its entities are
    // the drawing's (entity(i)), edited as such.
    std::span<const DxfTag> replaceBlockEntity(std::string_view name, std::size_t k, std::vector<DxfTag> tags);
    // The layouts the OBJECTS section declares, in file order; none for a
    // drawing without LAYOUT objects (R12).
    const std::vector<Layout>& layouts() const { return layouts_; }
    // The tags of each LAYER table entry.
    std::vector<std::span<const DxfTag>> layers() const;
    // The tags of each entry of that type (LTYPE, STYLE, ...) in the TABLES section.
    std::vector<std::span<const DxfTag>> tableEntries(std::string_view type) const;
    // The C++ class name (group 2) the CLASSES section gives a record name
    // (group 1), as custom objects are declared; empty when it has none.
    std::string className(std::string_view recordName) const;

    // The next handle $HANDSEED would give (for tests and audits); at
    // UINT64_MAX there is none, and toBytes refuses a drawing given new objects.
    std::uint64_t handleSeed() const { return seed_; }
    // Whether the drawing's objects have handles (every version since R13,
    // and R12 files with $HANDLING set).
    bool givesHandles() const { return usesHandles_; }
    // Handles below next were given out beforehand (NewEntity::handle):
    // the seed moves past them.
    void reserveHandles(std::uint64_t next) { seed_ = std::max(seed_, next); }

    // The whole file in the form it was read (binary or ASCII, and ASCII with
    // its line ends; a blank drawing is ASCII with LF). $HANDSEED is written
    // as the file has it unless new handles were given out or handles in use
    // lie past it. Fails, writing nothing, when a tag made in memory cannot
    // be written (a non-finite number, a line break in an ASCII text).
    Result<std::string> toBytes() const;

private:
    struct Range {
        std::size_t begin = 0;
        std::size_t end = 0;
    };

    Status index();
    Status indexEntities(Range section);
    void indexBlocks(Range section);
    void indexLayouts(Range section);
    Status indexHandles();
    std::string newHandle();
    bool hasHandles() const { return usesHandles_; }
    bool modern() const { return version() >= "AC1012"; }
    std::string spaceOwner(Space space) const;
    // The parts of toBytes: every tag made in memory checked, where a new
    // ENTITIES section goes, and the first tag of each edited record.
    Status checkEdits() const;
    std::optional<std::size_t> newEntitiesSectionAt() const;
    std::map<std::size_t, std::size_t> editedRecordsAt() const;

    // Texts of tags given by callers that view bytes other than the file's
    // are copied, so the drawing never views what it does not keep.
    void keepTexts(std::vector<DxfTag>& tags) const;

    std::shared_ptr<const std::string> buffer_;  // the file's bytes, which tags_ view
    DxfTagList tags_;
    std::optional<Range> header_;
    std::optional<Range> classes_;
    std::optional<Range> entitiesSection_;
    std::vector<Range> recordRanges_;
    std::vector<EntityRecord> records_;
    std::map<std::size_t, std::vector<DxfTag>> replaced_;  // by record index
    std::set<std::size_t> removed_;                        // by entity index
    std::vector<std::pair<EntityRecord, std::vector<DxfTag>>> added_;
    std::map<std::string, std::string, std::less<>> blockRecordHandles_;
    std::map<std::string, std::string, std::less<>> blockRecordNames_;  // handle -> name as written
    std::vector<Layout> layouts_;
    struct Block {
        Range header;
        std::vector<Range> entities;
        std::optional<std::size_t> end;  // its ENDBLK, where added entities go
    };
    std::map<std::string, Block, std::less<>> blocks_;  // upper-case name
    // Block entities written anew, by the first tag of their range.
    struct BlockEdit {
        std::size_t end = 0;  // past the range's last tag
        std::vector<DxfTag> tags;
    };
    std::map<std::size_t, BlockEdit> replacedInBlocks_;
    std::vector<Range> layers_;
    std::optional<Range> tables_;
    std::optional<std::size_t> layerTableEnd_;                // its ENDTAB
    std::vector<std::vector<DxfTag>> addedLayers_;  // upper-case name -> handle
    std::uint64_t seed_ = 1;
    std::optional<std::uint64_t> fileSeed_;  // $HANDSEED as read
    DxfFileForm form_;
    // $ACADVER and $DWGCODEPAGE, read once (every text read asks for them).
    std::string version_ = "AC1009";
    std::string codePage_ = "ANSI_1252";
    bool usesHandles_ = false;
    bool handlesExhausted_ = false;
};

// Shortest text that reads back as the same double; always with a decimal
// point or an exponent, as CAD programs write reals.
std::string formatReal(double value);
// The same text written into out, for a caller that makes a tag of it
// without a string in between.
using RealText = std::array<char, 32>;
std::string_view formatReal(double value, RealText& out);

}  // namespace tessik::dxf
