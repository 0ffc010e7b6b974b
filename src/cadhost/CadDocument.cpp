#include "CadDocument.h"

#include <atomic>

#include <QFileInfo>

namespace tessik::cadhost {

int CadSpace::add(CadEntity entity, std::optional<std::size_t> record)
{
    extents_.add(entityBounds(entity));
    entities_.push_back(std::move(entity));
    origins_.push_back(Origin{record, false});
    return count() - 1;
}

void CadSpace::replace(int index, CadEntity entity)
{
    CadEntity& slot = entities_[static_cast<std::size_t>(index)];
    const Bounds old = entityBounds(slot);
    slot = std::move(entity);
    origins_[static_cast<std::size_t>(index)].changed = true;
    // The extents can only shrink when the old entity touched their edge.
    const bool inside = old.minX > extents_.minX && old.maxX < extents_.maxX &&
                        old.minY > extents_.minY && old.maxY < extents_.maxY;
    if (inside)
        extents_.add(entityBounds(slot));
    else
        recomputeExtents();
}

void CadSpace::recomputeExtents()
{
    extents_ = Bounds{};
    for (const CadEntity& e : entities_) extents_.add(entityBounds(e));
}

namespace {
std::uint64_t nextSerial()
{
    static std::atomic<std::uint64_t> serial{0};
    return ++serial;
}
}  // namespace

CadDocument::CadDocument(QString name) : serial_(nextSerial()), name_(std::move(name)) {}

void CadDocument::setPath(const QString& path)
{
    path_ = path;
    name_ = QFileInfo(path).fileName();
}

}  // namespace tessik::cadhost
