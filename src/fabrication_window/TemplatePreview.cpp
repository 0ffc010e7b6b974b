#include "TemplatePreview.h"

#include <algorithm>

namespace tessik {

TemplatePreview::TemplatePreview(QWidget* parent) : EntityPreview({320, 180}, {520, 300}, parent) {}

void TemplatePreview::setSheet(const TemplateSheet& sheet)
{
    sheet_ = sheet;
    std::vector<LayeredEntity> shown = templateEntities(sheet);
    std::erase_if(shown, [&](const LayeredEntity& e) {
        const auto* text = std::get_if<entities::Text>(&e.entity);
        return text && std::none_of(sheet.pieces.begin(), sheet.pieces.end(), [&](const PieceTemplate& t) {
                   return text->text == t.name || text->text == t.label;
               });
    });
    setEntities(std::move(shown));
}

}  // namespace tessik
