#pragma once
// Win32FrmMain: the main window FrmMain as a native Win32 window, a view of
// FrmMainForm (form/FrmMainView.h), which decides everything it does.
//
// Every control is one of Windows' own (Edit, ComboBox with an editable text
// line, Button as push button, option button, check box and group frame,
// ScrollBar, Static), placed from the window's twips table at the DPI of the
// window's monitor, in the desktop's message font at that DPI; on
// WM_DPICHANGED the window lays itself out again. The controls are created in
// the window's keyboard order, so IsDialogMessageW tabs through them as the
// table says; a group of options is one stop, at its selected option.
//
// Event mapping onto the form:
// - Click: BN_CLICKED of a button, option or check box (mouse, Space, the
//   access key); CBN_SELCHANGE of a list, after the list's text line shows
//   the chosen entry. Esc arrives as IDCANCEL, CmdQuit's own id.
// - Change: EN_CHANGE of a text box (typed or set); the spinner's value.
// - KeyPress: WM_CHAR of the three typed fields, before the field sees it;
//   Enter reaches them as code 13 instead of going to the window.
// - GotFocus / LostFocus: the keyboard focus moving from one control of this
//   window to another; focus that leaves for another window and comes back to
//   the same control raises neither.
// - The spinner: the upper arrow raises the count by 1, the page areas by 2;
//   its thumb stands at the top at 20.
//
// The menu bar's 工具 holds "CAD 程序…" (chooseCadProgram is called; the
// program decides what it does). The close box ends the program.

#include <windows.h>

#include <array>
#include <functional>
#include <memory>

#include "BasicDesktop.h"
#include "Controls.h"
#include "FrmMainView.h"

namespace tessik {
class FrmMainForm;
class frmAboutForm;
}  // namespace tessik

namespace tessik::win32 {

class Win32frmAbout;

class Win32FrmMain : public FrmMainView, private WindowOwner {
public:
    // Creates the window, hidden, in its design-time state.
    explicit Win32FrmMain(BasicDesktop& desktop);
    ~Win32FrmMain() override;
    Win32FrmMain(const Win32FrmMain&) = delete;
    Win32FrmMain& operator=(const Win32FrmMain&) = delete;

    // From now on the window's events go to `form`.
    void attach(FrmMainForm& form);
    // Runs when the user picks 工具 -> CAD 程序….
    std::function<void()> chooseCadProgram;

    HWND window() const { return window_; }
    HWND control(FrmMainControl control) const;
    int dpi() const { return dpi_; }
    // The menu command ids, for tests that post them.
    static constexpr int kCommandCadProgram = 40001;

    // For the message loop: keyboard navigation of this window and of the
    // About dialog; true when the message was handled.
    bool translateDialogMessage(MSG& message);

    // FrmMainView
    std::string text(FrmMainControl control) const override;
    void setText(FrmMainControl control, const std::string& text) override;
    void setSelection(FrmMainControl control, int SelStart, int SelLength) override;
    int listCount(FrmMainControl list) const override;
    std::string listItem(FrmMainControl list, int index) const override;
    void addItem(FrmMainControl list, int position, const std::string& item) override;
    int listIndex(FrmMainControl list) const override;
    void setListIndex(FrmMainControl list, int index) override;
    int value(FrmMainControl control) const override;
    void setValue(FrmMainControl control, int value) override;
    int scrollValue(FrmMainControl bar) const override;
    void setScrollValue(FrmMainControl bar, int value) override;
    int scrollMin(FrmMainControl bar) const override;
    int scrollMax(FrmMainControl bar) const override;
    bool enabled(FrmMainControl control) const override;
    void setEnabled(FrmMainControl control, bool enabled) override;
    bool visible(FrmMainControl control) const override;
    void setVisible(FrmMainControl control, bool visible) override;
    void setFocus(FrmMainControl control) override;
    void activate() override;
    frmAboutForm& aboutDialog() override;

private:
    static LRESULT CALLBACK controlProcedure(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT handleControl(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
    void createWindow();
    void createControls();
    void createMenu();
    void layOut(int dpi);
    void fitToText(FrmMainControl label);
    void command(int id, int notification, HWND from);
    void scrolled(int request, int thumb);
    void focusArrived(FrmMainControl control);
    void checkOption(FrmMainControl option, bool checked);
    void showScrollValue();
    LRESULT staticColours(HDC dc, HWND control);
    FrmMainControl controlOf(HWND window) const;
    bool isControl(FrmMainControl control) const;

    BasicDesktop& desktop_;
    FrmMainForm* form_ = nullptr;
    std::array<HWND, kFrmMainControlCount> controls_{};
    HFONT font_ = nullptr;
    int dpi_ = 96;
    int scrollValue_ = 20;
    // The control that last had the keyboard, for GotFocus / LostFocus; the
    // window starts with it in CmbWJ.
    FrmMainControl focused_ = FrmMainControl::CmbWJ;
    // Where a click that brings the focus to a text box must not undo the
    // selection its GotFocus made.
    HWND reselectAfterClick_ = nullptr;
    std::unique_ptr<Win32frmAbout> aboutView_;
    std::unique_ptr<frmAboutForm> aboutForm_;
};

}  // namespace tessik::win32
