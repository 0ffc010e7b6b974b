#pragma once
// A multi-line text's formatting codes read into runs of text drawn alike,
// and the runs laid out in lines (wrapped to a width) by a measure the
// caller gives, so that the view and the extents place them the same way.
//
// The codes, as AutoCAD writes them: \P (and \N, \X, ^J) new paragraph,
// \~ no-break space, \\ \{ \} the characters, {...} a group whose changes
// end with it, \C<index>; and \c<BGR>; colour, \H<h>; and \H<f>x; height,
// \f<family>|b1|i1|...; and \F<file>[,<big font>]; font, \L \l \O \o \K \k
// under-, over- and strike-through lines, \S<top>^<bottom>; (tolerance),
// \S<top>/<bottom>; (fraction) and \S<top>#<bottom>; (diagonal) stacks,
// \A0/1/2; alignment in the line, \Q<degrees>; obliquing, \W<w>[x]; width
// factor, \T<t>[x]; tracking, \p...; paragraph codes (i first line indent
// from l the left indent, r the right indent, q alignment l c r j d, t tab
// stops, each [c|r]<at>; all in text heights), %%c %%d %%p the diameter,
// degree and plus-minus signs, ^I and the tab character a tab; \N ends a
// column as well as the paragraph. A code the text does not finish or that
// is unknown is dropped; its text is never shown as code.
//
// The whole is bounded by the text: at most one run per byte, group depth
// kMaxTextGroups (deeper braces only count), every number clamped.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DxfStyle.h"

namespace tessik::cadhost {

// What a formatting code sets, kept for the text after it.
// A tab stop: at, in text heights from the frame's left; kind 'l' text
// starts there, 'c' is centred on it, 'r' ends there.
struct TabStop {
    double at = 0;
    char kind = 'l';
    bool operator==(const TabStop&) const = default;
};

// Tab stops where a paragraph sets none: every kDefaultTab text heights.
inline constexpr double kDefaultTab = 4;

struct TextLook {
    double height = 1;       // times the text's own height
    double widthFactor = 1;  // letters' width against the font's
    double oblique = 0;      // degrees, letters leaning right
    double tracking = 1;     // letter spacing against the font's
    int aci = -1;            // \C: 0 by block, 256 by layer; -1 the text's own colour
    std::optional<std::uint32_t> rgb;  // \c: 0xRRGGBB, wins over aci
    std::string font;     // \f family or \F file as written; empty: the text style's
    std::string bigFont;  // \F's big font
    bool bold = false, italic = false;
    bool underline = false, overline = false, strike = false;
    int align = 0;       // \A: 0 bottom, 1 middle, 2 top of the line
    // Paragraph codes, which hold for the paragraph they are in (the one
    // its first text opens) and those after it.
    char justify = 0;  // \pq: 'l', 'c', 'r', 'j' justified, 'd' distributed; 0: by the attachment point
    double indent = 0;       // \pi: the first line's start from the left indent
    double leftIndent = 0;   // \pl
    double rightIndent = 0;  // \pr
    std::vector<TabStop> tabs;  // \pt, in order; none: kDefaultTab apart
    bool operator==(const TextLook&) const = default;
};

struct TextRun {
    TextLook look;
    std::string text;  // UTF-8 without line breaks ('\t' a tab); a stack's top
    char stack = 0;    // '/', '#' or '^': text over stackBottom
    std::string stackBottom;
    bool newParagraph = false;  // a paragraph break before it
    bool newColumn = false;     // and a column break (with newParagraph)
    // Set by whoever resolves the look for a view: the ink to draw in and
    // the installed font family (empty: the text's).
    dxf::Ink ink = dxf::kForegroundInk;
    std::string family;
};

inline constexpr int kMaxTextGroups = 64;

// The runs of an MTEXT string. baseHeight is the text's own height, which
// an absolute \H is a multiple of.
std::vector<TextRun> parseMText(std::string_view text, double baseHeight);

// The text the runs show, paragraphs separated by '\n', a stack as
// "top/bottom", a tab as four spaces.
std::string plainText(const std::vector<TextRun>& runs);

// A piece of a run placed in the block of lines: x from the frame's left,
// baseline down from its top, both in the text's heights; height and
// widthFactor are the run's (a stack's parts are smaller).
struct PlacedText {
    std::size_t run = 0;
    std::string text;
    double x = 0, baseline = 0;
    double height = 1;
};

// A straight line of a run (fraction bar, under-, over-, strike-through).
struct PlacedLine {
    std::size_t run = 0;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

struct TextLayout {
    std::vector<PlacedText> pieces;
    std::vector<PlacedLine> lines;
    double width = 0;   // the frame: the reference width, or the widest line (all its columns)
    double height = 0;  // top to the last baseline (of the longest column)
    std::size_t lineCount = 0;
    std::size_t columnCount = 1;
    double columnStep = 0;  // from one column's left to the next one's
};

// The columns a multi-line text flows through (all in text heights): its
// lines go down a column until the next baseline would pass the column's
// height, or a paragraph asks for a new column, then on at the top of the
// next; columns are width wide, gutter apart, left to right (right to
// left when reversed). count 0: as many as the text needs; 1 with no
// heights: no columns. The last column takes the rest.
struct TextColumns {
    std::size_t count = 1;
    double width = 0, gutter = 0;
    double height = 0;            // every column's
    std::vector<double> heights;  // or each its own
    bool reversed = false;
};

// The advance of text in a run's font at height 1 and natural width; the
// layout multiplies by the run's height, width factor and tracking.
using MeasureText = std::function<double(const TextRun& run, std::string_view text)>;

// Lays the runs out: paragraphs wrapped to width (in text heights; 0 for
// no wrapping) at spaces or, in a run without them, between any two
// characters, between its indents; each line as high as its highest run,
// baselines lineSpacing * 5/3 of that apart; a paragraph set left,
// centred or right by its \pq code or else by column (0 left, 1 centre,
// 2 right); a justified paragraph's lines but its last (a distributed
// one's all) stretched to its right indent at their spaces after their
// last tab (where they have none, between their letters). A tab reaches
// to the next stop past where it starts.
TextLayout layoutText(const std::vector<TextRun>& runs, double width, double lineSpacing, int column,
                      const MeasureText& measure, const TextColumns& columns = {});

// A measure without a font: a character 0.8 of the height wide, a
// Chinese, Japanese or Korean one a whole height.
double roughAdvance(const TextRun& run, std::string_view text);

}  // namespace tessik::cadhost
