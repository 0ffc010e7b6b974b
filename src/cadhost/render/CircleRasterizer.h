#pragma once
// Whole circles written straight into a 32-bit image, without chords. Where
// the circle runs within 45 degrees of horizontal it is cut by columns,
// elsewhere by rows, and in each column (row) the pixels nearest the circle
// above and below (left and right of) the centre are lit. One square root
// gives four pixels: the two crossings and their mirror images across the
// centre's column (row), for which the centre is moved along the columns
// (rows) to the nearest half pixel. Across the circle that move is under a
// fifth of a pixel there, so every lit pixel lies within 0.7 pixel of the
// circle; the pixels are 8-connected (the parts cut by columns and by rows
// overlap by a line where they meet).

#include <QImage>
#include <QPointF>

namespace tessik::cadhost {

class CircleRasterizer {
public:
    CircleRasterizer(uchar* bits, qsizetype stride, QRgb color) : bits_(bits), stride_(stride), color_(color) {}

    // radius must be at least kMinRadius, and the caller keeps the circle's
    // box, grown by a pixel, inside the image.
    void draw(QPointF centre, double radius);

    static constexpr double kMinRadius = 1;

private:
    // along: the centre's coordinate across the lines (x for columns),
    // across: along each line; step and pitch: the byte offsets of the next
    // line and of the next pixel along one.
    void cut(double along, double across, double radius, qsizetype step, qsizetype pitch);

    uchar* bits_;
    qsizetype stride_;
    QRgb color_;
};

}  // namespace tessik::cadhost
