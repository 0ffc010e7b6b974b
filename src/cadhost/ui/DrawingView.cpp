#include "ui/DrawingView.h"

#include <algorithm>
#include <cmath>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

#include "render/DrawingPainter.h"
#include "render/EntityHitTest.h"

namespace tessik::cadhost {

namespace {
const QColor kBackground(33, 40, 48);
const QColor kEntity(235, 235, 235);
const QColor kCrosshair(255, 255, 255);
const QColor kRubberBand(255, 200, 60);
const QColor kSelected(80, 170, 255);
const QColor kWindowBox(80, 140, 255);
const QColor kCrossingBox(90, 220, 120);
}  // namespace

DrawingView::DrawingView(CadSession& session, QWidget* parent) : QWidget(parent), session_(session)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    refreshTimer_.setSingleShot(true);
    connect(&refreshTimer_, &QTimer::timeout, this, &DrawingView::refreshNow);
    settleTimer_.setSingleShot(true);
    settleTimer_.setInterval(kSettleMs);
    connect(&settleTimer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    // Only changes to the space shown reach the picture.
    connect(&session_, &CadSession::entityAdded, this, [this](SpaceKind space, const Bounds& bounds) {
        if (space == shown_) onEntityAdded(bounds);
    });
    connect(&session_, &CadSession::entitiesChanged, this, [this](SpaceKind space) {
        if (space == shown_) onDrawingChanged();
    });
    connect(&session_, &CadSession::documentChanged, this, &DrawingView::onDrawingChanged);
    connect(&session_, &CadSession::zoomExtentsRequested, this, &DrawingView::zoomExtents);
    connect(&session_, &CadSession::selectionChanged, this, qOverload<>(&QWidget::update));
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

void DrawingView::setLineweightsShown(bool shown)
{
    if (shown == lineweights_) return;
    lineweights_ = shown;
    invalidateDrawing();
}

void DrawingView::zoomExtents()
{
    viewport_.setSize(size());
    const DrawingDocument* doc = session_.document();
    viewport_.zoomToBounds(doc ? doc->extents(shown_) : Bounds{});
    invalidateDrawing();
}

void DrawingView::showSpace(SpaceKind space)
{
    if (space == shown_) return;
    shown_ = space;
    look_ = SpaceLook{};
    batchBounds_ = Bounds{};  // additions to the space left are no concern now
    // A selection is of one space's entities: on another it would be
    // neither seen nor safe to erase with Delete, nor to finish a MOVE on.
    session_.cancelCommand();
    session_.clearSelection();
    zoomExtents();
}

void DrawingView::zoomAbout(QPointF screenPos, double factor)
{
    viewport_.zoomAbout(screenPos, factor);
    viewMoved();
}

void DrawingView::onEntityAdded(const Bounds& bounds)
{
    batchBounds_.add(bounds);
    scheduleRefresh();
}

void DrawingView::onDrawingChanged()
{
    // An entity may have changed layer or colour, or the drawing may be another.
    look_ = SpaceLook{};
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
    if (!added.empty() && !viewport_.visibleWorld().contains(added)) {
        zoomExtents();
    } else if (added.empty() || !layerValid_ || !onlyCurvesSinceLayer()) {
        update();
    } else {
        // What was added inside the view is drawn onto the layer; only the
        // part of the window it lies in is painted and sent to the screen.
        const QRectF area(viewport_.toScreen(added.minX, added.maxY), viewport_.toScreen(added.maxX, added.minY));
        update(area.normalized().toAlignedRect().adjusted(-kAddedMargin, -kAddedMargin, kAddedMargin, kAddedMargin));
    }
}

bool DrawingView::onlyCurvesSinceLayer() const
{
    // A text reaches beyond its bounds (the points that place it): the whole view then.
    const DrawingDocument* doc = session_.document();
    if (!doc) return false;
    const CadSpace& space = doc->space(shown_);
    for (int i = layerCount_; i < space.count(); ++i)
        if (std::holds_alternative<ModelText>(space.at(i))) return false;
    return true;
}

void DrawingView::updateCursor()
{
    setCursor(session_.picking() ? Qt::CrossCursor : Qt::ArrowCursor);
}

void DrawingView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const DrawingDocument* doc = session_.document();
    if (!doc) {
        painter.fillRect(rect(), palette().color(QPalette::Window));
        return;
    }
    // The layer has one pixel per device pixel, so lines stay one device
    // pixel wide on high-density screens.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    const bool moved = layerView_.center() != viewport_.center() || layerView_.scale() != viewport_.scale();
    if (layerValid_ && moved && settleTimer_.isActive() && layer_.size() == pixels) {
        // Still moving: the drawing as it was, shifted and scaled to where
        // it is now; it is drawn afresh once the view settles.
        const double factor = viewport_.scale() / layerView_.scale();
        painter.fillRect(rect(), kBackground);
        painter.translate(viewport_.toScreen(layerView_.toWorld(QPointF(0, 0))));
        painter.scale(factor, factor);
        layer_.setDevicePixelRatio(ratio);
        painter.drawImage(QPointF(0, 0), layer_);
        painter.resetTransform();
    } else {
        updateLayer(*doc, pixels, ratio);
        // Only the part asked for is copied (a burst of additions asks for little).
        const QRect part = event->rect();
        layer_.setDevicePixelRatio(1);
        painter.drawImage(QRectF(part), layer_, QRectF(QPointF(part.topLeft()) * ratio, QSizeF(part.size()) * ratio));
    }
    // The selection is highlighted where its entities are shown.
    paintSelection(painter, doc->space(shown_));
    paintOverlays(painter);
}

void DrawingView::updateLayer(const DrawingDocument& doc, QSize pixels, qreal ratio)
{
    const CadSpace& space = doc.space(shown_);
    const bool fresh = !layerValid_ || layer_.size() != pixels || layerCount_ > space.count() ||
                       layerView_.center() != viewport_.center() || layerView_.scale() != viewport_.scale();
    if (fresh) {
        if (layer_.size() != pixels) layer_ = QImage(pixels, QImage::Format_RGB32);
        layer_.fill(kBackground);
        layerCount_ = 0;
        layerValid_ = true;
        layerView_ = viewport_;
    }
    if (!fresh && layerCount_ == space.count()) return;
    layer_.setDevicePixelRatio(1);
    Viewport device = viewport_;
    device.setSize(pixels);
    device.setView(viewport_.center(), viewport_.scale() * ratio);
    // The shapes the drawing only shows lie under the held entities; entities
    // added later are drawn onto the layer without redrawing them.
    if (fresh) paintExtras(layer_, kEntity, device, doc.extras(shown_), lineweights_);
    if (look_.size() > space.count()) look_ = SpaceLook{};
    extendLook(look_, doc, shown_);
    rasterizeSpace(layer_, kEntity.rgb(), device, space, layerCount_, 0, 0, &look_);
    layerCount_ = space.count();
}

void DrawingView::paintOverlays(QPainter& painter)
{
    if (!session_.picking() || !cursor_) return;
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

void DrawingView::viewMoved()
{
    // Frames while the view moves reuse the layer; the drawing is redrawn
    // when it has stood still for kSettleMs.
    settleTimer_.start();
    update();
}

void DrawingView::paintSelection(QPainter& painter, const CadSpace& space)
{
    if (!session_.selection().empty() && session_.selectionSpace() == shown_) {
        painter.setPen(QPen(kSelected, 2));
        paintEntities(painter, viewport_, space, session_.selection(), &look_);
    }
    if (const auto box = selectionBox()) {
        // Left to right a window (solid), right to left a crossing (dashed).
        const bool crossing = cursor_->x() < selectFrom_->x();
        QColor fill = crossing ? kCrossingBox : kWindowBox;
        fill.setAlpha(40);
        painter.setPen(QPen(crossing ? kCrossingBox : kWindowBox, 0, crossing ? Qt::DashLine : Qt::SolidLine));
        painter.setBrush(fill);
        painter.drawRect(*box);
        painter.setBrush(Qt::NoBrush);
    }
}

std::optional<QRectF> DrawingView::selectionBox() const
{
    if (!selectFrom_ || !cursor_) return std::nullopt;
    if ((*cursor_ - *selectFrom_).manhattanLength() <= kDragThreshold) return std::nullopt;
    return QRectF(*selectFrom_, *cursor_).normalized();
}

void DrawingView::finishSelection(QPointF releasedAt)
{
    cursor_ = releasedAt;
    const auto box = selectionBox();
    const QPointF from = *selectFrom_;
    selectFrom_.reset();
    const DrawingDocument* doc = session_.document();
    if (!doc) return;
    const CadSpace& space = doc->space(shown_);
    const double pixel = 1 / viewport_.scale();
    if (box) {
        Bounds world;
        const QPointF a = viewport_.toWorld(box->topLeft()), b = viewport_.toWorld(box->bottomRight());
        world.add(a.x(), a.y());
        world.add(b.x(), b.y());
        session_.select(shown_, entitiesInBox(space, world, releasedAt.x() < from.x(), pixel / 4), selectAdds_);
    } else {
        const QPointF w = viewport_.toWorld(releasedAt);
        if (auto hit = nearestEntity(space, w.x(), w.y(), kPickBox * pixel, pixel / 4))
            session_.select(shown_, {*hit}, selectAdds_);
        else if (!selectAdds_)
            session_.clearSelection();
    }
    update();
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
    } else if (event->button() == Qt::LeftButton) {
        selectFrom_ = event->position();
        selectAdds_ = event->modifiers().testFlag(Qt::ShiftModifier);
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
    } else if (event->button() == Qt::LeftButton && selectFrom_) {
        finishSelection(event->position());
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
        viewMoved();
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
    } else if (event->key() == Qt::Key_Delete && !session_.picking()) {
        session_.eraseSelection();
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        session_.commandLine().submit();
    } else if (!event->text().isEmpty() && event->text().at(0).isPrint()) {
        emit typed(event->text());
    } else {
        QWidget::keyPressEvent(event);
    }
}

}  // namespace tessik::cadhost
