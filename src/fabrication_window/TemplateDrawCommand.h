#pragma once
// "画入图形": draws the template sheet into the CAD drawing at a point the
// user picks there, as the elbow's draw command does: the CAD window comes to
// the front, the user is asked "请输入样板插入点" (a cancel ends quietly, back
// in the fabrication window), then each piece's outline goes to model space
// as one closed lightweight polyline, its marks as lines and its label as
// text, the sheet's lower-left corner at the picked point. Every entity is
// sent and settled before the outcome is told; a partly drawn sheet is
// reported with how many of how many failed (DrawingSession.h). A sheet that
// could not be made (a template that would cross itself) is refused with its
// reason before anything is asked or drawn.

#include <QString>

#include "CadConnection.h"
#include "Desktop.h"
#include "PieceTemplate.h"
#include "TemplateEntities.h"

namespace tessik {

class TemplateDrawCommand {
public:
    enum class Ending { NoPoint, Drawn, PartlyDrawn, Refused };
    struct Outcome {
        Ending ending = Ending::NoPoint;
        int entities = 0;
        int failed = 0;
        bool connectionLost = false;
    };

    // `caption`: the window to bring back afterwards.
    TemplateDrawCommand(const CadConnectionObjects& cad, Desktop& desktop, QString caption);

    Outcome draw(const TemplateSheet& sheet);
    Outcome draw(const Result<TemplateSheet>& sheet);

    static const QString kPrompt;

private:
    // One entity to model space; the object whose settle() tells its outcome.
    Result<std::shared_ptr<CadObject>> send(const entities::Entity& entity);

    const CadConnectionObjects& cad_;
    Desktop& desktop_;
    QString caption_;
};

}  // namespace tessik
