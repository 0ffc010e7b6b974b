#pragma once
// tessik-cad's drawings as DXF files, through the DXF layer (dxf/).
//
// Reading keeps the whole file in the document's DxfDrawing and holds what
// this drawing model understands: LINE, and ARC, CIRCLE, ELLIPSE, LWPOLYLINE
// and TEXT in the plane of extrusion 0,0,1, with sound values; those on a
// layer that is off or frozen are held hidden. Everything else (other kinds,
// other orientations, a zero radius) is kept, counted, shown through
// DxfShapes, and written back unchanged.
//
// Writing starts from that drawing: new entities are added with fresh
// handles, changed ones get their new values, erased ones are left out, and
// the file is replaced in one step (replaceFile), so a failed save leaves
// the old file whole. A save that could not write something the document
// holds refuses (SaveLoss).
//
// A dimension is drawn from the block it names: moved, that block's
// entities move with it. A dimension whose block is not its own alone
// (another entity names it too, it is a layout's, or it holds an entity
// whose points cannot be written back) is read as not movable.
//
// Arc angles are degrees in the file and radians in the drawing; ellipse
// start/end are parameters in both.

#include <memory>
#include <string>
#include <vector>

#include <QString>

#include "model/DrawingDocument.h"
#include "Error.h"

namespace tessik::cadhost {

struct DxfReadReport {
    std::unique_ptr<DrawingDocument> document;
    int read = 0;  // entities shown in the drawing
    int kept = 0;  // entities kept for writing back but not shown
};

Result<DxfReadReport> readDxf(const QString& path);

// Whether a save may leave out what the file cannot hold (a text no DXF can
// carry, the vertex widths of a polyline whose vertices were changed).
// Refuse fails, leaving the file untouched, with a message that names what
// would be lost; Accept writes everything else (the user chose it, for a new
// file).
enum class SaveLoss { Refuse, Accept };
Status writeDxf(const DrawingDocument& document, const QString& path, SaveLoss loss = SaveLoss::Refuse);
// The bytes writeDxf would write; lost, when given, gets what they leave out.
Result<std::string> dxfBytes(const DrawingDocument& document, std::vector<std::string>* lost = nullptr);
// What saving the document would leave out, one description each (empty: nothing).
std::vector<std::string> contentLostOnSave(const DrawingDocument& document);

}  // namespace tessik::cadhost
