#pragma once
// Fake views of the two windows for the form tests: each control is a plain
// record, and the fakes keep the view contract of FormControls.h (a write
// that changes a text box's text or the scroll bar's value raises its Change
// in the form; the scroll bar clamps to its range; the timers tick only when
// a test says so).

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "FrmMainForm.h"
#include "frmAboutForm.h"

namespace tessik {

class FakefrmAboutView : public frmAboutView {
public:
    struct Control {
        std::string text;
        TextColour colour;
        bool linkStyled = false;
        bool visible = true;
        int left = 0, top = 0;
        int interval = 0;
        bool timerRunning = false;
    };

    void load() override;
    std::string text(frmAboutControl c) const override { return at(c).text; }
    void setText(frmAboutControl c, const std::string& text) override { at(c).text = text; }
    void setTextColour(frmAboutControl c, TextColour colour) override { at(c).colour = colour; }
    TextColour textColour(frmAboutControl c) const override { return at(c).colour; }
    void setLinkStyle(frmAboutControl c, bool styled, TextColour colour) override;
    bool visible(frmAboutControl c) const override { return at(c).visible; }
    void setVisible(frmAboutControl c, bool visible) override { at(c).visible = visible; }
    int left(frmAboutControl c) const override { return at(c).left; }
    int top(frmAboutControl c) const override { return at(c).top; }
    void move(frmAboutControl c, int left, int top) override;
    void setFocus(frmAboutControl c) override { focus = c; }
    void activate() override { ++activations; }
    void setTimerInterval(frmAboutControl c, int ms) override { at(c).interval = ms; }
    void setTimerEnabled(frmAboutControl c, bool on) override { at(c).timerRunning = on; }
    bool timerEnabled(frmAboutControl c) const override { return at(c).timerRunning; }

    // The picture boxes that show, by index.
    std::vector<int> visiblePictures() const;

    Control& at(frmAboutControl c) { return controls[std::size_t(c)]; }
    const Control& at(frmAboutControl c) const { return controls[std::size_t(c)]; }
    std::array<Control, kfrmAboutControlCount> controls{};
    frmAboutControl focus = frmAboutControl::Window;
    int activations = 0;
    int loads = 0;
};

class FakeFrmMainView : public FrmMainView {
public:
    struct Control {
        std::string text;
        int selStart = 0, selLength = 0;
        std::vector<std::string> items;
        int listIndex = -1;
        int value = 0;
        int min = 0, max = 0;
        bool enabled = true;
        bool visible = true;
    };

    // The window in its design-time state; `desktop` serves the About dialog.
    explicit FakeFrmMainView(BasicDesktop& desktop);
    // The form whose Change handlers the fake raises.
    FrmMainForm* form = nullptr;

    std::string text(FrmMainControl c) const override { return at(c).text; }
    void setText(FrmMainControl c, const std::string& text) override;
    void setSelection(FrmMainControl c, int start, int length) override;
    int listCount(FrmMainControl c) const override { return int(at(c).items.size()); }
    std::string listItem(FrmMainControl c, int i) const override { return at(c).items.at(std::size_t(i)); }
    void addItem(FrmMainControl c, int position, const std::string& item) override;
    int listIndex(FrmMainControl c) const override { return at(c).listIndex; }
    void setListIndex(FrmMainControl c, int index) override;
    int value(FrmMainControl c) const override { return at(c).value; }
    void setValue(FrmMainControl c, int value) override;
    int scrollValue(FrmMainControl c) const override { return at(c).value; }
    void setScrollValue(FrmMainControl c, int value) override;
    int scrollMin(FrmMainControl c) const override { return at(c).min; }
    int scrollMax(FrmMainControl c) const override { return at(c).max; }
    bool enabled(FrmMainControl c) const override { return at(c).enabled; }
    void setEnabled(FrmMainControl c, bool on) override { at(c).enabled = on; }
    bool visible(FrmMainControl c) const override { return at(c).visible; }
    void setVisible(FrmMainControl c, bool on) override { at(c).visible = on; }
    void setFocus(FrmMainControl c) override { focus = c; }
    void activate() override { ++activations; }
    frmAboutForm& aboutDialog() override;

    // Types `text` into a field key by key, as the user would: each key goes
    // through the form's KeyPress, and what it leaves replaces the selection.
    void type(FrmMainControl field, const std::u16string& keys);

    Control& at(FrmMainControl c) { return controls[std::size_t(c)]; }
    const Control& at(FrmMainControl c) const { return controls[std::size_t(c)]; }
    std::array<Control, kFrmMainControlCount> controls{};
    FrmMainControl focus = FrmMainControl::CmbWJ;
    int activations = 0;
    std::vector<std::string> changes;  // controls whose Change was raised, in order

    FakefrmAboutView about;
    std::unique_ptr<frmAboutForm> aboutForm;

private:
    BasicDesktop& desktop_;
};

}  // namespace tessik
