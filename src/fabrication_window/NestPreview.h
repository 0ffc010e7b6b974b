#pragma once
// A drawn preview of a nesting: the stocks (the developed pipe or the sheets)
// side by side in grey, the pieces' outlines in red with their names, scaled
// to fit the widget, y up. It paints the same entities the nesting DXF holds.

#include <QWidget>
#include <vector>

#include "TemplateEntities.h"

namespace tessik {

class NestPreview : public QWidget {
public:
    explicit NestPreview(QWidget* parent = nullptr);
    void setEntities(std::vector<LayeredEntity> entities);
    const std::vector<LayeredEntity>& entities() const { return entities_; }
    QSize sizeHint() const override { return {520, 160}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<LayeredEntity> entities_;
    TemplateExtents extents_;
};

}  // namespace tessik
