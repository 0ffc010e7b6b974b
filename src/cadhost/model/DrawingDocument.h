#pragma once
// One open drawing: a name, the file it was read from or saved to, a model
// space and a paper space, and whether it has unsaved changes.
//
// A space is an append-only list of entities; an entity's index never
// changes while the document is open, which is what lets automation handles
// name entities by (document, space, index). Erasing an entity therefore
// leaves its slot in place with an erased flag: erased entities are not
// shown, not in the extents, not in liveCount() and not saved, and undoing
// the erase brings the same entity back under the same index. Each space
// keeps its extents up to date as entities arrive, so zoom extents costs
// nothing.
//
// Every change made through the document (add, replace, erase) is one step
// of its history (CadHistory.h) and can be undone and redone; modified()
// follows the history's position against the last save.
//
// The document also holds the DXF drawing it was read from (an empty one for
// a new drawing), with everything the spaces do not show. An entity read
// from the file remembers its record there, and whether it was changed since;
// entities without a record are new and are added when the drawing is saved.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <QString>

#include "model/ModelEntity.h"
#include "model/CadHistory.h"
#include "DxfDrawing.h"
#include "model/DxfShapes.h"
#include "model/ModelNames.h"

namespace tessik::cadhost {

class CadSpace {
public:
    // The number of slots, erased ones included: indices run 0 to count() - 1.
    int count() const { return static_cast<int>(entities_.size()); }
    // The entities not erased.
    int liveCount() const { return count() - erasedCount_; }
    const ModelEntity& at(int index) const { return entities_[static_cast<std::size_t>(index)]; }
    const std::vector<ModelEntity>& entities() const { return entities_; }
    const Bounds& extents() const { return extents_; }

    // record: the entity's index in the document's DXF drawing, when it came from there.
    int add(ModelEntity entity, std::optional<std::size_t> record = std::nullopt);
    // What a slot holds beside its entity: where it came from in the file
    // and what has been done to it since.
    struct Origin {
        std::optional<std::size_t> record;
        bool changed = false;
        bool erased = false;
        bool hidden = false;
        std::string layer = "0";
        std::shared_ptr<const CommonGroups> style;
        std::uint64_t handle = 0;
    };
    // Entities read from a file, in order, each with its origin (record,
    // layer, and hidden when that layer is off or frozen; one an entity):
    // held as add(), setLayer() and setHidden() would hold them, with the
    // storage sized once. An empty space takes both vectors themselves, so
    // a large drawing is never held twice over.
    void addRead(std::vector<ModelEntity>&& entities, std::vector<Origin>&& origins);
    // changed: whether the entity now differs from its record in the file.
    void replace(int index, ModelEntity entity, bool changed = true);
    bool erased(int index) const { return origins_[static_cast<std::size_t>(index)].erased; }
    void setErased(int index, bool erased);
    // The index of the n-th entity not erased (0 <= n < liveCount()), in the
    // order they were added; -1 for any other n.
    int liveIndex(int n) const;
    void reserve(std::size_t n)
    {
        entities_.reserve(n);
        origins_.reserve(n);
        reaches_.reserve(n);
        live_.reserve(n);
    }

    std::optional<std::size_t> record(int index) const { return origins_[static_cast<std::size_t>(index)].record; }
    bool changed(int index) const { return origins_[static_cast<std::size_t>(index)].changed; }
    // An entity on a layer that is off or frozen is held but not drawn.
    bool hidden(int index) const { return origins_[static_cast<std::size_t>(index)].hidden; }
    void setHidden(int index, bool hidden)
    {
        origins_[static_cast<std::size_t>(index)].hidden = hidden;
        updateReach(index);
        shapeChanged(index);
    }
    // Changes whenever a shape (ModelShape) is added, changed, erased or
    // restored, so that a picture of them knows when it is stale.
    std::uint64_t shapesVersion() const { return shapesVersion_; }
    // The slots whose change moved shapesVersion() on from `since` to now,
    // one for each step, so that a picture can mend just those; nullopt
    // when the space no longer remembers that far back.
    std::optional<std::span<const int>> shapeChangesSince(std::uint64_t since) const
    {
        if (since < shapeLogFrom_ || since > shapesVersion_) return std::nullopt;
        return std::span<const int>(shapeLog_).subspan(static_cast<std::size_t>(since - shapeLogFrom_));
    }
    // The layer a new entity is written on ("0" unless set); an entity read
    // from the file keeps its own.
    const std::string& layer(int index) const { return origins_[static_cast<std::size_t>(index)].layer; }
    void setLayer(int index, std::string layer) { origins_[static_cast<std::size_t>(index)].layer = std::move(layer); }
    // Layer, colour, line type and lineweight as set since the entity was
    // read or made (null: as its file or its making gave them).
    const std::shared_ptr<const CommonGroups>& style(int index) const
    {
        return origins_[static_cast<std::size_t>(index)].style;
    }
    void setStyle(int index, std::shared_ptr<const CommonGroups> style);
    // A shape's picture drawn afresh (its groups changed); where it lies with it.
    void setPicture(int index, std::shared_ptr<const DrawingExtras> picture, const Bounds& readBounds);
    // The handle a new entity was given when made (0: none, the drawing
    // has no handles); an entity read from the file has its record's.
    std::uint64_t handle(int index) const { return origins_[static_cast<std::size_t>(index)].handle; }
    void setHandle(int index, std::uint64_t handle) { origins_[static_cast<std::size_t>(index)].handle = handle; }
    // Drawn and selectable: neither erased nor hidden.
    bool drawn(int index) const
    {
        const Origin& o = origins_[static_cast<std::size_t>(index)];
        return !o.erased && !o.hidden;
    }
    // Where a slot's drawing can lie, for leaving out quickly what a view
    // or a band of it does not reach: a drawn line's, arc's, circle's,
    // ellipse's or polyline's extents, rounded outwards to floats;
    // everywhere for kinds drawn past their extents (a text's glyphs, a
    // shape); nowhere (empty) for a slot not drawn. One per slot, packed,
    // so that a pass over them touches no entity.
    struct Reach {
        float minX, minY, maxX, maxY;
    };
    const std::vector<Reach>& reaches() const { return reaches_; }

private:
    void recomputeExtents();
    void updateReach(int index);
    // Moves shapesVersion() on for a change of the slot, remembering it.
    void shapeChanged(int index);
    // Takes an entity's bounds out of the extents: recomputed only when
    // they touched the edge.
    void shrinkExtents(const Bounds& gone);

    // Which slots are not erased, counted so that the n-th of them is found
    // in O(log n) and every add, erase and unerase keeps the counts in step
    // (a Fenwick tree over the slots, 1 for a live one): there is no table
    // to go stale, and erasing while walking the list costs no rebuilds.
    class LiveSlots {
    public:
        void reserve(std::size_t n) { tree_.reserve(n + 1); }
        void append(bool live);
        void change(int index, int delta);
        // The slot of the n-th live one; n must be below the number of them.
        int select(int n) const;

    private:
        std::vector<int> tree_{0};  // tree_[i] counts slots (i - lowbit(i), i], 1-based
    };

    std::vector<ModelEntity> entities_;
    std::vector<Origin> origins_;
    std::vector<Reach> reaches_;
    Bounds extents_;
    int erasedCount_ = 0;
    LiveSlots live_;
    std::uint64_t shapesVersion_ = 0;
    // The slots of the last changes: shapeLog_[k] moved the version on
    // from shapeLogFrom_ + k. The older half is dropped when it grows long.
    std::vector<int> shapeLog_;
    std::uint64_t shapeLogFrom_ = 0;
};


class DrawingDocument {
public:
    // Every document gets a serial number that is never reused in the
    // process, so a handle to a closed drawing can never reach a new one.
    explicit DrawingDocument(QString name);

    std::uint64_t serial() const { return serial_; }
    const QString& name() const { return name_; }
    const QString& path() const { return path_; }
    // Remembers the file and takes its name as the drawing's name.
    void setPath(const QString& path);
    void setName(QString name) { name_ = std::move(name); }

    CadSpace& space(SpaceKind kind) { return const_cast<CadSpace&>(std::as_const(*this).space(kind)); }
    const CadSpace& space(SpaceKind kind) const
    {
        if (kind == SpaceKind::Model) return model_;
        if (kind == SpaceKind::Paper) return paper_;
        return layoutSpaces_[static_cast<std::size_t>(kind) - 2].space;
    }
    // A paper layout other than the active one, with the entities of its
    // block; its space is layoutSpace(k) for the k-th.
    struct LayoutSpace {
        std::string block;  // upper-case, as dxf::EntityRecord::block
        CadSpace space;
    };
    const std::vector<LayoutSpace>& layoutSpaces() const { return layoutSpaces_; }
    // The space of that layout block (upper-case name), made when there is none yet.
    SpaceKind layoutSpaceOf(const std::string& block);
    // Every space: model, paper, then the other layouts'.
    std::vector<SpaceKind> spaceKinds() const;
    // The drawing's layouts, each with the space of its block, as the file
    // declares them; a drawing that declares none (R12) has "Model" and
    // "Layout1" over model and paper space.
    struct LayoutEntry {
        std::string name;
        int tabOrder = 0;
        std::string block;  // as the file writes it
        SpaceKind space = SpaceKind::Model;
    };
    std::vector<LayoutEntry> layouts() const;
    CadSpace& modelSpace() { return model_; }
    const CadSpace& modelSpace() const { return model_; }
    CadSpace& paperSpace() { return paper_; }
    const CadSpace& paperSpace() const { return paper_; }

    const dxf::DxfDrawing& drawing() const { return *drawing_; }
    void setDrawing(dxf::DxfDrawing drawing) { drawing_ = std::make_shared<const dxf::DxfDrawing>(std::move(drawing)); }
    // What a save writes (name, path, both spaces and the DXF drawing, which
    // is shared rather than copied, being never changed in place), without
    // the history or what the view shows: a copy another thread may write
    // out while this document goes on changing.
    std::unique_ptr<DrawingDocument> snapshot() const;
    // What the view shows of the entities held as shapes (ModelShape), the
    // live ones each moved by its offset, in slot order; when a few of them
    // changed, only their parts are made again.
    const DrawingExtras& extras(SpaceKind kind = SpaceKind::Model) const;
    // A space's extents (shapes included).
    Bounds extents(SpaceKind kind) const { return space(kind).extents(); }
    Bounds modelExtents() const { return extents(SpaceKind::Model); }

    // Layers made through automation (Layers.Add), with their colour
    // indexes; the DXF drawing's own layers are not among them. A save adds
    // them to the file's layer table.
    struct AddedLayer {
        std::string name;
        int color = 7;
    };
    const std::vector<AddedLayer>& addedLayers() const { return addedLayers_; }
    // The index of the added layer of that name, made when there is none yet;
    // -1 when the file's own layer table has it.
    int addLayer(const std::string& name);
    void setLayerColor(int index, int color) { addedLayers_[static_cast<std::size_t>(index)].color = color; }
    // Whether an entity can be put on the layer: "0", the file's or an added one.
    bool hasLayer(const std::string& name) const;

    // Changes that are undo steps. A document read from a file or made new
    // has an empty history.
    // A new entity gets its handle at once from the drawing's handle seed
    // (the one a save writes as $HANDSEED), unless the drawing has none.
    int addEntity(SpaceKind space, ModelEntity entity);
    void replaceEntity(SpaceKind space, int index, ModelEntity entity);
    // Sets an entity's layer, colour, line type and lineweight (its handle
    // stays); one step. The caller checks the values (layer and line type
    // known, colour in range).
    void restyleEntity(SpaceKind space, int index, CommonGroups groups);
    // The entity's handle, layer, colour, line type and lineweight as they
    // stand: as set, else as its record in the file has them, else those
    // of a new entity (its layer, the rest by layer).
    CommonGroups entityGroups(SpaceKind space, int index) const;
    // The handle the next new entity gets (hexadecimal as a number); a save
    // gives later objects handles from here on.
    std::uint64_t nextHandle() const { return std::max(nextHandle_, drawing_->handleSeed()); }
    // Erases the entities not erased yet, as one step; returns how many.
    int eraseEntities(const std::vector<EntityRef>& entities);

    // Undo marks: the changes between them are one step (CadHistory.h).
    void beginUndoGroup() { history_.beginGroup(); }
    void endUndoGroup() { history_.endGroup(); }
    int undoGroupDepth() const { return history_.groupDepth(); }

    bool canUndo() const { return history_.canUndo(); }
    bool canRedo() const { return history_.canRedo(); }
    // What undo or redo would do, as the Edit menu says it ("添加直线");
    // empty when there is nothing to undo or redo.
    QString undoText() const;
    QString redoText() const;
    // The entities the step touched (to drop them from a selection); empty
    // when there was nothing to undo or redo.
    std::vector<EntityRef> undo();
    std::vector<EntityRef> redo();

    // Unsaved changes: the history is not where it was at the last save.
    bool modified() const { return history_.modified(); }
    // false: the drawing is saved as it stands now. true: it differs from
    // any file whatever is undone (a recovered drawing), until saved.
    void setModified(bool modified) { history_.setModified(modified); }

private:
    // Does (forward) or undoes a step.
    void apply(const HistoryStep& step, bool forward);
    // Sets an entity's groups and hides it when their layer is off or frozen.
    void setStyle(SpaceKind space, int index, std::shared_ptr<const CommonGroups> style);
    // A shape's picture drawn again from its record and its groups as they stand.
    void redrawShape(CadSpace& space, int index, std::size_t record);
    QString describe(const HistoryStep* step) const;

    std::uint64_t serial_;
    QString name_;
    QString path_;
    CadSpace model_;
    CadSpace paper_;
    std::vector<LayoutSpace> layoutSpaces_;
    std::shared_ptr<const dxf::DxfDrawing> drawing_ = std::make_shared<const dxf::DxfDrawing>(dxf::DxfDrawing::blank());
    // Where one slot's shapes start in each list of the composed picture.
    struct ShapeStarts {
        std::size_t outlines = 0, outlineStyles = 0, fills = 0, fillStyles = 0, points = 0, runs = 0, texts = 0;
    };
    struct Composed {
        DrawingExtras extras;
        std::uint64_t version = ~std::uint64_t(0);
        // The slots holding a shape with a picture, in order, each with
        // where its part starts (a hidden or erased one has an empty part)
        // and what it adds to the bounds; `end` is where the last part ends.
        struct Part {
            int slot = 0;
            ShapeStarts starts;
            Bounds bounds;
            bool truncated = false;
        };
        std::vector<Part> parts;
        ShapeStarts end;
        std::size_t truncatedParts = 0;
    };
    static ShapeStarts endsOf(const DrawingExtras& e);
    void compose(Composed& c, const CadSpace& s) const;
    // Puts the slot's part as it is now in place of what it was; true when
    // the bounds may have shrunk.
    bool mend(Composed& c, const CadSpace& s, int slot) const;
    mutable Composed composed_[2];
    mutable std::map<int, Composed> layoutComposed_;  // by SpaceKind, for the other layouts
    CadHistory history_;
    std::vector<AddedLayer> addedLayers_;
    std::uint64_t nextHandle_ = 0;
};

}  // namespace tessik::cadhost
