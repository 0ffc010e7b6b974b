#pragma once
// A pixel store that threads drawing into one image at once may make to the
// same pixel: every writer stores the same colour, so which store lands
// last does not matter, but a plain store would still be a data race. A
// relaxed atomic store is a plain move on the targets we build for.

#include <atomic>

#include <QtGlobal>
#include <QRgb>

namespace tessik::cadhost {

inline void storePixel(uchar* at, QRgb color)
{
    std::atomic_ref<QRgb>(*reinterpret_cast<QRgb*>(at)).store(color, std::memory_order_relaxed);
}

}  // namespace tessik::cadhost
