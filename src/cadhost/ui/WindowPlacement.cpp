#include "ui/WindowPlacement.h"

#include <algorithm>

#include <QStringList>

namespace tessik::cadhost {

std::optional<QRect> parseBeside(const QString& text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 4) return std::nullopt;
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toInt(&ok);
        if (!ok) return std::nullopt;
    }
    if (v[2] <= 0 || v[3] <= 0) return std::nullopt;
    return QRect(v[0], v[1], v[2], v[3]);
}

QRect besidePlacement(const QRect& beside, QSize size, const QRect& available)
{
    const int width = std::min(size.width(), available.width());
    const int height = std::min(size.height(), available.height());
    const int right = available.right() - beside.right();  // room right of the other window
    const int left = beside.left() - available.left();     // and left of it
    int x = 0, w = width;
    if (right >= width)
        x = beside.right() + 1;
    else if (left >= width)
        x = beside.left() - width;
    else {
        // Narrowed to the roomier side; over the other window only when
        // that side is under a third of the screen.
        const int room = std::max(right, left);
        w = room >= available.width() / 3 ? room : std::min(width, available.width() / 3);
        x = right >= left ? available.right() + 1 - w : available.left();
    }
    const int y = std::clamp(beside.top(), available.top(), available.bottom() + 1 - height);
    return QRect(x, y, w, height);
}

}  // namespace tessik::cadhost
