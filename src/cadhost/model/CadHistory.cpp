#include "model/CadHistory.h"

#include <algorithm>
#include <iterator>

namespace tessik::cadhost {

std::vector<EntityRef> HistoryStep::entities() const
{
    if (kind == Kind::Group) {
        std::vector<EntityRef> all;
        for (const HistoryStep& part : parts)
            for (const EntityRef& e : part.entities())
                if (std::find(all.begin(), all.end(), e) == all.end()) all.push_back(e);
        return all;
    }
    std::vector<EntityRef> all{first};
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

void CadHistory::push(HistoryStep step)
{
    steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(position_), steps_.end());
    // A save among the dropped steps can never be reached again.
    if (clean_ && *clean_ > position_) clean_.reset();
    steps_.push_back(std::move(step));
    ++position_;
}

void CadHistory::endGroup()
{
    if (groupDepth_ == 0 || --groupDepth_ > 0) return;
    // Undone below where the group began: what is left of it is made already.
    if (position_ <= groupStart_ + 1) return;
    const auto from = steps_.begin() + static_cast<std::ptrdiff_t>(groupStart_);
    const auto to = steps_.begin() + static_cast<std::ptrdiff_t>(position_);
    HistoryStep group;
    group.kind = HistoryStep::Kind::Group;
    group.first = from->first;
    group.parts.assign(std::make_move_iterator(from), std::make_move_iterator(to));
    const std::size_t folded = position_ - groupStart_;
    *from = std::move(group);
    steps_.erase(from + 1, to);
    // A save inside the group is a position no longer there.
    if (clean_ && *clean_ > groupStart_ && *clean_ < position_) clean_.reset();
    if (clean_ && *clean_ >= position_) *clean_ -= folded - 1;
    position_ = groupStart_ + 1;
}

void CadHistory::stepBack()
{
    if (canUndo()) --position_;
    // Undone past where an open group began: the group begins here now.
    if (groupDepth_ > 0 && position_ < groupStart_) groupStart_ = position_;
}

void CadHistory::stepForward()
{
    if (canRedo()) ++position_;
}

void CadHistory::setModified(bool modified)
{
    if (modified)
        clean_.reset();
    else
        clean_ = position_;
}

}  // namespace tessik::cadhost
