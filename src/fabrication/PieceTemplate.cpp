#include "PieceTemplate.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "NumberText.h"
#include "PortableMath.h"

namespace tessik {
namespace {

constexpr double kPiFull = std::numbers::pi;
constexpr double kMarkClearance = 1.5;  // mm between a mark and a cut edge
constexpr double kShortestMark = 3;     // mm of piece a mark needs across it, 1 of them drawn

Error cannotDraw(const std::string& why) { return Error{errc::kInvalidProcedureCall, "无法展开：" + why, "fabrication"}; }

// Quarter turns from the extrados to the seam.
int seamQuarter(SeamPosition seam) { return seam == SeamPosition::extrados ? 0 : seam == SeamPosition::side ? 1 : 2; }

// A length along the pipe at template x on a surface of half-diameter rho:
// (R + rho cos phi) tan theta with phi = x / rhoTemplate + the seam's angle.
// The seam's quarter turn is taken by identity, so an extrados seam gives the
// very bits of the ordinate table.
struct CutCurve {
    double radius = 0;       // R
    double rhoTemplate = 0;  // half the template diameter: x / rhoTemplate is phi
    double tangent = 0;      // tan theta
    int seam = 0;            // quarter turns

    double cosPhi(double x) const
    {
        const double u = x / rhoTemplate;
        switch (seam) {
        case 1: return -math::sin(u);
        case 2: return -math::cos(u);
        default: return math::cos(u);
        }
    }
    double at(double x, double rho) const { return (radius + rho * cosPhi(x)) * tangent; }
    double operator()(double x) const { return at(x, rhoTemplate); }

    // |y''| <= tan theta rho / rhoTemplate^2 for the widest surface drawn, and
    // a chord of length h under a curve with |y''| <= k strays at most k h^2 / 8.
    int segments(double width, double widestRho) const
    {
        const double curvature = tangent * widestRho / (rhoTemplate * rhoTemplate);
        const double chord = std::sqrt(8 * kChordError / curvature);
        const double n = std::ceil(width / chord / 4) * 4;  // quarter points are vertices
        return n > kMaxSegmentsPerCut ? -1 : std::max(32, static_cast<int>(n));  // smooth on small pipe too
    }
};

// What shapes one piece's template.
struct Shape {
    const ElbowFabrication& f;
    const CutCurve& cut;
    int n = 0;             // chords per cut
    double along = 0;      // how far a mitre cut line moves out for the kerf
    double square = 0;     // how far a square cut moves out: half the kerf
    bool plate = false;
    double textHeight = 0;

    double xAt(int i) const { return i == n ? f.templateWidth : f.templateWidth * i / n; }
};

std::string label(const ElbowFabrication& f, const PieceLengths& p, const TemplateOptions& o)
{
    std::string s = pieceName(p.kind) + " × " + std::to_string(p.count) + "  外径 " + doubleToText(f.outerDiameter) +
                    "  样板直径 " + doubleToText(f.templateDiameter) + "  切角 " + doubleToText(f.cutAngle) +
                    "°  接缝 " + seamName(o.seam);
    if (o.kerf > 0)
        s += "  割缝 " + doubleToText(o.kerf) + " mm（切割线已外移半个割缝）";
    if (f.templateKind == TemplateDiameterKind::plate) s += "  钢板：切割线按中径展开，另画外表面线与内表面线";
    return s;
}

// The finished piece's lower and upper edge at x (no kerf).
double lowerEdge(const Shape& s, PieceKind kind, double x) { return kind == PieceKind::end ? 0 : -s.cut(x); }
double upperEdge(const Shape& s, double x) { return s.cut(x); }

std::vector<TemplatePoint> outline(const Shape& s, PieceKind kind)
{
    const double w = s.f.templateWidth;
    const double side = s.plate ? s.square : 0;  // a plate's seam edges are cut too
    std::vector<TemplatePoint> o;
    const auto edge = [&](double x, double y) {
        if (side > 0) o.push_back({x, y});
    };
    if (kind == PieceKind::end) {
        o.push_back({-side, -s.square});
        o.push_back({w + side, -s.square});
    } else {
        edge(-side, -s.cut(0) - s.along);
        for (int i = 0; i <= s.n; ++i) o.push_back({s.xAt(i), -s.cut(s.xAt(i)) - s.along});
        edge(w + side, -s.cut(w) - s.along);
    }
    edge(w + side, s.cut(w) + s.along);
    for (int i = s.n; i >= 0; --i) o.push_back({s.xAt(i), s.cut(s.xAt(i)) + s.along});
    edge(-side, s.cut(0) + s.along);
    return o;
}

// A line across the piece at x, clear of both cut edges; none where the piece
// is too narrow to hold one.
void markAcross(const Shape& s, PieceTemplate& t, double x)
{
    const double low = lowerEdge(s, t.kind, x), high = upperEdge(s, x);
    if (!(high - low >= kShortestMark)) return;
    const double clearance = std::min(kMarkClearance, (high - low) / 3);
    t.marks.push_back({{x, low + clearance}, {x, high - clearance}});
}

const char* quarterName(int quarter)
{
    static const char* names[] = {"外侧 0°", "90°", "内侧 180°", "270°"};
    return names[quarter];
}

// Quarter lines (the seam's is the template's edge), station lines at the
// ordinate table's rows with their numbers, and the middle piece's centre line.
void addMarks(const Shape& s, PieceTemplate& t)
{
    const double w = s.f.templateWidth;
    const int divisions = s.f.ordinates.divisions;
    const double stationHeight = std::min(0.6 * s.textHeight, 0.6 * w / divisions);
    // A note only where it stands inside the piece, clear of both cut edges
    // along its whole width.
    const auto note = [&](const std::string& text, double x, double y, double h) {
        if (h < 0.8) return;
        const double wide = approximateTextWidth(text, h);
        for (int i = 0; i <= 4; ++i) {
            const double at = std::min(x + wide * i / 4, w);
            if (y < lowerEdge(s, t.kind, at) + kMarkClearance / 2 || y + h > upperEdge(s, at) - kMarkClearance / 2) return;
        }
        t.notes.push_back({text, {x, y}, h});
    };
    for (int q = 0; q < 4; ++q) {
        const int at = ((q - s.cut.seam) % 4 + 4) % 4;  // quarter of the template width
        if (at == 0) continue;
        const double x = s.xAt(s.n / 4 * at);
        markAcross(s, t, x);
        const double high = upperEdge(s, x);
        note(quarterName(q), x + 0.3 * s.textHeight, high - kMarkClearance - 1.2 * s.textHeight, 0.8 * s.textHeight);
    }
    for (int k = 0; k < divisions; ++k) {
        // Station k lies k / divisions of a turn from the extrados.
        const long long quarterSteps = ((4LL * k - static_cast<long long>(s.cut.seam) * divisions) % (4LL * divisions) +
                                        4LL * divisions) % (4LL * divisions);
        const double x = w * static_cast<double>(quarterSteps) / (4.0 * divisions);
        if (4LL * k % divisions != 0) markAcross(s, t, x);
        if (quarterSteps != 0)
            note(std::to_string(k), x + 0.25 * stationHeight, lowerEdge(s, t.kind, x) + kMarkClearance, stationHeight);
    }
    if (t.kind == PieceKind::middle && s.f.bendRadius - s.f.templateDiameter / 2 > kMarkClearance)
        t.marks.push_back({{kMarkClearance, 0}, {w - kMarkClearance, 0}});
}

// The outside and inside surface lines of a plate template.
void addSurfaceLines(const Shape& s, PieceTemplate& t)
{
    if (!s.plate || !s.f.wall) return;
    const double outer = s.f.outerDiameter / 2;
    for (const double rho : {outer, outer - *s.f.wall}) {
        for (const double sign : {1.0, -1.0}) {
            if (sign < 0 && t.kind == PieceKind::end) continue;
            std::vector<TemplatePoint> line;
            for (int i = 0; i <= s.n; ++i) line.push_back({s.xAt(i), sign * s.cut.at(s.xAt(i), rho)});
            t.surfaceLines.push_back(std::move(line));
        }
    }
}

// The height a name `wide` em long may have from `anchor` in `direction`
// (+1 rightwards, -1 leftwards), inside the piece: up to `most`, and the
// piece's least height under the whole name bounds it (a middle piece's name
// stands above its centre line).
double nameHeight(const Shape& s, bool middle, double anchor, int direction, double wide, double most)
{
    const auto narrowest = [&](double h) {
        double least = upperEdge(s, anchor);
        for (int i = 1; i <= 16; ++i) least = std::min(least, upperEdge(s, anchor + direction * wide * h * i / 16));
        return least;
    };
    const auto bound = [&](double h) {
        const double n = narrowest(h);
        return std::min(most, middle ? 0.4 * (n - kMarkClearance) : 0.3 * n);
    };
    // The largest h with h <= bound(h): bound falls as h grows.
    if (!(most > 0)) return 0;
    if (bound(most) >= most) return most;
    double low = 0, high = most;
    for (int round = 0; round < 30; ++round) {
        const double middleH = (low + high) / 2;
        (bound(middleH) >= middleH ? low : high) = middleH;
    }
    return low;
}

// The piece's name inside it: in the eighth to three eighths of a turn beside
// the extrados, or, where the piece is too narrow there, right beside the
// extrados (past the seam's note when the seam is there), whichever holds
// the larger name; and the seam named at both edges.
void addNames(const Shape& s, PieceTemplate& t)
{
    const double w = s.f.templateWidth;
    const double extrados = w * ((4 - s.cut.seam) % 4) / 4;
    const bool middle = t.kind == PieceKind::middle;
    const std::string seam = "接缝";
    const double room = middle ? upperEdge(s, 0) - kMarkClearance : upperEdge(s, 0);
    const double hs = std::min(0.8 * s.textHeight, 0.3 * room);
    const double seamNote = hs >= 0.8 ? kMarkClearance + 0.5 * hs + approximateTextWidth(seam, hs) : 0;

    const double wide = approximateTextWidth(t.name, 1);
    struct Place {
        double anchor;
        int direction;
        double h;
    };
    const int away = extrados + w / 4 <= w ? 1 : -1;  // from the extrados towards the longer stretch
    const double wideOff = extrados + 3 * w / 8 <= w ? extrados + w / 8 : extrados - w / 8;
    Place best{wideOff, extrados + 3 * w / 8 <= w ? 1 : -1, 0};
    best.h = nameHeight(s, middle, best.anchor, best.direction, wide, std::min(1.4 * s.textHeight, w / 4 / wide));
    // Beside the extrados the name keeps clear of the seam's note where the
    // seam is at the extrados or a quarter turn on.
    const double gap = (extrados == 0 ? seamNote : 0) + 0.5 * s.textHeight;
    const double near = extrados + away * gap;
    const double length = w / 4 - gap - (extrados + w / 4 >= w ? seamNote : 0);
    if (length > 0) {
        const double h = nameHeight(s, middle, near, away, wide, std::min(1.4 * s.textHeight, length / wide));
        if (h > best.h) best = {near, away, h};
    }
    if (best.h >= 1) {
        const double left = best.direction > 0 ? best.anchor : best.anchor - wide * best.h;
        double narrowest = upperEdge(s, best.anchor);
        for (int i = 1; i <= 16; ++i)
            narrowest = std::min(narrowest, upperEdge(s, best.anchor + best.direction * wide * best.h * i / 16));
        t.notes.push_back({t.name, {left, middle ? kMarkClearance : (narrowest - best.h) / 2}, best.h});
    }
    if (hs >= 0.8) {
        const double y = middle ? -kMarkClearance - hs : (upperEdge(s, 0) - hs) / 2;
        t.notes.push_back({seam, {kMarkClearance + 0.5 * hs, y}, hs});
        t.notes.push_back({seam, {w - kMarkClearance - 0.5 * hs - approximateTextWidth(seam, hs), y}, hs});
    }
}

PieceTemplate pieceTemplate(const Shape& s, const PieceLengths& p, const TemplateOptions& o)
{
    PieceTemplate t;
    t.kind = p.kind;
    t.count = p.count;
    t.name = pieceNames(s.f, p.kind);
    t.outline = outline(s, p.kind);
    addMarks(s, t);
    addSurfaceLines(s, t);
    addNames(s, t);
    t.label = label(s.f, p, o);
    return t;
}

void moveBy(PieceTemplate& t, double dx, double dy)
{
    const auto move = [&](TemplatePoint& v) {
        v.x += dx;
        v.y += dy;
    };
    for (TemplatePoint& v : t.outline) move(v);
    for (TemplateSegment& s : t.marks) {
        move(s.start);
        move(s.end);
    }
    for (auto& line : t.surfaceLines)
        for (TemplatePoint& v : line) move(v);
    for (TemplateText& n : t.notes) move(n.at);
    move(t.labelAt);
}

}  // namespace

double approximateTextWidth(const std::string& text, double height)
{
    double em = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) em += 0.6;
        else if (c >= 0xe0) em += 1;    // a CJK character or sign, three bytes and more
        else if (c >= 0xc0) em += 0.6;  // "°" and other two-byte signs
    }
    return em * height;
}

std::string seamName(SeamPosition seam)
{
    switch (seam) {
    case SeamPosition::side: return "侧面";
    case SeamPosition::intrados: return "内侧（短边）";
    default: return "外侧（长边）";
    }
}

std::string pieceNames(const ElbowFabrication& f, PieceKind kind)
{
    const int middle = f.joints - 1;
    if (kind == PieceKind::end) return pieceName(kind) + "（第 1、" + std::to_string(middle + 2) + " 节）";
    if (middle == 1) return pieceName(kind) + "（第 2 节）";
    return pieceName(kind) + "（第 2 至 " + std::to_string(middle + 1) + " 节）";
}

std::optional<Error> templateOptionsProblem(const TemplateOptions& o)
{
    if (!(o.kerf >= 0 && o.kerf <= kMaxKerf))
        return cannotDraw("割缝须在 0 到 " + doubleToText(kMaxKerf) + " mm 之间，现为 " + doubleToText(o.kerf) + " mm。");
    return std::nullopt;
}

Result<TemplateSheet> templateSheet(const ElbowFabrication& f, const TemplateOptions& options)
{
    // The cut planes of a joint meet on the bend's axis, R from the pipe's
    // axis. Below half the outer diameter that line runs inside the pipe:
    // neighbouring cuts cross there, through the opposite wall, and a
    // template would cross itself, whichever diameter it is drawn for.
    if (f.bendRadius < f.outerDiameter / 2)
        return cannotDraw("曲率半径 " + doubleToText(f.bendRadius) + " mm 小于外径的一半 " +
                          doubleToText(f.outerDiameter / 2) +
                          " mm，相邻两道切口在管内相交、切穿对面管壁，样板会自相交叉。请把曲率半径加大到至少外径的一半。");
    if (auto problem = templateOptionsProblem(options)) return *problem;
    const double tangent = math::tan(f.cutAngle / 180 * kPiFull);
    const CutCurve cut{f.bendRadius, f.templateDiameter / 2, tangent, seamQuarter(options.seam)};
    const bool plate = f.templateKind == TemplateDiameterKind::plate;
    const int n = cut.segments(f.templateWidth, plate ? f.outerDiameter / 2 : f.templateDiameter / 2);
    if (n < 0)
        return cannotDraw("样板曲线需要超过 " + std::to_string(kMaxSegmentsPerCut) + " 段才能达到 0.05 mm 精度。");

    const double textHeight = std::clamp(f.templateWidth / 120, 2.5, 30.0);
    const Shape shape{f, cut, n, options.kerf / 2 / math::cos(f.cutAngle / 180 * kPiFull), options.kerf / 2, plate,
                      textHeight};
    const double side = plate ? shape.square : 0;
    TemplateSheet sheet;
    sheet.width = f.templateWidth + 2 * side;
    double top = 0;  // top of what is laid out so far
    for (const PieceLengths& p : f.pieces) {
        PieceTemplate t = pieceTemplate(shape, p, options);
        double low = t.outline.front().y;
        double high = low;
        const auto take = [&](const TemplatePoint& v) {
            low = std::min(low, v.y);
            high = std::max(high, v.y);
        };
        // A plate's surface line may run just outside the cut, by half the wall times tan theta.
        for (const TemplatePoint& v : t.outline) take(v);
        for (const auto& line : t.surfaceLines)
            for (const TemplatePoint& v : line) take(v);
        t.labelHeight = textHeight;
        t.labelAt = {-side, low - 1.6 * textHeight};
        const double gap = top == 0 ? 0 : 2 * textHeight;
        moveBy(t, side, top + gap - t.labelAt.y + 0.4 * textHeight);
        top += gap + (high - low) + 2 * textHeight;
        sheet.pieces.push_back(std::move(t));
    }
    sheet.height = top;
    return sheet;
}

}  // namespace tessik
