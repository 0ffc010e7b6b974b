#include "PdfDocument.h"

#include <charconv>
#include <cmath>

namespace tessik::pdf {
namespace {

constexpr double kPointsPerMm = 72 / 25.4;
constexpr double kCircle = 0.5522847498;  // Bezier handle of a quarter circle, per radius

// The fixed objects; pages and their contents follow from kFirstPageObject.
enum : int { kCatalog = 1, kPages, kFont, kCidFont, kFontDescriptor, kInfo, kFirstPageObject };

void appendNumber(std::string& s, double v, int decimals)
{
    if (!std::isfinite(v)) v = 0;
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (ec != std::errc()) {
        s += '0';
        return;
    }
    char* last = end;
    if (decimals > 0) {
        while (last[-1] == '0') --last;
        if (last[-1] == '.') --last;
    }
    if (last - buf == 2 && buf[0] == '-' && buf[1] == '0') {
        s += '0';
        return;
    }
    s.append(buf, last);
}

void appendInteger(std::string& s, std::size_t v)
{
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    s.append(buf, end);
}

// The code points of UTF-8 text; anything malformed becomes U+FFFD.
template <typename F>
void forEachCodePoint(std::string_view s, F&& f)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1f) : extra == 2 ? (c & 0x0f) : (c & 0x07);
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < s.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            ok = (d & 0xc0) == 0x80;
            cp = (cp << 6) | (d & 0x3f);
        }
        const char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (ok && (cp < least[extra] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))) ok = false;
        if (!ok) {
            f(U'\ufffd');
            ++i;
            continue;
        }
        f(cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
}

// The 2-byte code the font is addressed with: the character itself where the
// UCS-2 CMap reaches it, a space for control characters, '?' beyond the BMP
// or for a malformed sequence.
unsigned codeFor(char32_t cp)
{
    if (cp < 0x20 || cp == 0x7f) return 0x20;
    if (cp > 0xffff || cp == 0xfffd) return '?';
    return static_cast<unsigned>(cp);
}

// Advances (1/1000 em) of the ASCII characters 0x20-0x7E, which UniGB-UCS2-H
// maps to CIDs 1-95 of Adobe-GB1, the proportional Latin. Those of a common
// Chinese sans-serif face: a reader's own font then stays inside them. Every
// other character is 1 em wide.
constexpr int kAsciiWidths[95] = {
    260, 269, 402, 646, 551, 825, 702, 226, 301, 301, 551, 551, 250, 322, 268, 373, 551, 551, 551,
    551, 551, 551, 551, 551, 551, 551, 268, 268, 551, 551, 551, 426, 866, 608, 621, 603, 684, 528,
    491, 690, 701, 339, 271, 579, 491, 870, 729, 742, 576, 741, 590, 519, 519, 698, 568, 884, 547,
    527, 539, 303, 373, 303, 532, 411, 577, 531, 586, 463, 586, 535, 329, 518, 589, 259, 259, 496,
    259, 896, 589, 577, 586, 586, 399, 451, 339, 589, 479, 746, 500, 489, 441, 354, 551, 354, 551};

double advance(unsigned code) { return code >= 0x20 && code < 0x7f ? kAsciiWidths[code - 0x20] / 1000.0 : 1.0; }

// The /W array of the CIDFont: CIDs 1-95 as above, the rest at /DW 1000.
std::string cidWidths()
{
    std::string s = "[1 [";
    for (int i = 0; i < 95; ++i) {
        if (i) s += i % 19 ? " " : "\n";
        appendInteger(s, static_cast<std::size_t>(kAsciiWidths[i]));
    }
    return s + "]]";
}

void appendHex4(std::string& s, unsigned v)
{
    static const char digits[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4) s += digits[(v >> shift) & 0xf];
}

// A text string for the document information: UTF-16BE with its mark.
std::string infoText(std::string_view utf8)
{
    std::string s = "<FEFF";
    forEachCodePoint(utf8, [&](char32_t cp) {
        if (cp > 0xffff) {
            cp -= 0x10000;
            appendHex4(s, 0xd800 + static_cast<unsigned>(cp >> 10));
            appendHex4(s, 0xdc00 + static_cast<unsigned>(cp & 0x3ff));
        } else {
            appendHex4(s, static_cast<unsigned>(cp));
        }
    });
    return s + ">";
}

}  // namespace

double textWidth(std::string_view utf8, double height)
{
    double ems = 0;
    forEachCodePoint(utf8, [&](char32_t cp) { ems += advance(codeFor(cp)); });
    return ems * height;
}

// ---- Page ------------------------------------------------------------------

void Page::number(double v) { appendNumber(content_, v, 3); }

void Page::point(double x, double y)
{
    number(x);
    content_ += ' ';
    number(y);
    content_ += ' ';
}

void Page::pen(double width, Color color, bool dashed)
{
    number(width);
    content_ += " w ";
    for (const unsigned char c : {color.r, color.g, color.b}) {
        appendNumber(content_, c / 255.0, 4);
        content_ += ' ';
    }
    content_ += "RG ";
    if (dashed) {
        content_ += '[';
        number(4 * width);
        content_ += ' ';
        number(2 * width);
        content_ += "] 0 d\n";
    } else {
        content_ += "[] 0 d\n";
    }
}

void Page::fill(Color color)
{
    if (hasFill_ && fill_.r == color.r && fill_.g == color.g && fill_.b == color.b) return;
    for (const unsigned char c : {color.r, color.g, color.b}) {
        appendNumber(content_, c / 255.0, 4);
        content_ += ' ';
    }
    content_ += "rg\n";
    hasFill_ = true;
    fill_ = color;
}

void Page::line(double x1, double y1, double x2, double y2)
{
    point(x1, y1);
    content_ += "m ";
    point(x2, y2);
    content_ += "l S\n";
}

void Page::rect(double x, double y, double w, double h, bool filled)
{
    if (filled) fill({});
    point(x, y);
    point(w, h);
    content_ += filled ? "re f\n" : "re S\n";
}

void Page::circle(double cx, double cy, double r)
{
    const double k = kCircle * r;
    point(cx + r, cy);
    content_ += "m ";
    const double quarters[4][6] = {{cx + r, cy + k, cx + k, cy + r, cx, cy + r},
                                   {cx - k, cy + r, cx - r, cy + k, cx - r, cy},
                                   {cx - r, cy - k, cx - k, cy - r, cx, cy - r},
                                   {cx + k, cy - r, cx + r, cy - k, cx + r, cy}};
    for (const auto& q : quarters) {
        point(q[0], q[1]);
        point(q[2], q[3]);
        point(q[4], q[5]);
        content_ += "c ";
    }
    content_ += "h S\n";
}

void Page::polygon(const std::vector<double>& xy)
{
    if (xy.size() < 4) return;
    for (std::size_t i = 0; i + 1 < xy.size(); i += 2) {
        point(xy[i], xy[i + 1]);
        content_ += i ? "l\n" : "m\n";
    }
    content_ += "h S\n";
}

void Page::text(double x, double y, double height, std::string_view utf8, Color color)
{
    if (utf8.empty()) return;
    fill(color);
    // The page is flipped (y down); the text matrix flips the glyphs back.
    content_ += "BT /F1 ";
    number(height);
    content_ += " Tf 1 0 0 -1 ";
    point(x, y);
    content_ += "Tm <";
    forEachCodePoint(utf8, [&](char32_t cp) { appendHex4(content_, codeFor(cp)); });
    content_ += "> Tj ET\n";
}

void Page::clip(double x, double y, double w, double h)
{
    content_ += "q ";
    point(x, y);
    point(w, h);
    content_ += "re W n\n";
    ++clips_;
}

void Page::restore()
{
    if (!clips_) return;
    content_ += "Q\n";
    --clips_;
    hasFill_ = false;  // the graphics state is back to before the clip
}

// ---- Document --------------------------------------------------------------

Document::Document(std::string title, std::string creator)
    : offsets_(kFirstPageObject, 0), title_(std::move(title)), creator_(std::move(creator))
{
    // A comment of bytes above 127 marks the file as binary for transfer programs.
    out_ = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
}

int Document::object()
{
    offsets_.push_back(0);
    return static_cast<int>(offsets_.size() - 1);
}

void Document::begin(int object)
{
    offsets_[static_cast<std::size_t>(object)] = out_.size();
    appendInteger(out_, static_cast<std::size_t>(object));
    out_ += " 0 obj\n";
}

Page& Document::newPage(double widthMm, double heightMm)
{
    finishPage();
    page_ = Page{};
    page_.width_ = widthMm;
    page_.height_ = heightMm;
    // Millimetres, y down from the top-left corner.
    page_.content_ = "2.83464567 0 0 -2.83464567 0 ";
    appendNumber(page_.content_, heightMm * kPointsPerMm, 4);
    page_.content_ += " cm\n";
    open_ = true;
    ++pages_;
    return page_;
}

void Document::finishPage()
{
    if (!open_) return;
    open_ = false;
    while (page_.clips_) page_.restore();
    const int pageObject = object(), contents = object();
    pageObjects_.push_back(pageObject);
    begin(pageObject);
    out_ += "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ";
    appendNumber(out_, page_.width_ * kPointsPerMm, 2);
    out_ += ' ';
    appendNumber(out_, page_.height_ * kPointsPerMm, 2);
    out_ += "] /Contents ";
    appendInteger(out_, static_cast<std::size_t>(contents));
    out_ += " 0 R >>\nendobj\n";
    begin(contents);
    out_ += "<< /Length ";
    appendInteger(out_, page_.content_.size());
    out_ += " >>\nstream\n";
    out_ += page_.content_;
    out_ += "\nendstream\nendobj\n";
    page_.content_.clear();
    page_.content_.shrink_to_fit();
}

std::string Document::finish()
{
    finishPage();
    begin(kCatalog);
    out_ += "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    begin(kPages);
    out_ += "<< /Type /Pages /Count ";
    appendInteger(out_, pageObjects_.size());
    out_ += " /Resources << /Font << /F1 3 0 R >> /ProcSet [/PDF /Text] >>\n/Kids [";
    for (std::size_t i = 0; i < pageObjects_.size(); ++i) {
        out_ += i % 10 ? " " : "\n";
        appendInteger(out_, static_cast<std::size_t>(pageObjects_[i]));
        out_ += " 0 R";
    }
    out_ += "] >>\nendobj\n";
    begin(kFont);
    out_ += "<< /Type /Font /Subtype /Type0 /BaseFont /STSong-Light /Encoding /UniGB-UCS2-H "
            "/DescendantFonts [4 0 R] >>\nendobj\n";
    begin(kCidFont);
    out_ += "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /STSong-Light "
            "/CIDSystemInfo << /Registry (Adobe) /Ordering (GB1) /Supplement 4 >> "
            "/FontDescriptor 5 0 R /DW 1000 /W " +
            cidWidths() + " >>\nendobj\n";
    begin(kFontDescriptor);
    out_ += "<< /Type /FontDescriptor /FontName /STSong-Light /Flags 6 /FontBBox [-25 -254 1000 880] "
            "/ItalicAngle 0 /Ascent 880 /Descent -120 /CapHeight 880 /StemV 93 >>\nendobj\n";
    begin(kInfo);
    out_ += "<< /Title " + infoText(title_) + " /Creator " + infoText(creator_) + " /Producer " +
            infoText(creator_) + " >>\nendobj\n";

    const std::size_t xref = out_.size();
    out_ += "xref\n0 ";
    appendInteger(out_, offsets_.size());
    out_ += "\n0000000000 65535 f\r\n";
    for (std::size_t i = 1; i < offsets_.size(); ++i) {
        std::string offset;
        appendInteger(offset, offsets_[i]);
        out_.append(offset.size() < 10 ? 10 - offset.size() : 0, '0');
        out_ += offset + " 00000 n\r\n";
    }
    out_ += "trailer\n<< /Size ";
    appendInteger(out_, offsets_.size());
    out_ += " /Root 1 0 R /Info 6 0 R >>\nstartxref\n";
    appendInteger(out_, xref);
    out_ += "\n%%EOF\n";
    return std::move(out_);
}

}  // namespace tessik::pdf
