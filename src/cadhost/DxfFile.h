#pragma once
// tessik-cad's drawings as DXF files, through the DXF layer (dxf/).
//
// Reading keeps the whole file in the document's DxfDrawing and shows what
// this drawing model understands: LINE, ARC, CIRCLE and ELLIPSE in the plane
// z = 0 orientation (extrusion 0,0,1) with sound values. Everything else
// (other kinds, other orientations, a zero radius) is kept, counted, and
// written back unchanged.
//
// Writing starts from that drawing: new entities are added with fresh
// handles, changed ones get their new values, erased ones are left out, and
// the file is replaced in one step (replaceFile), so a failed save leaves
// the old file whole.
//
// Arc angles are degrees in the file and radians in the drawing; ellipse
// start/end are parameters in both.

#include <memory>

#include <QString>

#include "CadDocument.h"
#include "Error.h"

namespace tessik::cadhost {

struct DxfReadReport {
    std::unique_ptr<CadDocument> document;
    int read = 0;  // entities shown in the drawing
    int kept = 0;  // entities kept for writing back but not shown
};

Result<DxfReadReport> readDxf(const QString& path);
Status writeDxf(const CadDocument& document, const QString& path);
// The bytes writeDxf would write.
Result<std::string> dxfBytes(const CadDocument& document);

}  // namespace tessik::cadhost
