#pragma once
// The CAD link: the automation objects the tool drives, as typed interfaces.
//
// The tool meets its CAD application only through these objects: the
// application (`Visible`, `Caption`, `activedocument`), a document
// (`ModelSpace`, `paperspace`, `utility`, `StartUndoMark`, `EndUndoMark`), model space (`addline`, `addarc`,
// `AddEllipse`, and for the fabrication templates `AddLightWeightPolyline` with
// its `Closed` and `AddText`), the utility (`getpoint`) and a new ellipse (`startAngle`,
// `endAngle`). CadAutomation gets the running instance of a program id or
// creates one. Every call can fail and returns the failure as an
// Error{number, description}, numbered as a commercial CAD's automation
// numbers it (CadErrors.h).
//
// Implementations: TessikCadAutomation (TessikCadClient.h) speaks to
// tessik-cad over its local socket; makeComAutomation (com/ComAutomation.h)
// drives a CAD through COM on Windows; FakeCad (FakeCad.h) records calls for
// tests. CadConnection (CadConnection.h) is `Start`, which takes the five
// objects the draw command works with.
//
// Calls whose result the caller does not read (a new line or arc, the angle
// writes on a new ellipse) may be accepted before the CAD application has
// answered, so a whole drawing can travel in one burst. Such a call returns
// success when it was sent; its real outcome is known once settle() on the
// object it produced (or, for an angle write, on the ellipse) has returned.
// Immediate failures (a broken connection, an argument that cannot be sent)
// still come back from the call itself.
//
// Texts (a text entity's string, the pick prompt, the caption, the program
// id) are UTF-8.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "Error.h"

namespace tessik {

// x, y, z in drawing units.
using CadPoint = std::array<double, 3>;

class CadObject {
public:
    virtual ~CadObject() = default;
    // Waits until every call that produced or acted on this object has been
    // answered; returns the first failure among them.
    virtual Status settle() = 0;
};

class CadEntity : public CadObject {};

class CadEllipse : public CadEntity {
public:
    virtual Status setStartAngle(double radians) = 0;
    virtual Status setEndAngle(double radians) = 0;
};

// A lightweight polyline (LWPOLYLINE) in the plane z = 0.
class CadLWPolyline : public CadEntity {
public:
    virtual Status setClosed(bool closed) = 0;
};

class CadModelSpace : public CadObject {
public:
    virtual Result<std::shared_ptr<CadEntity>> addline(const CadPoint& start, const CadPoint& end) = 0;
    virtual Result<std::shared_ptr<CadEntity>> addarc(const CadPoint& center, double radius, double startAngle,
                                                      double endAngle) = 0;
    virtual Result<std::shared_ptr<CadEllipse>> AddEllipse(const CadPoint& center, const CadPoint& majorAxis,
                                                           double radiusRatio) = 0;
    // `vertices` is the flat array x0, y0, x1, y1, ... (at least two points).
    virtual Result<std::shared_ptr<CadLWPolyline>> AddLightWeightPolyline(const std::vector<double>& vertices) = 0;
    // One line of text, its baseline starting at insertionPoint.
    virtual Result<std::shared_ptr<CadEntity>> AddText(const std::string& text, const CadPoint& insertionPoint,
                                                       double height) = 0;
};

// Paper space is only held by the tool, never drawn into.
class CadPaperSpace : public CadObject {};

class CadUtility : public CadObject {
public:
    // Asks the user for a point (no base point); fails when the pick is cancelled.
    virtual Result<CadPoint> getpoint(const std::string& prompt) = 0;
};

class CadDocument : public CadObject {
public:
    virtual Result<std::shared_ptr<CadModelSpace>> ModelSpace() = 0;
    virtual Result<std::shared_ptr<CadPaperSpace>> paperspace() = 0;
    virtual Result<std::shared_ptr<CadUtility>> utility() = 0;
    // Everything drawn between the two marks is one step of the CAD's undo.
    // Not every CAD has them: a caller goes on whatever they answer.
    virtual Status StartUndoMark() = 0;
    virtual Status EndUndoMark() = 0;
};

class CadApplication : public CadObject {
public:
    virtual Status setVisible(bool visible) = 0;
    virtual Result<std::string> Caption() = 0;
    virtual Result<std::shared_ptr<CadDocument>> activedocument() = 0;
    // Asks the application to bring its own window to the front, for desktops
    // where another program's window cannot be raised from outside.
    virtual Status bringToFront() = 0;
};

// The platform's way to reach an automation server by its program id.
class CadAutomation {
public:
    virtual ~CadAutomation() = default;
    virtual Result<std::shared_ptr<CadApplication>> getRunningInstance(const std::string& programId) = 0;
    // Returns once the new instance answers, or fails.
    virtual Result<std::shared_ptr<CadApplication>> createInstance(const std::string& programId) = 0;
};

}  // namespace tessik
