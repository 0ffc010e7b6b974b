#pragma once
// A drawing's undo history: the steps made so far and a position between
// them. Steps before the position are done, steps after it were undone and
// can be redone; a new step drops those. The history does not apply steps
// (the document does, DrawingDocument.h); it keeps what each step needs to be
// undone and redone, and where the last save was.
//
// Steps made between beginGroup and the matching endGroup (groups nest;
// only the outermost counts) become one step when it closes, undone and
// redone as one: a command, or a burst of automation calls within undo marks.
//
// A step names entities by (space, index), which never change while the
// drawing is open; only a replacement holds entity values (before and
// after), so a burst of additions costs a few bytes a step.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "model/ModelEntity.h"

namespace tessik::cadhost {

// Model space, the active paper layout, and from 2 on the drawing's other
// paper layouts (layoutSpace), as DrawingDocument holds them.
enum class SpaceKind { Model = 0, Paper = 1 };
// The k-th further paper layout's space (DrawingDocument::layoutSpaces).
constexpr SpaceKind layoutSpace(std::size_t k) { return static_cast<SpaceKind>(2 + static_cast<int>(k)); }

struct CommonGroups;  // ModelNames.h

struct EntityRef {
    SpaceKind space = SpaceKind::Model;
    int index = 0;
    friend bool operator==(const EntityRef&, const EntityRef&) = default;
};

struct HistoryStep {
    enum class Kind : std::uint8_t { Add, Erase, Replace, Restyle, Group };
    struct Replacement {
        ModelEntity before;
        ModelEntity after;
        bool changedBefore = false;  // whether `before` already differed from the file
    };

    Kind kind = Kind::Add;
    // Every step touches one entity or more; only an erase can touch more,
    // so an addition needs no allocation of its own.
    EntityRef first;
    std::vector<EntityRef> more;
    std::unique_ptr<const Replacement> replacement;
    // A change of layer, colour, line type or lineweight: the entity's
    // groups before (null: as its file or its making gave them) and after.
    struct Restyling {
        std::shared_ptr<const CommonGroups> before;
        std::shared_ptr<const CommonGroups> after;
    };
    std::unique_ptr<const Restyling> restyling;
    // A group: its steps in the order they were made (first is the first one's).
    std::vector<HistoryStep> parts;

    std::vector<EntityRef> entities() const;
};

class CadHistory {
public:
    void push(HistoryStep step);
    bool canUndo() const { return position_ > 0; }
    bool canRedo() const { return position_ < steps_.size(); }
    // The step undo or redo would take; null when there is none.
    const HistoryStep* nextUndo() const { return canUndo() ? &steps_[position_ - 1] : nullptr; }
    const HistoryStep* nextRedo() const { return canRedo() ? &steps_[position_] : nullptr; }
    // Move the position over that step (the caller applies it).
    void stepBack();
    void stepForward();

    void beginGroup() { ++groupDepth_ == 1 ? void(groupStart_ = position_) : void(); }
    // Closes the innermost group; nothing when none is open.
    void endGroup();
    int groupDepth() const { return groupDepth_; }

    bool modified() const { return !clean_ || *clean_ != position_; }
    // false marks the current position as saved; true forgets any saved
    // position, so the drawing stays modified until setModified(false).
    void setModified(bool modified);

private:
    std::vector<HistoryStep> steps_;
    std::size_t position_ = 0;
    std::optional<std::size_t> clean_ = 0;
    int groupDepth_ = 0;
    std::size_t groupStart_ = 0;
};

}  // namespace tessik::cadhost
