#pragma once
// "画入图形": draws the template sheet into the CAD drawing at a point the
// user picks there, as the elbow's draw command does: the CAD window comes to
// the front, the user is asked "请输入样板插入点" (a cancel ends quietly, back
// in the fabrication window), then each piece's outline goes to model space
// as one closed lightweight polyline, its marks as lines and its label as
// text, the sheet's lower-left corner at the picked point. Where the CAD has
// layers, CUT, MARK, BEVEL and TEXT are made with the template files' colours
// and each entity goes on its own; texts are at least kLeastTextHeight high;
// the whole set lies between the document's undo marks, one undo step. Every
// entity is sent and settled before the outcome is told; a partly drawn
// sheet is reported with how many of how many failed (DrawingSession.h). A
// sheet that could not be made (a template that would cross itself) is
// refused with its reason before anything is asked or drawn.

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
    // Texts are drawn at least this high (mm), to be read on a 1:1 plot.
    static constexpr double kLeastTextHeight = 3.5;

private:
    // One entity to model space; the object whose settle() tells its outcome.
    Result<std::shared_ptr<CadEntity>> send(const entities::Entity& entity);
    // The template layers made in the drawing with their colours; false when
    // the CAD offers no layers (everything then goes on the current layer).
    bool makeLayers();

    const CadConnectionObjects& cad_;
    Desktop& desktop_;
    QString caption_;
};

}  // namespace tessik
