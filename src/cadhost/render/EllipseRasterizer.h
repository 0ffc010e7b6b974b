#pragma once
// Ellipses and their parts written straight into a 32-bit image, without chords. Where
// the ellipse runs within 45 degrees of horizontal it is cut by columns,
// elsewhere by rows, and in each column (row) the pixel nearest each crossing
// is lit: one square root per two pixels, two lines at a time, no division
// per pixel. Every lit pixel lies within half a pixel of the ellipse, and the
// pixels are 8-connected (the stretches cut by columns and by rows overlap
// by a line where they meet).
//
// A part of an ellipse (an arc) keeps, of each stretch, the lines whose
// crossing lies on the part, and lights the pixels nearest its two ends,
// which joins the last crossing of each end to it.
//
// With a clip, only the pixels inside it are lit, and the lines that miss
// it are not cut at all: an ellipse that crosses the clip's edge (a band's
// rows, the view's edge) lights exactly the pixels it lights unclipped
// there, at a cost bounded by the clip's size rather than the ellipse's.

#include <numbers>

#include <QImage>
#include <QPointF>

namespace tessik::cadhost {

class EllipseRasterizer {
public:
    EllipseRasterizer(uchar* bits, qsizetype stride, QRgb color) : bits_(bits), stride_(stride), color_(color) {}

    // Lights only the pixels in columns left to right - 1 and rows top to
    // bottom - 1 (left and top at least 0), which must lie in the image.
    void clip(int left, int top, int right, int bottom);

    // The points centre + u cos t + w sin t (screen coordinates). The
    // smaller radius must be at least kMinRadius and the largest at most
    // kMaxRadius; without a clip, the caller keeps the ellipse's box, grown
    // by a pixel, inside the image.
    // Of it, the part from parameter start over span (span positive; 2 pi
    // or more is the whole ellipse).
    void draw(QPointF centre, QPointF u, QPointF w, double start = 0, double span = 2 * std::numbers::pi);

    static constexpr double kMinRadius = 0.1;
    // Past this the crossings lose too many digits to round to the pixel.
    static constexpr double kMaxRadius = 1 << 20;

private:
    struct Stretch;
    // The stretch's lines from first to last (line indices) at most.
    void cut(const Stretch& s, qsizetype first, qsizetype last);
    // The lines of the stretch whose crossing lies on the part over span:
    // o0 and o1 are the line coordinates of its ends (x for columns, from
    // the centre), in0 and in1 whether they lie on the stretch's half.
    void cutPart(const Stretch& s, bool descending, double span, double o0, double o1, bool in0, bool in1);
    void pixel(QPointF p);

    uchar* bits_;
    qsizetype stride_;
    QRgb color_;
    bool clipped_ = false;
    int left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
};

}  // namespace tessik::cadhost
