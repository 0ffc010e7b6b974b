#pragma once
// Which pages of a tiled print carry anything: the grid of tiles laid over
// the sheet, and of its tiles only those a template outline crosses or lies
// over. A tile that would show nothing but paper, or only a label, is no
// page. Tiles are kept in reading order (rows from the top, columns from the
// left), which is the order they are printed, numbered and assembled in.

#include <vector>

#include "PieceTemplate.h"

namespace tessik {

// The grid: tile (row, column) shows the sheet window
// [x0 + column * strideX, + width] x [top - row * strideY - height, top - row * strideY].
struct TileGrid {
    double x0 = 0, top = 0;
    double width = 0, height = 0;      // sheet mm on one tile
    double strideX = 0, strideY = 0;   // width and height less the overlap
    int columns = 0, rows = 0;

    double left(int column) const { return x0 + column * strideX; }
    double upper(int row) const { return top - row * strideY; }
};

struct PlannedTile {
    int row = 0, column = 0;  // from 0
    std::vector<int> pieces;  // indexes into the sheet's pieces, rising
};

// The tiles that hold part of a piece. A grid of more than kMostPlannedTiles
// tiles is not searched: the result is then empty and `searched` false.
inline constexpr long long kMostPlannedTiles = 250000;
std::vector<PlannedTile> plannedTiles(const TemplateSheet& sheet, const TileGrid& grid, bool* searched = nullptr);

// Where to name the piece on the tile window [x0, x1] x [y0, y1]: a point of
// the piece, clear of the overlap bands `band` wide at the window's edges when
// the piece reaches in so far, where a name `halfWidth` by `halfHeight` mm
// about it stays inside the piece when the piece allows it. A piece that only
// touches the window in a sliver is named on its outline there, never on
// another piece.
TemplatePoint nameSpot(const PieceTemplate& piece, double x0, double y0, double x1, double y1, double band,
                       double halfWidth, double halfHeight);

}  // namespace tessik
