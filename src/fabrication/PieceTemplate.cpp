#include "PieceTemplate.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "NumberText.h"
#include "PortableMath.h"

namespace tessik {
namespace {

// Half the length of a middle piece, the length of an end piece, at x.
struct CutCurve {
    double radius = 0;   // R
    double rho = 0;      // half the template diameter
    double tangent = 0;  // tan theta
    double operator()(double x) const { return (radius + rho * math::cos(x / rho)) * tangent; }
    // |y''| <= tan theta / rho, and a chord of length h under a curve with
    // |y''| <= k strays at most k h^2 / 8 from it.
    int segments(double width) const
    {
        const double curvature = tangent / rho;
        const double chord = std::sqrt(8 * kChordError / curvature);
        const double n = std::ceil(width / chord / 4) * 4;  // quarter points are vertices
        return n > kMaxSegmentsPerCut ? -1 : std::max(32, static_cast<int>(n));  // smooth on small pipe too
    }
};

std::string label(const ElbowFabrication& f, const PieceLengths& p)
{
    return pieceName(p.kind) + " × " + std::to_string(p.count) + "  外径 " + doubleToText(f.outerDiameter) +
           "  样板直径 " + doubleToText(f.templateDiameter) + "  切角 " + doubleToText(f.cutAngle) + "°";
}

// The piece in its own frame: x from 0 to the width, y as the header says.
PieceTemplate pieceTemplate(const ElbowFabrication& f, const PieceLengths& p, const CutCurve& cut, int n)
{
    const double w = f.templateWidth;
    const auto xAt = [&](int i) { return i == n ? w : w * i / n; };
    PieceTemplate t;
    t.kind = p.kind;
    t.count = p.count;
    if (p.kind == PieceKind::end) {
        t.outline.push_back({0, 0});
        t.outline.push_back({w, 0});
    } else {
        for (int i = 0; i <= n; ++i) t.outline.push_back({xAt(i), -cut(xAt(i))});
    }
    for (int i = n; i >= 0; --i) t.outline.push_back({xAt(i), cut(xAt(i))});
    for (int q = 0; q < 4; ++q) {
        const double x = xAt(n / 4 * q);
        const double top = cut(x);
        t.marks.push_back({{x, p.kind == PieceKind::end ? 0 : -top}, {x, top}});
    }
    if (p.kind == PieceKind::middle) t.marks.push_back({{0, 0}, {w, 0}});
    t.label = label(f, p);
    return t;
}

void moveBy(PieceTemplate& t, double dy)
{
    for (TemplatePoint& v : t.outline) v.y += dy;
    for (TemplateSegment& s : t.marks) {
        s.start.y += dy;
        s.end.y += dy;
    }
    t.labelAt.y += dy;
}

}  // namespace

Result<TemplateSheet> templateSheet(const ElbowFabrication& f)
{
    // Below half the outer diameter the cut planes of a joint meet inside the
    // pipe: the cuts run through the opposite wall and a template would cross itself.
    if (f.bendRadius < f.outerDiameter / 2)
        return Error{errc::kInvalidProcedureCall,
                     "无法展开：曲率半径 " + doubleToText(f.bendRadius) + " mm 小于外径的一半 " +
                         doubleToText(f.outerDiameter / 2) +
                         " mm，相邻两道切口在管内相交、切穿对面管壁，样板会自相交叉。请把曲率半径加大到至少外径的一半。",
                     "fabrication"};
    const CutCurve cut{f.bendRadius, f.templateDiameter / 2,
                       math::tan(f.cutAngle / 180 * std::numbers::pi)};
    const int n = cut.segments(f.templateWidth);
    if (n < 0)
        return Error{errc::kInvalidProcedureCall,
                     "无法展开：样板曲线需要超过 " + std::to_string(kMaxSegmentsPerCut) + " 段才能达到 0.05 mm 精度。",
                     "fabrication"};

    TemplateSheet sheet;
    sheet.width = f.templateWidth;
    const double textHeight = std::clamp(f.templateWidth / 120, 2.5, 30.0);
    double top = 0;  // top of what is laid out so far
    for (const PieceLengths& p : f.pieces) {
        PieceTemplate t = pieceTemplate(f, p, cut, n);
        double low = t.outline.front().y;
        double high = low;
        for (const TemplatePoint& v : t.outline) {
            low = std::min(low, v.y);
            high = std::max(high, v.y);
        }
        t.labelHeight = textHeight;
        t.labelAt = {0, low - 1.6 * textHeight};
        const double gap = top == 0 ? 0 : 2 * textHeight;
        moveBy(t, top + gap - t.labelAt.y + 0.4 * textHeight);
        top += gap + (high - low) + 2 * textHeight;
        sheet.pieces.push_back(std::move(t));
    }
    sheet.height = top;
    return sheet;
}

}  // namespace tessik
