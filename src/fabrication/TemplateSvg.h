#pragma once
// The template sheet as one SVG drawing at true size: width and height in mm,
// one user unit per millimetre, y up as in the sheet (flipped on output). Cut
// outlines in red, marks in blue dashes, labels in black, and a 100 mm scale
// bar under the templates to check a print with.

#include <string>

#include "PieceTemplate.h"

namespace tessik {

inline constexpr double kSvgMargin = 10;  // mm round the sheet

std::string templateSvg(const TemplateSheet& sheet);

}  // namespace tessik
