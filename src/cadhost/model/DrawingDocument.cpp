#include "model/DrawingDocument.h"

#include <algorithm>
#include <cctype>

#include <atomic>
#include <cmath>
#include <iterator>
#include <limits>
#include <system_error>
#include <thread>

#include <QFileInfo>

#include "DxfStyle.h"

namespace tessik::cadhost {

int CadSpace::add(ModelEntity entity, std::optional<std::size_t> record)
{
    extents_.add(entityBounds(entity));
    if (std::holds_alternative<ModelShape>(entity)) shapeChanged(count());
    entities_.push_back(std::move(entity));
    Origin origin;
    origin.record = record;
    origins_.push_back(std::move(origin));
    reaches_.emplace_back();
    updateReach(count() - 1);
    live_.append(true);
    return count() - 1;
}

namespace {

// The slots of the last shape changes a space remembers.
constexpr std::size_t kShapeLogLength = 4096;

// A slot's reach from its entity's bounds (see Reach).
CadSpace::Reach reachOf(const ModelEntity& e, bool drawn, const Bounds& b)
{
    constexpr float kInf = std::numeric_limits<float>::infinity();
    if (!drawn) return {kInf, kInf, -kInf, -kInf};
    const bool bounded = std::holds_alternative<ModelLine>(e) || std::holds_alternative<ModelArc>(e) ||
                         std::holds_alternative<ModelCircle>(e) || std::holds_alternative<ModelEllipse>(e) ||
                         std::holds_alternative<ModelPolyline>(e);
    if (!bounded || !std::isfinite(b.minX + b.minY + b.maxX + b.maxY)) {
        // Not NaN-proof as a box: left to the tracer, which skips what it cannot draw.
        return {-kInf, -kInf, kInf, kInf};
    }
    const auto down = [](double v) {
        const float f = static_cast<float>(v);
        return static_cast<double>(f) > v ? std::nextafter(f, -kInf) : f;
    };
    const auto up = [](double v) {
        const float f = static_cast<float>(v);
        return static_cast<double>(f) < v ? std::nextafter(f, kInf) : f;
    };
    return {down(b.minX), down(b.minY), up(b.maxX), up(b.maxY)};
}

}  // namespace

void CadSpace::addRead(std::vector<ModelEntity>&& entities, std::vector<Origin>&& origins)
{
    const std::size_t from = entities_.size();
    // Both in step: a space holds as many origins as entities.
    const auto adopt = [](auto& to, auto&& more) {
        if (to.empty()) {
            to = std::move(more);
        } else {
            to.reserve(to.size() + more.size());
            std::move(more.begin(), more.end(), std::back_inserter(to));
        }
        more.clear();
    };
    adopt(entities_, std::move(entities));
    adopt(origins_, std::move(origins));
    const std::size_t to = entities_.size();
    // Each entity's bounds, taken once for the extents and its reach; a
    // large read is shared out between the cores in runs, each with
    // extents of its own, joined after.
    reaches_.resize(to);
    const auto measure = [this](std::size_t begin, std::size_t end, Bounds& extents) {
        for (std::size_t k = begin; k < end; ++k) {
            const Bounds b = entityBounds(entities_[k]);
            extents.add(b);
            reaches_[k] = reachOf(entities_[k], drawn(static_cast<int>(k)), b);
        }
    };
    constexpr std::size_t kEntitiesPerThread = 50'000;
    const std::size_t threads = std::clamp<std::size_t>((to - from) / kEntitiesPerThread, 1,
                                                        std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    std::vector<Bounds> runExtents(threads);
    std::vector<std::thread> others;
    const auto runStart = [&](std::size_t t) { return from + (to - from) * t / threads; };
    for (std::size_t t = 1; t < threads; ++t) {
        try {
            others.emplace_back(measure, runStart(t), runStart(t + 1), std::ref(runExtents[t]));
        } catch (const std::system_error&) {
            measure(runStart(t), runStart(t + 1), runExtents[t]);  // no thread to be had: here
        }
    }
    measure(runStart(0), runStart(1), runExtents[0]);
    for (std::thread& t : others) t.join();
    for (const Bounds& b : runExtents) extents_.add(b);
    live_.reserve(to);
    for (std::size_t k = from; k < to; ++k) live_.append(true);
    // Every new slot moves shapesVersion() on as add() and setHidden() do
    // (a shape twice). So many that the log could not keep them all
    // forget the log instead: whoever looks from before sees everything changed.
    std::size_t changes = 0;
    for (std::size_t k = from; k < to && changes <= kShapeLogLength; ++k)
        changes += std::holds_alternative<ModelShape>(entities_[k]) ? 2 : 1;
    if (changes <= kShapeLogLength) {
        for (std::size_t k = from; k < to; ++k) {
            const int index = static_cast<int>(k);
            if (std::holds_alternative<ModelShape>(entities_[k])) shapeChanged(index);
            shapeChanged(index);
        }
    } else {
        for (std::size_t k = from; k < to; ++k) shapesVersion_ += std::holds_alternative<ModelShape>(entities_[k]) ? 2 : 1;
        shapeLog_.clear();
        shapeLogFrom_ = shapesVersion_;
    }
}

void CadSpace::updateReach(int index)
{
    const ModelEntity& e = at(index);
    const bool isDrawn = drawn(index);
    reaches_[static_cast<std::size_t>(index)] = reachOf(e, isDrawn, isDrawn ? entityBounds(e) : Bounds{});
}

void CadSpace::replace(int index, ModelEntity entity, bool changed)
{
    ModelEntity& slot = entities_[static_cast<std::size_t>(index)];
    Origin& origin = origins_[static_cast<std::size_t>(index)];
    origin.changed = changed;
    if (std::holds_alternative<ModelShape>(slot) || std::holds_alternative<ModelShape>(entity)) shapeChanged(index);
    if (origin.erased) {
        slot = std::move(entity);
        updateReach(index);
        return;
    }
    const Bounds old = entityBounds(slot);
    slot = std::move(entity);
    shrinkExtents(old);
    extents_.add(entityBounds(slot));
    updateReach(index);
}

void CadSpace::setErased(int index, bool erased)
{
    Origin& origin = origins_[static_cast<std::size_t>(index)];
    if (origin.erased == erased) return;
    origin.erased = erased;
    erasedCount_ += erased ? 1 : -1;
    if (std::holds_alternative<ModelShape>(at(index))) shapeChanged(index);
    live_.change(index, erased ? -1 : 1);
    updateReach(index);
    if (erased)
        shrinkExtents(entityBounds(at(index)));
    else
        extents_.add(entityBounds(at(index)));
}

void CadSpace::setStyle(int index, std::shared_ptr<const CommonGroups> style)
{
    origins_[static_cast<std::size_t>(index)].style = std::move(style);
    // A shape's picture shows its hiding; a held entity's look is the view's.
    if (std::holds_alternative<ModelShape>(at(index))) shapeChanged(index);
}

void CadSpace::shapeChanged(int index)
{
    if (shapeLog_.size() >= kShapeLogLength) {
        const std::size_t dropped = kShapeLogLength / 2;
        shapeLog_.erase(shapeLog_.begin(), shapeLog_.begin() + static_cast<std::ptrdiff_t>(dropped));
        shapeLogFrom_ += dropped;
    }
    shapeLog_.push_back(index);
    ++shapesVersion_;
}

void CadSpace::setPicture(int index, std::shared_ptr<const DrawingExtras> picture, const Bounds& readBounds)
{
    auto* shape = std::get_if<ModelShape>(&entities_[static_cast<std::size_t>(index)]);
    if (!shape) return;
    shapeChanged(index);
    const Bounds old = shape->bounds();
    shape->picture = std::move(picture);
    shape->readBounds = readBounds;
    if (origins_[static_cast<std::size_t>(index)].erased) return;
    shrinkExtents(old);
    extents_.add(shape->bounds());
}

int CadSpace::liveIndex(int n) const
{
    if (n < 0 || n >= liveCount()) return -1;
    if (erasedCount_ == 0) return n;
    return live_.select(n);
}

namespace {
constexpr std::size_t lowbit(std::size_t i) { return i & (~i + 1); }
}  // namespace

void CadSpace::LiveSlots::append(bool live)
{
    // The new node covers (i - lowbit(i), i]: its own slot and the nodes
    // that cover the rest of that range.
    const std::size_t i = tree_.size();
    int sum = live ? 1 : 0;
    for (std::size_t k = i - 1; k > i - lowbit(i); k -= lowbit(k)) sum += tree_[k];
    tree_.push_back(sum);
}

void CadSpace::LiveSlots::change(int index, int delta)
{
    for (std::size_t i = std::size_t(index) + 1; i < tree_.size(); i += lowbit(i)) tree_[i] += delta;
}

int CadSpace::LiveSlots::select(int n) const
{
    const std::size_t size = tree_.size() - 1;
    std::size_t step = 1;
    while (step * 2 <= size) step *= 2;
    std::size_t at = 0;
    int left = n + 1;  // live slots still to pass, this one included
    for (; step > 0; step /= 2) {
        if (at + step <= size && tree_[at + step] < left) {
            at += step;
            left -= tree_[at];
        }
    }
    return int(at);  // slot at + 1, 1-based
}

void CadSpace::shrinkExtents(const Bounds& gone)
{
    const bool inside = gone.minX > extents_.minX && gone.maxX < extents_.maxX &&
                        gone.minY > extents_.minY && gone.maxY < extents_.maxY;
    if (!inside) recomputeExtents();
}

void CadSpace::recomputeExtents()
{
    extents_ = Bounds{};
    for (int i = 0; i < count(); ++i)
        if (!erased(i)) extents_.add(entityBounds(at(i)));
}

namespace {
std::uint64_t nextSerial()
{
    static std::atomic<std::uint64_t> serial{0};
    return ++serial;
}
}  // namespace

DrawingDocument::DrawingDocument(QString name) : serial_(nextSerial()), name_(std::move(name)) {}

std::unique_ptr<DrawingDocument> DrawingDocument::snapshot() const
{
    auto copy = std::make_unique<DrawingDocument>(name_);
    copy->path_ = path_;
    copy->model_ = model_;
    copy->paper_ = paper_;
    copy->layoutSpaces_ = layoutSpaces_;
    copy->drawing_ = drawing_;
    copy->addedLayers_ = addedLayers_;
    copy->nextHandle_ = nextHandle_;
    return copy;
}

SpaceKind DrawingDocument::layoutSpaceOf(const std::string& block)
{
    for (std::size_t k = 0; k < layoutSpaces_.size(); ++k)
        if (layoutSpaces_[k].block == block) return layoutSpace(k);
    layoutSpaces_.push_back({block, {}});
    return layoutSpace(layoutSpaces_.size() - 1);
}

std::vector<SpaceKind> DrawingDocument::spaceKinds() const
{
    std::vector<SpaceKind> kinds{SpaceKind::Model, SpaceKind::Paper};
    for (std::size_t k = 0; k < layoutSpaces_.size(); ++k) kinds.push_back(layoutSpace(k));
    return kinds;
}

std::vector<DrawingDocument::LayoutEntry> DrawingDocument::layouts() const
{
    std::vector<LayoutEntry> out;
    for (const dxf::Layout& layout : drawing_->layouts()) {
        std::string block = layout.block;
        std::transform(block.begin(), block.end(), block.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        SpaceKind kind = SpaceKind::Model;
        if (block == "*PAPER_SPACE") kind = SpaceKind::Paper;
        for (std::size_t k = 0; k < layoutSpaces_.size(); ++k)
            if (layoutSpaces_[k].block == block) kind = layoutSpace(k);
        if (block != "*MODEL_SPACE" && kind == SpaceKind::Model) continue;  // a block the reading did not take
        out.push_back({layout.name, layout.tabOrder, layout.block, kind});
    }
    if (out.empty()) out = {{"Model", 0, "*Model_Space", SpaceKind::Model}, {"Layout1", 1, "*Paper_Space", SpaceKind::Paper}};
    return out;
}

namespace {

// What a shape's picture adds to the bounds of the shown picture.
Bounds shownBounds(const ModelShape& shape)
{
    const Bounds& b = shape.picture->bounds;
    if (b.empty()) return b;
    return Bounds{b.minX + shape.offset[0], b.minY + shape.offset[1], b.maxX + shape.offset[0], b.maxY + shape.offset[1]};
}

// Puts items in place of list[from, to).
template <class T>
void splice(std::vector<T>& list, std::size_t from, std::size_t to, std::vector<T>& items)
{
    const std::size_t common = std::min(to - from, items.size());
    const auto first = list.begin() + static_cast<std::ptrdiff_t>(from);
    const auto kept = items.begin() + static_cast<std::ptrdiff_t>(common);
    std::move(items.begin(), kept, first);
    if (items.size() < to - from)
        list.erase(first + static_cast<std::ptrdiff_t>(common), list.begin() + static_cast<std::ptrdiff_t>(to));
    else
        list.insert(first + static_cast<std::ptrdiff_t>(common), std::make_move_iterator(kept),
                    std::make_move_iterator(items.end()));
}

}  // namespace

const DrawingExtras& DrawingDocument::extras(SpaceKind kind) const
{
    const CadSpace& s = space(kind);
    Composed& c = static_cast<int>(kind) < 2 ? composed_[static_cast<int>(kind)] : layoutComposed_[static_cast<int>(kind)];
    if (c.version == s.shapesVersion()) return c.extras;
    // A few changed shapes (a move, an erase, its undo) are mended in
    // place; many, or more than the space remembers, make it afresh.
    constexpr std::size_t kMendedAtMost = 64;
    const auto changes = c.version == ~std::uint64_t(0) ? std::nullopt : s.shapeChangesSince(c.version);
    if (!changes || changes->size() > kMendedAtMost) {
        compose(c, s);
    } else {
        bool shrunk = false;
        for (const int slot : *changes) shrunk = mend(c, s, slot) || shrunk;
        if (shrunk) {
            c.extras.bounds = Bounds{};
            for (const Composed::Part& part : c.parts) c.extras.bounds.add(part.bounds);
        }
        c.extras.truncated = c.truncatedParts > 0;
    }
    c.version = s.shapesVersion();
    return c.extras;
}

DrawingDocument::ShapeStarts DrawingDocument::endsOf(const DrawingExtras& e)
{
    return {e.outlines.size(), e.outlineStyles.size(), e.fills.size(), e.fillStyles.size(),
            e.segments.size(), e.segmentRuns.size(), e.texts.size()};
}

void DrawingDocument::compose(Composed& c, const CadSpace& s) const
{
    c.extras = DrawingExtras{};
    c.parts.clear();
    c.truncatedParts = 0;
    for (int i = 0; i < s.count(); ++i) {
        const auto* shape = std::get_if<ModelShape>(&s.at(i));
        if (!shape || !shape->picture) continue;
        Composed::Part& part = c.parts.emplace_back(Composed::Part{i, endsOf(c.extras), {}, false});
        if (!s.drawn(i)) continue;
        appendShape(c.extras, *shape->picture, shape->offset);
        part.bounds = shownBounds(*shape);
        part.truncated = shape->picture->truncated;
        c.truncatedParts += part.truncated;
    }
    c.end = endsOf(c.extras);
}

bool DrawingDocument::mend(Composed& c, const CadSpace& s, int slot) const
{
    const auto* shape = slot < s.count() ? std::get_if<ModelShape>(&s.at(slot)) : nullptr;
    const bool pictured = shape && shape->picture;
    auto part = std::lower_bound(c.parts.begin(), c.parts.end(), slot,
                                 [](const Composed::Part& p, int i) { return p.slot < i; });
    if (part == c.parts.end() || part->slot != slot) {
        if (!pictured) return false;
        part = c.parts.insert(part, Composed::Part{slot, part == c.parts.end() ? c.end : part->starts, {}, false});
    }
    const ShapeStarts from = part->starts, to = part + 1 == c.parts.end() ? c.end : part[1].starts;
    // The slot's part now, its dash patterns numbered in the composed table.
    DrawingExtras piece;
    piece.linetypes = std::move(c.extras.linetypes);
    if (pictured && s.drawn(slot)) appendShape(piece, *shape->picture, shape->offset);
    c.extras.linetypes = std::move(piece.linetypes);
    for (SegmentRun& run : piece.segmentRuns) {
        run.begin += from.points;
        run.end += from.points;
    }
    DrawingExtras& e = c.extras;
    splice(e.outlines, from.outlines, to.outlines, piece.outlines);
    splice(e.outlineStyles, from.outlineStyles, to.outlineStyles, piece.outlineStyles);
    splice(e.fills, from.fills, to.fills, piece.fills);
    splice(e.fillStyles, from.fillStyles, to.fillStyles, piece.fillStyles);
    splice(e.segments, from.points, to.points, piece.segments);
    splice(e.segmentRuns, from.runs, to.runs, piece.segmentRuns);
    splice(e.texts, from.texts, to.texts, piece.texts);
    // The parts after it move by what the slot's part grew or shrank by.
    const ShapeStarts now = endsOf(piece);
    const auto delta = [](std::size_t now, std::size_t from, std::size_t to) {
        return static_cast<std::ptrdiff_t>(now) - static_cast<std::ptrdiff_t>(to - from);
    };
    const std::ptrdiff_t dOutlines = delta(now.outlines, from.outlines, to.outlines),
                         dOutlineStyles = delta(now.outlineStyles, from.outlineStyles, to.outlineStyles),
                         dFills = delta(now.fills, from.fills, to.fills),
                         dFillStyles = delta(now.fillStyles, from.fillStyles, to.fillStyles),
                         dPoints = delta(now.points, from.points, to.points), dRuns = delta(now.runs, from.runs, to.runs),
                         dTexts = delta(now.texts, from.texts, to.texts);
    const auto shift = [&](ShapeStarts& at) {
        at.outlines += static_cast<std::size_t>(dOutlines);
        at.outlineStyles += static_cast<std::size_t>(dOutlineStyles);
        at.fills += static_cast<std::size_t>(dFills);
        at.fillStyles += static_cast<std::size_t>(dFillStyles);
        at.points += static_cast<std::size_t>(dPoints);
        at.runs += static_cast<std::size_t>(dRuns);
        at.texts += static_cast<std::size_t>(dTexts);
    };
    if (dOutlines || dOutlineStyles || dFills || dFillStyles || dPoints || dRuns || dTexts) {
        for (auto later = part + 1; later != c.parts.end(); ++later) shift(later->starts);
        shift(c.end);
    }
    if (dPoints)
        for (std::size_t r = from.runs + now.runs; r < e.segmentRuns.size(); ++r) {
            e.segmentRuns[r].begin += static_cast<std::size_t>(dPoints);
            e.segmentRuns[r].end += static_cast<std::size_t>(dPoints);
        }
    // The bounds shrink only where the part's old bounds touched their edge.
    const Bounds old = part->bounds;
    const Bounds& all = e.bounds;
    const bool shrunk = !old.empty() && (old.minX <= all.minX || old.minY <= all.minY || old.maxX >= all.maxX ||
                                         old.maxY >= all.maxY);
    c.truncatedParts -= part->truncated;
    part->bounds = pictured && s.drawn(slot) ? shownBounds(*shape) : Bounds{};
    part->truncated = pictured && s.drawn(slot) && shape->picture->truncated;
    c.truncatedParts += part->truncated;
    if (!shrunk) e.bounds.add(part->bounds);
    if (!pictured) c.parts.erase(part);
    return shrunk;
}

int DrawingDocument::addLayer(const std::string& name)
{
    for (std::size_t i = 0; i < addedLayers_.size(); ++i)
        if (addedLayers_[i].name == name) return static_cast<int>(i);
    if (name == "0" || drawing_->hasLayer(name)) return -1;
    addedLayers_.push_back({name, 7});
    return static_cast<int>(addedLayers_.size() - 1);
}

bool DrawingDocument::hasLayer(const std::string& name) const
{
    if (name == "0" || drawing_->hasLayer(name)) return true;
    return std::any_of(addedLayers_.begin(), addedLayers_.end(), [&](const AddedLayer& l) { return l.name == name; });
}

void DrawingDocument::setPath(const QString& path)
{
    path_ = path;
    name_ = QFileInfo(path).fileName();
}

int DrawingDocument::addEntity(SpaceKind kind, ModelEntity entity)
{
    CadSpace& s = space(kind);
    const int index = s.add(std::move(entity));
    // The last handle (FFFF FFFF FFFF FFFF) leaves none: the entity has none
    // and a save of it refuses, as the drawing says.
    if (drawing_->givesHandles() && nextHandle() != UINT64_MAX) {
        s.setHandle(index, nextHandle());
        nextHandle_ = nextHandle() + 1;
    }
    HistoryStep step;
    step.kind = HistoryStep::Kind::Add;
    step.first = EntityRef{kind, index};
    history_.push(std::move(step));
    return index;
}

void DrawingDocument::replaceEntity(SpaceKind kind, int index, ModelEntity entity)
{
    CadSpace& s = space(kind);
    HistoryStep step;
    step.kind = HistoryStep::Kind::Replace;
    step.first = EntityRef{kind, index};
    step.replacement = std::make_unique<HistoryStep::Replacement>(
        HistoryStep::Replacement{s.at(index), entity, s.changed(index)});
    s.replace(index, std::move(entity));
    history_.push(std::move(step));
}

CommonGroups DrawingDocument::entityGroups(SpaceKind kind, int index) const
{
    const CadSpace& s = space(kind);
    CommonGroups groups;
    if (const auto& style = s.style(index)) {
        groups = *style;
    } else if (const auto record = s.record(index)) {
        groups = commonGroups(drawing_->entityTags(*record));
    } else {
        groups.layer = s.layer(index);
    }
    if (const auto record = s.record(index))
        groups.handle = drawing_->entity(*record).handle;
    else if (s.handle(index) != 0)
        groups.handle = handleText(s.handle(index));
    else
        groups.handle.clear();
    return groups;
}

void DrawingDocument::restyleEntity(SpaceKind kind, int index, CommonGroups groups)
{
    CadSpace& s = space(kind);
    groups.handle.clear();  // the entity's own, never set
    HistoryStep step;
    step.kind = HistoryStep::Kind::Restyle;
    step.first = EntityRef{kind, index};
    auto after = std::make_shared<const CommonGroups>(std::move(groups));
    step.restyling = std::make_unique<HistoryStep::Restyling>(HistoryStep::Restyling{s.style(index), after});
    setStyle(kind, index, after);
    history_.push(std::move(step));
}

void DrawingDocument::setStyle(SpaceKind kind, int index, std::shared_ptr<const CommonGroups> style)
{
    CadSpace& s = space(kind);
    const std::string layer = style ? style->layer : entityGroups(kind, index).layer;
    s.setStyle(index, std::move(style));
    if (!s.style(index) && !s.record(index)) return;  // a new entity's layer is its own
    if (const auto record = s.record(index); record && std::holds_alternative<ModelShape>(s.at(index)))
        redrawShape(s, index, *record);
    s.setHidden(index, !dxf::LayerTable(*drawing_).shown(layer));
}

void DrawingDocument::redrawShape(CadSpace& s, int index, std::size_t record)
{
    // Its picture from its record with the groups as they stand (as read
    // when none were set): inks by layer, by entity and, in a block
    // reference, by block follow them as a save and a reopen would show.
    std::vector<dxf::DxfTag> own;
    std::vector<std::span<const dxf::DxfTag>> records{drawing_->entityTags(record)};
    if (const auto& style = s.style(index)) {
        own = dxf::DxfDrawing::withGroups(records.front(), kStyleCodes, styleTags(records.front(), *style));
        records.front() = own;
    }
    for (std::size_t k = record + 1; k < drawing_->entityCount() && partOfPrevious(drawing_->entity(k).type); ++k)
        records.push_back(drawing_->entityTags(k));
    auto picture = std::make_shared<const DrawingExtras>(recordShape(*drawing_, records));
    // A shape without a picture keeps lying where its points are.
    const Bounds bounds = picture->bounds.empty() ? std::get<ModelShape>(s.at(index)).readBounds : picture->bounds;
    s.setPicture(index, std::move(picture), bounds);
}

int DrawingDocument::eraseEntities(const std::vector<EntityRef>& entities)
{
    std::vector<EntityRef> erased;
    for (const EntityRef& e : entities) {
        CadSpace& s = space(e.space);
        // Out of range, erased already, or named twice: nothing to do.
        if (e.index < 0 || e.index >= s.count() || s.erased(e.index)) continue;
        s.setErased(e.index, true);
        erased.push_back(e);
    }
    if (erased.empty()) return 0;
    HistoryStep step;
    step.kind = HistoryStep::Kind::Erase;
    step.first = erased.front();
    step.more.assign(erased.begin() + 1, erased.end());
    history_.push(std::move(step));
    return static_cast<int>(erased.size());
}

void DrawingDocument::apply(const HistoryStep& step, bool forward)
{
    if (step.kind == HistoryStep::Kind::Group) {
        if (forward)
            for (const HistoryStep& part : step.parts) apply(part, true);
        else
            for (auto part = step.parts.rbegin(); part != step.parts.rend(); ++part) apply(*part, false);
        return;
    }
    for (const EntityRef& e : step.entities()) {
        CadSpace& s = space(e.space);
        switch (step.kind) {
        case HistoryStep::Kind::Add: s.setErased(e.index, !forward); break;
        case HistoryStep::Kind::Erase: s.setErased(e.index, forward); break;
        case HistoryStep::Kind::Replace: {
            const HistoryStep::Replacement& r = *step.replacement;
            s.replace(e.index, forward ? r.after : r.before, forward || r.changedBefore);
            break;
        }
        case HistoryStep::Kind::Restyle:
            setStyle(e.space, e.index, forward ? step.restyling->after : step.restyling->before);
            break;
        case HistoryStep::Kind::Group: break;  // above
        }
    }
}

std::vector<EntityRef> DrawingDocument::undo()
{
    const HistoryStep* step = history_.nextUndo();
    if (!step) return {};
    apply(*step, false);
    history_.stepBack();
    return step->entities();
}

std::vector<EntityRef> DrawingDocument::redo()
{
    const HistoryStep* step = history_.nextRedo();
    if (!step) return {};
    apply(*step, true);
    history_.stepForward();
    return step->entities();
}

namespace {
QString kindLabel(const ModelEntity& entity)
{
    return std::visit(Overload{[](const ModelLine&) { return QStringLiteral("直线"); },
                               [](const ModelArc&) { return QStringLiteral("圆弧"); },
                               [](const ModelCircle&) { return QStringLiteral("圆"); },
                               [](const ModelEllipse&) { return QStringLiteral("椭圆"); },
                               [](const ModelPolyline&) { return QStringLiteral("多段线"); },
                               [](const ModelText&) { return QStringLiteral("文字"); },
                               [](const ModelShape& s) { return QString::fromStdString(s.objectName); }},
                      entity);
}
}  // namespace

QString DrawingDocument::describe(const HistoryStep* step) const
{
    if (!step) return {};
    const QString kind = kindLabel(space(step->first.space).at(step->first.index));
    switch (step->kind) {
    case HistoryStep::Kind::Add: return QStringLiteral("添加%1").arg(kind);
    case HistoryStep::Kind::Replace: return QStringLiteral("修改%1").arg(kind);
    case HistoryStep::Kind::Restyle: return QStringLiteral("修改%1的特性").arg(kind);
    case HistoryStep::Kind::Erase:
        if (step->more.empty()) return QStringLiteral("删除%1").arg(kind);
        return QStringLiteral("删除 %1 个对象").arg(step->more.size() + 1);
    case HistoryStep::Kind::Group:
        if (step->parts.size() == 1) return describe(&step->parts.front());
        return QStringLiteral("%1 步操作").arg(step->parts.size());
    }
    return {};
}

QString DrawingDocument::undoText() const { return describe(history_.nextUndo()); }
QString DrawingDocument::redoText() const { return describe(history_.nextRedo()); }

}  // namespace tessik::cadhost
