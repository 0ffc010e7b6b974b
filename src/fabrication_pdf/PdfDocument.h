#pragma once
// A small PDF writer: pages of lines, rectangles, circles and text, built in
// memory and handed over as the bytes of a complete file.
//
// Drawing is in millimetres, y down from the page's top-left corner; each
// page's content stream carries the one transform to PDF points. Text uses
// the reader's own Chinese font (STSong-Light of Adobe-GB1, addressed in
// UTF-16 through the UniGB-UCS2-H CMap), so nothing is embedded; its advance
// is a fixed 1 em per character, a fixed proportional width for ASCII, and
// the widths in the file say the same, so every reader places it alike.
//
// Pages are written out as they are finished, so memory holds one page's
// content besides the file itself.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessik::pdf {

struct Color {
    unsigned char r = 0, g = 0, b = 0;
};

// The width of text `height` mm high, in mm.
double textWidth(std::string_view utf8, double height);

class Page {
public:
    // Stroke width (mm), colour and a dash of 4 by 2 widths (Qt's DashLine).
    void pen(double width, Color color = {}, bool dashed = false);
    void line(double x1, double y1, double x2, double y2);
    void rect(double x, double y, double w, double h, bool filled = false);
    void circle(double cx, double cy, double r);
    // A stroked polygon through the points (x, y pairs), closed.
    void polygon(const std::vector<double>& xy);
    // Text with its baseline's left end at (x, y), `height` mm high.
    void text(double x, double y, double height, std::string_view utf8, Color color = {});
    // Drawing until the matching restore() is clipped to the rectangle.
    void clip(double x, double y, double w, double h);
    void restore();

private:
    friend class Document;
    void point(double x, double y);
    void number(double v);
    void fill(Color color);

    std::string content_;
    double width_ = 0, height_ = 0;  // mm
    bool hasFill_ = false;
    Color fill_;
    int clips_ = 0;
};

class Document {
public:
    explicit Document(std::string title, std::string creator);

    // Starts a page of the given size (mm); the previous page is finished.
    Page& newPage(double widthMm, double heightMm);
    int pageCount() const { return pages_; }

    // Finishes the last page and returns the whole file.
    std::string finish();

private:
    void finishPage();
    int object();                  // a new object number
    void begin(int object);        // starts writing that object here
    std::string out_;
    std::vector<std::size_t> offsets_;  // by object number; [0] unused
    std::vector<int> pageObjects_;
    std::string title_, creator_;
    Page page_;
    int pages_ = 0;
    bool open_ = false;
};

}  // namespace tessik::pdf
