#pragma once
// Where tessik-cad's window opens when a program that launches it names its
// own window (TESSIK_CAD_BESIDE="x,y,width,height", frame included): beside
// it on the same screen, not over it. To the right where the window fits
// there, else to the left, else on the side with more room, narrowed to it;
// top edge level with the other window's as far as the screen allows.

#include <optional>

#include <QRect>
#include <QString>

namespace tessik::cadhost {

inline constexpr char kBesideVariable[] = "TESSIK_CAD_BESIDE";

// "x,y,width,height" with a positive size; nullopt for anything else.
std::optional<QRect> parseBeside(const QString& text);

// size: the window's wished size; available: the screen's free area.
QRect besidePlacement(const QRect& beside, QSize size, const QRect& available);

}  // namespace tessik::cadhost
