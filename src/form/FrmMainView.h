#pragma once
// The main window as FrmMainForm sees it: its controls by identifier (see
// FormControls.h for the contract a view keeps). Which calls apply to which
// kind of control is noted at each call; a call on a control of another kind
// does nothing and reads as empty, 0 or false.

#include <string>

#include "FormControls.h"

namespace tessik {

class frmAboutForm;

class FrmMainView {
public:
    virtual ~FrmMainView() = default;

    // Text of a text box or of a drop-down list's text line, the caption of a
    // label, button, option, check box, frame or of the window. setText on a
    // text box raises its Change when the text differs; a label that sizes
    // itself to its text (LblInfo) takes its new size.
    virtual std::string text(FrmMainControl control) const = 0;
    virtual void setText(FrmMainControl control, const std::string& text) = 0;

    // A text box's selection (SelStart, SelLength), in UTF-16 units.
    virtual void setSelection(FrmMainControl control, int SelStart, int SelLength) = 0;

    // Drop-down lists. addItem inserts `item` at `position` (0..count) and
    // changes neither ListIndex nor the text line. setListIndex selects an
    // entry (its text shows in the text line) or, with -1, none; it raises no
    // event. The form checks the index against listCount first.
    virtual int listCount(FrmMainControl list) const = 0;
    virtual std::string listItem(FrmMainControl list, int index) const = 0;
    virtual void addItem(FrmMainControl list, int position, const std::string& item) = 0;
    virtual int listIndex(FrmMainControl list) const = 0;
    virtual void setListIndex(FrmMainControl list, int index) = 0;

    // Check box (check::kClear, kTicked, kGrayed) and option (0, 1; setting
    // one option to 1 clears the others of its group).
    virtual int value(FrmMainControl control) const = 0;
    virtual void setValue(FrmMainControl control, int value) = 0;

    // VScroll1: its value and range. setScrollValue raises Change when the
    // value differs; the form keeps values inside the range.
    virtual int scrollValue(FrmMainControl bar) const = 0;
    virtual void setScrollValue(FrmMainControl bar, int value) = 0;
    virtual int scrollMin(FrmMainControl bar) const = 0;
    virtual int scrollMax(FrmMainControl bar) const = 0;

    virtual bool enabled(FrmMainControl control) const = 0;
    virtual void setEnabled(FrmMainControl control, bool enabled) = 0;
    virtual bool visible(FrmMainControl control) const = 0;
    virtual void setVisible(FrmMainControl control, bool visible) = 0;
    virtual void setFocus(FrmMainControl control) = 0;

    // The window: setVisible(Window, ...) shows or hides it; activate brings
    // it to the front and gives it the keyboard.
    virtual void activate() = 0;

    // The About dialog's behaviour, made (with its view) at the first call and
    // kept for the window's life.
    virtual frmAboutForm& aboutDialog() = 0;
};

}  // namespace tessik
