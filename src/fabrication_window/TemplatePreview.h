#pragma once
// A drawn preview of the template sheet: outlines, marks, a plate's surface
// lines, each piece's label and its name; the smaller notes (quarters,
// stations, seam) are for the printed sheet and left out here.

#include "EntityPreview.h"
#include "PieceTemplate.h"

namespace tessik {

class TemplatePreview : public EntityPreview {
public:
    explicit TemplatePreview(QWidget* parent = nullptr);
    void setSheet(const TemplateSheet& sheet);
    const TemplateSheet& sheet() const { return sheet_; }

private:
    TemplateSheet sheet_;
};

}  // namespace tessik
