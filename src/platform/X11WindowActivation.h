#pragma once
// Bringing another program's top-level window to the front on X11, found by
// its title (_NET_WM_NAME, else WM_NAME). With a window manager that follows
// EWMH the request goes to it as _NET_ACTIVE_WINDOW, as a pager would send
// it; without one (a bare X server) the window is raised and given the input
// focus directly.

#include <QByteArray>
#include <QString>

namespace tessik {

// `display` as in $DISPLAY (empty: $DISPLAY itself). False when no X server
// answers or no viewable window has that title.
bool activateX11Window(const QByteArray& display, const QString& title);

}  // namespace tessik
