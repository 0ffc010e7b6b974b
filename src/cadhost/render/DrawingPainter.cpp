#include "render/DrawingPainter.h"

#include "render/CircleRasterizer.h"
#include "render/ClipEdge.h"
#include "render/EllipseRasterizer.h"
#include "render/PixelStore.h"
#include "render/TextPainter.h"

#include <algorithm>
#include <atomic>
#include <array>
#include <numbers>
#include <system_error>
#include <thread>

#include <QFont>
#include <QPolygonF>
#include <QStringList>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <QFont>
#include <QFontMetricsF>
#include <QPainterPath>

namespace tessik::cadhost {

namespace {

// Turns entities into screen segments and dots for a Sink with
// line(QPointF, QPointF, bool mayLeave), run(const QPointF*, count, bool
// mayLeave) (joined segments through count points), dot(QPointF) and bool
// inside(QRectF): mayLeave is false when the whole entity lies inside the
// sink's area, so its segments need no clipping. Entities and stretches of
// curves outside area (screen pixels, the whole view unless given) are
// skipped.
template <class Sink>
class EntityTracer {
public:
    EntityTracer(Sink& sink, const Viewport& viewport)
        : EntityTracer(sink, viewport, QRectF(QPointF(), viewport.size()))
    {
    }
    EntityTracer(Sink& sink, const Viewport& viewport, const QRectF& area)
        : sink_(sink), v_(viewport), visible_(viewport.worldBounds(area)), screen_(area.adjusted(-1, -1, 1, 1))
    {
    }

    // A shape is painted with the others (paintExtras); traced on its own,
    // as a selection shows it, it is its outlines, or the box round it where
    // it has none (a text, a custom object).
    void traceShapes() { shapes_ = true; }
    // How the next text's letters are drawn (null: plainly).
    void setFace(const TextFace* face) { face_ = face; }
    void operator()(const ModelShape& s)
    {
        const Bounds b = s.bounds();
        if (!shapes_ || !s.picture || b.empty() || !b.intersects(visible_)) return;
        const bool mayLeave = !visible_.contains(b);
        const auto at = [&](const Point2& p) { return v_.toScreen(p[0] + s.offset[0], p[1] + s.offset[1]); };
        const auto run = [&](const std::vector<Point2>& points, bool closed) {
            for (std::size_t i = 1; i < points.size(); ++i) sink_.line(at(points[i - 1]), at(points[i]), mayLeave);
            if (closed && points.size() > 2) sink_.line(at(points.back()), at(points.front()), mayLeave);
        };
        for (const auto& o : s.picture->outlines) run(o, false);
        for (const auto& f : s.picture->fills) run(f, true);
        if (s.picture->outlines.empty() && s.picture->fills.empty())
            run({{b.minX - s.offset[0], b.minY - s.offset[1]}, {b.maxX - s.offset[0], b.minY - s.offset[1]},
                 {b.maxX - s.offset[0], b.maxY - s.offset[1]}, {b.minX - s.offset[0], b.maxY - s.offset[1]}},
                true);
    }

    void operator()(const ModelLine& l)
    {
        // Bounds::add, intersects and contains written out: the calls cost
        // more than the tests, once per line and band. A NaN end is left out
        // of the box as add leaves it out.
        Bounds b;
        b.minX = std::min(std::min(b.minX, l.start[0]), l.end[0]);
        b.minY = std::min(std::min(b.minY, l.start[1]), l.end[1]);
        b.maxX = std::max(std::max(b.maxX, l.start[0]), l.end[0]);
        b.maxY = std::max(std::max(b.maxY, l.start[1]), l.end[1]);
        const Bounds& v = visible_;
        if (b.empty() || v.empty() || !(b.minX <= v.maxX && b.maxX >= v.minX && b.minY <= v.maxY && b.maxY >= v.minY))
            return;
        const bool inside = b.minX >= v.minX && b.maxX <= v.maxX && b.minY >= v.minY && b.maxY <= v.maxY;
        sink_.line(v_.toScreen(l.start[0], l.start[1]), v_.toScreen(l.end[0], l.end[1]), !inside);
    }

    void operator()(const ModelCircle& c)
    {
        if (!roughlyVisible(c.center, c.radius)) return;
        // Sinks that write pixels draw a circle wholly inside without chords.
        const double pixels = c.radius * v_.scale();
        if constexpr (requires { sink_.circle(QPointF(), 0.0); }) {
            const double reach = pixels + 1;
            const QPointF centre = v_.toScreen(c.center[0], c.center[1]);
            if (pixels >= CircleRasterizer::kMinRadius &&
                sink_.inside(QRectF(centre.x() - reach, centre.y() - reach, 2 * reach, 2 * reach))) {
                sink_.circle(centre, pixels);
                return;
            }
        }
        // One that crosses the sink's edge: cut to it.
        if (rasterized(c.center, {pixels, 0}, {0, -pixels}, pixels, pixels, 0, kTwoPi)) return;
        curve(c.center, {c.radius, 0}, {0, c.radius}, 0, kTwoPi, c.radius);
    }

    void operator()(const ModelArc& a)
    {
        if (!roughlyVisible(a.center, a.radius)) return;
        const double pixels = a.radius * v_.scale();
        if (rasterized(a.center, {pixels, 0}, {0, -pixels}, pixels, pixels, a.startAngle,
                       sweep(a.startAngle, a.endAngle)))
            return;
        curve(a.center, {a.radius, 0}, {0, a.radius}, a.startAngle, sweep(a.startAngle, a.endAngle),
              a.radius);
    }

    void operator()(const ModelEllipse& e)
    {
        // Not hypot: its care for overflow costs more than this whole test.
        const double major = std::sqrt(e.majorAxis[0] * e.majorAxis[0] + e.majorAxis[1] * e.majorAxis[1]);
        if (!roughlyVisible(e.center, major)) return;
        const QPointF u(e.majorAxis[0] * v_.scale(), -e.majorAxis[1] * v_.scale());
        const QPointF w(u.y() * e.ratio, -u.x() * e.ratio);
        const double pixels = major * v_.scale();
        if (e.ratio <= 1 &&
            rasterized(e.center, u, w, pixels, pixels * e.ratio, e.startParam, sweep(e.startParam, e.endParam)))
            return;
        curve(e.center, {e.majorAxis[0], e.majorAxis[1]},
              {-e.majorAxis[1] * e.ratio, e.majorAxis[0] * e.ratio}, e.startParam,
              sweep(e.startParam, e.endParam), major);
    }

    void operator()(const ModelPolyline& p)
    {
        const std::size_t n = p.vertices.size();
        if (n < 2) return;
        const Bounds b = entityBounds(ModelEntity(p));
        if (!b.intersects(visible_)) return;
        const bool mayLeave = !visible_.contains(b);
        for (std::size_t i = 0; i + (p.closed ? 0 : 1) < n; ++i) {
            const entities::PolylineVertex& a = p.vertices[i];
            const entities::PolylineVertex& z = p.vertices[(i + 1) % n];
            if (a.bulge == 0) {
                sink_.line(v_.toScreen(a.x, a.y), v_.toScreen(z.x, z.y), mayLeave);
                continue;
            }
            // A bulged segment: the arc through both ends with included angle 4 atan(bulge).
            const double angle = 4 * std::atan(a.bulge);
            const double dx = z.x - a.x, dy = z.y - a.y, chord = std::hypot(dx, dy);
            if (chord == 0) continue;
            const double radius = chord / (2 * std::sin(std::abs(angle) / 2));
            const double toCentre = radius * std::cos(angle / 2) * (angle > 0 ? 1 : -1);
            const Point3 centre{(a.x + z.x) / 2 - dy / chord * toCentre, (a.y + z.y) / 2 + dx / chord * toCentre, 0};
            const double start = std::atan2(a.y - centre[1], a.x - centre[0]);
            curve(centre, {radius, 0}, {0, radius}, start, angle, radius);
        }
    }

    // Glyph outlines of the text (a CJK font when installed), traced like
    // any other curve; a text under two pixels high is a dot.
    // A justified text is laid out by its alignment point (placeText) with
    // this font's width and descent.
    void operator()(const ModelText& t)
    {
        if (t.text.empty() || !(t.height > 0)) return;
        const double pixels = t.height * v_.scale();
        const Point3& anchor = t.justified() ? t.alignment : t.insertion;
        const double widthFactor = face_ ? face_->widthFactor : 1;
        if (!roughlyVisible(anchor, t.height * (t.text.size() + 1) * std::max(1.0, widthFactor))) return;
        if (pixels < 2) {
            sink_.dot(v_.toScreen(anchor[0], anchor[1]));
            return;
        }
        QFont font(face_ && !face_->family.empty() ? QString::fromStdString(face_->family)
                                                   : QStringLiteral("WenQuanYi Micro Hei"));
        font.setPixelSize(100);
        const QString text = QString::fromStdString(t.text);
        QPainterPath path;
        path.addText(0, 0, font, text);
        const QFontMetricsF metrics(font);
        const double s = t.height * emPerTextHeight(font) / font.pixelSize();
        const entities::TextPlacement at =
            entities::placeText(t, metrics.horizontalAdvance(text) * s * widthFactor, metrics.descent() * s);
        const double c = std::cos(at.rotation), n = std::sin(at.rotation);
        // The letters' frame: stretched by the width factor and leaning by
        // the obliquing; backward mirrors x, upside down y.
        const double lean = face_ ? std::tan(face_->oblique * std::numbers::pi / 180) : 0;
        const double flipX = face_ && face_->generation & 2 ? -1 : 1, flipY = face_ && face_->generation & 4 ? -1 : 1;
        const auto world = [&](QPointF q) {
            const double up = -q.y() * s;
            const double x = (flipX * q.x() * s * widthFactor + flipY * lean * up) * at.xScale, y = flipY * up * at.yScale;
            return v_.toScreen(at.origin[0] + x * c - y * n, at.origin[1] + x * n + y * c);
        };
        for (const QPolygonF& outline : path.toSubpathPolygons())
            for (int i = 0; i + 1 < outline.size(); ++i) sink_.line(world(outline[i]), world(outline[i + 1]), true);
    }

private:
    // Sinks that write pixels cut a curve into them without chords, clipped
    // to their area: centre + u cos t + w sin t (screen vectors) for t from
    // start over span, with largest and smallest radius in pixels. False
    // when left to the chords (a curve too large to round to the pixel).
    bool rasterized(const Point3& centre, QPointF u, QPointF w, double largest, double smallest, double start,
                    double span)
    {
        if constexpr (requires { sink_.ellipse(QPointF(), QPointF(), QPointF(), 0.0, 0.0); }) {
            const QPointF c = v_.toScreen(centre[0], centre[1]);
            if (largest >= kDotRadius && smallest >= EllipseRasterizer::kMinRadius &&
                largest <= EllipseRasterizer::kMaxRadius && std::isfinite(start) && span > 0 &&
                std::isfinite(c.x() + c.y())) {
                sink_.ellipse(c, u, w, start, span);
                return true;
            }
        }
        return false;
    }

    // centre + u cos t + w sin t for t from start over span; size is the
    // largest radius, in drawing units.
    void curve(const Point3& centre, QPointF u, QPointF w, double start, double span, double size)
    {
        if (span < 0) {  // clockwise: the same points walked the other way round
            start += span;
            span = -span;
        }
        Curve k;
        k.pixels = size * v_.scale();
        k.c = v_.toScreen(centre[0], centre[1]);
        if (k.pixels < kDotRadius) {
            sink_.dot(k.c);
            return;
        }
        // Screen vectors (y mirrored).
        k.u = QPointF(u.x() * v_.scale(), -u.y() * v_.scale());
        k.w = QPointF(w.x() * v_.scale(), -w.y() * v_.scale());
        // The largest parameter step whose chord strays under the tolerance.
        k.step = std::min(kMaxStep, std::sqrt(8 * kChordTolerance / k.pixels));
        // Wholly inside (the common case): one walk, no stretches.
        const double reach = k.pixels + 1;
        if (sink_.inside(QRectF(k.c.x() - reach, k.c.y() - reach, 2 * reach, 2 * reach))) {
            const double cs = std::cos(start), sn = std::sin(start);
            steps(k, cs, sn, span, k.c + k.u * cs + k.w * sn, false);
            return;
        }
        const int pieces = std::max(1, static_cast<int>(std::ceil(span / kMaxPiece)));
        const double d = span / pieces;
        for (int i = 0; i < pieces; ++i) piece(k, start + i * d, d, 0);
    }

    struct Curve {
        QPointF c, u, w;
        double pixels = 0;  // largest radius on screen
        double step = 0;
        QPointF at(double t) const { return c + u * std::cos(t) + w * std::sin(t); }
    };

    // One stretch of a curve: left out when it cannot reach the view, walked
    // in even steps when it lies inside, else halved. Only the stretches that
    // cross the view's edge are halved, so a curve far larger than the view
    // costs what its visible part costs.
    void piece(const Curve& k, double t0, double span, int depth)
    {
        const QPointF a = k.at(t0), b = k.at(t0 + span);
        // A curve strays from its chord at most (largest radius) span^2 / 8.
        const double stray = k.pixels * std::min(span * span / 8, 2.0) + 1;
        const QRectF box(std::min(a.x(), b.x()) - stray, std::min(a.y(), b.y()) - stray,
                         std::abs(a.x() - b.x()) + 2 * stray, std::abs(a.y() - b.y()) + 2 * stray);
        if (box.right() < screen_.left() || box.left() > screen_.right() || box.bottom() < screen_.top() ||
            box.top() > screen_.bottom())
            return;
        const bool inside = sink_.inside(box);
        if (inside || span <= k.step * kEvenSteps || depth >= kMaxDepth) {
            steps(k, std::cos(t0), std::sin(t0), span, a, !inside);
            return;
        }
        piece(k, t0, span / 2, depth + 1);
        piece(k, t0 + span / 2, span / 2, depth + 1);
    }

    // Even steps from the parameter whose cosine and sine are ct and st,
    // with a rotation per step instead of a sine and a cosine per point,
    // handed to the sink as runs of joined points.
    void steps(const Curve& k, double ct, double st, double span, QPointF from, bool mayLeave)
    {
        const int n = std::max(1, static_cast<int>(std::ceil(span / k.step)));
        const double d = span / n;
        double cd, sd;
        rotation(d, cd, sd);
        // Sinks that draw as they go take the points one at a time.
        if constexpr (requires { sink_.lineTo(from); }) {
            if (!mayLeave) {
                sink_.moveTo(from);
                for (int i = 1; i <= n; ++i) {
                    const double nc = ct * cd - st * sd;
                    st = st * cd + ct * sd;
                    ct = nc;
                    sink_.lineTo(k.c + k.u * ct + k.w * st);
                }
                return;
            }
        }
        std::array<QPointF, kRunPoints>& run = run_;
        run[0] = from;
        std::size_t count = 1;
        for (int i = 1; i <= n; ++i) {
            const double nc = ct * cd - st * sd;
            st = st * cd + ct * sd;
            ct = nc;
            run[count++] = k.c + k.u * ct + k.w * st;
            if (count == run.size() || i == n) {
                sink_.run(run.data(), count, mayLeave);
                run[0] = run[count - 1];
                count = 1;
            }
        }
    }

    // The cosine and sine of a step: by their series up to the tenth power
    // when it is short (as it is for all but the largest steps; the error
    // is under 1e-13), saving the library call every curve would make.
    static void rotation(double d, double& c, double& s)
    {
        if (std::abs(d) > kMaxStep) {
            c = std::cos(d);
            s = std::sin(d);
            return;
        }
        const double d2 = d * d;
        c = 1 - d2 / 2 * (1 - d2 / 12 * (1 - d2 / 30 * (1 - d2 / 56 * (1 - d2 / 90))));
        s = d * (1 - d2 / 6 * (1 - d2 / 20 * (1 - d2 / 42 * (1 - d2 / 72 * (1 - d2 / 110)))));
    }

    // The square around c reaches the view (false for NaN).
    bool roughlyVisible(const Point3& c, double r) const
    {
        return c[0] + r >= visible_.minX && c[0] - r <= visible_.maxX && c[1] + r >= visible_.minY &&
               c[1] - r <= visible_.maxY;
    }

    // A curve's chords stray from it by under this many pixels.
    static constexpr double kChordTolerance = 0.2;
    // Curves under this radius in pixels are one dot.
    static constexpr double kDotRadius = 0.5;
    // Tiny curves still get a few chords per quarter turn.
    static constexpr double kMaxStep = 0.5;
    // Stretches a curve is cut into before any is left out or walked.
    static constexpr double kMaxPiece = std::numbers::pi / 4;
    // A stretch this many steps long is walked rather than halved.
    static constexpr double kEvenSteps = 16;
    static constexpr int kMaxDepth = 48;
    // Points handed to the sink at a time.
    static constexpr std::size_t kRunPoints = 64;

    const TextFace* face_ = nullptr;
    Sink& sink_;
    bool shapes_ = false;
    const Viewport& v_;
    std::array<QPointF, kRunPoints> run_;  // filled afresh by each walk
    Bounds visible_;
    QRectF screen_;
};

template <class Sink>
void trace(Sink& sink, const Viewport& viewport, const CadSpace& space)
{
    EntityTracer<Sink> tracer(sink, viewport);
    for (int i = 0; i < space.count(); ++i)
        if (space.drawn(i)) std::visit(tracer, space.at(i));
}

// The segments of a run one by one, for sinks that take nothing faster.
template <class Sink>
void runAsLines(Sink& sink, const QPointF* points, std::size_t count, bool mayLeave)
{
    for (std::size_t i = 1; i < count; ++i) sink.line(points[i - 1], points[i], mayLeave);
}

class PainterSink {
public:
    explicit PainterSink(QPainter& painter) : p_(painter) { lines_.reserve(kBatch); }
    ~PainterSink()
    {
        flush();
        if (!dots_.empty()) p_.drawPoints(dots_.data(), static_cast<int>(dots_.size()));
    }
    bool inside(const QRectF&) const { return false; }
    void line(QPointF a, QPointF b, bool)
    {
        lines_.emplace_back(a, b);
        if (lines_.size() >= kBatch) flush();
    }
    void run(const QPointF* points, std::size_t count, bool mayLeave) { runAsLines(*this, points, count, mayLeave); }
    void dot(QPointF p) { dots_.push_back(p); }

private:
    static constexpr std::size_t kBatch = 16384;
    void flush()
    {
        if (!lines_.empty()) p_.drawLines(lines_.data(), static_cast<int>(lines_.size()));
        lines_.clear();
    }
    QPainter& p_;
    std::vector<QLineF> lines_;
    std::vector<QPointF> dots_;
};

// One-pixel lines into the rows top to bottom - 1 of a 32-bit image of the
// given height: clipped to them (Liang-Barsky), then stepped one pixel at a
// time along the longer axis. Bands of rows that meet take each point of
// the plane once: a band reaches half a pixel above its top row (the image's
// first row no further than its centre) and down to half a pixel below its
// last, where a point on the line between two bands falls to both.
class RasterSink {
public:
    RasterSink(uchar* bits, qsizetype stride, int width, int height, QRgb value, int top, int bottom)
        : bits_(bits),
          stride_(stride),
          w_(width),
          top_(top),
          bottom_(bottom),
          xMax_(width - 1.0),
          yMin_(top > 0 ? top - 0.5 : 0),
          yMax_(bottom < height ? bottom - 0.5 : height - 1.0),
          color_(value)
    {
    }

    void setColor(QRgb color) { color_ = color; }

    void dot(QPointF p)
    {
        const int x = static_cast<int>(std::lround(p.x())), y = static_cast<int>(std::lround(p.y()));
        if (x >= 0 && y >= top_ && x < w_ && y < bottom_) pixel(x, y);
    }

    bool inside(const QRectF& r) const
    {
        return r.left() >= 0 && r.top() >= top_ && r.right() <= w_ - 1 && r.bottom() <= bottom_ - 1;
    }

    void line(QPointF a, QPointF b, bool mayLeave)
    {
        double x0 = a.x(), y0 = a.y(), x1 = b.x(), y1 = b.y();
        if (!std::isfinite(x0 + y0 + x1 + y1)) return;  // beyond any zoom that makes sense
        // The tracer's word that a segment stays inside is checked, cheaply:
        // a pixel outside the image must never be written.
        if ((mayLeave || !within(a) || !within(b)) && !clip(x0, y0, x1, y1)) return;
        segment(rounded(x0), row(y0), rounded(x1), row(y1), 0);
    }

    // A line whose pixels follow its true course: on each pixel of the
    // longer axis, the other coordinate where the line passes its centre,
    // not stepped from the rounded ends. Two pieces of one line cut at
    // different ends light the same pixels, as the pattern lines of
    // neighbouring hatches are.
    void trueLine(QPointF a, QPointF b)
    {
        double x0 = a.x(), y0 = a.y(), x1 = b.x(), y1 = b.y();
        if (!std::isfinite(x0 + y0 + x1 + y1) || !clip(x0, y0, x1, y1)) return;
        const double dx = x1 - x0, dy = y1 - y0;
        const QRgb color = color_;
        if (std::abs(dx) >= std::abs(dy)) {
            const int from = rounded(x0), to = rounded(x1), step = to >= from ? 1 : -1;
            const double slope = dx != 0 ? dy / dx : 0;
            for (int x = from;; x += step) {
                const int y = std::clamp(rounded(std::max(0.0, y0 + (x - x0) * slope)), top_, bottom_ - 1);
                storePixel(bits_ + y * stride_ + x * kPixel, color);
                if (x == to) break;
            }
        } else {
            const int from = row(y0), to = row(y1), step = to >= from ? 1 : -1;
            const double slope = dx / dy;
            for (int y = from;; y += step) {
                const int x = std::clamp(rounded(std::max(0.0, x0 + (y - y0) * slope)), 0, w_ - 1);
                storePixel(bits_ + y * stride_ + x * kPixel, color);
                if (y == to) break;
            }
        }
    }

    // Joined segments: each point checked and rounded once, and the pixel
    // two segments share written once. A run the tracer puts inside that
    // has a point outside is drawn as clipped lines.
    void run(const QPointF* points, std::size_t count, bool mayLeave)
    {
        bool inside = !mayLeave;
        for (std::size_t i = 0; inside && i < count; ++i) inside = within(points[i]);
        if (!inside) {
            runAsLines(*this, points, count, true);
            return;
        }
        int x0 = rounded(points[0].x()), y0 = row(points[0].y());
        for (std::size_t i = 1; i < count; ++i) {
            const int x1 = rounded(points[i].x()), y1 = row(points[i].y());
            segment(x0, y0, x1, y1, i == 1 ? 0 : 1);
            x0 = x1;
            y0 = y1;
        }
    }

    // A circle wholly inside the rows (CircleRasterizer), or a part of an
    // ellipse cut to them (EllipseRasterizer): a curve that crosses the
    // edge between two bands lights the pixels it would in one band.
    void circle(QPointF centre, double radius) { CircleRasterizer(bits_, stride_, color_).draw(centre, radius); }
    void ellipse(QPointF centre, QPointF u, QPointF w, double start, double span)
    {
        EllipseRasterizer r(bits_, stride_, color_);
        r.clip(0, top_, w_, bottom_);
        r.draw(centre, u, w, start, span);
    }

    // A polyline wholly inside the rows, as the tracer walks it: each point
    // rounded once and the pixel two segments share written once. The
    // points are clamped to the rows, which costs less than testing them
    // and keeps a pixel outside them from ever being written.
    void moveTo(QPointF p)
    {
        x_ = clamped(p.x(), 0, w_);
        y_ = clamped(p.y(), top_, bottom_);
        from_ = 0;
    }
    void lineTo(QPointF p)
    {
        const int x = clamped(p.x(), 0, w_), y = clamped(p.y(), top_, bottom_);
        segment(x_, y_, x, y, from_);
        x_ = x;
        y_ = y;
        from_ = 1;
    }

private:
    static int clamped(double v, int from, int to) { return std::clamp(static_cast<int>(v + 0.5), from, to - 1); }
    bool within(QPointF p) const { return p.x() >= 0 && p.y() >= yMin_ && p.x() <= xMax_ && p.y() <= yMax_; }
    // Inside the image every coordinate is >= 0: adding a half and
    // truncating rounds.
    static int rounded(double v) { return static_cast<int>(v + 0.5); }
    // The row of a y within the band: the half pixel below its last row
    // rounds into it.
    int row(double y) const { return std::min(rounded(y), bottom_ - 1); }
    void pixel(int x, int y) { storePixel(bits_ + y * stride_ + x * kPixel, color_); }

    // The pixels from (x0, y0) to (x1, y1), both inside, leaving out the
    // first `from` of them: one per step along the longer axis, the other
    // coordinate in 32.32 fixed point (no branch per pixel, and a rounding
    // error after n steps of n / 2^32 of a pixel). The longer axis moves by
    // whole pixels, so it needs no fraction.
    void segment(int x0, int y0, int x1, int y1, int from)
    {
        const int dx = x1 - x0, dy = y1 - y0;
        const int n = std::max(std::abs(dx), std::abs(dy));
        if (n < from) return;
        constexpr std::int64_t kHalf = std::int64_t(1) << 31;
        // Copies, which the compiler may keep in registers: a pixel store
        // could otherwise be taken to change color_.
        const QRgb color = color_;
        uchar* const bits = bits_;
        const qsizetype stride = stride_;
        // 2^32 / n from a table for the short segments curves are made of: a
        // multiplication instead of a 64-bit division.
        static const std::array<std::int64_t, kReciprocals> reciprocals = [] {
            std::array<std::int64_t, kReciprocals> r{};
            for (int i = 1; i < kReciprocals; ++i) r[i] = ((std::int64_t(1) << 32) + i / 2) / i;
            return r;
        }();
        const auto fraction = [&](int d) {
            return n < kReciprocals ? d * reciprocals[n] : (std::int64_t(d) << 32) / n;
        };
        if (std::abs(dx) >= std::abs(dy)) {
            const int sx = dx < 0 ? -1 : 1;
            const std::int64_t yStep = n ? fraction(dy) : 0;
            std::int64_t y = (std::int64_t(y0) << 32) + kHalf + from * yStep;
            for (int i = from, x = x0 + from * sx; i <= n; ++i, x += sx, y += yStep)
                storePixel(bits + (y >> 32) * stride + x * kPixel, color);
        } else {
            const qsizetype rowStep = dy < 0 ? -stride : stride;
            const std::int64_t xStep = fraction(dx);
            std::int64_t x = (std::int64_t(x0) << 32) + kHalf + from * xStep;
            uchar* row = bits + (y0 + (dy < 0 ? -from : from)) * stride;
            for (int i = from; i <= n; ++i, x += xStep, row += rowStep) storePixel(row + (x >> 32) * kPixel, color);
        }
    }

    // Cuts the segment to the box [0, w-1] x [yMin, yMax] (on the image's
    // edges its pixel centres, so rounding stays in range); false when
    // nothing is left.
    bool clip(double& x0, double& y0, double& x1, double& y1) const
    {
        const double xmin = 0, ymin = yMin_, xmax = xMax_, ymax = yMax_;
        const double dx = x1 - x0, dy = y1 - y0;
        double t0 = 0, t1 = 1;
        const auto edge = [&](double p, double q) { return clipEdge(p, q, t0, t1); };
        if (!edge(-dx, x0 - xmin) || !edge(dx, xmax - x0) || !edge(-dy, y0 - ymin) ||
            !edge(dy, ymax - y0))
            return false;
        const double ox = x0, oy = y0;
        x0 = std::clamp(ox + t0 * dx, xmin, xmax);
        y0 = std::clamp(oy + t0 * dy, ymin, ymax);
        x1 = std::clamp(ox + t1 * dx, xmin, xmax);
        y1 = std::clamp(oy + t1 * dy, ymin, ymax);
        return true;
    }

    static constexpr int kReciprocals = 256;
    int x_ = 0, y_ = 0, from_ = 0;  // the pen of moveTo and lineTo
    uchar* bits_;
    qsizetype stride_;
    int w_;
    int top_, bottom_;  // the rows written
    double xMax_, yMin_, yMax_;  // what the rows take of the plane
    QRgb color_;
    static constexpr qsizetype kPixel = sizeof(QRgb);
};

// Lines cut into the dashes of a pattern (screen pixels: a dash positive, a
// gap negative, a dot 0) before another sink draws them. The pattern runs
// on along joined segments and starts afresh with each entity (start()).
// It has no circle, ellipse or pen of its own, so the tracer hands it
// curves as chords.
template <class Sink>
class DashSink {
public:
    DashSink(Sink& sink, const QRectF& area) : sink_(sink), area_(area.adjusted(-2, -2, 2, 2)) {}
    void start(const std::vector<double>* pattern)
    {
        pattern_ = pattern;
        period_ = 0;
        for (double d : *pattern) period_ += std::abs(d);
        index_ = 0;
        done_ = 0;
    }
    bool inside(const QRectF& r) const { return sink_.inside(r); }
    void dot(QPointF p) { sink_.dot(p); }
    void run(const QPointF* points, std::size_t count, bool mayLeave) { runAsLines(*this, points, count, mayLeave); }
    void line(QPointF a, QPointF b, bool mayLeave)
    {
        QPointF d = b - a;
        double length = std::sqrt(d.x() * d.x() + d.y() * d.y());
        if (!std::isfinite(length) || !(period_ > 0)) return;
        // Only the part that reaches the area is walked; the pattern moves
        // on over the rest as if it had been.
        double t0 = 0, t1 = 1;
        if (mayLeave && !clip(a, d, t0, t1)) {
            advance(length);
            return;
        }
        advance(t0 * length);
        const QPointF from = a + d * t0;
        const double walked = (t1 - t0) * length;
        const QPointF unit = length > 0 ? d / length : QPointF();
        double at = 0;
        while (at < walked) {
            const double element = (*pattern_)[index_];
            const double step = std::min(std::abs(element) - done_, walked - at);
            if (element > 0)
                sink_.line(from + unit * at, from + unit * (at + step), mayLeave);
            else if (element == 0)
                sink_.dot(from + unit * at);
            at += step;
            done_ += step;
            if (done_ >= std::abs(element)) next();
        }
        advance((1 - t1) * length);
    }

private:
    void next()
    {
        done_ = 0;
        index_ = (index_ + 1) % pattern_->size();
    }
    // Moves the pattern on by distance without drawing.
    void advance(double distance)
    {
        distance = std::fmod(distance, period_);
        while (distance > 0) {
            const double step = std::min(std::abs((*pattern_)[index_]) - done_, distance);
            distance -= step;
            done_ += step;
            if (done_ >= std::abs((*pattern_)[index_])) next();
        }
    }
    // Liang-Barsky: the parameters of a + t d inside the area.
    bool clip(QPointF a, QPointF d, double& t0, double& t1) const
    {
        const auto edge = [&](double p, double q) { return clipEdge(p, q, t0, t1); };
        return edge(-d.x(), a.x() - area_.left()) && edge(d.x(), area_.right() - a.x()) &&
               edge(-d.y(), a.y() - area_.top()) && edge(d.y(), area_.bottom() - a.y());
    }

    Sink& sink_;
    QRectF area_;
    const std::vector<double>* pattern_ = nullptr;
    double period_ = 0;
    std::size_t index_ = 0;
    double done_ = 0;  // of the current element
};

// Bands a drawing is split into for rasterizing: at most one per core, each
// with enough entities and rows to be worth a thread.
constexpr int kEntitiesPerBand = 4096;
constexpr int kRowsPerBand = 64;
constexpr int kMaxBands = 4;
// A dash pattern shorter than this many pixels is drawn as a whole line.
constexpr double kMinDashPeriod = 4;

class CallbackSink {
public:
    CallbackSink(const SegmentFn& line, const DotFn& dot) : line_(line), dot_(dot) {}
    bool inside(const QRectF&) const { return false; }
    void line(QPointF a, QPointF b, bool) { line_(a, b); }
    void run(const QPointF* points, std::size_t count, bool mayLeave) { runAsLines(*this, points, count, mayLeave); }
    void dot(QPointF p) { dot_(p); }

private:
    const SegmentFn& line_;
    const DotFn& dot_;
};

}  // namespace

void traceSpace(const Viewport& viewport, const CadSpace& space, const SegmentFn& line, const DotFn& dot)
{
    CallbackSink sink(line, dot);
    trace(sink, viewport, space);
}

void paintSpace(QPainter& painter, const Viewport& viewport, const CadSpace& space)
{
    PainterSink sink(painter);
    trace(sink, viewport, space);
}

void paintEntities(QPainter& painter, const Viewport& viewport, const CadSpace& space,
                   const std::vector<int>& indices, const SpaceLook* look)
{
    PainterSink sink(painter);
    EntityTracer<PainterSink> tracer(sink, viewport);
    tracer.traceShapes();
    if (look && look->size() < space.count()) look = nullptr;
    for (const int i : indices) {
        if (i < 0 || i >= space.count() || !space.drawn(i)) continue;
        const auto k = static_cast<std::size_t>(i);
        tracer.setFace(look && k < look->faces.size() && look->faces[k] ? &look->textFaces[look->faces[k]] : nullptr);
        std::visit(tracer, space.at(i));
    }
}

void rasterizeSpace(QImage& image, QRgb color, const Viewport& viewport, const CadSpace& space, int first, int bands,
                    int threads, const SpaceLook* look)
{
    if (look && look->size() < space.count()) look = nullptr;
    // Each pattern in pixels at this zoom; one whose period is under a few
    // pixels is drawn whole, as its dashes could not be told apart.
    std::vector<std::vector<double>> pixelDashes;
    if (look)
        for (const std::vector<double>& pattern : look->dashes) {
            double period = 0;
            for (double d : pattern) period += std::abs(d);
            std::vector<double> px;
            if (period * viewport.scale() >= kMinDashPeriod && period * viewport.scale() < 1e7)
                for (double d : pattern) px.push_back(d * viewport.scale());
            pixelDashes.push_back(std::move(px));
        }
    if (image.isNull() || image.depth() != 32) return;
    uchar* const bits = image.bits();  // detached here, before any band writes
    const qsizetype stride = image.bytesPerLine();
    const int width = image.width(), height = image.height();
    const int count = space.count(), begin = std::clamp(first, 0, count);
    // A large drawing is drawn in bands of rows, one per core: each band
    // takes the entities that reach it, and they write to rows of their own.
    const int cores = std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxBands);
    if (bands <= 0)
        bands = std::clamp(std::min((count - begin) / kEntitiesPerBand, height / kRowsPerBand), 1,
                           threads > 0 ? std::min(threads, kMaxBands) : cores);
    bands = std::clamp(bands, 1, std::max(height, 1));
    threads = std::clamp(threads > 0 ? threads : bands, 1, bands);
    const auto top = [&](int i) { return int(std::int64_t(height) * i / bands); };
    // Each band is drawn whole by one thread, its entities in the drawing's
    // order, so where two of them meet the later one is on top whatever the
    // threads do. A thread takes the next band nobody has taken until none
    // is left: a core the system slows down leaves its bands to the others.
    const auto drawBand = [&](int b) {
        const int from = top(b), to = top(b + 1);
        RasterSink sink(bits, stride, width, height, color, from, to);
        // What reaches the band's rows, and a pixel more: what the sink cuts
        // to them is exact.
        const QRectF area = bands == 1 ? QRectF(QPointF(), viewport.size()) : QRectF(0, from - 1.5, width, to - from + 2);
        EntityTracer<RasterSink> tracer(sink, viewport, area);
        DashSink<RasterSink> dashes(sink, area);
        EntityTracer<DashSink<RasterSink>> dashedTracer(dashes, viewport, area);
        // The band's part of the plane, two pixels wider all round: an
        // entity whose reach misses it lights no pixel of the band (a curve's
        // pixels lie within a pixel of it), and is left out unread.
        const Bounds world = viewport.worldBounds(area);
        const double pad = 2 / viewport.scale();
        const double minX = world.minX - pad, minY = world.minY - pad, maxX = world.maxX + pad,
                     maxY = world.maxY + pad;
        const CadSpace::Reach* const reaches = space.reaches().data();
        for (int i = begin; i < count; ++i) {
            const CadSpace::Reach& r = reaches[i];
            if (!(r.maxY >= minY && r.minY <= maxY && r.maxX >= minX && r.minX <= maxX)) continue;
            if (!look) {
                std::visit(tracer, space.at(i));
                continue;
            }
            const auto k = static_cast<std::size_t>(i);
            sink.setColor(inkRgb(look->inks[k], color));
            const TextFace* face = k < look->faces.size() && look->faces[k] ? &look->textFaces[look->faces[k]] : nullptr;
            tracer.setFace(face);
            dashedTracer.setFace(face);
            const std::vector<double>& pattern = pixelDashes[look->patterns[k]];
            if (pattern.empty()) {
                std::visit(tracer, space.at(i));
            } else {
                dashes.start(&pattern);
                std::visit(dashedTracer, space.at(i));
            }
        }
    };
    std::atomic<int> nextBand{0};
    const auto work = [&] {
        for (int b; (b = nextBand.fetch_add(1, std::memory_order_relaxed)) < bands;) drawBand(b);
    };
    std::vector<std::thread> others;
    others.reserve(std::size_t(threads - 1));
    // A thread the system refuses leaves its bands to the others.
    for (int i = 1; i < threads; ++i) {
        try {
            others.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& t : others) t.join();
}

int lineweightPixels(int lineweight)
{
    if (lineweight <= 25) return 1;
    return std::max(1, static_cast<int>(std::lround(lineweight / 100.0 / 25.4 * 96)));
}

namespace {

// A pen for a shape's style: its ink, its width when line weights show,
// and its dashes at this zoom (none when a period would be under a few
// pixels, or longer than any view).
QPen shapePen(const ShapeStyle& style, QColor foreground, const DrawingExtras& extras, double scale,
              bool lineweights)
{
    QColor ink = style.ink == dxf::kForegroundInk ? foreground : QColor::fromRgb(QRgb(style.ink));
    ink.setAlpha(style.alpha);
    const int width = lineweights ? lineweightPixels(style.lineweight) : 1;
    QPen pen(ink, width == 1 ? 0 : width);
    pen.setCapStyle(Qt::FlatCap);
    if (style.linetype == 0 || style.linetype >= extras.linetypes.size()) return pen;
    const std::vector<double>& pattern = extras.linetypes[style.linetype];
    const double k = scale * style.linetypeScale / width;  // pen widths per drawing unit
    double period = 0;
    for (double d : pattern) period += std::abs(d);
    if (!(period * k * width >= kMinDashPeriod) || !(period * k * width < 1e6)) return pen;
    // Dashes (a dot is a short one) and gaps, alternating from a dash; a
    // pattern that starts with a gap starts where the gap does.
    std::vector<std::pair<bool, double>> runs;  // dash?, length in pen widths
    for (double d : pattern) {
        const bool isDash = d >= 0;
        const double len = std::max(isDash ? 1.0 / width : 0.0, std::abs(d) * k);
        if (!runs.empty() && runs.back().first == isDash) runs.back().second += len;
        else runs.emplace_back(isDash, len);
    }
    double offset = 0, total = 0;
    for (const auto& r : runs) total += r.second;
    if (!runs.front().first) {
        const auto gap = runs.front();
        runs.erase(runs.begin());
        if (!runs.empty() && !runs.back().first) runs.back().second += gap.second;
        else runs.push_back(gap);
        offset = total - gap.second;
    }
    if (runs.size() % 2 == 1) {  // starts and ends with a dash: one dash
        const auto last = runs.back();
        runs.pop_back();
        if (runs.empty()) return pen;
        runs.front().second += last.second;
        offset = std::fmod(offset + last.second, total);
    }
    QList<qreal> dashes;
    for (const auto& r : runs) dashes.push_back(r.second);
    if (dashes.size() < 2) return pen;
    pen.setDashPattern(dashes);
    pen.setDashOffset(offset);
    return pen;
}

// One-pixel opaque lines of the shapes written straight into a 32-bit
// image, as rasterizeSpace writes the entities: QPainter spends most of its
// time per call, and a drawing may hold tens of thousands of hatches. The
// dashes are shapePen's: the pattern in pixels, started afresh on each
// polyline and on each hatch pattern line.
class ShapeLines {
public:
    ShapeLines(QImage& image, QRgb foreground, const DrawingExtras& extras, double scale, bool lineweights)
        : sink_(image.bits(), image.bytesPerLine(), image.width(), image.height(), foreground, 0, image.height()),
          dashes_(sink_, QRectF(0, 0, image.width(), image.height())),
          extras_(extras),
          foreground_(foreground),
          scale_(scale),
          lineweights_(lineweights)
    {
    }
    static bool canDraw(const QImage& image)
    {
        const QImage::Format f = image.format();
        return !image.isNull() && (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
                                   f == QImage::Format_ARGB32_Premultiplied);
    }
    // Takes the style for the lines that follow; false when they need a
    // QPainter (a veil, or lines wider than a pixel).
    bool use(const ShapeStyle& style)
    {
        if (style.alpha != 255 || (lineweights_ && lineweightPixels(style.lineweight) != 1)) return false;
        sink_.setColor(inkRgb(style.ink, foreground_));
        if (!patternFor_ || patternFor_->linetype != style.linetype || patternFor_->linetypeScale != style.linetypeScale) {
            pattern_.clear();
            if (style.linetype != 0 && style.linetype < extras_.linetypes.size()) {
                const std::vector<double>& dashes = extras_.linetypes[style.linetype];
                const double k = scale_ * style.linetypeScale;
                double period = 0;
                for (double d : dashes) period += std::abs(d);
                if (period * k >= kMinDashPeriod && period * k < 1e6)
                    for (double d : dashes) pattern_.push_back(d * k);
            }
            patternFor_ = style;
        }
        return true;
    }
    // A hatch pattern line: neighbouring hatches of one pattern share its
    // lines, so they are drawn on their true course (RasterSink::trueLine).
    void line(QPointF a, QPointF b)
    {
        if (pattern_.empty()) {
            sink_.trueLine(a, b);
            return;
        }
        dashes_.start(&pattern_);
        dashes_.line(a, b, true);
    }
    void polyline(const QPolygonF& points)
    {
        if (!pattern_.empty()) dashes_.start(&pattern_);
        for (qsizetype i = 1; i < points.size(); ++i) {
            if (pattern_.empty()) sink_.line(points[i - 1], points[i], true);
            else dashes_.line(points[i - 1], points[i], true);
        }
    }
    void dot(QPointF p) { sink_.dot(p); }

private:
    RasterSink sink_;
    DashSink<RasterSink> dashes_;
    const DrawingExtras& extras_;
    QRgb foreground_;
    double scale_;
    bool lineweights_;
    std::optional<ShapeStyle> patternFor_;
    std::vector<double> pattern_;  // pixels; empty: a whole line
};

}  // namespace

void paintExtras(QImage& image, QColor color, const Viewport& viewport, const DrawingExtras& extras, bool lineweights)
{
    if (extras.outlines.empty() && extras.fills.empty() && extras.texts.empty() && extras.segments.empty()) return;
    std::optional<ShapeLines> direct;  // before the painter: bits() detaches the image
    if (ShapeLines::canDraw(image)) direct.emplace(image, color.rgb(), extras, viewport.scale(), lineweights);
    QPainter p(&image);
    const QRectF view(QPointF(-2, -2), QSizeF(viewport.size()) + QSizeF(4, 4));
    const auto screen = [&](const std::vector<Point2>& pts) {
        QPolygonF poly;
        poly.reserve(static_cast<qsizetype>(pts.size()));
        for (const Point2& q : pts) poly << viewport.toScreen(q[0], q[1]);
        return poly;
    };
    const auto inkOf = [&](const ShapeStyle& style) {
        QColor ink = style.ink == dxf::kForegroundInk ? color : QColor::fromRgb(QRgb(style.ink));
        ink.setAlpha(style.alpha);
        return ink;
    };
    p.setPen(Qt::NoPen);
    for (std::size_t i = 0; i < extras.fills.size(); ++i) {
        const QPolygonF poly = screen(extras.fills[i]);
        if (!poly.boundingRect().intersects(view)) continue;
        p.setBrush(inkOf(i < extras.fillStyles.size() ? extras.fillStyles[i] : ShapeStyle{}));
        p.drawPolygon(poly, Qt::OddEvenFill);
    }
    p.setBrush(Qt::NoBrush);
    std::vector<QLineF> lines;
    for (const SegmentRun& run : extras.segmentRuns) {
        lines.clear();
        for (std::size_t i = run.begin; i + 1 < run.end && i + 1 < extras.segments.size(); i += 2) {
            const QLineF l(viewport.toScreen(extras.segments[i][0], extras.segments[i][1]),
                           viewport.toScreen(extras.segments[i + 1][0], extras.segments[i + 1][1]));
            if (std::max(l.x1(), l.x2()) < view.left() || std::min(l.x1(), l.x2()) > view.right() ||
                std::max(l.y1(), l.y2()) < view.top() || std::min(l.y1(), l.y2()) > view.bottom())
                continue;
            lines.push_back(l);
        }
        if (lines.empty()) continue;
        if (direct && direct->use(run.style)) {
            for (const QLineF& l : lines) direct->line(l.p1(), l.p2());
            continue;
        }
        p.setPen(shapePen(run.style, color, extras, viewport.scale(), lineweights));
        p.drawLines(lines.data(), static_cast<int>(lines.size()));
    }
    std::optional<ShapeStyle> penFor;
    for (std::size_t i = 0; i < extras.outlines.size(); ++i) {
        const auto& line = extras.outlines[i];
        const QPolygonF poly = screen(line);
        const QRectF box = poly.boundingRect();
        if (poly.isEmpty() || !box.adjusted(-1, -1, 1, 1).intersects(view)) continue;
        const ShapeStyle style = i < extras.outlineStyles.size() ? extras.outlineStyles[i] : ShapeStyle{};
        if (direct && direct->use(style)) {
            if (box.width() < 1 && box.height() < 1)
                direct->dot(poly.front());
            else
                direct->polyline(poly);
            continue;
        }
        if (!penFor || penFor->ink != style.ink || penFor->lineweight != style.lineweight ||
            penFor->linetype != style.linetype || penFor->linetypeScale != style.linetypeScale ||
            penFor->alpha != style.alpha) {
            p.setPen(shapePen(style, color, extras, viewport.scale(), lineweights));
            penFor = style;
        }
        if (box.width() < 1 && box.height() < 1)
            p.drawPoint(poly.front());
        else
            p.drawPolyline(poly);
    }
    for (const ShownText& t : extras.texts) paintText(p, color, viewport, t);
}

}  // namespace tessik::cadhost
