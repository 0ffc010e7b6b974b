#pragma once
// Win32frmAbout: the About dialog frmAbout as a native Win32 window, a view
// of frmAboutForm (form/frmAboutView.h).
//
// load() makes the window afresh, hidden, in its design-time state; hiding it
// destroys it. Pictures come from the program's resources and are drawn
// scaled to their twips rectangles; the banner's transparent pixels take the
// window's background colour. The three timers are SetTimer timers of the
// window. Which control the pointer moves over is read from WM_SETCURSOR,
// which Windows sends on every move to the window under the pointer and on
// to its parent: a link label, a picture, or the background (every label
// answers hit tests, so the background means no control). Enter presses OK,
// Esc and the close box unload the dialog.

#include <windows.h>

#include <array>

#include "Controls.h"
#include "frmAboutView.h"

namespace tessik {
class frmAboutForm;
}

namespace tessik::win32 {

class Win32frmAbout : public frmAboutView, private WindowOwner {
public:
    Win32frmAbout();
    ~Win32frmAbout() override;
    Win32frmAbout(const Win32frmAbout&) = delete;
    Win32frmAbout& operator=(const Win32frmAbout&) = delete;

    void attach(frmAboutForm& form) { form_ = &form; }
    HWND window() const { return window_; }
    HWND control(frmAboutControl control) const;
    int dpi() const { return dpi_; }
    // The colour and style a label is drawn with, for tests.
    bool linkStyled(frmAboutControl label) const;

    // frmAboutView
    void load() override;
    std::string text(frmAboutControl control) const override;
    void setText(frmAboutControl control, const std::string& text) override;
    void setTextColour(frmAboutControl label, TextColour colour) override;
    TextColour textColour(frmAboutControl label) const override;
    void setLinkStyle(frmAboutControl label, bool underlineItalic, TextColour colour) override;
    bool visible(frmAboutControl control) const override;
    void setVisible(frmAboutControl control, bool visible) override;
    int left(frmAboutControl control) const override;
    int top(frmAboutControl control) const override;
    void move(frmAboutControl control, int left, int top) override;
    void setFocus(frmAboutControl control) override;
    void activate() override;
    void setTimerInterval(frmAboutControl timer, int milliseconds) override;
    void setTimerEnabled(frmAboutControl timer, bool enabled) override;
    bool timerEnabled(frmAboutControl timer) const override;

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void unload();
    void layOut(int dpi);
    void fitToText(frmAboutControl label);
    void pointerOver(HWND control);
    void drawPicture(const DRAWITEMSTRUCT& item);
    void releaseFonts();

    struct Look {
        TextColour colour{0, 0, 0};
        bool underlineItalic = false;
        bool defaultColour = true;
    };

    frmAboutForm* form_ = nullptr;
    std::array<HWND, kfrmAboutControlCount> controls_{};
    std::array<Look, kfrmAboutControlCount> looks_{};
    std::array<int, 3> intervals_{};
    std::array<bool, 3> running_{};
    HFONT font_ = nullptr;
    HFONT linkFont_ = nullptr;
    HCURSOR hand_ = nullptr;
    std::array<HBITMAP, 5> pictures_{};
    HBITMAP banner_ = nullptr;
    int dpi_ = 96;
};

}  // namespace tessik::win32
