#pragma once
// The drawing area: a plain QWidget that paints the model space through a
// Viewport. Wheel zooms about the cursor, the middle button drags the drawing,
// a middle double-click zooms to the extents. While a point is asked for it
// shows a crosshair (and a rubber band from the base point) and a left click
// picks the world point under the cursor, with z = 0. Keys typed here go to
// the prompt line, as in a CAD program.

#include <optional>

#include <QPointF>
#include <QWidget>

#include "CadSession.h"
#include "Viewport.h"

namespace tessik::cadhost {

class DrawingView : public QWidget {
    Q_OBJECT
public:
    explicit DrawingView(CadSession& session, QWidget* parent = nullptr);

    const Viewport& viewport() const { return viewport_; }
    void zoomExtents();
    void zoomAbout(QPointF screenPos, double factor);

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
    void endBatch();
    void updateCursor();

    CadSession& session_;
    Viewport viewport_;
    std::optional<QPointF> cursor_;  // last mouse position inside the view
    std::optional<QPointF> panFrom_;
    Bounds batchBounds_;
    bool batchPending_ = false;
    bool fittedOnce_ = false;
};

}  // namespace tessik::cadhost
