#include "TessikLook.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tessik {

void applyTessikLook(QApplication& app)
{
    QFont font(QStringLiteral("WenQuanYi Micro Hei"), 9);
    font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    font.setStyleHint(QFont::SansSerif);
    app.setFont(font);

    // Missing translations leave Qt's texts in English; nothing else changes.
    auto* qtTexts = new QTranslator(&app);
    if (qtTexts->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qtTexts);
    else
        delete qtTexts;
}

}  // namespace tessik
