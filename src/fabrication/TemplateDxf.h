#pragma once
// The template sheet as a DXF R2000 drawing in millimetres ($INSUNITS 4),
// through the DXF layer: per piece one closed LWPOLYLINE on layer CUT (the
// outline a plasma or laser cutter follows), LINEs on MARK, a plate's
// surface lines as open LWPOLYLINEs on BEVEL, TEXT on TEXT. Only whole
// outlines: no loose or repeated segments on CUT. $EXTMIN and $EXTMAX hold
// the sheet's extents.

#include <string>

#include "Error.h"
#include "PieceTemplate.h"
#include "TemplateEntities.h"

namespace tessik {

Result<std::string> templateDxf(const TemplateSheet& sheet);

// Any entities on the template layers (and others, such as STOCK) as such a drawing.
Result<std::string> layeredDxf(const std::vector<LayeredEntity>& entities);

}  // namespace tessik
