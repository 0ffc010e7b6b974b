#include "render/TextPainter.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <tuple>

#include <QFont>
#include <QFontMetricsF>
#include <QLineF>
#include <QStringList>
#include <QTransform>

#include "EntityGeometry.h"

namespace tessik::cadhost {

namespace {

constexpr double kPi = std::numbers::pi;
// Fonts are measured at this many pixels of text height.
constexpr double kMeasureHeight = 100;

// f at the whole pixel size nearest to `em` pixels (hinted stems stay
// crisp; the cap height is within half a pixel of its own).
void sizeEm(QFont& f, double em) { f.setPixelSize(std::max(1, static_cast<int>(std::lround(em)))); }

const QString& fallbackFamily()
{
    static const QString family = QStringLiteral("WenQuanYi Micro Hei");
    return family;
}

QColor inkColor(dxf::Ink ink, QColor foreground)
{
    return ink == dxf::kForegroundInk ? foreground : QColor::fromRgb(QRgb(ink));
}

// The text's frame after the turn: letters stretched (or mirrored) by
// xScale and leaning by shear (x' = xScale x - shear y, y down).
QTransform letterFrame(double xScale, double shear) { return QTransform(xScale, 0, -shear, 1, 0, 0); }

// Fonts for the runs of one text, each made once.
class RunFonts {
public:
    RunFonts(const QString& family) : family_(family) {}

    // r's font for letters `pixels` high (cap height).
    QFont font(const TextRun& r, double pixels)
    {
        QFont f = base(r);
        sizeEm(f, pixels * measured(r).em);
        return f;
    }

    // The advance of s in r's font at height 1, natural width.
    double advance(const TextRun& r, std::string_view s)
    {
        return measured(r).metrics.horizontalAdvance(QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()))) /
               kMeasureHeight;
    }

private:
    using Key = std::tuple<std::string, bool, bool>;
    struct Measured {
        double em;
        QFontMetricsF metrics;
    };

    // r's face measured once: its em per cap height and its metrics at
    // kMeasureHeight of cap height, natural width.
    const Measured& measured(const TextRun& r)
    {
        const Key key{r.family, r.look.bold, r.look.italic};
        auto found = measured_.find(key);
        if (found == measured_.end()) {
            QFont f = base(r);
            f.setLetterSpacing(QFont::PercentageSpacing, 100);
            const double em = emPerTextHeight(f);
            f.setPixelSize(static_cast<int>(std::lround(kMeasureHeight * em)));
            found = measured_.emplace(key, Measured{em, QFontMetricsF(f)}).first;
        }
        return found->second;
    }

    QFont base(const TextRun& r) const
    {
        QFont f(r.family.empty() ? family_ : QString::fromStdString(r.family));
        f.setBold(r.look.bold);
        f.setItalic(r.look.italic);
        if (r.look.tracking != 1) f.setLetterSpacing(QFont::PercentageSpacing, r.look.tracking * 100);
        return f;
    }

    QString family_;
    std::map<Key, Measured> measured_;
};

// The runs of a text that has none of its own: one paragraph per line.
std::vector<TextRun> plainRuns(const std::string& text)
{
    std::vector<TextRun> runs;
    std::size_t from = 0;
    while (true) {
        const std::size_t end = text.find('\n', from);
        TextRun& r = runs.emplace_back();
        r.text = text.substr(from, end == std::string::npos ? std::string::npos : end - from);
        r.newParagraph = runs.size() > 1;
        if (end == std::string::npos) break;
        from = end + 1;
    }
    return runs;
}

void paintRuns(QPainter& p, QColor color, const ShownText& t, double pixels, const QString& family)
{
    const std::vector<TextRun> own = t.runs.empty() ? plainRuns(t.text) : std::vector<TextRun>{};
    const std::vector<TextRun>& runs = t.runs.empty() ? own : t.runs;
    RunFonts fonts(family);
    const double across = t.height * std::abs(t.xScale);
    const int column = (t.attachment - 1) % 3, row = (t.attachment - 1) / 3;
    const TextLayout laid = layoutText(runs, across > 0 ? t.width / across : 0, t.lineSpacing, column,
                                       [&](const TextRun& r, std::string_view s) { return fonts.advance(r, s); },
                                       t.columns);
    const double frame = laid.width * pixels, height = laid.height * pixels;
    const double left = column == 0 ? 0 : column == 1 ? -frame / 2 : -frame;
    const double top = row == 0 ? 0 : row == 1 ? -height / 2 : -height;
    for (const PlacedText& piece : laid.pieces) {
        const TextRun& r = runs[piece.run];
        const double size = piece.height * pixels;
        if (size < 1 || size > 4000) continue;  // unreadable, or far larger than the view
        const QFont font = fonts.font(r, size);
        p.setFont(font);
        p.setPen(QPen(inkColor(r.ink, color), 0));
        p.save();
        p.translate(left + piece.x * pixels, top + piece.baseline * pixels);
        p.setWorldTransform(letterFrame(r.look.widthFactor, std::tan(r.look.oblique * kPi / 180)), true);
        p.drawText(QPointF(0, 0), QString::fromStdString(piece.text));
        p.restore();
    }
    for (const PlacedLine& line : laid.lines) {
        p.setPen(QPen(inkColor(runs[line.run].ink, color), std::max(0.0, runs[line.run].look.height * pixels / 15)));
        p.drawLine(QLineF(left + line.x0 * pixels, top + line.y0 * pixels, left + line.x1 * pixels,
                          top + line.y1 * pixels));
    }
}

}  // namespace

// The Liberation faces stand in for Arial and Times New Roman, whose
// advances they share but not their capitals (Liberation Sans's are 4 %
// shorter): sized as the face they stand for (cap height 1467 and 1356 of
// 2048 units), a text is as wide, and breaks its lines where, the program
// that wrote it laid it out.
double emPerTextHeight(const QFont& font)
{
    const QString family = font.family();
    if (family == u"Liberation Sans") return 2048.0 / 1467;
    if (family == u"Liberation Serif") return 2048.0 / 1356;
    thread_local std::map<std::tuple<QString, bool, bool>, double> known;
    const auto key = std::make_tuple(family, font.bold(), font.italic());
    if (const auto found = known.find(key); found != known.end()) return found->second;
    QFont f = font;
    f.setPixelSize(static_cast<int>(kMeasureHeight));
    const double cap = QFontMetricsF(f).capHeight();
    // A face that gives no sensible cap height: 1.4, near what most have.
    const double em = cap > kMeasureHeight / 4 && cap <= kMeasureHeight ? kMeasureHeight / cap : 1.4;
    return known.emplace(key, em).first->second;
}

void paintText(QPainter& p, QColor color, const Viewport& viewport, const ShownText& t)
{
    const double pixels = t.height * viewport.scale();
    if (pixels < 2 || pixels > 4000) return;  // unreadable, or far larger than the view
    const QPointF at = viewport.toScreen(t.position[0], t.position[1]);
    const double reach = (pixels * 50 + t.width * viewport.scale()) * std::max(1.0, std::abs(t.xScale));
    const QRectF view(QPointF(-2, -2), viewport.size() + QSizeF(4, 4));
    if (!view.adjusted(-reach, -reach, reach, reach).contains(at)) return;
    const QString family = t.font.empty() ? fallbackFamily() : QString::fromStdString(t.font);
    p.save();
    if (t.attachment > 0) {
        p.translate(at);
        p.rotate(-t.rotation * 180 / kPi);
        p.setWorldTransform(letterFrame(t.xScale, t.shear), true);
        paintRuns(p, color, t, pixels, family);
        p.restore();
        return;
    }
    QFont font(family);
    sizeEm(font, pixels * emPerTextHeight(font));
    p.setFont(font);
    p.setPen(QPen(inkColor(t.ink, color), 0));
    const QStringList lines = QString::fromStdString(t.text).split(u'\n');
    if (lines.size() == 1 &&
        (t.horizontal != entities::TextHorizontal::Left || t.vertical != entities::TextVertical::Baseline)) {
        const QFontMetricsF metrics(font);
        entities::Text laid{{}, {t.position[0], t.position[1], 0}, t.height, t.rotation, t.horizontal, t.vertical,
                            {t.end[0], t.end[1], 0}};
        if (laid.horizontal != entities::TextHorizontal::Aligned && laid.horizontal != entities::TextHorizontal::Fit)
            laid.alignment = laid.insertion;
        const entities::TextPlacement placed =
            entities::placeText(laid, metrics.horizontalAdvance(lines[0]) * std::abs(t.xScale) / viewport.scale(),
                                metrics.descent() / viewport.scale());
        p.translate(viewport.toScreen(placed.origin[0], placed.origin[1]));
        p.rotate(-placed.rotation * 180 / kPi);
        p.scale(placed.xScale, placed.yScale);
        p.setWorldTransform(letterFrame(t.xScale, t.shear), true);
        p.drawText(QPointF(0, 0), lines[0]);
        p.restore();
        return;
    }
    p.translate(at);
    p.rotate(-t.rotation * 180 / kPi);
    p.setWorldTransform(letterFrame(t.xScale, t.shear), true);
    const double spacing = pixels * 1.667;
    for (int i = 0; i < lines.size(); ++i) p.drawText(QPointF(0, i * spacing), lines[i]);
    p.restore();
}

}  // namespace tessik::cadhost
