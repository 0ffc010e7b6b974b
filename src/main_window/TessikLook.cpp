#include "TessikLook.h"

#include <QApplication>
#include <QFont>

namespace tessik {

void applyTessikLook(QApplication& app)
{
    QFont font(QStringLiteral("WenQuanYi Micro Hei"), 9);
    font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    font.setStyleHint(QFont::SansSerif);
    app.setFont(font);
}

}  // namespace tessik
