#include "DrawingSession.h"

#include "CadErrors.h"

namespace tessik {

namespace {
constexpr char kTitle[] = "提醒";
}

DrawingSession::DrawingSession(const CadConnectionObjects& cad, BasicDesktop& desktop) : cad_(cad), desktop_(desktop)
{
}

Status DrawingSession::activateCad()
{
    if (!cad_.AcadApp) return caderr::objectNotSet("Caption");
    Result<std::string> caption = cad_.AcadApp->Caption();
    if (!caption) return caption.error();
    // Ask the application itself first (it may be hidden), then the desktop;
    // either bringing it to the front is enough.
    const Status asked = cad_.AcadApp->bringToFront();
    const bool raised = desktop_.activateWindow(*caption);
    if (!asked && !raised) return caderr::activationFailed(*caption);
    return success();
}

bool DrawingSession::pickPoint(const std::string& prompt, CadPoint& picked, PendingError& err)
{
    err.check(activateCad());
    if (!cad_.acadUtil) err.raise(caderr::objectNotSet("getpoint"));
    else err.assign(picked, cad_.acadUtil->getpoint(prompt));
    return !err;
}

bool DrawingSession::reportFailedPick(const Error& why) const
{
    if (why.number != caderr::kObjectDisconnected) return false;
    desktop_.messageBox("未能取得插入点，没有画入任何图元。\n" + why.description + "\n请按“启动AutoCAD”重新连接当前图形。",
                        msgbox::kExclamation, kTitle);
    return true;
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

std::string DrawingSession::partlyDrawnText(const Error& why) const
{
    const std::string all = "共 " + std::to_string(entities_) + " 个图元，其中 " + std::to_string(failed_);
    if (connectionLost_) return all + " 个未得到 CAD 程序的确认，与 CAD 程序的连接已中断。\n" + why.description;
    return all + " 个未能画入图形。\n" + why.description;
}

void DrawingSession::reportPartlyDrawn(const Error& why) const
{
    desktop_.messageBox(partlyDrawnText(why), msgbox::kExclamation, kTitle);
}

}  // namespace tessik
