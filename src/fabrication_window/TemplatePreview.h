#pragma once
// A drawn preview of the template sheet: outlines, marks and labels, scaled
// to fit the widget with the sheet's y axis up.

#include <QWidget>

#include "PieceTemplate.h"

namespace tessik {

class TemplatePreview : public QWidget {
public:
    explicit TemplatePreview(QWidget* parent = nullptr);
    void setSheet(const TemplateSheet& sheet);
    const TemplateSheet& sheet() const { return sheet_; }
    QSize sizeHint() const override { return {520, 300}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TemplateSheet sheet_;
};

}  // namespace tessik
