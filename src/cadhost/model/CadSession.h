#pragma once
// tessik-cad's running state without widgets: the open drawing (at most one),
// whether the window is visible, the prompt line and the queue of point
// requests. The window and the automation server both work on one
// CadSession; its signals keep the window in step with whatever changed it.
//
// Point requests queue up: the first one owns the prompt until it is
// answered (a click, a typed point) or cancelled (Esc, or its client going
// away), then the next one takes the prompt.
//
// Every change to the drawing goes through here as one undo step; the
// selection (entities of one space the user picked) lives here too, so that
// the prompt commands (U, UNDO, REDO, E, ERASE) and the window's keys and
// menus act on the same state.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QString>

#include "model/DrawingDocument.h"
#include "model/CommandLine.h"
#include "model/DxfFile.h"
#include "Error.h"

namespace tessik::cadhost {


class CadSession : public QObject {
    Q_OBJECT
public:
    explicit CadSession(QObject* parent = nullptr);
    ~CadSession() override;

    static QString applicationName() { return QStringLiteral("Tessik CAD"); }

    // --- the drawing ---
    DrawingDocument* document() { return document_.get(); }
    const DrawingDocument* document() const { return document_.get(); }
    // "<drawing name> - Tessik CAD", or the application name with no drawing.
    QString caption() const;

    // These replace or drop the drawing as they are told (and cancel any
    // point request); asking the user about unsaved changes is the caller's
    // business.
    void newDocument();
    void closeDocument();
    // Reads a DXF file into a new drawing; the current one stays when the
    // file cannot be read.
    Result<DxfReadReport> openDocument(const QString& path);
    // Reads a copy written by autosave back as a drawing with unsaved
    // changes, which takes the file (path, may be empty) and name it had.
    Result<DxfReadReport> recoverDocument(const QString& copy, const QString& path, const QString& name);
    // Writes the drawing as DXF; on success it takes the file's name and is
    // no longer modified. A save that would leave out something the drawing
    // holds fails unless loss is Accept; the file then written is not the
    // whole drawing, so the drawing stays modified.
    Status saveDocument(const QString& path, SaveLoss loss = SaveLoss::Refuse);

    int addEntity(SpaceKind space, ModelEntity entity);
    void replaceEntity(SpaceKind space, int index, ModelEntity entity);
    // Layer, colour, line type and lineweight (DrawingDocument::restyleEntity).
    void restyleEntity(SpaceKind space, int index, CommonGroups groups);
    // One undo step; returns how many entities were erased (those erased
    // already are skipped).
    int eraseEntities(const std::vector<EntityRef>& entities);
    // Undo marks of the open drawing: the changes between are one step.
    void beginUndoGroup();
    void endUndoGroup();
    // One step each; false (and a message) when there is nothing to do.
    bool undo();
    bool redo();

    // --- the selection (indices into one space, ascending) ---
    const std::vector<int>& selection() const { return selection_; }
    SpaceKind selectionSpace() const { return selectionSpace_; }
    // Replaces the selection, or adds to it; entities of another space than
    // the selection's replace it.
    void select(SpaceKind space, const std::vector<int>& indices, bool add = false);
    void select(const std::vector<int>& indices, bool add = false) { select(SpaceKind::Model, indices, add); }
    void clearSelection();
    // Erases the selected entities as one step; the count erased.
    int eraseSelection();
    // Moves the given entities of a space by an offset as one step; those
    // whose points cannot be written back moved stay, each named in a
    // message. The count moved.
    int moveEntities(SpaceKind space, const std::vector<int>& indices, const Point3& by);
    // Asks for a base point and a second point, then moves the selection
    // by the difference (the MOVE command).
    void moveSelection();
    // Ends the command typed at the prompt that waits for a point, as Esc
    // does ("*取消*" in the history); a point a client asked for stays
    // asked. A switch to another space ends it: what it chose is there no
    // more.
    void cancelCommand();

    // --- the window ---
    bool visible() const { return visible_; }
    void setVisible(bool visible);
    void requestZoomExtents() { emit zoomExtentsRequested(); }

    // --- the prompt and point picking ---
    CommandLine& commandLine() { return commandLine_; }
    // The prompt shown before the typed text.
    QString prompt() const;

    using PickDone = std::function<void(std::optional<Point3>)>;
    // Queues a request for a point; done runs exactly once, with the point or
    // with nullopt when the pick is cancelled. Returns the request's id.
    std::uint64_t requestPoint(const QString& prompt, std::optional<Point3> base, PickDone done);
    // Cancels a request, current or queued (its client went away).
    void withdrawPoint(std::uint64_t id);
    bool picking() const { return !picks_.empty(); }
    std::optional<Point3> pickBase() const;
    // Answer or cancel the current request.
    void pickPoint(const Point3& point);
    void cancelPick();

signals:
    void documentChanged();  // opened, closed, replaced, renamed, saved, modified
    // Entities of one space: added (bounds: what they cover), or changed,
    // erased, undone or redone.
    void entityAdded(tessik::cadhost::SpaceKind space, const tessik::cadhost::Bounds& bounds);
    void entitiesChanged(tessik::cadhost::SpaceKind space);
    // A step was made, undone or redone: what undo and redo would do changed.
    void historyChanged();
    void selectionChanged();
    void visibleChanged(bool visible);
    void promptChanged();
    void zoomExtentsRequested();
    // A line for the prompt history.
    void message(const QString& text);

private:
    struct PickRequest {
        std::uint64_t id;
        QString prompt;
        std::optional<Point3> base;
        PickDone done;
    };

    void onLineSubmitted(const QString& line);
    void onEscaped();
    void finishPick(std::optional<Point3> point);
    void cancelAllPicks();
    void runCommand(const QString& command);
    void replaceDocument(std::unique_ptr<DrawingDocument> document);
    // Signals what a change to the drawing changed; wasModified is
    // modified() before it.
    void changed(bool wasModified, const std::vector<EntityRef>& touched);
    // A drawing opened, closed or made new: both spaces are different.
    void everySpaceChanged();
    void deselect(const std::vector<EntityRef>& entities);

    std::unique_ptr<DrawingDocument> document_;
    int drawingsCreated_ = 0;
    bool visible_ = false;
    CommandLine commandLine_;
    std::deque<PickRequest> picks_;
    std::uint64_t nextPickId_ = 0;
    std::uint64_t commandPick_ = 0;  // the point the prompt's command waits for, if it still does
    std::vector<int> selection_;
    SpaceKind selectionSpace_ = SpaceKind::Model;
};

}  // namespace tessik::cadhost
