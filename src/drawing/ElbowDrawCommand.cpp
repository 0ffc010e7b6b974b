#include "ElbowDrawCommand.h"

#include <vector>

#include "CadErrors.h"

namespace tessik {

const QString ElbowDrawCommand::kPrompt = QStringLiteral("请输入第一点");

namespace {

struct SendEntity {
    const CadConnectionObjects& cad;

    Result<std::shared_ptr<CadObject>> operator()(const LineEntity& l) const
    {
        // One statement: AcadApp.activedocument.ModelSpace.addline(start, end).
        if (!cad.AcadApp) return caderr::objectNotSet(QStringLiteral("activedocument"));
        Result<std::shared_ptr<CadDocument>> doc = cad.AcadApp->activedocument();
        if (!doc) return doc.error();
        Result<std::shared_ptr<CadModelSpace>> space = doc.value()->ModelSpace();
        if (!space) return space.error();
        return up(space.value()->addline(l.start, l.end));
    }

    Result<std::shared_ptr<CadObject>> operator()(const ArcEntity& a) const
    {
        if (!cad.MoSpace) return caderr::objectNotSet(QStringLiteral("addarc"));
        return up(cad.MoSpace->addarc(a.center, a.radius, a.startAngle, a.endAngle));
    }

    Result<std::shared_ptr<CadObject>> operator()(const EllipseEntity& e) const
    {
        if (!cad.MoSpace) return caderr::objectNotSet(QStringLiteral("AddEllipse"));
        Result<std::shared_ptr<CadEllipse>> ellipse = cad.MoSpace->AddEllipse(e.center, e.majorAxis, e.ratio);
        // Without a new ellipse the angle writes have nothing to act on.
        if (!ellipse) return ellipse.error();
        if (e.angles) {
            // Two statements: the end angle is written even when the start angle failed.
            Status start = ellipse.value()->setStartAngle(e.angles->start);
            Status end = ellipse.value()->setEndAngle(e.angles->end);
            if (!start) return start.error();
            if (!end) return end.error();
        }
        return std::shared_ptr<CadObject>(ellipse.value());
    }

    template <class T>
    static Result<std::shared_ptr<CadObject>> up(Result<std::shared_ptr<T>> r)
    {
        if (!r) return r.error();
        return std::shared_ptr<CadObject>(std::move(r).value());
    }
};

}  // namespace

ElbowDrawCommand::ElbowDrawCommand(ElbowDrawHost& host, const CadConnectionObjects& cad, Desktop& desktop)
    : host_(host), cad_(cad), desktop_(desktop)
{
}

Status ElbowDrawCommand::activateCad()
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

Result<std::shared_ptr<CadObject>> ElbowDrawCommand::send(const ElbowEntity& entity)
{
    return std::visit(SendEntity{cad_}, entity);
}

ElbowDrawCommand::Outcome ElbowDrawCommand::CmdDraw1_Click()
{
    Outcome out;
    PendingError& err = out.error;  // 1. resume-next for the whole command

    // 2. The design parameters.
    err = host_.InputParameter();
    if (err) {
        desktop_.messageBox(QStringLiteral("参数输入出错。"), msgbox::kInformation, QStringLiteral("提醒"));
        err.clear();
        out.ending = Ending::ParameterError;
        return out;
    }

    // 3-4. Bring the CAD window forward and let the user pick the point.
    err.check(activateCad());
    Point3 picked{};
    if (!cad_.acadUtil) err.raise(caderr::objectNotSet(QStringLiteral("getpoint")));
    else err.assign(picked, cad_.acadUtil->getpoint(kPrompt));

    // 5. No point: back to the main window, nothing drawn, no quit.
    if (err) {
        err.clear();
        desktop_.activateWindow(host_.caption());
        out.ending = Ending::NoPoint;
        return out;
    }

    // 6-7.
    host_.setPickedPoint(picked);
    const Point3 base{picked[0], picked[1], picked[2]};
    const ElbowParameters& p = host_.parameters();
    const SharedQuantities shared = sharedQuantities(p);

    // 8-10. Each view option on its own; at most one is selected.
    std::vector<std::shared_ptr<CadObject>> sent;
    for (int view : {kFrontView, kLeftView, kRightView}) {
        if (!host_.viewSelected(view)) continue;
        const std::vector<ElbowEntity> entities = elbowView(p, shared, base, view);
        out.entities += int(entities.size());
        sent.reserve(sent.size() + entities.size());
        for (const ElbowEntity& e : entities) {
            Result<std::shared_ptr<CadObject>> r = send(e);
            if (r) {
                sent.push_back(std::move(r).value());
            } else {
                ++out.failed;
                err.raise(r.error());
            }
        }
    }
    // Every pipelined call answered before deciding how to end.
    for (const std::shared_ptr<CadObject>& o : sent) {
        if (Status s = o->settle(); !s) {
            ++out.failed;
            err.raise(s.error());
        }
    }

    // 11.
    if (out.failed > 0) {
        out.ending = Ending::PartlyDrawn;
        desktop_.messageBox(QStringLiteral("共 %1 个图元，其中 %2 个未能画入图形。\n%3")
                                .arg(out.entities)
                                .arg(out.failed)
                                .arg(QString::fromStdString(err.error().description)),
                            msgbox::kExclamation, QStringLiteral("提醒"));
        desktop_.activateWindow(host_.caption());
        return out;
    }
    out.ending = Ending::Drawn;
    if (host_.ChkQuit() != 0) host_.CmdQuit_Click();
    else desktop_.activateWindow(host_.caption());
    return out;
}

}  // namespace tessik
