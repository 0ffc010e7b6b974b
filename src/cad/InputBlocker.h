#pragma once
// While an InputBlocker lives, user input to every window of the program is
// swallowed and closing a window is refused; painting, timers and sockets go
// on. Used around every wait for the CAD application, so that no handler can
// run in the middle of another. Nested blockers share one filter.

#include <QObject>

namespace tessik {

class InputBlocker {
public:
    InputBlocker();
    ~InputBlocker();
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

    static bool active();
};

}  // namespace tessik
