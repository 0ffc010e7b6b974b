#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeBasicDesktop.h"
#include "FakeFormViews.h"
#include "frmAboutForm.h"

namespace tessik {
namespace {

using A = frmAboutControl;

struct Rig {
    FakeBasicDesktop desktop;
    FakefrmAboutView view;
    int mainWindowShown = 0;
    frmAboutForm form{view, desktop, [this] { ++mainWindowShown; }};
};

TEST(frmAboutForm, ShowLoadsStacksThePicturesAndRunsTheThreeTimers)
{
    Rig rig;
    rig.form.Show();
    EXPECT_TRUE(rig.form.isLoaded());
    EXPECT_TRUE(rig.view.visible(A::Window));
    EXPECT_EQ(rig.view.text(A::Window), "关于 Tessik");
    EXPECT_EQ(rig.view.focus, A::cmdOK);
    for (int i = 1; i < 5; ++i) {
        EXPECT_EQ(rig.view.left(picIcon(i)), rig.view.left(picIcon(0)));
        EXPECT_EQ(rig.view.top(picIcon(i)), rig.view.top(picIcon(0)));
    }
    EXPECT_EQ(rig.view.visiblePictures(), (std::vector<int>{0, 1, 2, 3, 4})) << "all stacked until the first tick";
    const std::pair<A, int> timers[] = {{A::Timer1, 2000}, {A::Timer2, 400}, {A::Timer3, 1000}};
    for (const auto& [timer, interval] : timers) {
        EXPECT_TRUE(rig.view.timerEnabled(timer));
        EXPECT_EQ(rig.view.at(timer).interval, interval);
    }
    // A second Show of a loaded dialog only brings it to the front.
    rig.form.Show();
    EXPECT_EQ(rig.view.loads, 1);
}

TEST(frmAboutForm, CountdownShowsSixtyToZeroAndUnloadsAtZero)
{
    Rig rig;
    rig.form.Show();
    EXPECT_EQ(rig.view.text(A::cmdOK), "确定");
    for (int shown = 60; shown >= 1; --shown) {
        rig.form.Timer3_Timer();
        ASSERT_EQ(rig.view.text(A::cmdOK), std::to_string(shown) + "秒后自动确定");
        ASSERT_TRUE(rig.form.isLoaded());
    }
    EXPECT_EQ(rig.mainWindowShown, 0);
    rig.form.Timer3_Timer();
    EXPECT_EQ(rig.view.text(A::cmdOK), "0秒后自动确定");
    EXPECT_FALSE(rig.form.isLoaded());
    EXPECT_FALSE(rig.view.visible(A::Window));
    EXPECT_EQ(rig.mainWindowShown, 1);
    for (A timer : {A::Timer1, A::Timer2, A::Timer3}) EXPECT_FALSE(rig.view.timerEnabled(timer));
    // A second way out after the unload shows the main window no second time.
    rig.form.Unload();
    EXPECT_EQ(rig.mainWindowShown, 1);
}

TEST(frmAboutForm, SlideShowStepsThroughThePicturesAndPausesUnderThePointer)
{
    Rig rig;
    rig.form.Show();
    for (int tick = 0; tick < 12; ++tick) {
        rig.form.Timer1_Timer();
        ASSERT_EQ(rig.view.visiblePictures(), std::vector<int>{tick % 5}) << "tick " << tick;
    }
    rig.form.picIcon_MouseMove(3);
    EXPECT_FALSE(rig.view.timerEnabled(A::Timer1));
    rig.form.Label2_MouseMove();  // a label is not the background
    EXPECT_FALSE(rig.view.timerEnabled(A::Timer1));
    rig.form.Form_MouseMove();
    EXPECT_TRUE(rig.view.timerEnabled(A::Timer1));
    // Reopened, the show starts again at picture 0.
    rig.form.cmdOK_Click();
    rig.form.Show();
    rig.form.Timer1_Timer();
    EXPECT_EQ(rig.view.visiblePictures(), std::vector<int>{0});
}

TEST(frmAboutForm, NoticeBlinksAndKeepsItsPhaseAcrossAnUnload)
{
    const TextColour lightRed{255, 128, 128}, black{0, 0, 0};
    Rig rig;
    rig.form.Show();
    rig.form.Timer2_Timer();
    EXPECT_EQ(rig.view.textColour(A::Label9), lightRed);
    rig.form.Timer2_Timer();
    EXPECT_EQ(rig.view.textColour(A::Label9), black);
    rig.form.Timer2_Timer();
    rig.form.cmdOK_Click();
    rig.form.Show();
    rig.form.Timer2_Timer();
    EXPECT_EQ(rig.view.textColour(A::Label9), black) << "the phase carries on after reopening";
}

TEST(frmAboutForm, LinkStylesFollowThePointer)
{
    Rig rig;
    rig.form.Show();
    rig.form.Label2_MouseMove();
    rig.form.Label8_MouseMove();  // straight from one link to the other
    EXPECT_TRUE(rig.view.at(A::Label2).linkStyled);
    EXPECT_TRUE(rig.view.at(A::Label8).linkStyled);
    rig.form.Label7_MouseMove();
    EXPECT_FALSE(rig.view.at(A::Label2).linkStyled);
    EXPECT_TRUE(rig.view.at(A::Label7).linkStyled);
    EXPECT_EQ(rig.view.textColour(A::Label7), (TextColour{0, 0, 255}));
    rig.form.Form_MouseMove();
    for (A link : {A::Label2, A::Label7, A::Label8}) {
        EXPECT_FALSE(rig.view.at(link).linkStyled);
        EXPECT_EQ(rig.view.textColour(link), (TextColour{0, 0, 0}));
    }
}

TEST(frmAboutForm, LinksOpenTheAddressAndTheClickedCaption)
{
    Rig rig;
    rig.form.Show();
    rig.view.setText(A::Label7, "https://one.example/");
    rig.view.setText(A::Label8, "https://two.example/");
    rig.form.Label2_Click();
    rig.form.Label7_Click();
    rig.form.Label8_Click();
    EXPECT_EQ(rig.desktop.openedLinks, (std::vector<std::string>{std::string("mailto:") + frmAboutForm::kContactAddress,
                                                                 "https://one.example/", "https://two.example/"}));
}

struct DayCase {
    const char* name;
    CivilDate today;
    long long days;
};

class DayCounter : public ::testing::TestWithParam<DayCase> {};

TEST_P(DayCounter, CountsWholeDaysSinceTheFirstDay)
{
    Rig rig;
    rig.desktop.today = GetParam().today;
    rig.form.Show();
    EXPECT_EQ(rig.view.text(A::Label10), "今日第" + std::to_string(GetParam().days) + "天");
}

// A year is 365 days, 366 across a 29 February.
INSTANTIATE_TEST_SUITE_P(Form, DayCounter,
                         ::testing::Values(DayCase{"FirstDay", {2006, 3, 8}, 0}, DayCase{"NextDay", {2006, 3, 9}, 1},
                                           DayCase{"DayBefore", {2006, 3, 7}, -1},
                                           DayCase{"OneYear", {2007, 3, 8}, 365},
                                           DayCase{"AcrossLeapDay", {2008, 3, 8}, 365 + 366}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- System information -------------------------------------------------------------

TEST(frmAboutForm, GetKeyValueReadsTextUpToItsEndAndNumbersInDecimal)
{
    Rig rig;
    const std::uint32_t root = registry::kLocalMachine;
    rig.desktop.registryValues[FakeBasicDesktop::registryPath(root, "K", "text")] = {registry::kText,
                                                                                    std::string("C:\\x.exe\0", 9)};
    rig.desktop.registryValues[FakeBasicDesktop::registryPath(root, "K", "number")] = {registry::kNumber,
                                                                                      std::string("\x2a\x01\0\0", 4)};
    std::string value = "stale";
    EXPECT_TRUE(rig.form.GetKeyValue(root, "K", "text", value));
    EXPECT_EQ(value, "C:\\x.exe");
    EXPECT_TRUE(rig.form.GetKeyValue(root, "K", "number", value));
    EXPECT_EQ(value, "298");
    EXPECT_FALSE(rig.form.GetKeyValue(root, "K", "absent", value));
    EXPECT_EQ(value, "");
}

TEST(frmAboutForm, NoSystemInformationProgramIsToldWithTheTimersHeld)
{
    Rig rig;
    rig.form.Show();
    rig.form.picIcon_MouseMove(0);  // the slide show paused by the user stays paused
    std::vector<bool> runningInBox;
    rig.desktop.onMessageBox = [&] {
        for (A timer : {A::Timer1, A::Timer2, A::Timer3}) runningInBox.push_back(rig.view.timerEnabled(timer));
    };
    rig.form.cmdSysInfo_Click();
    ASSERT_EQ(rig.desktop.messageBoxes.size(), 1u);
    EXPECT_EQ(rig.desktop.messageBoxes[0].text, "此时系统信息不可用");
    EXPECT_EQ(rig.desktop.messageBoxes[0].title, "Tessik");
    EXPECT_EQ(rig.desktop.messageBoxes[0].style, msgbox::kOkOnly);
    EXPECT_EQ(runningInBox, (std::vector<bool>{false, false, false}));
    EXPECT_FALSE(rig.view.timerEnabled(A::Timer1));
    EXPECT_TRUE(rig.view.timerEnabled(A::Timer2));
    EXPECT_TRUE(rig.view.timerEnabled(A::Timer3));
    EXPECT_TRUE(rig.desktop.startedPrograms.empty());
}

#ifdef _WIN32
TEST(frmAboutForm, SystemInformationIsFoundThroughTheRegistry)
{
    const std::uint32_t root = registry::kLocalMachine;
    const std::string first = FakeBasicDesktop::registryPath(root, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH");
    const std::string second =
        FakeBasicDesktop::registryPath(root, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO");
    {  // The first key's path is started as it is, existing or not.
        Rig rig;
        rig.desktop.registryValues[first] = {registry::kText, std::string("C:\\nowhere\\msinfo32.exe\0", 24)};
        rig.desktop.registryValues[second] = {registry::kText, "C:\\Tools"};
        rig.form.StartSysInfo();
        EXPECT_EQ(rig.desktop.startedPrograms, std::vector<std::string>{"C:\\nowhere\\msinfo32.exe"});
    }
    {  // The second key's folder counts only when it holds MSINFO32.EXE.
        Rig rig;
        rig.desktop.registryValues[second] = {registry::kText, "C:\\Tools"};
        rig.form.StartSysInfo();
        EXPECT_TRUE(rig.desktop.startedPrograms.empty());
        EXPECT_EQ(rig.desktop.messageBoxes.size(), 1u);
        rig.desktop.existingFiles.insert("C:\\Tools\\MSINFO32.EXE");
        rig.form.StartSysInfo();
        EXPECT_EQ(rig.desktop.startedPrograms, std::vector<std::string>{"C:\\Tools\\MSINFO32.EXE"});
    }
}
#else
TEST(frmAboutForm, SystemInformationIsTheFirstKnownToolOnTheSearchPath)
{
    Rig rig;
    rig.desktop.programsOnPath = {{"gnome-system-monitor", "/usr/bin/gnome-system-monitor"},
                                  {"lshw-gtk", "/opt/bin/lshw-gtk"}};
    rig.form.StartSysInfo();
    EXPECT_EQ(rig.desktop.startedPrograms, std::vector<std::string>{"/opt/bin/lshw-gtk"});
    rig.desktop.programsStart = false;
    rig.form.StartSysInfo();
    EXPECT_EQ(rig.desktop.messageBoxes.size(), 1u) << "a failed start is told";
}
#endif

}  // namespace
}  // namespace tessik
