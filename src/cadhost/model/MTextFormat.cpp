#include "model/MTextFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace tessik::cadhost {

namespace {

// A code's number; nullopt unless the whole of s (but an 'x' suffix when
// relative is allowed) is a finite number.
std::optional<double> codeNumber(std::string_view s, bool& relative)
{
    relative = !s.empty() && (s.back() == 'x' || s.back() == 'X');
    if (relative) s.remove_suffix(1);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc{} || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<long> codeInteger(std::string_view s)
{
    long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc{} || end != s.data() + s.size()) return std::nullopt;
    return v;
}

constexpr std::size_t kMaxTabs = 64;
constexpr std::size_t kMaxColumns = 1000;

class Parser {
public:
    Parser(std::string_view text, double baseHeight) : s_(text), base_(baseHeight > 0 && std::isfinite(baseHeight) ? baseHeight : 1)
    {
    }

    std::vector<TextRun> run()
    {
        for (std::size_t i = 0; i < s_.size(); ++i) {
            const char c = s_[i];
            if (c == '{') {
                if (groups_.size() < kMaxTextGroups) groups_.push_back(look_);
                else ++deeper_;
            } else if (c == '}') {
                if (deeper_ > 0) {
                    --deeper_;
                } else if (!groups_.empty()) {
                    look_ = groups_.back();
                    groups_.pop_back();
                }
            } else if (c == '\\') {
                if (i + 1 < s_.size()) i = code(i + 1);  // a backslash that ends the text is no code
            } else if (c == '%' && i + 2 < s_.size() && s_[i + 1] == '%') {
                const char k = static_cast<char>(s_[i + 2] | 0x20);
                const char* sym = k == 'c' ? "∅" : k == 'd' ? "°" : k == 'p' ? "±" : s_[i + 2] == '%' ? "%" : nullptr;
                if (sym) {
                    emit(sym);
                    i += 2;
                } else {
                    emit("%");
                }
            } else if (c == '^' && i + 1 < s_.size()) {
                const char k = s_[i + 1];
                if (k == 'J') paragraph();
                else if (k == 'I') emit("\t");
                else if (k == ' ') emit("^");
                else if (k != 'M') emit("^");
                if (k == 'J' || k == 'I' || k == 'M' || k == ' ') ++i;
            } else if (c == '\n') {
                paragraph();
            } else if (c == '\t') {
                emit("\t");
            } else if (c != '\r') {
                emit(std::string_view(&s_[i], 1));
            }
        }
        return std::move(runs_);
    }

private:
    void emit(std::string_view text)
    {
        const bool empty = !runs_.empty() && runs_.back().text.empty() && !runs_.back().stack;
        if (empty) {
            runs_.back().look = look_;  // a paragraph's first text takes the look it has by then
        } else if (runs_.empty() || runs_.back().stack || runs_.back().look != look_) {
            runs_.emplace_back().look = look_;
        }
        runs_.back().text += text;
    }

    TextRun& paragraph()
    {
        TextRun& r = runs_.emplace_back();
        r.look = look_;
        r.newParagraph = true;
        return r;
    }

    // The argument of a code starting at from: up to its ';' (the end of
    // the text if there is none); next is the index after it.
    std::string_view argument(std::size_t from, std::size_t& next) const
    {
        const std::size_t end = s_.find(';', from);
        next = end == std::string_view::npos ? s_.size() : end + 1;
        return s_.substr(std::min(from, s_.size()), (end == std::string_view::npos ? s_.size() : end) - std::min(from, s_.size()));
    }

    // A code at s_[k] (after its backslash); the index of its last character.
    std::size_t code(std::size_t k)
    {
        const char c = s_[k];
        std::size_t next = k + 1;
        bool relative = false;
        switch (c) {
        case 'P': case 'X': paragraph(); return k;
        case 'N': paragraph().newColumn = true; return k;
        case '~': emit("\u00A0"); return k;
        case '\\': case '{': case '}': emit(std::string_view(&s_[k], 1)); return k;
        case 'L': look_.underline = true; return k;
        case 'l': look_.underline = false; return k;
        case 'O': look_.overline = true; return k;
        case 'o': look_.overline = false; return k;
        case 'K': look_.strike = true; return k;
        case 'k': look_.strike = false; return k;
        case 'C': {
            if (const auto v = codeInteger(argument(k + 1, next)); v && *v >= 0 && *v <= 256) {
                look_.aci = static_cast<int>(*v);
                look_.rgb.reset();
            }
            return next - 1;
        }
        case 'c': {
            if (const auto v = codeInteger(argument(k + 1, next)); v && *v >= 0 && *v <= 0xFFFFFF) {
                const auto bgr = static_cast<std::uint32_t>(*v);
                look_.rgb = (bgr & 0xFF) << 16 | (bgr & 0xFF00) | (bgr >> 16 & 0xFF);
            }
            return next - 1;
        }
        case 'H': case 'W': case 'T': case 'Q': {
            const auto v = codeNumber(argument(k + 1, next), relative);
            if (!v) return next - 1;
            if (c == 'H' && *v > 0)
                look_.height = std::clamp(relative ? look_.height * *v : *v / base_, 1e-3, 1e3);
            else if (c == 'W' && *v > 0)
                look_.widthFactor = std::clamp(relative ? look_.widthFactor * *v : *v, 0.01, 100.0);
            else if (c == 'T' && *v > 0)
                look_.tracking = std::clamp(relative ? look_.tracking * *v : *v, 0.1, 10.0);
            else if (c == 'Q' && !relative)
                look_.oblique = std::clamp(std::remainder(*v, 360.0), -85.0, 85.0);
            return next - 1;
        }
        case 'A': {
            if (const auto v = codeInteger(argument(k + 1, next)); v && *v >= 0 && *v <= 2) look_.align = static_cast<int>(*v);
            return next - 1;
        }
        case 'f': case 'F': font(argument(k + 1, next), c == 'F'); return next - 1;
        case 'p': paragraphCode(argument(k + 1, next)); return next - 1;
        case 'S': stack(k + 1, next); return next - 1;
        default:
            // Another letter with an argument (\U+ and \M+ are decoded on
            // reading) or an unknown switch: neither is text.
            return k;
        }
    }

    void font(std::string_view arg, bool file)
    {
        const std::size_t bar = arg.find('|');
        std::string_view name = arg.substr(0, bar);
        look_.bold = look_.italic = false;
        if (file) {
            const std::size_t comma = name.find(',');
            look_.font = std::string(name.substr(0, comma));
            look_.bigFont = comma == std::string_view::npos ? "" : std::string(name.substr(comma + 1));
        } else {
            look_.font = std::string(name);
            look_.bigFont.clear();
        }
        for (std::size_t at = bar; at != std::string_view::npos && at + 1 < arg.size();) {
            const std::size_t end = arg.find('|', at + 1);
            const std::string_view part = arg.substr(at + 1, end == std::string_view::npos ? std::string_view::npos : end - at - 1);
            if (part.size() >= 2 && part[0] == 'b') look_.bold = part[1] == '1';
            if (part.size() >= 2 && part[0] == 'i') look_.italic = part[1] == '1';
            at = end;
        }
    }

    // \pxqc; \pxi-3,l3,t3,c8,r12; ...: letters each followed by what it
    // sets, commas between; x is skipped, as is a letter it does not know;
    // t takes the rest. A number is digits (then .digits, then an
    // exponent), signed or not; a letter without one sets 0.
    void paragraphCode(std::string_view arg)
    {
        std::size_t at = 0;
        const auto commas = [&] {
            while (at < arg.size() && arg[at] == ',') ++at;
        };
        const auto number = [&]() -> std::optional<double> {
            std::size_t end = at;
            if (end < arg.size() && (arg[end] == '+' || arg[end] == '-')) ++end;
            const auto digits = [&] {
                const std::size_t from = end;
                while (end < arg.size() && arg[end] >= '0' && arg[end] <= '9') ++end;
                return end > from;
            };
            if (!digits()) return std::nullopt;
            if (end < arg.size() && arg[end] == '.') {
                ++end;
                digits();
            }
            if (end < arg.size() && (arg[end] == 'e' || arg[end] == 'E')) {
                std::size_t mark = end++;
                if (end < arg.size() && (arg[end] == '+' || arg[end] == '-')) ++end;
                if (!digits()) end = mark;
            }
            bool relative = false;
            const auto v = codeNumber(arg.substr(at, end - at), relative);
            at = end;
            commas();
            return v ? std::optional(std::clamp(*v, -1e3, 1e3)) : std::optional(0.0);
        };
        while (at < arg.size()) {
            const char c = arg[at++];
            if (c == 'i') {
                look_.indent = number().value_or(0);
            } else if (c == 'l') {
                look_.leftIndent = number().value_or(0);
            } else if (c == 'r') {
                look_.rightIndent = number().value_or(0);
            } else if (c == 'q') {
                const char q = at < arg.size() ? arg[at++] : 0;
                look_.justify = q == 'l' || q == 'c' || q == 'r' || q == 'j' || q == 'd' ? q : 0;
                commas();
            } else if (c == 't') {
                look_.tabs.clear();
                while (at < arg.size()) {
                    const char kind = arg[at] == 'c' || arg[at] == 'r' ? arg[at] : 'l';
                    if (kind != 'l') ++at;
                    if (const auto v = number()) {
                        if (look_.tabs.size() < kMaxTabs) look_.tabs.push_back({*v, kind});
                    } else if (kind == 'l') {
                        ++at;  // not a stop: skipped
                    }
                }
                std::stable_sort(look_.tabs.begin(), look_.tabs.end(),
                                 [](const TabStop& a, const TabStop& b) { return a.at < b.at; });
            }
        }
    }

    // \S<top><sep><bottom>; where \; \^ \/ \# are the characters themselves.
    void stack(std::size_t from, std::size_t& next)
    {
        std::string top, bottom;
        char sep = 0;
        std::size_t i = from;
        for (; i < s_.size() && s_[i] != ';'; ++i) {
            char c = s_[i];
            if (c == '\\' && i + 1 < s_.size()) c = s_[++i];
            else if (!sep && (c == '^' || c == '/' || c == '#')) {
                sep = c;
                continue;
            }
            (sep ? bottom : top) += c;
        }
        next = std::min(i + 1, s_.size());
        if (i >= s_.size()) next = s_.size();
        if (!sep) {
            if (!top.empty()) emit(top);
            return;
        }
        if (top.empty() && bottom.empty()) return;
        TextRun& r = runs_.emplace_back();
        r.look = look_;
        r.text = std::move(top);
        r.stack = sep;
        r.stackBottom = std::move(bottom);
    }

    std::string_view s_;
    double base_;
    TextLook look_;
    std::vector<TextLook> groups_;
    std::size_t deeper_ = 0;
    std::vector<TextRun> runs_;
};

std::size_t utf8Length(unsigned char lead)
{
    return lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 1;
}

char32_t codePoint(std::string_view s, std::size_t at, std::size_t n)
{
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[at + k]); };
    if (n == 1) return b(0);
    if (n == 2) return (b(0) & 0x1Fu) << 6 | (b(1) & 0x3Fu);
    if (n == 3) return (b(0) & 0x0Fu) << 12 | (b(1) & 0x3Fu) << 6 | (b(2) & 0x3Fu);
    return (b(0) & 0x07u) << 18 | (b(1) & 0x3Fu) << 12 | (b(2) & 0x3Fu) << 6 | (b(3) & 0x3Fu);
}

// Characters that a line may break before and after, as Chinese is set.
bool wide(char32_t c)
{
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF);
}

// A word, a space or a wide character: what a line is filled with.
struct Atom {
    std::size_t run = 0;
    std::string text;
    bool space = false;
    double advance = 0;  // a tab's is where it is placed
    bool tab = false;
    double follows = 0;  // a tab: the advance of what follows it up to the next tab
};

// The advance of a tab at x (from the frame's left) to its stop, which
// is the first of tabs past x (or else the next multiple of kDefaultTab);
// text centred or ended at the stop is follows wide.
double tabAdvance(double x, const std::vector<TabStop>& tabs, double follows)
{
    constexpr double kPast = 1e-9;
    for (const TabStop& t : tabs) {
        if (!(t.at > x + kPast)) continue;
        const double shift = t.kind == 'c' ? follows / 2 : t.kind == 'r' ? follows : 0;
        return std::max(0.0, t.at - shift - x);
    }
    return (std::floor(std::max(x, 0.0) / kDefaultTab + kPast) + 1) * kDefaultTab - x;
}

constexpr double kStackPart = 0.7;

double stackAdvance(const TextRun& r, const MeasureText& measure)
{
    const double h = r.look.height, s = kStackPart * h * r.look.widthFactor;
    const double top = measure(r, r.text) * s, bottom = measure(r, r.stackBottom) * s;
    if (r.stack == '#') return top + bottom + 0.35 * h;
    return std::max(top, bottom) + (r.stack == '/' ? 0.2 : 0.1) * h;
}

}  // namespace

std::vector<TextRun> parseMText(std::string_view text, double baseHeight) { return Parser(text, baseHeight).run(); }

std::string plainText(const std::vector<TextRun>& runs)
{
    std::string out;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const TextRun& r = runs[i];
        if (r.newParagraph) out += '\n';
        for (const char c : r.text) {
            if (c == '\t') out += "    ";
            else out += c;
        }
        if (r.stack) out += (r.stack == '^' ? "/" : std::string(1, r.stack)) + r.stackBottom;
    }
    return out;
}

double roughAdvance(const TextRun&, std::string_view text)
{
    double w = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = std::min(utf8Length(static_cast<unsigned char>(text[i])), text.size() - i);
        w += wide(codePoint(text, i, n)) ? 1.0 : 0.8;
        i += n;
    }
    return w;
}

TextLayout layoutText(const std::vector<TextRun>& runs, double width, double lineSpacing, int column,
                      const MeasureText& measure, const TextColumns& columns)
{
    TextLayout out;
    const bool inColumns = columns.count != 1 || !columns.heights.empty();
    if (inColumns && columns.width > 0 && std::isfinite(columns.width)) width = columns.width;
    if (!(width > 0) || !std::isfinite(width)) width = 0;
    if (!(lineSpacing > 0) || !std::isfinite(lineSpacing)) lineSpacing = 1;
    lineSpacing = std::clamp(lineSpacing, 0.25, 4.0);
    const auto advanceOf = [&](const TextRun& r, std::string_view s) {
        return measure(r, s) * r.look.height * r.look.widthFactor * r.look.tracking;
    };

    // The paragraphs, each a list of atoms, set by the look of the run
    // that opens them with text (or of the one that opens them).
    struct Paragraph {
        std::vector<Atom> atoms;
        double height = 1;  // of the run that opened it, for an empty one
        char justify = 0;
        const TextLook* look = nullptr;
        bool columnBreak = false;
    };
    std::vector<Paragraph> paragraphs;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const TextRun& run = runs[r];
        if (paragraphs.empty() || run.newParagraph)
            paragraphs.push_back({{}, run.look.height, 0, &run.look, run.newParagraph && run.newColumn});
        Paragraph& p = paragraphs.back();
        if (!p.justify) p.justify = run.look.justify;
        if (p.atoms.empty() && (run.stack || !run.text.empty())) p.look = &run.look;
        if (run.stack) {
            p.atoms.push_back({r, {}, false, stackAdvance(run, measure)});
            continue;
        }
        const std::string& s = run.text;
        bool inWord = false;
        for (std::size_t i = 0; i < s.size();) {
            const std::size_t n = std::min(utf8Length(static_cast<unsigned char>(s[i])), s.size() - i);
            const char32_t c = codePoint(s, i, n);
            const bool space = c == U' ', tab = c == U'\t';
            // A word goes on in the same run; a space, a tab or a wide character stands alone.
            const bool joins = !space && !tab && !wide(c) && inWord && p.atoms.back().run == r;
            if (joins) p.atoms.back().text.append(s, i, n);
            else p.atoms.push_back({r, tab ? std::string() : s.substr(i, n), space, 0, tab});
            inWord = !space && !tab && !wide(c);
            i += n;
        }
    }
    for (Paragraph& p : paragraphs) {
        for (Atom& a : p.atoms)
            if (!runs[a.run].stack && !a.tab) a.advance = advanceOf(runs[a.run], a.text);
        double follows = 0;
        for (auto a = p.atoms.rbegin(); a != p.atoms.rend(); ++a) {
            if (a->tab) {
                a->follows = follows;
                follows = 0;
            } else {
                follows += a->advance;
            }
        }
    }

    // Lines: atoms by paragraph, wrapped between the paragraph's indents
    // (x from the frame's left).
    struct Line {
        std::vector<Atom> atoms;
        double width = 0;   // where its ink ends, trailing spaces and tabs left out
        double height = 0;  // the highest run's
        char justify = 0;
        double start = 0;   // where it begins
        double limit = 0;   // where it may reach (the frame's width less the right indent)
        bool last = false;  // its paragraph's
        bool columnBreak = false;
    };
    std::vector<Line> lines;
    const double noLimit = std::numeric_limits<double>::infinity();
    for (Paragraph& p : paragraphs) {
        const TextLook& look = *p.look;
        const double left = std::max(0.0, look.leftIndent), first = std::max(0.0, look.leftIndent + look.indent);
        // A frame narrower than its indents still takes a height per line.
        const auto limitFor = [&](double start) {
            return width > 0 ? std::max(width - std::max(0.0, look.rightIndent), start + std::min(width, 1.0)) : noLimit;
        };
        lines.push_back({{}, first, p.height, p.justify, first, limitFor(first), false, p.columnBreak});
        bool wrapped = false;
        double x = first;
        const auto place = [&](Atom a) {
            Line& l = lines.back();
            x += a.advance;
            if (!a.space && !a.tab) l.width = x;
            l.height = std::max(l.height, runs[a.run].look.height);
            l.atoms.push_back(std::move(a));
        };
        const auto newLine = [&] {
            lines.push_back({{}, left, 0, p.justify, left, limitFor(left), false, false});
            x = left;
            wrapped = true;
        };
        for (Atom& a : p.atoms) {
            if (a.space) {
                if (!(wrapped && lines.back().atoms.empty())) place(std::move(a));
                continue;
            }
            if (a.tab) {
                a.advance = tabAdvance(x, look.tabs, a.follows);
                if (x + a.advance > lines.back().limit && !lines.back().atoms.empty()) {
                    newLine();
                    a.advance = tabAdvance(x, look.tabs, a.follows);
                }
                place(std::move(a));
                continue;
            }
            if (x + a.advance > lines.back().limit && !lines.back().atoms.empty()) newLine();
            if (a.advance > lines.back().limit - lines.back().start && !runs[a.run].stack) {
                // A word wider than the frame: broken where it no longer fits.
                // Letter by letter, each measured once (a word may be long).
                const TextRun& run = runs[a.run];
                std::string piece;
                double pieceWidth = 0;
                for (std::size_t i = 0; i < a.text.size();) {
                    const std::size_t n = std::min(utf8Length(static_cast<unsigned char>(a.text[i])), a.text.size() - i);
                    const std::string_view letter(a.text.data() + i, n);
                    const double w = advanceOf(run, letter);
                    if (!piece.empty() && x + pieceWidth + w > lines.back().limit) {
                        place({a.run, std::move(piece), false, pieceWidth});
                        newLine();
                        piece.clear();
                        pieceWidth = 0;
                    }
                    piece += letter;
                    pieceWidth += w;
                    i += n;
                }
                if (!piece.empty()) place({a.run, std::move(piece), false, pieceWidth});
                continue;
            }
            place(std::move(a));
        }
        lines.back().last = true;
    }
    if (lines.empty()) return out;

    // Without a width the frame is as wide as the widest line and its right indent.
    double frame = width;
    if (!(frame > 0)) {
        double right = 0;
        for (const Line& l : lines) frame = std::max(frame, l.width);
        for (const Paragraph& p : paragraphs) right = std::max(right, p.look->rightIndent);
        for (Line& l : lines) l.limit = frame;
        frame += right;
    }
    out.lineCount = lines.size();

    // Columns: each line goes down the column it is in until its baseline
    // would pass the column's height (or its paragraph asks for a new
    // column); then it starts the next.
    const std::size_t maxColumns = !inColumns ? 1
                                   : columns.count > 0 ? std::min<std::size_t>(columns.count, kMaxColumns)
                                   : columns.heights.empty() ? kMaxColumns
                                                             : std::min(columns.heights.size(), kMaxColumns);
    const auto columnHeight = [&](std::size_t c) {
        const double h = c < columns.heights.size() ? columns.heights[c] : columns.heights.empty() ? columns.height : 0;
        return h > 0 && std::isfinite(h) && c + 1 < maxColumns ? h : noLimit;
    };
    std::vector<std::size_t> columnOf(lines.size(), 0);
    std::vector<double> baselines(lines.size(), 0);
    {
        std::size_t c = 0;
        double baseline = 0, previous = 0;
        bool top = true;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const double h = lines[i].height;
            double next = top ? h : baseline + lineSpacing * (previous * 2 / 3 + h);
            if (!top && c + 1 < maxColumns && (lines[i].columnBreak || next > columnHeight(c))) {
                ++c;
                next = h;
            }
            baseline = next;
            previous = h;
            top = false;
            columnOf[i] = c;
            baselines[i] = baseline;
            out.height = std::max(out.height, baseline);
        }
        const std::size_t used = inColumns && columns.count > 0 ? maxColumns : c + 1;
        const double gutter = std::isfinite(columns.gutter) ? std::max(0.0, columns.gutter) : 0;
        out.columnCount = used;
        out.width = frame * static_cast<double>(used) + gutter * static_cast<double>(used - 1);
        for (std::size_t& k : columnOf) {
            if (columns.reversed) k = used - 1 - k;
        }
        out.columnStep = frame + gutter;
    }

    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& l = lines[i];
        const double baseline = baselines[i];
        const double shiftX = out.columnStep * static_cast<double>(columnOf[i]);
        const bool stretch = (l.justify == 'j' && !l.last) || l.justify == 'd';
        const int col = l.justify == 'l' || l.justify == 'j' || l.justify == 'd' ? 0
                        : l.justify == 'c'                                       ? 1
                        : l.justify == 'r'                                       ? 2
                                                                                 : std::clamp(column, 0, 2);
        double x = l.start + (l.limit - l.width) * col / 2;
        // A stretched line: what it lacks of the limit spread over its
        // spaces after its last tab, or where it has none between its letters.
        double spaceGap = 0, letterGap = 0;
        std::size_t stretchFrom = 0, inkEnd = 0;
        if (stretch && width > 0 && l.limit - l.width > 0) {
            for (std::size_t k = 0; k < l.atoms.size(); ++k) {
                if (l.atoms[k].tab) stretchFrom = k + 1;
                if (!l.atoms[k].space && !l.atoms[k].tab) inkEnd = k + 1;
            }
            std::size_t spaces = 0, letters = 0;
            for (std::size_t k = stretchFrom; k < inkEnd; ++k) {
                const Atom& a = l.atoms[k];
                if (a.space) ++spaces;
                else if (runs[a.run].stack) ++letters;
                else
                    for (std::size_t c = 0; c < a.text.size(); c += std::min(utf8Length(static_cast<unsigned char>(a.text[c])), a.text.size() - c))
                        ++letters;
            }
            if (spaces > 0) spaceGap = (l.limit - l.width) / static_cast<double>(spaces);
            else if (letters > 1) letterGap = (l.limit - l.width) / static_cast<double>(letters - 1);
        }
        std::size_t joinRun = runs.size(), rulesFrom = 0;
        for (std::size_t k = 0; k < l.atoms.size(); ++k) {
            const Atom& a = l.atoms[k];
            const bool spread = k >= stretchFrom && k < inkEnd;
            const TextRun& r = runs[a.run];
            const double h = r.look.height;
            const double lift = r.look.align == 1 ? (l.height - h) / 2 : r.look.align == 2 ? l.height - h : 0;
            const double at = baseline - lift;
            double advance = a.advance;
            if (a.tab) {
                joinRun = runs.size();
            } else if (r.stack) {
                const double s = kStackPart * h, mid = at - h / 2;
                const double top = measure(r, r.text) * s * r.look.widthFactor;
                const double bottom = measure(r, r.stackBottom) * s * r.look.widthFactor;
                const double sx = x + shiftX;
                if (r.stack == '#') {
                    out.pieces.push_back({a.run, r.text, sx, mid, s});
                    out.pieces.push_back({a.run, r.stackBottom, sx + top + 0.35 * h, at + 0.15 * h, s});
                    out.lines.push_back({a.run, sx + top + 0.05 * h, at + 0.15 * h, sx + top + 0.3 * h, mid - s});
                } else {
                    const double gap = r.stack == '/' ? 0.15 * h : 0.1 * h;
                    const double span = a.advance;
                    const double pad = r.stack == '/' ? 0.1 * h : 0;
                    const double tx = r.stack == '/' ? sx + (span - top) / 2 : sx;
                    const double bx = r.stack == '/' ? sx + (span - bottom) / 2 : sx;
                    if (!r.text.empty()) out.pieces.push_back({a.run, r.text, tx, mid - gap, s});
                    if (!r.stackBottom.empty()) out.pieces.push_back({a.run, r.stackBottom, bx, mid + gap + s, s});
                    if (r.stack == '/') out.lines.push_back({a.run, sx + pad / 2, mid, sx + span - pad / 2, mid});
                }
                if (spread) advance += letterGap;
                joinRun = runs.size();
            } else if (spread && letterGap > 0) {
                // Letter by letter, each letterGap apart.
                const double from = x;
                for (std::size_t c = 0; c < a.text.size();) {
                    const std::size_t n = std::min(utf8Length(static_cast<unsigned char>(a.text[c])), a.text.size() - c);
                    const std::string letter = a.text.substr(c, n);
                    out.pieces.push_back({a.run, letter, x + shiftX, at, h});
                    x += advanceOf(r, letter) + letterGap;
                    c += n;
                }
                advance = 0;
                const auto rule = [&](double y) { out.lines.push_back({a.run, from + shiftX, y, x - letterGap + shiftX, y}); };
                if (r.look.underline) rule(at + 0.2 * h);
                if (r.look.overline) rule(at - 1.2 * h);
                if (r.look.strike) rule(at - 0.5 * h);
                joinRun = runs.size();
            } else if (a.run == joinRun) {
                // The same run goes on: one piece, its rules longer.
                out.pieces.back().text += a.text;
                if (a.space && spread) advance += spaceGap;
                for (std::size_t q = rulesFrom; q < out.lines.size(); ++q) out.lines[q].x1 = x + advance + shiftX;
            } else {
                if (a.space && spread) advance += spaceGap;
                out.pieces.push_back({a.run, a.text, x + shiftX, at, h});
                rulesFrom = out.lines.size();
                const auto rule = [&](double y) { out.lines.push_back({a.run, x + shiftX, y, x + advance + shiftX, y}); };
                if (r.look.underline) rule(at + 0.2 * h);
                if (r.look.overline) rule(at - 1.2 * h);
                if (r.look.strike) rule(at - 0.5 * h);
            }
            if (!a.tab && !r.stack && !(spread && letterGap > 0)) {
                // A stretched space ends the piece: what follows starts where the gap puts it.
                joinRun = a.space && spread && spaceGap > 0 ? runs.size() : a.run;
            }
            x += advance;
        }
    }
    return out;
}

}  // namespace tessik::cadhost
