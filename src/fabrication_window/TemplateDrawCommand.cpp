#include "TemplateDrawCommand.h"

#include <memory>
#include <vector>

#include "CadErrors.h"
#include "PendingError.h"

namespace tessik {

const QString TemplateDrawCommand::kPrompt = QStringLiteral("请输入样板插入点");

TemplateDrawCommand::TemplateDrawCommand(const CadConnectionObjects& cad, Desktop& desktop, QString caption)
    : cad_(cad), desktop_(desktop), caption_(std::move(caption))
{
}

Status TemplateDrawCommand::activateCad()
{
    if (!cad_.AcadApp) return caderr::objectNotSet(QStringLiteral("Caption"));
    Result<QString> caption = cad_.AcadApp->Caption();
    if (!caption) return caption.error();
    const Status asked = cad_.AcadApp->bringToFront();
    const bool raised = desktop_.activateWindow(*caption);
    if (!asked && !raised) return caderr::activationFailed(*caption);
    return success();
}

TemplateDrawCommand::Outcome TemplateDrawCommand::draw(const TemplateSheet& sheet)
{
    Outcome out;
    PendingError err;

    err.check(activateCad());
    CadPoint at{};
    if (!cad_.acadUtil) err.raise(caderr::objectNotSet(QStringLiteral("getpoint")));
    else err.assign(at, cad_.acadUtil->getpoint(kPrompt));
    if (err) {
        desktop_.activateWindow(caption_);
        return out;
    }

    std::vector<std::shared_ptr<CadObject>> sent;
    const auto track = [&](auto result) {
        ++out.entities;
        if (result) {
            sent.push_back(std::shared_ptr<CadObject>(std::move(result).value()));
        } else {
            ++out.failed;
            err.raise(result.error());
        }
    };
    const auto point = [&](const TemplatePoint& p) { return CadPoint{at[0] + p.x, at[1] + p.y, 0}; };
    for (const PieceTemplate& t : sheet.pieces) {
        if (!cad_.MoSpace) {
            out.entities += 2 + int(t.marks.size());
            out.failed += 2 + int(t.marks.size());
            err.raise(caderr::objectNotSet(QStringLiteral("AddLightWeightPolyline")));
            continue;
        }
        std::vector<double> flat;
        flat.reserve(2 * t.outline.size());
        for (const TemplatePoint& v : t.outline) {
            flat.push_back(at[0] + v.x);
            flat.push_back(at[1] + v.y);
        }
        // The outline and its Closed write are one entity: an open outline is no template.
        Result<std::shared_ptr<CadLWPolyline>> outline = cad_.MoSpace->AddLightWeightPolyline(flat);
        if (outline)
            if (Status closed = outline.value()->setClosed(true); !closed) outline = closed.error();
        track(std::move(outline));
        for (const TemplateSegment& m : t.marks) track(cad_.MoSpace->addline(point(m.start), point(m.end)));
        track(cad_.MoSpace->AddText(QString::fromStdString(t.label), point(t.labelAt), t.labelHeight));
    }
    // Each pipelined call answered before the outcome is told.
    for (const std::shared_ptr<CadObject>& o : sent)
        if (Status s = o->settle(); !s) {
            ++out.failed;
            err.raise(s.error());
        }

    if (out.failed > 0) {
        out.ending = Ending::PartlyDrawn;
        desktop_.messageBox(QStringLiteral("共 %1 个图元，其中 %2 个未能画入图形。\n%3")
                                .arg(out.entities)
                                .arg(out.failed)
                                .arg(QString::fromStdString(err.error().description)),
                            msgbox::kExclamation, QStringLiteral("提醒"));
    } else {
        out.ending = Ending::Drawn;
    }
    desktop_.activateWindow(caption_);
    return out;
}

}  // namespace tessik
