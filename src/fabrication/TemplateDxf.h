#pragma once
// The template sheet as a DXF R2000 drawing in millimetres ($INSUNITS 4),
// through the DXF layer: per piece one closed LWPOLYLINE on layer CUT (the
// outline a plasma or laser cutter follows), LINEs on MARK, TEXT on TEXT.
// Only whole outlines: no loose or repeated segments on CUT.

#include <string>

#include "Error.h"
#include "PieceTemplate.h"

namespace tessik {

Result<std::string> templateDxf(const TemplateSheet& sheet);

}  // namespace tessik
