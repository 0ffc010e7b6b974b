#pragma once
// What every command that draws into the CAD drawing does around its own
// entities: bring the CAD window to the front and let the user pick a point
// there, collect the outcome of each entity sent (the CAD link may pipeline
// them, so an entity counts as drawn only once the CAD program has confirmed
// every call it took), and tell the user how many of how many were not drawn.
//
// When the connection breaks mid-drawing, the CAD program may have drawn some
// of the entities whose answers never came back; those are counted as not
// confirmed, and the report says that the connection was lost instead of
// claiming they failed.
//
// A pick refused because the drawing the held objects belong to has been
// closed is told as well: nothing can be drawn until the user connects again.

#include <memory>
#include <string>
#include <vector>

#include "BasicDesktop.h"
#include "CadConnection.h"
#include "PendingError.h"

namespace tessik {

class DrawingSession {
public:
    DrawingSession(const CadConnectionObjects& cad, BasicDesktop& desktop);

    // Brings the CAD window forward, then asks for a point with `prompt`
    // (both steps run; either failing leaves its error in `err`). True when a
    // point was picked.
    bool pickPoint(const std::string& prompt, CadPoint& picked, PendingError& err);
    // After a failed pickPoint: tells the user when the held objects' drawing
    // is gone; a cancelled pick, a missing connection, a CAD window that
    // cannot be raised and a CAD program that went away end quietly. True
    // when told.
    bool reportFailedPick(const Error& why) const;

    // One entity sent: counted, and an immediate failure is counted failed.
    void add(Result<std::shared_ptr<CadObject>> sent, PendingError& err);
    // Waits for every pipelined answer; an unconfirmed entity counts failed.
    void settle(PendingError& err);

    int entities() const { return entities_; }
    int failed() const { return failed_; }
    // The connection broke on at least one of the entities.
    bool connectionLost() const { return connectionLost_; }

    // The message box for a drawing with failed entities; `why` is the
    // last failure.
    void reportPartlyDrawn(const Error& why) const;
    std::string partlyDrawnText(const Error& why) const;

private:
    Status activateCad();
    void fail(const Error& e, PendingError& err);

    const CadConnectionObjects& cad_;
    BasicDesktop& desktop_;
    std::vector<std::shared_ptr<CadObject>> sent_;
    int entities_ = 0;
    int failed_ = 0;
    bool connectionLost_ = false;
};

}  // namespace tessik
