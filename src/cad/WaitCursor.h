#pragma once
// While a WaitCursor lives, the program's windows show the wait cursor, so
// that a user whose clicks are swallowed (InputBlocker) sees why: the tool is
// waiting for the CAD application, typically for a point picked there. The
// cursor is restored however the wait ends (answered, cancelled, the
// connection lost), since the destructor runs on every way out. Without a
// GUI application (console tests) it does nothing.

namespace tessik {

class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool shown_ = false;
};

}  // namespace tessik
