#pragma once
// A drawn preview of layered entities (a template sheet or a nesting),
// scaled to fit the widget with y up: closed outlines on CUT filled pale red,
// stock on STOCK grey, MARK lines dashed, BEVEL lines blue, texts in black.
//
// A text too small to read at the preview's scale is drawn at a readable
// size only where that larger text still keeps clear of every outline (a
// piece's name inside its piece, a label beside it); otherwise it is left
// out, so no text runs across the lines it names.

#include <QPainterPath>
#include <QWidget>
#include <functional>
#include <vector>

#include "TemplateEntities.h"

namespace tessik {

class EntityPreview : public QWidget {
public:
    EntityPreview(QSize least, QSize hint, QWidget* parent = nullptr);
    void setEntities(std::vector<LayeredEntity> entities);
    const std::vector<LayeredEntity>& entities() const { return entities_; }
    QSize sizeHint() const override { return hint_; }

    static constexpr int kLeastTextPixels = 8;
    static constexpr int kMostTextPixels = 14;

    // The pixel size for a text whose true size at this scale is
    // `truePixels`, or 0 where it is left out; `boxAt` gives the text's box
    // at a pixel size, `outlines` the drawn outlines it must not cross.
    static int textPixels(double truePixels, const std::function<QRectF(int)>& boxAt,
                          const std::vector<QPainterPath>& outlines);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<LayeredEntity> entities_;
    TemplateExtents extents_;
    QSize hint_;
};

}  // namespace tessik
