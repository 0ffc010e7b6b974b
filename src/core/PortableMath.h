#pragma once
// The trigonometry every formula of the tool uses, the same bits on every
// platform. The C libraries differ in the last bit for some arguments (glibc
// and the Windows runtime disagree on tan, atan2, hypot ... for a few percent
// of them), and a round-trip number shows that bit: the two builds of a
// program would print different results for the same design. These compute
// in double-double arithmetic (about 100 bits, additions and products only,
// no fused multiply-add) and round once, so the result is the correctly
// rounded value in all but vanishingly rare cases, on every IEEE machine.
//
// Arguments beyond |x| = 2^20 (sin, cos, tan), which no drawing holds, and
// infinities and NaNs go to the C library.

namespace tessik::math {

double sin(double x);
double cos(double x);
double tan(double x);
double atan2(double y, double x);
double hypot(double x, double y);

}  // namespace tessik::math
