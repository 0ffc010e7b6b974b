#include "DrawingSession.h"

#include "CadErrors.h"

namespace tessik {

DrawingSession::DrawingSession(const CadConnectionObjects& cad, Desktop& desktop) : cad_(cad), desktop_(desktop) {}

Status DrawingSession::activateCad()
{
    if (!cad_.AcadApp) return caderr::objectNotSet(QStringLiteral("Caption"));
    Result<QString> caption = cad_.AcadApp->Caption();
    if (!caption) return caption.error();
    // Ask the application itself first (it may be hidden), then the desktop;
    // either bringing it to the front is enough.
    const Status asked = cad_.AcadApp->bringToFront();
    const bool raised = desktop_.activateWindow(*caption);
    if (!asked && !raised) return caderr::activationFailed(*caption);
    return success();
}

bool DrawingSession::pickPoint(const QString& prompt, CadPoint& picked, PendingError& err)
{
    err.check(activateCad());
    if (!cad_.acadUtil) err.raise(caderr::objectNotSet(QStringLiteral("getpoint")));
    else err.assign(picked, cad_.acadUtil->getpoint(prompt));
    return !err;
}

void DrawingSession::fail(const Error& e, PendingError& err)
{
    ++failed_;
    if (e.number == caderr::kServerUnavailable) connectionLost_ = true;
    err.raise(e);
}

void DrawingSession::add(Result<std::shared_ptr<CadObject>> sent, PendingError& err)
{
    ++entities_;
    if (sent) sent_.push_back(std::move(sent).value());
    else fail(sent.error(), err);
}

void DrawingSession::settle(PendingError& err)
{
    for (const std::shared_ptr<CadObject>& o : sent_)
        if (Status s = o->settle(); !s) fail(s.error(), err);
    sent_.clear();
}

QString DrawingSession::partlyDrawnText(const Error& why) const
{
    const QString description = QString::fromStdString(why.description);
    if (connectionLost_)
        return QStringLiteral("共 %1 个图元，其中 %2 个未得到 CAD 程序的确认，与 CAD 程序的连接已中断。\n%3")
            .arg(entities_)
            .arg(failed_)
            .arg(description);
    return QStringLiteral("共 %1 个图元，其中 %2 个未能画入图形。\n%3").arg(entities_).arg(failed_).arg(description);
}

void DrawingSession::reportPartlyDrawn(const Error& why) const
{
    desktop_.messageBox(partlyDrawnText(why), msgbox::kExclamation, QStringLiteral("提醒"));
}

}  // namespace tessik
