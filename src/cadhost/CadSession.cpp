#include "CadSession.h"

#include "DxfFile.h"

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
    document_ = std::make_unique<CadDocument>(QStringLiteral("Drawing%1").arg(++drawingsCreated_));
    emit documentChanged();
    emit entitiesChanged();
    emit zoomExtentsRequested();
}

void CadSession::closeDocument()
{
    cancelAllPicks();
    document_.reset();
    emit documentChanged();
    emit entitiesChanged();
}

Result<DxfReadReport> CadSession::openDocument(const QString& path)
{
    auto read = readDxf(path);
    if (!read.ok()) return read.error();
    cancelAllPicks();
    document_ = std::move(read.value().document);
    DxfReadReport report = std::move(read).value();
    emit documentChanged();
    emit entitiesChanged();
    emit zoomExtentsRequested();
    return report;
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

void CadSession::markModified()
{
    if (document_->modified()) return;
    document_->setModified(true);
    emit documentChanged();
}

int CadSession::addEntity(SpaceKind space, CadEntity entity)
{
    const Bounds bounds = entityBounds(entity);
    const int index = document_->space(space).add(std::move(entity));
    markModified();
    if (space == SpaceKind::Model) emit entityAdded(bounds);
    return index;
}

void CadSession::replaceEntity(SpaceKind space, int index, CadEntity entity)
{
    document_->space(space).replace(index, std::move(entity));
    markModified();
    if (space == SpaceKind::Model) emit entitiesChanged();
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
    if (!picks_.empty())
        cancelPick();
    else
        emit message(prompt() + QStringLiteral(" *取消*"));
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
    emit message(QStringLiteral("未知命令“%1”。").arg(command));
}

}  // namespace tessik::cadhost
