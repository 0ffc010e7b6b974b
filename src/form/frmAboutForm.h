#pragma once
// frmAboutForm: the behaviour of the product information window frmAbout over
// an frmAboutView.
//
// Show() loads the window afresh (the view's design-time state, then
// Form_Load, then the three timers) and every way out (OK, Enter, Escape, the
// close box, the countdown) goes through Unload(), which stops the timers,
// hides the window and runs Form_Unload: the main window shows again. The
// object lives as long as its owner; BlnBlink survives an unload, so a
// reopened notice carries on its blink from where it stopped.
//
// Timer1 (2 s) steps the slide show, Timer2 (0.4 s) blinks the notice, Timer3
// (1 s) counts down on the OK button and closes the dialog at the tick that
// shows 0. The view calls TimerN_Timer per tick; a test calls them directly.
//
// System information: on Windows the registry tells where the
// system-information program lives (GetKeyValue). Elsewhere StartSysInfo
// looks on the search path (or setToolSearchPath's folders) for the first of
// systemInformationTools().

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "BasicDesktop.h"
#include "frmAboutView.h"

namespace tessik {

class frmAboutForm {
public:
    // `showMainWindow` runs whenever the dialog unloads; it may be empty.
    frmAboutForm(frmAboutView& view, BasicDesktop& desktop, std::function<void()> showMainWindow);

    // Loads the window (if it is not loaded) and shows it, not modal.
    void Show();
    // Unloads the window: the view calls this for Escape and the close box.
    void Unload();
    bool isLoaded() const { return loaded_; }

    void StartSysInfo();
    // Reads the value SubKeyRef of KeyRoot\KeyName as text into KeyVal; false
    // (and KeyVal empty) when the key or value cannot be read. KeyRoot is a
    // predefined root such as registry::kLocalMachine.
    bool GetKeyValue(std::uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                     std::string& KeyVal);

    // The programs StartSysInfo tries, in order, where there is no registry.
    static std::vector<std::string> systemInformationTools();
    // Folders searched for them; empty means the search path.
    void setToolSearchPath(std::vector<std::string> folders) { toolSearchPath_ = std::move(folders); }

    void cmdSysInfo_Click();
    void cmdOK_Click();
    void Form_MouseMove();
    void Label2_Click();
    void Label2_MouseMove();
    void Label7_Click();
    void Label7_MouseMove();
    void Label8_Click();
    void Label8_MouseMove();
    void picIcon_MouseMove(int index);
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();

    // The dialog's variables; 16-bit as the counters they model.
    std::int16_t BlnBlink = 0;
    std::int16_t IntCountdown = 0;
    std::int16_t IntPic = 0;

    // The e-mail address of Label2 and its click.
    static constexpr char kContactAddress[] = "tessik@example.org";

private:
    void Form_Load();
    void Form_Unload();
    void showUnavailable();

    frmAboutView& view_;
    BasicDesktop& desktop_;
    std::function<void()> showMainWindow_;
    bool loaded_ = false;
    std::vector<std::string> toolSearchPath_;
};

}  // namespace tessik
