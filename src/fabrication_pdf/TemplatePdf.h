#pragma once
// The templates as a PDF for a person with an office printer: the sheet at
// true scale, tiled over pages of the chosen paper with 10 mm overlap and
// alignment marks. Only tiles a template lies on are pages (TilePlan.h). The
// first page(s) hold the cut list, the code checks (the lines the caller
// gives: verdict, governing equation, the numbers put in) and the ordinate
// table, the next the tile map: the sheet in small with every printed tile,
// its name (row-column) and number, and the order to lay them out in. Every tile page carries "i/n", its
// name, the pieces on it (also written on each piece's part of the tile), a
// small map of the tiles, a 100 mm scale bar, a 10 mm grid along the edges
// and the note to print at actual size. Every page names the elbow (diameter,
// angle, radius, segments, date). Long lines of the cut list are wrapped.
//
// A printer that does not print true to size is corrected by the length its
// last print of the 100 mm bar measured: all that is drawn to scale is
// enlarged by 100 / measured, so the next print comes out true.
//
// Written by PdfDocument (no Qt); the text uses the reader's own Chinese font.

#include <optional>
#include <string>
#include <vector>

#include "ElbowFabrication.h"
#include "Error.h"
#include "PieceTemplate.h"
#include "TilePlan.h"

namespace tessik {

struct PaperSize {
    std::string name;
    double width = 0;   // mm, portrait
    double height = 0;
};

// A4, A3, A2, A1, A0 or letter; anything else: none.
std::optional<PaperSize> paperSize(const std::string& name);

// The elbow as every page names it.
struct ElbowIdentity {
    double outerDiameter = 0;  // mm
    double bendAngle = 0;      // degrees
    double bendRadius = 0;     // mm
    int middlePieces = 0;
    std::string date;          // as printed, e.g. "2026-12-10"
};

// What the printed 100 mm bar may have measured: a printer further off than
// this is set up wrongly (a page fitted to the paper, a wrong paper size),
// not to be corrected here.
inline constexpr double kLeastMeasuredBar = 80;   // mm
inline constexpr double kMostMeasuredBar = 125;   // mm

struct PrintSettings {
    // What the 100 mm bar of the last print measured; none: print as drawn.
    std::optional<double> measuredBar;
    std::optional<ElbowIdentity> identity;
    // The code checks in words, a line each, for the first page.
    std::vector<std::string> codeCheck;

    // 100 / measuredBar, or 1.
    double scaleCorrection() const { return measuredBar ? 100 / *measuredBar : 1; }
};

// Why a measured bar length cannot be used ("打印比例尺量得 ... mm"), or none.
std::optional<std::string> measuredBarProblem(double measuredBar);

inline constexpr double kPdfPageMargin = 8;   // mm a printer may not reach
inline constexpr double kPdfTileOverlap = 10; // mm shared by neighbouring tiles
inline constexpr double kPdfFooter = 24;      // mm under each tile: label, map, scale bar, note

inline constexpr const char* kPrintNote = "打印时选择\"实际大小\"（100%），打印后用比例尺核对。";

// Tiles across and down for a sheet on a paper (in the orientation chosen).
// The orientation with fewer printed tiles wins (portrait on a tie).
struct TileLayout {
    bool landscape = false;
    double pageWidth = 0, pageHeight = 0;  // mm
    double scale = 1;                      // page mm per sheet mm
    double tileWidth = 0, tileHeight = 0;  // mm of the sheet on one page
    int columns = 0, rows = 0;
    std::vector<PlannedTile> tiles;        // the printed ones, in reading order
    bool counted = true;                   // false: too many to search; none printed
};

TileLayout tileLayout(const TemplateSheet& sheet, const PaperSize& paper, double scale = 1);

// Pages of the whole file: the cut list and ordinate table, the tile map,
// then the tiles. A sheet too large to count gives a number far above
// kPdfMostPages.
long long templatePdfPages(const ElbowFabrication& fabrication, const TemplateSheet& sheet, const PaperSize& paper,
                           const PrintSettings& print = {});

// More pages than a person prints without being asked first, and more than
// anyone prints at all: such a file is refused.
inline constexpr long long kPdfPagesToAsk = 100;
inline constexpr long long kPdfMostPages = 2000;

// "1673 页 A4 纸", for the warning and the question above kPdfPagesToAsk.
std::string templatePdfPagesText(long long pages, const PaperSize& paper);

// The error for a file of more than kPdfMostPages pages; none below.
std::optional<Error> templatePdfRefusal(const std::string& path, long long pages, const PaperSize& paper);

// Writes the whole file or nothing (the target is replaced only on success);
// refuses, writing nothing, above kPdfMostPages.
Status writeTemplatePdf(const std::string& path, const ElbowFabrication& fabrication, const TemplateSheet& sheet,
                        const PaperSize& paper, const PrintSettings& print = {});

}  // namespace tessik
