#include "DrawingView.h"

#include <algorithm>
#include <cmath>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

#include "DrawingPainter.h"

namespace tessik::cadhost {

namespace {
const QColor kBackground(33, 40, 48);
const QColor kEntity(235, 235, 235);
const QColor kCrosshair(255, 255, 255);
const QColor kRubberBand(255, 200, 60);
constexpr int kPickBox = 5;
}  // namespace

DrawingView::DrawingView(CadSession& session, QWidget* parent) : QWidget(parent), session_(session)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    refreshTimer_.setSingleShot(true);
    connect(&refreshTimer_, &QTimer::timeout, this, &DrawingView::refreshNow);
    connect(&session_, &CadSession::entityAdded, this, &DrawingView::onEntityAdded);
    connect(&session_, &CadSession::entitiesChanged, this, &DrawingView::onDrawingChanged);
    connect(&session_, &CadSession::documentChanged, this, &DrawingView::onDrawingChanged);
    connect(&session_, &CadSession::zoomExtentsRequested, this, &DrawingView::zoomExtents);
    connect(&session_, &CadSession::promptChanged, this, [this] {
        updateCursor();
        update();
    });
}

void DrawingView::invalidateDrawing()
{
    layerValid_ = false;
    update();
}

void DrawingView::zoomExtents()
{
    viewport_.setSize(size());
    const CadDocument* doc = session_.document();
    viewport_.zoomToBounds(doc ? doc->extents(shown_) : Bounds{});
    invalidateDrawing();
}

void DrawingView::showSpace(SpaceKind space)
{
    if (space == shown_) return;
    shown_ = space;
    zoomExtents();
}

void DrawingView::zoomAbout(QPointF screenPos, double factor)
{
    viewport_.zoomAbout(screenPos, factor);
    invalidateDrawing();
}

void DrawingView::onEntityAdded(const Bounds& bounds)
{
    batchBounds_.add(bounds);
    scheduleRefresh();
}

void DrawingView::onDrawingChanged()
{
    layerValid_ = false;
    scheduleRefresh();
}

void DrawingView::scheduleRefresh()
{
    if (refreshTimer_.isActive()) return;
    // Right after the pending events when the last refresh is long past,
    // otherwise once the interval is up.
    const qint64 since = sinceRefresh_.isValid() ? sinceRefresh_.elapsed() : kRefreshIntervalMs;
    refreshTimer_.start(int(std::max<qint64>(0, kRefreshIntervalMs - since)));
}

void DrawingView::refreshNow()
{
    sinceRefresh_.start();
    const Bounds added = batchBounds_;
    batchBounds_ = Bounds{};
    if (!added.empty() && !viewport_.visibleWorld().contains(added))
        zoomExtents();
    else
        update();  // what was added inside the view is drawn onto the layer
}

void DrawingView::updateCursor()
{
    setCursor(session_.picking() ? Qt::CrossCursor : Qt::ArrowCursor);
}

void DrawingView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const CadDocument* doc = session_.document();
    if (!doc) {
        painter.fillRect(rect(), palette().color(QPalette::Window));
        return;
    }
    // The layer has one pixel per device pixel, so lines stay one device
    // pixel wide on high-density screens.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    const CadSpace& space = doc->space(shown_);
    const bool fresh = !layerValid_ || layer_.size() != pixels || layerCount_ > space.count();
    if (fresh) {
        if (layer_.size() != pixels) layer_ = QImage(pixels, QImage::Format_RGB32);
        layer_.fill(kBackground);
        layerCount_ = 0;
        layerValid_ = true;
    }
    if (fresh || layerCount_ < space.count()) {
        layer_.setDevicePixelRatio(1);
        Viewport device = viewport_;
        device.setSize(pixels);
        device.setView(viewport_.center(), viewport_.scale() * ratio);
        // The shapes the drawing only shows lie under the held entities; entities
        // added later are drawn onto the layer without redrawing them.
        if (fresh) paintExtras(layer_, kEntity, device, doc->extras(shown_));
        rasterizeSpace(layer_, kEntity.rgb(), device, space, layerCount_);
        layerCount_ = space.count();
    }
    layer_.setDevicePixelRatio(ratio);
    painter.drawImage(QPointF(0, 0), layer_);

    if (session_.picking() && cursor_) {
        const QPointF c = *cursor_;
        if (auto base = session_.pickBase()) {
            painter.setPen(QPen(kRubberBand, 0, Qt::DashLine));
            painter.drawLine(viewport_.toScreen((*base)[0], (*base)[1]), c);
        }
        painter.setPen(QPen(kCrosshair, 0));
        painter.drawLine(QPointF(0, c.y()), QPointF(width(), c.y()));
        painter.drawLine(QPointF(c.x(), 0), QPointF(c.x(), height()));
        painter.drawRect(QRectF(c.x() - kPickBox, c.y() - kPickBox, 2 * kPickBox, 2 * kPickBox));
    }
}

void DrawingView::resizeEvent(QResizeEvent*)
{
    viewport_.setSize(size());
    layerValid_ = false;
    if (!fittedOnce_) {
        fittedOnce_ = true;
        zoomExtents();
    }
}

void DrawingView::wheelEvent(QWheelEvent* event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0) zoomAbout(event->position(), std::pow(1.2, steps));
    event->accept();
}

void DrawingView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        panFrom_ = event->position();
        setCursor(Qt::ClosedHandCursor);
    } else if (event->button() == Qt::LeftButton && session_.picking()) {
        const QPointF w = viewport_.toWorld(event->position());
        session_.pickPoint({w.x(), w.y(), 0});
    } else if (event->button() == Qt::RightButton && session_.picking()) {
        // A right click confirms nothing here; like Esc it cancels the pick.
        session_.cancelPick();
    }
    setFocus();
}

void DrawingView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        panFrom_.reset();
        updateCursor();
    }
}

void DrawingView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton)
        zoomExtents();
    else
        mousePressEvent(event);
}

void DrawingView::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF pos = event->position();
    if (panFrom_) {
        viewport_.panBy(pos - *panFrom_);
        panFrom_ = pos;
        layerValid_ = false;
    }
    cursor_ = pos;
    emit cursorMoved(viewport_.toWorld(pos));
    update();
}

void DrawingView::leaveEvent(QEvent*)
{
    cursor_.reset();
    update();
}

void DrawingView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        session_.commandLine().escape();
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        session_.commandLine().submit();
    } else if (!event->text().isEmpty() && event->text().at(0).isPrint()) {
        emit typed(event->text());
    } else {
        QWidget::keyPressEvent(event);
    }
}

}  // namespace tessik::cadhost
