#pragma once
// The draw command (`CmdDraw1_Click`): derives the design parameters, brings
// the CAD window to the front, lets the user pick the insertion point there,
// sends the selected view's entities to the drawing, then quits or brings the
// main window back.
//
// Lines go through AcadApp -> activedocument -> ModelSpace, looked up anew for
// each line; the arc and the ellipses go to MoSpace, held since Start. The
// entities are wrapped in AcadDoc's undo marks, so one undo removes the elbow.
// Every entity the command can send is sent; the CAD link may pipeline them,
// and each one's outcome is collected before the command decides how to end.
// If any entity could not be drawn, the user is told how many of how many
// (DrawingSession.h), and the program does not quit whatever ChkQuit says: a
// partly drawn elbow is never reported as done.
//
// A pick that fails ends the command with nothing drawn. A cancelled pick, a
// missing connection or a CAD window that cannot be raised end quietly; a
// pick refused because the drawing the held objects belong to was closed is
// told, with the CAD's description, since nothing can be drawn until Start
// runs again.

#include <string>

#include "BasicDesktop.h"
#include "CadConnection.h"
#include "DrawingSession.h"
#include "ElbowGeometry.h"
#include "PendingError.h"

namespace tessik {

// What the command reads from and does to the main window.
class ElbowDrawHost {
public:
    virtual ~ElbowDrawHost() = default;
    // Derives the design parameters from the fields and returns the pending error.
    virtual PendingError InputParameter() = 0;
    virtual const ElbowParameters& parameters() const = 0;
    virtual void setPickedPoint(const Point3& point) = 0;  // VntPoint
    virtual bool viewSelected(ElbowView view) const = 0;   // OptTX(optionIndex(view))
    virtual int ChkQuit() const = 0;                       // 0 clear, 1 ticked, 2 grayed
    virtual std::string caption() const = 0;  // UTF-8
    virtual void CmdQuit_Click() = 0;
};

class ElbowDrawCommand {
public:
    enum class Ending { ParameterError, NoPoint, Drawn, PartlyDrawn };
    struct Outcome {
        Ending ending = Ending::NoPoint;
        int entities = 0;  // entities of the view
        int failed = 0;    // of those, not confirmed by the CAD program
        bool connectionLost = false;  // the link broke while drawing
        PendingError error;
    };

    ElbowDrawCommand(ElbowDrawHost& host, const CadConnectionObjects& cad, BasicDesktop& desktop);

    Outcome CmdDraw1_Click();

    static constexpr char kPrompt[] = "请输入第一点";

private:
    // Sends one entity; returns the object whose settle() tells the outcome,
    // or the immediate failure.
    Result<std::shared_ptr<CadObject>> send(const ElbowEntity& entity);
    // Steps 8-10: every selected view's entities sent, then settled.
    void drawSelectedViews(const Point3& base, DrawingSession& session, PendingError& err);
    // Step 11: tells a partly drawn elbow, or quits or comes back.
    void finish(const DrawingSession& session, Outcome& out);

    ElbowDrawHost& host_;
    const CadConnectionObjects& cad_;
    BasicDesktop& desktop_;
};

}  // namespace tessik
