#pragma once
// The drawing area: a plain QWidget that paints the model space (or the
// paper space) through a Viewport. Wheel zooms about the cursor, the middle button drags the drawing,
// a middle double-click zooms to the extents. While a point is asked for it
// shows a crosshair (and a rubber band from the base point) and a left click
// picks the world point under the cursor, with z = 0. Keys typed here go to
// the prompt line, as in a CAD program.
//
// Otherwise the left button selects (EntityHitTest.h): a click takes the
// entity nearest the cursor within kPickBox pixels, a drag to the right
// takes what lies wholly inside the box (a window), a drag to the left what
// it touches (a crossing); Shift adds to the selection, Esc clears it and
// Delete erases it. The selection is painted over the cached drawing.
//
// Changes to the drawing only mark the view dirty: one refresh (one
// zoom-extents decision and one repaint) follows when the event loop is free,
// at most every kRefreshIntervalMs, however many changes came meanwhile, so
// automation calls are answered before anything is drawn. Entities added
// inside the view are drawn onto the cached image; only a change to existing
// entities, or to the view, redraws everything.
//
// Panning and wheel zoom move and scale the cached image, so each frame
// costs one image blit however large the drawing; the drawing is redrawn
// at the new view once it has stood still for kSettleMs. A paint is the
// cached layer (the drawing) with overlays (crosshair, rubber band) on top.

#include <optional>

#include <QElapsedTimer>
#include <QImage>
#include <QPointF>
#include <QTimer>
#include <QWidget>

class QPainter;

#include "model/CadSession.h"
#include "render/SpaceLook.h"
#include "render/Viewport.h"

namespace tessik::cadhost {

class DrawingView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshIntervalMs = 16;
    // How near the cursor a click finds an entity, in pixels.
    static constexpr int kPickBox = 5;
    // A press that moves farther than this before its release draws a box.
    static constexpr int kDragThreshold = 3;
    static constexpr int kSettleMs = 150;
    // Pixels around the bounds of added entities that are painted with
    // them: a rasterised point may lie a pixel beyond its rounded bounds.
    static constexpr int kAddedMargin = 2;

    explicit DrawingView(CadSession& session, QWidget* parent = nullptr);

    const Viewport& viewport() const { return viewport_; }
    // The drawing is kept as an image between paints (a moving crosshair
    // does not redraw it); this throws the image away.
    void invalidateDrawing();
    void zoomExtents();
    void zoomAbout(QPointF screenPos, double factor);
    // The space shown: model space, or paper space (a layout), as a CAD
    // program's model and layout tabs switch them; each switch zooms to the
    // extents of the space and clears the selection.
    SpaceKind shownSpace() const { return shown_; }
    void showSpace(SpaceKind space);
    // Line weights drawn as wide as they are (off: every line one pixel), as
    // a CAD program's "show line weights" toggle.
    bool lineweightsShown() const { return lineweights_; }
    void setLineweightsShown(bool shown);

signals:
    void cursorMoved(QPointF world);
    void typed(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void onEntityAdded(const Bounds& bounds);
    void onDrawingChanged();
    void scheduleRefresh();
    void refreshNow();
    bool onlyCurvesSinceLayer() const;
    void updateCursor();
    // The selection's press, drag and release.
    std::optional<QRectF> selectionBox() const;
    void finishSelection(QPointF releasedAt);
    void paintSelection(QPainter& painter, const CadSpace& space);
    // Brings the layer up to the current view and drawing.
    void updateLayer(const DrawingDocument& doc, QSize pixels, qreal ratio);
    void paintOverlays(QPainter& painter);
    void viewMoved();

    CadSession& session_;
    Viewport viewport_;
    std::optional<QPointF> cursor_;  // last mouse position inside the view
    std::optional<QPointF> panFrom_;
    std::optional<QPointF> selectFrom_;  // a left press that is not a pick
    bool selectAdds_ = false;            // Shift was down at that press
    QImage layer_;
    bool layerValid_ = false;
    int layerCount_ = 0;  // entities already in layer_ when it is valid
    Viewport layerView_;  // the view layer_ was drawn for
    QTimer settleTimer_;
    Bounds batchBounds_;
    QTimer refreshTimer_;
    QElapsedTimer sinceRefresh_;
    bool fittedOnce_ = false;
    SpaceKind shown_ = SpaceKind::Model;
    bool lineweights_ = false;
    // The colours and line types of the shown space's entities, kept while
    // the drawing only grows.
    SpaceLook look_;
};

}  // namespace tessik::cadhost
