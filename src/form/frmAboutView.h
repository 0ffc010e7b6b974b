#pragma once
// The About dialog as frmAboutForm sees it: its controls by identifier (see
// FormControls.h for the contract a view keeps).

#include <string>

#include "FormControls.h"

namespace tessik {

class frmAboutView {
public:
    virtual ~frmAboutView() = default;

    // Loads the window afresh in its design-time state: captions, colours,
    // link styles plain, the pictures in place and all visible, every timer
    // stopped. The form runs Form_Load right after.
    virtual void load() = 0;

    // Caption of the window, a label or a button. A one-line label grows to
    // fit its text where the text would not fit its place.
    virtual std::string text(frmAboutControl control) const = 0;
    virtual void setText(frmAboutControl control, const std::string& text) = 0;

    virtual void setTextColour(frmAboutControl label, TextColour colour) = 0;
    virtual TextColour textColour(frmAboutControl label) const = 0;
    // A link label's style: underline and italic together, with its colour.
    virtual void setLinkStyle(frmAboutControl label, bool underlineItalic, TextColour colour) = 0;

    // Shows or hides a control; with Window, the dialog. Hiding the dialog
    // unloads it: the view then calls nothing of the form until the next load.
    virtual bool visible(frmAboutControl control) const = 0;
    virtual void setVisible(frmAboutControl control, bool visible) = 0;

    // A control's position, in the view's own units; the form only copies a
    // position from one control to another.
    virtual int left(frmAboutControl control) const = 0;
    virtual int top(frmAboutControl control) const = 0;
    virtual void move(frmAboutControl control, int left, int top) = 0;

    virtual void setFocus(frmAboutControl control) = 0;
    // Brings the dialog to the front with the keyboard.
    virtual void activate() = 0;

    // Timer1..Timer3. A running timer calls the form's TimerN_Timer once per
    // interval; setTimerEnabled(true) on a running timer leaves its count
    // alone, false stops it.
    virtual void setTimerInterval(frmAboutControl timer, int milliseconds) = 0;
    virtual void setTimerEnabled(frmAboutControl timer, bool enabled) = 0;
    virtual bool timerEnabled(frmAboutControl timer) const = 0;
};

}  // namespace tessik
