#include "ElbowDrawCommand.h"

#include "CadErrors.h"

namespace tessik {

namespace {

struct SendEntity {
    const CadConnectionObjects& cad;

    Result<std::shared_ptr<CadObject>> operator()(const LineEntity& l) const
    {
        // One statement: AcadApp.activedocument.ModelSpace.addline(start, end).
        if (!cad.AcadApp) return caderr::objectNotSet("activedocument");
        Result<std::shared_ptr<CadDocument>> doc = cad.AcadApp->activedocument();
        if (!doc) return doc.error();
        Result<std::shared_ptr<CadModelSpace>> space = doc.value()->ModelSpace();
        if (!space) return space.error();
        return up(space.value()->addline(l.start, l.end));
    }

    Result<std::shared_ptr<CadObject>> operator()(const ArcEntity& a) const
    {
        if (!cad.MoSpace) return caderr::objectNotSet("addarc");
        return up(cad.MoSpace->addarc(a.center, a.radius, a.startAngle, a.endAngle));
    }

    Result<std::shared_ptr<CadObject>> operator()(const EllipseEntity& e) const
    {
        if (!cad.MoSpace) return caderr::objectNotSet("AddEllipse");
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

ElbowDrawCommand::ElbowDrawCommand(ElbowDrawHost& host, const CadConnectionObjects& cad, BasicDesktop& desktop)
    : host_(host), cad_(cad), desktop_(desktop)
{
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
        desktop_.messageBox("参数输入出错。", msgbox::kInformation, "提醒");
        err.clear();
        out.ending = Ending::ParameterError;
        return out;
    }

    // 3-4. Bring the CAD window forward and let the user pick the point.
    DrawingSession session(cad_, desktop_);
    Point3 picked{};
    // 5. No point: back to the main window, nothing drawn, no quit. Only a
    // drawing closed under the held objects is told.
    if (!session.pickPoint(kPrompt, picked, err)) {
        session.reportFailedPick(err.error());
        err.clear();
        desktop_.activateWindow(host_.caption());
        out.ending = Ending::NoPoint;
        return out;
    }

    // 6. The picked point is kept in the record.
    host_.setPickedPoint(picked);
    drawSelectedViews(picked, session, err);
    finish(session, out);
    return out;
}

void ElbowDrawCommand::drawSelectedViews(const Point3& base, DrawingSession& session, PendingError& err)
{
    // 7. The quantities every view shares, computed once.
    const ElbowParameters& p = host_.parameters();
    const SharedQuantities shared = sharedQuantities(p);

    // 8-10. Each view option on its own; at most one is selected.
    std::vector<ElbowEntity> entities;
    for (const ElbowViewInfo& view : kElbowViews) {
        if (!view.drawable || !host_.viewSelected(view.view)) continue;
        for (ElbowEntity& e : elbowView(p, shared, base, view.view)) entities.push_back(std::move(e));
    }
    if (entities.empty()) return;

    // One undo in the CAD takes the whole elbow away. A CAD without undo
    // marks draws all the same, so their outcome is not looked at.
    if (cad_.AcadDoc) (void)cad_.AcadDoc->StartUndoMark();
    for (const ElbowEntity& e : entities) session.add(send(e), err);
    // Every pipelined call answered before deciding how to end.
    session.settle(err);
    if (cad_.AcadDoc) (void)cad_.AcadDoc->EndUndoMark();
}

void ElbowDrawCommand::finish(const DrawingSession& session, Outcome& out)
{
    out.entities = session.entities();
    out.failed = session.failed();
    out.connectionLost = session.connectionLost();
    // 11. A partly drawn elbow is told and never ends the program.
    if (out.failed > 0) {
        out.ending = Ending::PartlyDrawn;
        session.reportPartlyDrawn(out.error.error());
        desktop_.activateWindow(host_.caption());
        return;
    }
    out.ending = Ending::Drawn;
    if (host_.ChkQuit() != 0) host_.CmdQuit_Click();
    else desktop_.activateWindow(host_.caption());
}

}  // namespace tessik
