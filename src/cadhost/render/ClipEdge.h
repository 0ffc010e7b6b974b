#pragma once
// One edge of Liang-Barsky clipping, for the raster clip, the dash clip and
// the hit test's box test.

#include <algorithm>

namespace tessik::cadhost {

// One edge of Liang-Barsky clipping of a + t d: narrows [t0, t1] to the
// edge's inner side (p, q as the method names them); false when nothing is left.
inline bool clipEdge(double p, double q, double& t0, double& t1)
{
    if (p == 0) return q >= 0;
    const double r = q / p;
    if (p < 0) {
        if (r > t1) return false;
        t0 = std::max(t0, r);
    } else {
        if (r < t0) return false;
        t1 = std::min(t1, r);
    }
    return true;
}

}  // namespace tessik::cadhost
