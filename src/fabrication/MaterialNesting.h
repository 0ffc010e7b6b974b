#pragma once
// Material use: every piece of one elbow laid out on the stock it is cut from.
//
// On one straight pipe (pipeNest): the pieces follow each other so that each
// mitre cut serves two neighbours; every piece is turned 180 degrees about
// the axis from the one before, its long side where its neighbour's short
// side is. The pipe needs the pieces' centre lines plus one kerf per cut,
// measured along the axis (kerf / cos theta); that kerf is all that is lost.
// The layout is drawn on the developed pipe surface: pi Dt wide, as long as
// the pipe, x round the pipe from the first piece's long side, y along it.
//
// On plate (plateNest): the developed pieces, in the same shared-cut order
// and turned alike, are laid in lanes on sheets of the user's size, the lanes
// running along the sheet's height or, the pieces turned 90 degrees, along
// its width, whichever needs fewer sheets. On plate a piece turned 180
// degrees is one rolled with its seam on the other side of the bend, which
// staggers the seams of neighbouring pieces too. A lane that is full goes on
// in the next lane, then on the next sheet. Pieces keep one kerf (again
// kerf / cos theta along a shared cut) from each other and from the sheet's
// edges.

#include <string>
#include <vector>

#include "ElbowFabrication.h"
#include "PieceTemplate.h"
#include "TemplateEntities.h"

namespace tessik {

struct NestedPiece {
    PieceKind kind = PieceKind::end;
    int number = 0;       // place in the elbow from the inlet, from 1
    bool turned = false;  // long side (on plate: seam side) turned 180 degrees
    int stock = 0;        // which sheet; 0 on the pipe
    std::vector<TemplatePoint> outline;  // closed, counter-clockwise, in its stock's frame
    double area = 0;      // mm^2
};

enum class NestKind { pipe, plate };

struct MaterialNest {
    NestKind kind = NestKind::pipe;
    double stockWidth = 0, stockHeight = 0;  // the developed pipe, or one sheet (mm)
    int stocks = 0;                          // sheets used; 1 pipe
    bool lanesAlongWidth = false;            // plate: pieces turned 90 degrees on the sheet
    double kerf = 0;                         // as given, square to the cut
    std::vector<NestedPiece> pieces;         // in the elbow's order
    double piecesArea = 0;                   // mm^2
    double utilisation = 0;                  // per cent of the stock used
    // Pipe: its length, the pieces' centre lines, and what the cuts take.
    double pipeLength = 0, piecesLength = 0, waste = 0;
};

// The single-pipe layout, or why there is none (a kerf out of range, a cut
// too fine to draw).
Result<MaterialNest> pipeNest(const ElbowFabrication& fabrication, double kerf);

// The plate layout on sheets sheetWidth x sheetHeight (mm), or why there is
// none: a sheet that cannot hold the widest piece or the longest one.
inline constexpr int kMostSheets = 10000;
Result<MaterialNest> plateNest(const ElbowFabrication& fabrication, double kerf, double sheetWidth,
                               double sheetHeight);

// "端节 1", "中节 3（转 180°）".
std::string nestedPieceName(const NestedPiece& piece);

// The facts in words: pipe length and waste, or sheets and utilisation.
std::string nestSummary(const MaterialNest& nest);

// The layout as a drawing: the stocks side by side from the origin, a gap
// between them, each outlined on STOCK and named beneath; each piece's
// closed outline on CUT and its name on TEXT inside it.
std::vector<LayeredEntity> nestEntities(const MaterialNest& nest);

}  // namespace tessik
