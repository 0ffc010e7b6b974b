#include "TemplateDrawCommand.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "CadErrors.h"
#include "DrawingSession.h"
#include "PendingError.h"

namespace tessik {

const QString TemplateDrawCommand::kPrompt = QStringLiteral("请输入样板插入点");

TemplateDrawCommand::TemplateDrawCommand(const CadConnectionObjects& cad, Desktop& desktop, QString caption)
    : cad_(cad), desktop_(desktop), caption_(std::move(caption))
{
}

Result<std::shared_ptr<CadEntity>> TemplateDrawCommand::send(const entities::Entity& entity)
{
    if (!cad_.MoSpace) {
        const std::string_view kind = entities::automationName(entity);
        return caderr::objectNotSet(std::string(kind));
    }
    CadModelSpace& space = *cad_.MoSpace;
    const auto up = [](auto r) -> Result<std::shared_ptr<CadEntity>> {
        if (!r) return r.error();
        return std::shared_ptr<CadEntity>(std::move(r).value());
    };
    // A template is outlines, lines and texts; the other kinds are never in one.
    const auto notInTemplates = []() -> Result<std::shared_ptr<CadEntity>> {
        return caderr::invalidArgument("template entity");
    };
    return std::visit(
        entities::Overload{
            [&](const entities::Polyline& p) -> Result<std::shared_ptr<CadEntity>> {
                std::vector<double> flat;
                flat.reserve(2 * p.vertices.size());
                for (const entities::PolylineVertex& v : p.vertices) flat.insert(flat.end(), {v.x, v.y});
                // The outline and its Closed write are one entity: an open outline is no template.
                Result<std::shared_ptr<CadLWPolyline>> outline = space.AddLightWeightPolyline(flat);
                if (outline && p.closed)
                    if (Status closed = outline.value()->setClosed(true); !closed) return closed.error();
                return up(std::move(outline));
            },
            [&](const entities::Line& l) { return up(space.addline(l.start, l.end)); },
            [&](const entities::Text& t) {
                return up(space.AddText(t.text, t.insertion, std::max(t.height, kLeastTextHeight)));
            },
            [&](const entities::Arc&) { return notInTemplates(); },
            [&](const entities::Circle&) { return notInTemplates(); },
            [&](const entities::Ellipse&) { return notInTemplates(); },
            [&](const entities::Point&) { return notInTemplates(); }},
        entity);
}

bool TemplateDrawCommand::makeLayers()
{
    if (!cad_.AcadDoc) return false;
    Result<std::shared_ptr<CadLayers>> table = cad_.AcadDoc->Layers();
    if (!table) return false;
    for (const TemplateLayer& wanted : kTemplateLayers) {
        Result<std::shared_ptr<CadLayer>> layer = table.value()->Add(wanted.name);
        if (!layer || !layer.value()->setcolor(wanted.color) || !layer.value()->settle()) return false;
    }
    return true;
}

TemplateDrawCommand::Outcome TemplateDrawCommand::draw(const Result<TemplateSheet>& sheet)
{
    if (sheet) return draw(*sheet);
    desktop_.messageBox(QString::fromStdString(sheet.error().description), msgbox::kExclamation,
                        QStringLiteral("提醒"));
    desktop_.activateWindow(caption_);
    return Outcome{Ending::Refused};
}

TemplateDrawCommand::Outcome TemplateDrawCommand::draw(const TemplateSheet& sheet)
{
    Outcome out;
    PendingError err;
    DrawingSession session(cad_, desktop_);
    CadPoint at{};
    if (!session.pickPoint(kPrompt.toStdString(), at, err)) {
        session.reportFailedPick(err.error());
        desktop_.activateWindow(caption_);
        return out;
    }

    // The whole set is one step of the CAD's undo; a CAD without undo marks
    // or layers draws it all the same.
    if (cad_.AcadDoc) (void)cad_.AcadDoc->StartUndoMark();
    const bool layered = makeLayers();
    for (const LayeredEntity& e : templateEntities(sheet, at[0], at[1])) {
        Result<std::shared_ptr<CadEntity>> sent = send(e.entity);
        // The entity and its layer are one: an entity the layer write failed on counts as failed.
        if (sent && layered)
            if (Status onLayer = sent.value()->setLayer(e.layer); !onLayer) sent = onLayer.error();
        if (!sent) session.add(sent.error(), err);
        else session.add(std::shared_ptr<CadObject>(std::move(sent).value()), err);
    }
    // Each pipelined call answered before the outcome is told.
    session.settle(err);
    if (cad_.AcadDoc) (void)cad_.AcadDoc->EndUndoMark();

    out.entities = session.entities();
    out.failed = session.failed();
    out.connectionLost = session.connectionLost();
    if (out.failed > 0) {
        out.ending = Ending::PartlyDrawn;
        session.reportPartlyDrawn(err.error());
    } else {
        out.ending = Ending::Drawn;
    }
    desktop_.activateWindow(caption_);
    return out;
}

}  // namespace tessik
