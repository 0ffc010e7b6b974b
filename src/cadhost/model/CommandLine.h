#pragma once
// The prompt line's state, without widgets: the prompt shown and the text
// typed so far. Text arrives character by character, from the keyboard or
// from an automation client's SendCommand: Enter submits the line, Esc
// cancels. While a point is asked for, a submitted line is read as "x,y" or
// "x,y,z" (or "@dx,dy[,dz]" relative to the base point); otherwise it is a
// command.

#include <optional>

#include <QObject>
#include <QString>

#include "model/ModelEntity.h"

namespace tessik::cadhost {

// "x,y" or "x,y,z", numbers in the C locale, optional spaces; nullopt when the
// text is not such a point or a coordinate is not finite. "@dx,dy[,dz]" is
// taken relative to base when one is given.
std::optional<Point3> parsePointText(const QString& text, const std::optional<Point3>& base);

class CommandLine : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // No command or point is longer; characters typed past it are dropped
    // (and reported once per line), so any amount of text costs linear time.
    static constexpr qsizetype kMaxLength = 4096;

    const QString& text() const { return text_; }
    // Replaces the typed text (the widget's own editing).
    void setText(const QString& text);

    // Types text as if on the keyboard: '\n' or '\r' submits, ESC (U+001B)
    // cancels, backspace (U+0008) deletes; every other character is typed.
    void type(QStringView text);
    void submit();
    void escape();

signals:
    void textChanged(const QString& text);
    // A complete line was entered.
    void submitted(const QString& line);
    void escaped();
    // Characters were dropped because the line reached kMaxLength.
    void overflowed(qsizetype dropped);

private:
    QString text_;
};

}  // namespace tessik::cadhost
