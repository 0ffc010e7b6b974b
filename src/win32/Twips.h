#pragma once
// The windows are laid out in twips (1/1440 inch): 15 to a pixel at 96 dots
// per inch, proportionally more on denser screens. Edges are converted, not
// sizes, so controls that touch in twips touch on screen at every scale.

#include "FormControls.h"

namespace tessik::win32 {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kStandardDpi = 96;

struct PixelRect {
    int left, top, width, height;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Nearest pixel; halves away from zero.
constexpr int twipsToPixels(int twips, int dpi)
{
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>(scaled >= 0 ? (scaled + kTwipsPerInch / 2) / kTwipsPerInch
                                        : -((-scaled + kTwipsPerInch / 2) / kTwipsPerInch));
}

constexpr PixelRect twipsToPixels(const TwipsRect& r, int dpi)
{
    const int left = twipsToPixels(r.left, dpi);
    const int top = twipsToPixels(r.top, dpi);
    return {left, top, twipsToPixels(r.left + r.width, dpi) - left, twipsToPixels(r.top + r.height, dpi) - top};
}

// A length meant in pixels at 96 dpi (a line's width), at least one pixel.
constexpr int scaledPixels(int pixelsAt96, int dpi)
{
    const int n = (pixelsAt96 * dpi + kStandardDpi / 2) / kStandardDpi;
    return n < 1 ? 1 : n;
}

}  // namespace tessik::win32
