#pragma once
// Whole ellipses written straight into a 32-bit image, without chords. Where
// the ellipse runs within 45 degrees of horizontal it is cut by columns,
// elsewhere by rows, and in each column (row) the pixel nearest each crossing
// is lit: one square root per two pixels, two lines at a time, no division
// per pixel. Every lit pixel lies within half a pixel of the ellipse, and the
// pixels are 8-connected (the stretches cut by columns and by rows overlap
// by two lines where they meet).

#include <QImage>
#include <QPointF>

namespace tessik::cadhost {

class EllipseRasterizer {
public:
    EllipseRasterizer(uchar* bits, qsizetype stride, QRgb color) : bits_(bits), stride_(stride), color_(color) {}

    // The points centre + u cos t + w sin t (screen coordinates). The
    // smaller radius must be at least kMinRadius, and the caller keeps the
    // ellipse's box, grown by a pixel, inside the image.
    void draw(QPointF centre, QPointF u, QPointF w);

    static constexpr double kMinRadius = 0.1;

private:
    static constexpr int kBatch = 64;
    struct Stretch;
    void cut(const Stretch& s);

    uchar* bits_;
    qsizetype stride_;
    QRgb color_;
};

}  // namespace tessik::cadhost
