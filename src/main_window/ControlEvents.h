#pragma once
// Adapters from Qt's events to the window's handler events: KeyPress with a
// character code the handler may discard, GotFocus and LostFocus. See the
// event mapping at the top of FrmMain.h for why each one looks as it does.

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>

class QKeyEvent;
class QLineEdit;
class QWidget;

namespace tessik {

// The character code a key event types, as a 16-bit signed code: printable
// characters by their UTF-16 unit, Backspace 8, Enter 13, Esc 27, Ctrl+A..Z
// 1..26 (Ctrl+V is 22). Keys that type no character give nothing: Delete,
// cursor and function keys, Tab (it moves the focus), Alt combinations
// (access keys).
std::optional<std::int16_t> characterCode(const QKeyEvent& event);

// The handler receives the code by reference: unchanged, the key goes on to
// the field; set to 0, the key is discarded; set to another code, that
// character is typed instead.
using KeyPressHandler = std::function<void(std::int16_t& KeyAscii)>;
using FocusHandler = std::function<void()>;

// Routes every typed character of `field` (a QLineEdit) through `handler`
// before the field sees it. Input-method composition is switched off for the
// field, so every character arrives as a key press; Paste in the field's
// context menu types the clipboard's characters through the handler too, and
// the menu shows no shortcut hints (the shortcuts type control characters,
// which are the handler's to refuse).
void onKeyPress(QWidget* field, KeyPressHandler handler);

// GotFocus / LostFocus: the control gained or lost the keyboard focus within
// the window. Opening a drop-down list and switching to another window are not
// focus changes in this sense. The handler runs after the control has handled
// the focus change itself. One handler per control and event.
void onGotFocus(QWidget* control, FocusHandler handler);
void onLostFocus(QWidget* control, FocusHandler handler);

// A text written into `field` while the user is not in it shows its
// beginning: Qt puts the cursor after the last character, which scrolls a
// long text in a narrow field so that its first digits are hidden.
void showBeginningOfWrittenText(QLineEdit* field);

}  // namespace tessik
