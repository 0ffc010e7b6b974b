#include "frmAboutForm.h"

#include <chrono>

#include "ToolConstants.h"

namespace tessik {

namespace {

using C = frmAboutControl;

constexpr TextColour kLightRed{255, 128, 128};
constexpr TextColour kLinkBlue{0, 0, 255};
constexpr TextColour kBlack{0, 0, 0};
constexpr CivilDate kFirstDay{2006, 3, 8};
constexpr char kUnavailable[] = "此时系统信息不可用";

// Days from `from` to `to`, negative when `to` comes first.
long long daysBetween(const CivilDate& from, const CivilDate& to)
{
    using namespace std::chrono;
    const auto day = [](const CivilDate& d) {
        return sys_days(year(d.year) / month(unsigned(d.month)) / std::chrono::day(unsigned(d.day)));
    };
    return (day(to) - day(from)).count();
}

void setLink(frmAboutView& view, C label, bool hovered)
{
    view.setLinkStyle(label, hovered, hovered ? kLinkBlue : kBlack);
}

}  // namespace

frmAboutForm::frmAboutForm(frmAboutView& view, BasicDesktop& desktop, std::function<void()> showMainWindow)
    : view_(view), desktop_(desktop), showMainWindow_(std::move(showMainWindow))
{
}

void frmAboutForm::Show()
{
    if (!loaded_) {
        view_.load();
        Form_Load();
        const std::pair<C, int> timers[] = {{C::Timer1, 2000}, {C::Timer2, 400}, {C::Timer3, 1000}};
        for (const auto& [timer, interval] : timers) {
            view_.setTimerInterval(timer, interval);
            view_.setTimerEnabled(timer, true);
        }
        loaded_ = true;
        view_.setFocus(C::cmdOK);
    }
    view_.setVisible(C::Window, true);
    view_.activate();
}

void frmAboutForm::Unload()
{
    if (!loaded_) return;
    loaded_ = false;
    for (C timer : {C::Timer1, C::Timer2, C::Timer3}) view_.setTimerEnabled(timer, false);
    view_.setVisible(C::Window, false);
    Form_Unload();
}

void frmAboutForm::Form_Load()
{
    view_.setText(C::Window, std::string("关于 ") + kProgramTitle);
    view_.setText(C::lblVersion, "版本 " + std::to_string(TESSIK_VERSION_MAJOR) + "." +
                                     std::to_string(TESSIK_VERSION_MINOR) + "." +
                                     std::to_string(TESSIK_VERSION_PATCH));
    view_.setText(C::lblTitle, kProgramTitle);
    for (IntPic = 1; IntPic <= 4; ++IntPic)
        view_.move(picIcon(IntPic), view_.left(picIcon(0)), view_.top(picIcon(0)));
    IntPic = 0;
    view_.setText(C::Label10, "今日第" + std::to_string(daysBetween(kFirstDay, desktop_.todayDate())) + "天");
    IntCountdown = 60;
}

void frmAboutForm::Form_Unload()
{
    if (showMainWindow_) showMainWindow_();
}

void frmAboutForm::cmdOK_Click() { Unload(); }

void frmAboutForm::cmdSysInfo_Click() { StartSysInfo(); }

void frmAboutForm::Form_MouseMove()
{
    for (C link : {C::Label2, C::Label7, C::Label8}) setLink(view_, link, false);
    // Enabling a running timer leaves its interval alone, so moving about
    // the background does not hold the slide show back.
    if (loaded_ && !view_.timerEnabled(C::Timer1)) view_.setTimerEnabled(C::Timer1, true);
}

void frmAboutForm::Label2_MouseMove()
{
    setLink(view_, C::Label2, true);
    setLink(view_, C::Label7, false);
    setLink(view_, C::Label8, false);
}

void frmAboutForm::Label7_MouseMove()
{
    setLink(view_, C::Label2, false);
    setLink(view_, C::Label7, true);
    setLink(view_, C::Label8, false);
}

void frmAboutForm::Label8_MouseMove() { setLink(view_, C::Label8, true); }

void frmAboutForm::picIcon_MouseMove(int /*index*/) { view_.setTimerEnabled(C::Timer1, false); }

void frmAboutForm::Label2_Click() { desktop_.openLink(std::string("mailto:") + kContactAddress); }

void frmAboutForm::Label7_Click() { desktop_.openLink(view_.text(C::Label7)); }

void frmAboutForm::Label8_Click() { desktop_.openLink(view_.text(C::Label8)); }

void frmAboutForm::Timer1_Timer()
{
    IntPic = std::int16_t(IntPic % 5);
    view_.setVisible(picIcon(IntPic), true);
    for (int step = 1; step <= 4; ++step) view_.setVisible(picIcon((IntPic + step) % 5), false);
    IntPic = std::int16_t(IntPic + 1);
}

void frmAboutForm::Timer2_Timer()
{
    view_.setTextColour(C::Label9, BlnBlink != 0 ? kBlack : kLightRed);
    BlnBlink = std::int16_t(~BlnBlink);
}

void frmAboutForm::Timer3_Timer()
{
    view_.setText(C::cmdOK, std::to_string(IntCountdown) + "秒后自动确定");
    if (IntCountdown == 0) cmdOK_Click();
    IntCountdown = std::int16_t(IntCountdown - 1);
}

std::vector<std::string> frmAboutForm::systemInformationTools()
{
    return {"hardinfo", "lshw-gtk", "gnome-system-monitor", "plasma-systemmonitor", "ksysguard", "xfce4-taskmanager"};
}

// The box is modal and runs its own event loop: the dialog's timers are held
// while it is open, so no tick (and not the countdown's close) lands in the
// middle of this handler, and they go on from where they were afterwards.
void frmAboutForm::showUnavailable()
{
    std::vector<C> held;
    for (C timer : {C::Timer1, C::Timer2, C::Timer3}) {
        if (!view_.timerEnabled(timer)) continue;
        view_.setTimerEnabled(timer, false);
        held.push_back(timer);
    }
    desktop_.messageBox(kUnavailable, msgbox::kOkOnly, kProgramTitle);
    if (loaded_)
        for (C timer : held) view_.setTimerEnabled(timer, true);
}

#ifdef _WIN32

void frmAboutForm::StartSysInfo()
{
    std::string path;
    if (GetKeyValue(registry::kLocalMachine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", path)) {
        // The registered path is used as it is.
    } else if (GetKeyValue(registry::kLocalMachine, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO", path) &&
               desktop_.fileExists(path + "\\MSINFO32.EXE")) {
        path += "\\MSINFO32.EXE";
    } else {
        showUnavailable();
        return;
    }
    if (!desktop_.startProgram(path)) showUnavailable();
}

#else

void frmAboutForm::StartSysInfo()
{
    std::string program;
    for (const std::string& tool : systemInformationTools()) {
        program = desktop_.findProgram(tool, toolSearchPath_);
        if (!program.empty()) break;
    }
    if (program.empty() || !desktop_.startProgram(program)) showUnavailable();
}

#endif

// A text value is taken up to its terminating NUL; a 32-bit number is
// written in decimal.
bool frmAboutForm::GetKeyValue(std::uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                               std::string& KeyVal)
{
    const std::optional<RegistryValue> value = desktop_.queryRegistryValue(KeyRoot, KeyName, SubKeyRef);
    if (!value) {
        KeyVal.clear();
        return false;
    }
    std::string data = value->data;
    if (!data.empty() && data.back() == '\0') data.pop_back();
    if (value->type == registry::kText) {
        KeyVal = data.substr(0, data.find('\0'));
    } else if (value->type == registry::kNumber && value->data.size() >= 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value->data[std::size_t(i)]);
        KeyVal = std::to_string(number);
    }
    return true;
}

}  // namespace tessik
