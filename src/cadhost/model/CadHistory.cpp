#include "model/CadHistory.h"

namespace tessik::cadhost {

std::vector<EntityRef> HistoryStep::entities() const
{
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

void CadHistory::stepBack()
{
    if (canUndo()) --position_;
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
