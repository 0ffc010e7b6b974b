#pragma once
// The templates as a PDF for a person with an office printer: the sheet at
// true scale, tiled over pages of the chosen paper with 10 mm overlap and
// alignment marks; every tile page carries "i/n", a small map of the tiles, a
// 100 mm scale bar, a 10 mm grid along the edges and the note to print at
// actual size. The first page(s) hold the cut list, the code checks (the
// lines the caller gives: verdict, governing equation, the numbers put in)
// and the ordinate table. Long lines are wrapped to the page.
//
// Written by PdfDocument (no Qt); the text uses the reader's own Chinese font.

#include <optional>
#include <string>
#include <vector>

#include "ElbowFabrication.h"
#include "Error.h"
#include "PieceTemplate.h"

namespace tessik {

struct PaperSize {
    std::string name;
    double width = 0;   // mm, portrait
    double height = 0;
};

// A4, A3, A2, A1, A0 or letter; anything else: none.
std::optional<PaperSize> paperSize(const std::string& name);

inline constexpr double kPdfPageMargin = 8;   // mm a printer may not reach
inline constexpr double kPdfTileOverlap = 10; // mm shared by neighbouring tiles
inline constexpr double kPdfFooter = 24;      // mm under each tile: label, map, scale bar, note

inline constexpr const char* kPrintNote = "打印时选择\"实际大小\"（100%），打印后用比例尺核对。";

// Tiles across and down for a sheet on a paper (in the orientation chosen).
struct TileLayout {
    bool landscape = false;
    double pageWidth = 0, pageHeight = 0;  // mm
    double tileWidth = 0, tileHeight = 0;  // mm of the sheet on one page
    int columns = 0, rows = 0;
};

TileLayout tileLayout(const TemplateSheet& sheet, const PaperSize& paper);

// Pages of the whole file: the cut list and ordinate table, then the tiles.
// A sheet too large to count gives a number far above kPdfMostPages.
long long templatePdfPages(const ElbowFabrication& fabrication, const TemplateSheet& sheet, const PaperSize& paper,
                           const std::vector<std::string>& codeCheck = {});

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
                        const PaperSize& paper, const std::vector<std::string>& codeCheck = {});

}  // namespace tessik
