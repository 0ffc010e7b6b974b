#pragma once
// Reading and writing drawings as DXF (AutoCAD R2000 / AC1015), through
// dxflib. LINE, ARC, CIRCLE and ELLIPSE are understood; every other entity is
// skipped and counted, and an entity whose values make no sense (a radius of
// zero, a ratio outside (0, 1], a non-finite number) is skipped and counted
// too, so a damaged file never becomes a damaged drawing.
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
    int read = 0;     // entities taken into the drawing
    int skipped = 0;  // entities of other kinds, or with values out of range
};

Result<DxfReadReport> readDxf(const QString& path);
// Writes to a temporary file beside path and renames it into place, so a
// failed save leaves an existing file untouched.
Status writeDxf(const CadDocument& document, const QString& path);

}  // namespace tessik::cadhost
