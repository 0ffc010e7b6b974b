#pragma once
// A drawn preview of a nesting: the stocks (the developed pipe or the sheets)
// side by side in grey, the pieces' outlines in red with their names. It
// paints the same entities the nesting DXF holds.

#include "EntityPreview.h"

namespace tessik {

class NestPreview : public EntityPreview {
public:
    explicit NestPreview(QWidget* parent = nullptr) : EntityPreview({320, 120}, {520, 160}, parent) {}
};

}  // namespace tessik
