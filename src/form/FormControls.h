#pragma once
// form/: what the two windows FrmMain and frmAbout *do*, without a toolkit.
//
// FrmMainForm and frmAboutForm hold every event handler of the two windows
// (named after control and event: TxtZJS_Change, CmdDraw1_Click, Timer3_Timer),
// their start-up and their window-level variables. They never see a widget:
// they read and write their controls through a view interface (FrmMainView,
// frmAboutView) that addresses each control by the identifiers below, and
// they reach the rest of the desktop (message boxes, the beep, activating a
// window by its title, today's date, starting a program, opening a link,
// ending the program, the system-information lookup) through BasicDesktop.
//
// How a view implements it:
// - It builds its window with the design-time state of every control
//   (positions, captions, texts at start, enabled and checked states, the
//   scroll bar's range and value) and raises no event while doing so.
// - It maps its toolkit's events onto the form's entry points (FrmMainForm::
//   Click, Change, KeyPress, GotFocus, LostFocus; frmAboutForm's handlers) and
//   calls them synchronously on the user-interface thread. Events the wiring
//   does not handle may be handed on too: the form ignores them.
// - Writes from the form raise the same events as the user's edits, inside
//   the write: setText of a text box raises its Change, setValue of the scroll
//   bar raises its Change; an unchanged text or value raises none. Choosing a
//   list entry from code (setListIndex) raises nothing: the form runs the
//   list's Click itself, as selecting an entry from code does.
// - A KeyPress carries the 16-bit character code of each key that types a
//   character (Backspace 8, Enter 13, Esc 27, Ctrl+letter 1..26, printable
//   characters by their UTF-16 unit, read as signed), before the field inserts
//   it. After the call the view inserts the code the handler left: 0 discards
//   the key, another code types that character instead.
// - GotFocus / LostFocus are keyboard-focus changes between controls of the
//   window; opening a drop-down list or switching windows is neither.
// - Timers belong to the view (frmAboutView): the form sets their interval
//   and runs or stops them; while one runs, the view calls its handler once
//   per interval. A test's fake view ticks them by hand.
// - Texts are UTF-8. Selection positions and lengths count UTF-16 units, as
//   both toolkits' edit controls do.

#include <cstdint>

namespace tessik {

// FrmMain's controls; a control array's members carry their index
// (OptTX_0..OptTX_5, LblWanJ_0..LblWanJ_3, Label1_0..Label1_3, Line1_0..1).
// Window is the form itself (caption, shown/hidden, activation).
enum class FrmMainControl : std::uint8_t {
    Window,
    Frame1, Frame2, Frame3, Frame4,
    LblWaJ_1, CmbWJ, Label1_0,
    LblWanJ_1, CmbHd, LblWanJ_2,
    LblWanJ_0, TxtWJ, Label1_2,
    LblWanJ_3, TxtZJS, VScroll1,
    LblCZ_1, TxtCZ, Label1_3,
    LblBH_1, CmbBH, Label1_1,
    Label3, TxtWeight, Label4,
    ChkQuit, OptGc, OptWc,
    OptTX_0, OptTX_1, OptTX_2, OptTX_3, OptTX_4, OptTX_5,
    CmdStart, CmdDraw1, CmdAbout, CmdQuit, CmdIquire,
    Label2, Line1_0, Line1_1, LblInfo,
};
inline constexpr int kFrmMainControlCount = int(FrmMainControl::LblInfo) + 1;

// OptTX(index) as a control identifier; index 0..5.
constexpr FrmMainControl OptTX(int index) { return FrmMainControl(int(FrmMainControl::OptTX_0) + index); }

// frmAbout's controls. Window is the dialog itself.
enum class frmAboutControl : std::uint8_t {
    Window,
    picIcon_0, picIcon_1, picIcon_2, picIcon_3, picIcon_4,
    lblTitle, lblVersion, Label1, lblDescription, Label9,
    Label5, Label4, Label3, Label2, Label6, Label7, Label10, Label8,
    Image1, cmdOK, cmdSysInfo, lblDisclaimer,
    Timer1, Timer2, Timer3,
};
inline constexpr int kfrmAboutControlCount = int(frmAboutControl::Timer3) + 1;

// picIcon(index) as a control identifier; index 0..4.
constexpr frmAboutControl picIcon(int index) { return frmAboutControl(int(frmAboutControl::picIcon_0) + index); }

// A control's name as the window's design calls it ("OptTX_3", "picIcon_0");
// the window itself is "FrmMain" or "frmAbout".
const char* controlName(FrmMainControl control);
const char* controlName(frmAboutControl control);

// A control's place in its window's client area (or its frame), in twips
// (1/1440 inch).
struct TwipsRect {
    int left, top, width, height;
};

// A text colour, red, green, blue.
struct TextColour {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const TextColour&, const TextColour&) = default;
};

// A check box's value: grayed counts as set where a test asks "not clear".
namespace check {
inline constexpr int kClear = 0;
inline constexpr int kTicked = 1;
inline constexpr int kGrayed = 2;
}  // namespace check

}  // namespace tessik
