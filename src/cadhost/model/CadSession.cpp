#include "model/CadSession.h"

#include <algorithm>
#include <cmath>

#include "model/DxfFile.h"
#include "model/ModelNames.h"

#include <QStringList>

namespace tessik::cadhost {

CadSession::CadSession(QObject* parent) : QObject(parent)
{
    connect(&commandLine_, &CommandLine::submitted, this, &CadSession::onLineSubmitted);
    connect(&commandLine_, &CommandLine::escaped, this, &CadSession::onEscaped);
    connect(&commandLine_, &CommandLine::overflowed, this, [this](qsizetype dropped) {
        emit message(QStringLiteral("输入过长：超过 %1 个字符，其后的 %2 个字符已忽略。")
                         .arg(CommandLine::kMaxLength)
                         .arg(dropped));
    });
    newDocument();
}

CadSession::~CadSession()
{
    // Outstanding requests learn that they will never be answered.
    cancelAllPicks();
}

QString CadSession::caption() const
{
    if (!document_) return applicationName();
    return document_->name() + QStringLiteral(" - ") + applicationName();
}

void CadSession::cancelAllPicks()
{
    while (!picks_.empty()) finishPick(std::nullopt);
}

void CadSession::newDocument()
{
    // A point asked for in one drawing means nothing in the next.
    cancelAllPicks();
    clearSelection();
    document_ = std::make_unique<DrawingDocument>(QStringLiteral("Drawing%1").arg(++drawingsCreated_));
    emit documentChanged();
    everySpaceChanged();
    emit zoomExtentsRequested();
}

void CadSession::closeDocument()
{
    cancelAllPicks();
    clearSelection();
    document_.reset();
    emit documentChanged();
    everySpaceChanged();
}

Result<DxfReadReport> CadSession::openDocument(const QString& path)
{
    auto read = readDxf(path);
    if (!read.ok()) return read.error();
    DxfReadReport report = std::move(read).value();
    replaceDocument(std::move(report.document));
    return report;
}

Result<DxfReadReport> CadSession::recoverDocument(const QString& copy, const QString& path, const QString& name)
{
    auto read = readDxf(copy);
    if (!read.ok()) return read.error();
    DxfReadReport report = std::move(read).value();
    if (path.isEmpty()) {
        report.document->setPath(QString());
        report.document->setName(name.isEmpty() ? QStringLiteral("Drawing%1").arg(++drawingsCreated_) : name);
    } else {
        report.document->setPath(path);
    }
    report.document->setModified(true);
    replaceDocument(std::move(report.document));
    return report;
}

void CadSession::replaceDocument(std::unique_ptr<DrawingDocument> document)
{
    cancelAllPicks();
    clearSelection();
    document_ = std::move(document);
    emit documentChanged();
    everySpaceChanged();
    emit zoomExtentsRequested();
}

Status CadSession::saveDocument(const QString& path, SaveLoss loss)
{
    if (!document_) return Error{-2145320900, "没有打开的图形。", {}};
    const bool whole = loss == SaveLoss::Refuse || contentLostOnSave(*document_).empty();
    Status written = writeDxf(*document_, path, loss);
    if (!written.ok()) return written;
    document_->setPath(path);
    document_->setModified(!whole);
    emit documentChanged();
    return success();
}

void CadSession::everySpaceChanged()
{
    if (!document_) {
        emit entitiesChanged(SpaceKind::Model);
        emit entitiesChanged(SpaceKind::Paper);
        return;
    }
    for (const SpaceKind space : document_->spaceKinds()) emit entitiesChanged(space);
}

void CadSession::changed(bool wasModified, const std::vector<EntityRef>& touched)
{
    if (document_->modified() != wasModified) emit documentChanged();
    emit historyChanged();
    // Once for each space touched: a view redraws only for the space it shows.
    for (const SpaceKind space : document_->spaceKinds())
        if (std::any_of(touched.begin(), touched.end(), [space](const EntityRef& e) { return e.space == space; }))
            emit entitiesChanged(space);
}

int CadSession::addEntity(SpaceKind space, ModelEntity entity)
{
    const bool wasModified = document_->modified();
    const Bounds bounds = entityBounds(entity);
    const int index = document_->addEntity(space, std::move(entity));
    if (document_->modified() != wasModified) emit documentChanged();
    emit historyChanged();
    // An addition is drawn onto what the view shows already, not redrawn.
    emit entityAdded(space, bounds);
    return index;
}

void CadSession::replaceEntity(SpaceKind space, int index, ModelEntity entity)
{
    const bool wasModified = document_->modified();
    document_->replaceEntity(space, index, std::move(entity));
    changed(wasModified, {EntityRef{space, index}});
}

void CadSession::restyleEntity(SpaceKind space, int index, CommonGroups groups)
{
    const bool wasModified = document_->modified();
    document_->restyleEntity(space, index, std::move(groups));
    changed(wasModified, {EntityRef{space, index}});
}

int CadSession::eraseEntities(const std::vector<EntityRef>& entities)
{
    if (!document_) return 0;
    const bool wasModified = document_->modified();
    const int erased = document_->eraseEntities(entities);
    if (erased == 0) return 0;
    deselect(entities);
    changed(wasModified, entities);
    return erased;
}

void CadSession::beginUndoGroup()
{
    if (document_) document_->beginUndoGroup();
}

void CadSession::endUndoGroup()
{
    if (!document_) return;
    document_->endUndoGroup();
    emit historyChanged();
}

bool CadSession::undo()
{
    if (!document_ || !document_->canUndo()) {
        emit message(QStringLiteral("没有可撤销的操作。"));
        return false;
    }
    const bool wasModified = document_->modified();
    const QString what = document_->undoText();
    const std::vector<EntityRef> touched = document_->undo();
    emit message(QStringLiteral("撤销：%1").arg(what));
    // An entity whose addition was undone is gone; one restored is not selected.
    deselect(touched);
    changed(wasModified, touched);
    return true;
}

bool CadSession::redo()
{
    if (!document_ || !document_->canRedo()) {
        emit message(QStringLiteral("没有可重做的操作。"));
        return false;
    }
    const bool wasModified = document_->modified();
    const QString what = document_->redoText();
    const std::vector<EntityRef> touched = document_->redo();
    emit message(QStringLiteral("重做：%1").arg(what));
    deselect(touched);
    changed(wasModified, touched);
    return true;
}

void CadSession::select(SpaceKind spaceKind, const std::vector<int>& indices, bool add)
{
    std::vector<int> next = add && spaceKind == selectionSpace_ ? selection_ : std::vector<int>{};
    const auto kinds = document_ ? document_->spaceKinds() : std::vector<SpaceKind>{};
    if (std::find(kinds.begin(), kinds.end(), spaceKind) != kinds.end()) {
        const CadSpace& space = document_->space(spaceKind);
        for (int i : indices)
            if (i >= 0 && i < space.count() && space.drawn(i)) next.push_back(i);
    }
    std::sort(next.begin(), next.end());
    next.erase(std::unique(next.begin(), next.end()), next.end());
    if (next == selection_ && (spaceKind == selectionSpace_ || next.empty())) return;
    selection_ = std::move(next);
    selectionSpace_ = spaceKind;
    emit selectionChanged();
}

void CadSession::clearSelection()
{
    if (selection_.empty()) return;
    selection_.clear();
    emit selectionChanged();
}

void CadSession::deselect(const std::vector<EntityRef>& entities)
{
    const auto before = selection_.size();
    for (const EntityRef& e : entities) {
        if (e.space != selectionSpace_) continue;
        const auto it = std::lower_bound(selection_.begin(), selection_.end(), e.index);
        if (it != selection_.end() && *it == e.index) selection_.erase(it);
    }
    if (selection_.size() != before) emit selectionChanged();
}

int CadSession::eraseSelection()
{
    if (selection_.empty()) {
        emit message(QStringLiteral("没有选择对象：请先在图中单击或框选要删除的对象。"));
        return 0;
    }
    std::vector<EntityRef> entities;
    entities.reserve(selection_.size());
    for (int i : selection_) entities.push_back(EntityRef{selectionSpace_, i});
    const int erased = eraseEntities(entities);
    emit message(QStringLiteral("已删除 %1 个对象。").arg(erased));
    return erased;
}

int CadSession::moveEntities(SpaceKind spaceKind, const std::vector<int>& indices, const Point3& by)
{
    if (!document_) return 0;
    const CadSpace& space = document_->space(spaceKind);
    QStringList refused;
    int moved = 0;
    beginUndoGroup();
    for (const int i : indices) {
        if (i < 0 || i >= space.count() || space.erased(i)) continue;
        std::optional<ModelEntity> entity = movedEntity(space.at(i), by);
        if (!entity) {
            const std::string_view name = cadhost::objectName(space.at(i));  // not QObject's
            const std::string_view why = unmovableReason(space.at(i));
            refused << QStringLiteral("%1（%2）")
                           .arg(QString::fromUtf8(name.data(), qsizetype(name.size())),
                                QString::fromUtf8(why.data(), qsizetype(why.size())));
            continue;
        }
        replaceEntity(spaceKind, i, std::move(*entity));
        ++moved;
    }
    endUndoGroup();
    if (!refused.isEmpty())
        emit message(QStringLiteral("%1 个对象不能移动，保持原位：%2")
                         .arg(refused.size())
                         .arg(refused.join(QStringLiteral("、"))));
    return moved;
}

void CadSession::moveSelection()
{
    if (selection_.empty()) {
        emit message(QStringLiteral("没有选择对象：请先在图中单击或框选要移动的对象。"));
        return;
    }
    // What was selected when the command began, in the drawing it began on.
    const SpaceKind space = selectionSpace_;
    const std::vector<int> chosen = selection_;
    const std::uint64_t serial = document_->serial();
    commandPick_ = requestPoint(QStringLiteral("指定基点:"), std::nullopt, [=, this](std::optional<Point3> from) {
        if (!from) return;
        commandPick_ = requestPoint(QStringLiteral("指定第二个点:"), from, [=, this](std::optional<Point3> to) {
            if (!to || !document_ || document_->serial() != serial) return;
            const Point3 by{(*to)[0] - (*from)[0], (*to)[1] - (*from)[1], (*to)[2] - (*from)[2]};
            if (!std::all_of(by.begin(), by.end(), [](double d) { return std::isfinite(d); })) {
                emit message(QStringLiteral("移动距离超出数值范围，对象保持原位。"));
                return;
            }
            const int moved = moveEntities(space, chosen, by);
            emit message(QStringLiteral("已移动 %1 个对象。").arg(moved));
        });
    });
}

void CadSession::cancelCommand()
{
    const auto it = std::find_if(picks_.begin(), picks_.end(),
                                 [this](const PickRequest& p) { return p.id == commandPick_; });
    if (it == picks_.end()) return;
    if (it == picks_.begin()) return cancelPick();
    // Behind a client's request: never shown, ended all the same.
    emit message(it->prompt + QStringLiteral(" *取消*"));
    withdrawPoint(commandPick_);
}

void CadSession::setVisible(bool visible)
{
    if (visible == visible_) return;
    visible_ = visible;
    emit visibleChanged(visible_);
}

QString CadSession::prompt() const
{
    if (!picks_.empty()) {
        const QString& p = picks_.front().prompt;
        return p.isEmpty() ? QStringLiteral("指定点:") : p;
    }
    return QStringLiteral("命令:");
}

std::uint64_t CadSession::requestPoint(const QString& prompt, std::optional<Point3> base,
                                       PickDone done)
{
    const std::uint64_t id = ++nextPickId_;
    picks_.push_back(PickRequest{id, prompt, base, std::move(done)});
    if (picks_.size() == 1) emit promptChanged();
    return id;
}

void CadSession::withdrawPoint(std::uint64_t id)
{
    for (auto it = picks_.begin(); it != picks_.end(); ++it) {
        if (it->id != id) continue;
        if (it == picks_.begin()) {
            finishPick(std::nullopt);
        } else {
            PickDone done = std::move(it->done);
            picks_.erase(it);
            done(std::nullopt);
        }
        return;
    }
}

std::optional<Point3> CadSession::pickBase() const
{
    if (picks_.empty()) return std::nullopt;
    return picks_.front().base;
}

void CadSession::pickPoint(const Point3& point)
{
    if (picks_.empty()) return;
    emit message(prompt() + QStringLiteral(" %1,%2,%3").arg(point[0]).arg(point[1]).arg(point[2]));
    finishPick(point);
}

void CadSession::cancelPick()
{
    if (picks_.empty()) return;
    emit message(prompt() + QStringLiteral(" *取消*"));
    finishPick(std::nullopt);
}

void CadSession::finishPick(std::optional<Point3> point)
{
    PickDone done = std::move(picks_.front().done);
    picks_.pop_front();
    emit promptChanged();
    // The callback may queue another request; the queue is consistent by now.
    done(point);
}

void CadSession::onLineSubmitted(const QString& line)
{
    if (!picks_.empty()) {
        if (auto point = parsePointText(line, picks_.front().base)) {
            pickPoint(*point);
        } else if (!line.trimmed().isEmpty()) {
            emit message(QStringLiteral("点无效：“%1”。请输入 x,y 或 x,y,z。").arg(line));
        }
        return;
    }
    runCommand(line.trimmed());
}

void CadSession::onEscaped()
{
    if (!picks_.empty()) {
        cancelPick();
        return;
    }
    emit message(prompt() + QStringLiteral(" *取消*"));
    clearSelection();
}

void CadSession::runCommand(const QString& command)
{
    if (command.isEmpty()) return;
    const QString c = command.toUpper();
    emit message(prompt() + u' ' + command);
    if (c == QLatin1String("ZOOM") || c == QLatin1String("Z") || c == QLatin1String("ZE")) {
        emit zoomExtentsRequested();
        return;
    }
    if (c == QLatin1String("U") || c == QLatin1String("UNDO")) {
        undo();
        return;
    }
    if (c == QLatin1String("REDO")) {
        redo();
        return;
    }
    if (c == QLatin1String("E") || c == QLatin1String("ERASE")) {
        eraseSelection();
        return;
    }
    if (c == QLatin1String("M") || c == QLatin1String("MOVE")) {
        moveSelection();
        return;
    }
    emit message(QStringLiteral("未知命令“%1”。").arg(command));
}

}  // namespace tessik::cadhost
