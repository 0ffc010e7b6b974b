#include "TemplateSvg.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tessik {
namespace {

// Always a decimal point: to_chars ignores the C locale, which a Qt program
// sets from the user's (a decimal comma would break every coordinate).
std::string mm(double v)
{
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::isfinite(v) ? v : 0.0,
                                         std::chars_format::fixed, 4);
    std::string s = ec == std::errc() ? std::string(buf, end) : std::string("0");
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

std::string escaped(const std::string& text)
{
    std::string s;
    for (const char c : text) {
        switch (c) {
        case '&': s += "&amp;"; break;
        case '<': s += "&lt;"; break;
        case '>': s += "&gt;"; break;
        case '"': s += "&quot;"; break;
        default: s += c;
        }
    }
    return s;
}

constexpr double kScaleBar = 100;  // mm
constexpr double kScaleBand = 20;  // room under the sheet for the bar and its words

}  // namespace

std::string templateSvg(const TemplateSheet& sheet)
{
    const double width = std::max(sheet.width, kScaleBar + 60) + 2 * kSvgMargin;
    const double height = sheet.height + kScaleBand + 2 * kSvgMargin;
    // Sheet y up -> SVG y down, the sheet's origin kSvgMargin in from the lower left.
    const auto X = [&](double x) { return mm(x + kSvgMargin); };
    const auto Y = [&](double y) { return mm(height - kSvgMargin - kScaleBand - y); };

    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    mm(width) + "mm\" height=\"" + mm(height) + "mm\" viewBox=\"0 0 " + mm(width) + " " +
                    mm(height) + "\">\n";
    s += "<g id=\"CUT\" fill=\"none\" stroke=\"#d00000\" stroke-width=\"0.3\">\n";
    for (const PieceTemplate& t : sheet.pieces) {
        s += "<path d=\"M";
        for (const TemplatePoint& v : t.outline) s += " " + X(v.x) + "," + Y(v.y);
        s += " Z\"/>\n";
    }
    s += "</g>\n<g id=\"MARK\" stroke=\"#0040c0\" stroke-width=\"0.2\" stroke-dasharray=\"3 1.5\">\n";
    for (const PieceTemplate& t : sheet.pieces)
        for (const TemplateSegment& m : t.marks)
            s += "<line x1=\"" + X(m.start.x) + "\" y1=\"" + Y(m.start.y) + "\" x2=\"" + X(m.end.x) + "\" y2=\"" +
                 Y(m.end.y) + "\"/>\n";
    s += "</g>\n<g id=\"BEVEL\" fill=\"none\" stroke=\"#0000c0\" stroke-width=\"0.2\">\n";
    for (const PieceTemplate& t : sheet.pieces) {
        for (const auto& line : t.surfaceLines) {
            s += "<path d=\"M";
            for (const TemplatePoint& v : line) s += " " + X(v.x) + "," + Y(v.y);
            s += "\"/>\n";
        }
    }
    s += "</g>\n<g id=\"TEXT\" fill=\"#000000\" font-family=\"WenQuanYi Micro Hei, sans-serif\">\n";
    const auto text = [&](const std::string& words, const TemplatePoint& at, double height) {
        s += "<text x=\"" + X(at.x) + "\" y=\"" + Y(at.y) + "\" font-size=\"" + mm(height) + "\">" + escaped(words) +
             "</text>\n";
    };
    for (const PieceTemplate& t : sheet.pieces) {
        for (const TemplateText& n : t.notes) text(n.text, n.at, n.height);
        text(t.label, t.labelAt, t.labelHeight);
    }
    const double barY = height - kSvgMargin - 8;
    s += "</g>\n<g id=\"SCALE\" stroke=\"#000000\" stroke-width=\"0.3\">\n<line x1=\"" + mm(kSvgMargin) + "\" y1=\"" +
         mm(barY) + "\" x2=\"" + mm(kSvgMargin + kScaleBar) + "\" y2=\"" + mm(barY) + "\"/>\n";
    for (int i = 0; i <= 10; ++i)
        s += "<line x1=\"" + mm(kSvgMargin + 10 * i) + "\" y1=\"" + mm(barY) + "\" x2=\"" + mm(kSvgMargin + 10 * i) +
             "\" y2=\"" + mm(barY - (i % 5 ? 2 : 4)) + "\"/>\n";
    s += "<text x=\"" + mm(kSvgMargin + kScaleBar + 4) + "\" y=\"" + mm(barY) +
         "\" font-size=\"4\" stroke=\"none\" font-family=\"WenQuanYi Micro Hei, sans-serif\">100 mm</text>\n";
    s += "</g>\n</svg>\n";
    return s;
}

}  // namespace tessik
