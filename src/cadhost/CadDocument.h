#pragma once
// One open drawing: a name, the file it was read from or saved to, a model
// space and a paper space, and whether it has unsaved changes.
//
// A space is an append-mostly list of entities; an entity's index never
// changes while the document is open, which is what lets automation handles
// name entities by (document, space, index). Each space keeps its extents up
// to date as entities arrive, so zoom extents costs nothing.
//
// The document also holds the DXF drawing it was read from (an empty one for
// a new drawing), with everything the spaces do not show. An entity read
// from the file remembers its record there, and whether it was changed since;
// entities without a record are new and are added when the drawing is saved.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include <QString>

#include "CadEntity.h"
#include "DxfDrawing.h"
#include "DxfShapes.h"

namespace tessik::cadhost {

class CadSpace {
public:
    int count() const { return static_cast<int>(entities_.size()); }
    const CadEntity& at(int index) const { return entities_[static_cast<std::size_t>(index)]; }
    const std::vector<CadEntity>& entities() const { return entities_; }
    const Bounds& extents() const { return extents_; }

    // record: the entity's index in the document's DXF drawing, when it came from there.
    int add(CadEntity entity, std::optional<std::size_t> record = std::nullopt);
    void replace(int index, CadEntity entity);
    void reserve(std::size_t n)
    {
        entities_.reserve(n);
        origins_.reserve(n);
    }

    std::optional<std::size_t> record(int index) const { return origins_[static_cast<std::size_t>(index)].record; }
    bool changed(int index) const { return origins_[static_cast<std::size_t>(index)].changed; }
    // An entity on a layer that is off or frozen is held but not drawn.
    bool hidden(int index) const { return origins_[static_cast<std::size_t>(index)].hidden; }
    void setHidden(int index, bool hidden) { origins_[static_cast<std::size_t>(index)].hidden = hidden; }

private:
    struct Origin {
        std::optional<std::size_t> record;
        bool changed = false;
        bool hidden = false;
    };
    void recomputeExtents();

    std::vector<CadEntity> entities_;
    std::vector<Origin> origins_;
    Bounds extents_;
};

enum class SpaceKind { Model = 0, Paper = 1 };

class CadDocument {
public:
    // Every document gets a serial number that is never reused in the
    // process, so a handle to a closed drawing can never reach a new one.
    explicit CadDocument(QString name);

    std::uint64_t serial() const { return serial_; }
    const QString& name() const { return name_; }
    const QString& path() const { return path_; }
    // Remembers the file and takes its name as the drawing's name.
    void setPath(const QString& path);

    CadSpace& space(SpaceKind kind) { return kind == SpaceKind::Model ? model_ : paper_; }
    const CadSpace& space(SpaceKind kind) const
    {
        return kind == SpaceKind::Model ? model_ : paper_;
    }
    CadSpace& modelSpace() { return model_; }
    const CadSpace& modelSpace() const { return model_; }
    CadSpace& paperSpace() { return paper_; }
    const CadSpace& paperSpace() const { return paper_; }

    const dxf::DxfDrawing& drawing() const { return drawing_; }
    void setDrawing(dxf::DxfDrawing drawing) { drawing_ = std::move(drawing); }
    // What the view shows of entities the spaces do not hold.
    const DrawingExtras& extras(SpaceKind kind = SpaceKind::Model) const
    {
        return kind == SpaceKind::Model ? extras_ : paperExtras_;
    }
    void setExtras(DrawingExtras extras) { extras_ = std::move(extras); }
    void setExtras(SpaceKind kind, DrawingExtras extras)
    {
        (kind == SpaceKind::Model ? extras_ : paperExtras_) = std::move(extras);
    }
    // A space's extents with those shapes.
    Bounds extents(SpaceKind kind) const
    {
        Bounds b = space(kind).extents();
        b.add(extras(kind).bounds);
        return b;
    }
    Bounds modelExtents() const { return extents(SpaceKind::Model); }

    bool modified() const { return modified_; }
    void setModified(bool modified) { modified_ = modified; }

private:
    std::uint64_t serial_;
    QString name_;
    QString path_;
    CadSpace model_;
    CadSpace paper_;
    dxf::DxfDrawing drawing_ = dxf::DxfDrawing::blank();
    DrawingExtras extras_;
    DrawingExtras paperExtras_;
    bool modified_ = false;
};

}  // namespace tessik::cadhost
