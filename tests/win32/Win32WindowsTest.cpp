// FrmMain, frmAbout and the CAD program choice as real Win32 windows: what
// the user meets (classes, texts, styles, places at 96 and 144 dpi, the
// keyboard) judged from outside, through Windows' own calls.

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "CadProgramDialog.h"
#include "CadProgramSetting.h"
#include "FakeCad.h"
#include "FrmMainForm.h"
#include "Win32Desktop.h"
#include "Win32FrmMain.h"
#include "Win32frmAbout.h"
#include "WideText.h"
#include "frmAboutForm.h"

namespace tessik::win32 {
namespace {

using C = FrmMainControl;

// The real desktop, except what would block a test or end it: message boxes
// are recorded and answered, the beep and the end are counted, programs and
// links are recorded instead of started.
class TestDesktop : public Win32Desktop {
public:
    int messageBox(const std::string& text, int style, const std::string& title) override
    {
        boxes.push_back(title + " | " + text + " | " + std::to_string(style));
        return answer;
    }
    void beep() override { ++beeps; }
    void endProgram() override { ++ends; }
    bool startProgram(const std::string& path) override
    {
        started.push_back(path);
        return true;
    }
    bool openLink(const std::string& address) override
    {
        links.push_back(address);
        return true;
    }

    int answer = msgbox::kAnswerCancel;
    std::vector<std::string> boxes;
    std::vector<std::string> started;
    std::vector<std::string> links;
    int beeps = 0;
    int ends = 0;
};

void pump()
{
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

// One key through the dialog manager, as the message loop hands it over.
void key(Win32FrmMain& view, UINT message, WPARAM virtualKey)
{
    MSG m{GetFocus(), message, virtualKey, 1, DWORD(GetMessageTime()), {}};
    if (!view.translateDialogMessage(m)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    pump();
}

void altKey(Win32FrmMain& view, char letter) { key(view, WM_SYSCHAR, WPARAM(letter)); }

std::string className(HWND h)
{
    wchar_t name[64] = {};
    GetClassNameW(h, name, 64);
    return os::narrow(name);
}

RECT clientRect(HWND h)
{
    RECT r{};
    GetWindowRect(h, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

struct Rig {
    Rig()
    {
        const std::wstring data = L"Z:" + os::widen(TESSIK_DATA_DIR);
        SetCurrentDirectoryW(data.c_str());
        cad->running = false;  // start-up asks; the test desktop answers Cancel
        form.setCadProgram(defaultCadProgram());
        view.attach(form);
        form.Form_Load();
        pump();
    }
    HWND operator[](C c) const { return view.control(c); }

    TestDesktop desktop;
    std::shared_ptr<FakeCad> cad = FakeCad::create();
    Win32FrmMain view{desktop};
    FrmMainForm form{view, desktop, *cad};
};

// ---- The controls ---------------------------------------------------------------

TEST(FrmMainWindow, EveryControlIsWindowsOwnWithItsTextAndStyle)
{
    Rig w;
    struct Row {
        C control;
        const char* cls;
        const char* text;  // nullptr: not compared (filled at start-up)
        LONG style;        // bits that must be set
        bool enabled;
    };
    const Row rows[] = {
        {C::Frame1, "Button", "输入", BS_GROUPBOX, true},
        {C::Frame3, "Button", "插入点设置", BS_GROUPBOX, false},
        {C::CmbWJ, "ComboBox", nullptr, CBS_DROPDOWN | WS_TABSTOP, true},
        {C::TxtWJ, "Edit", "(空白)", WS_TABSTOP, true},
        {C::TxtCZ, "Edit", "7850", WS_TABSTOP, true},
        {C::TxtWeight, "Edit", nullptr, ES_READONLY, true},
        {C::VScroll1, "ScrollBar", "", SBS_VERT | WS_TABSTOP, true},
        {C::ChkQuit, "Button", "绘图结束退出(&H)", BS_3STATE, true},
        {C::OptTX_0, "Button", "主视图(&B)", BS_AUTORADIOBUTTON | WS_TABSTOP, true},
        {C::OptTX_2, "Button", "下视图(&D)", BS_AUTORADIOBUTTON, false},
        {C::OptWc, "Button", "弯曲中心", BS_AUTORADIOBUTTON, false},
        {C::CmdStart, "Button", "启动AutoCAD(&C)", WS_TABSTOP, true},
        {C::CmdQuit, "Button", "退       出(&Q)", WS_TABSTOP, true},
        {C::LblWanJ_0, "Static", "曲率半径", SS_NOPREFIX, true},
        {C::Label2, "Static", "注：外径中加\"*\"者为基本系列，其它为辅助系列。", 0, true},
        {C::LblInfo, "Static", "AutoCAD尚未启动。", 0, true},
        {C::Line1_1, "Static", "", SS_BLACKRECT, true},
        {C::Line1_0, "Static", "", SS_WHITERECT, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(controlName(r.control));
        HWND h = w[r.control];
        ASSERT_TRUE(IsWindow(h));
        EXPECT_EQ(className(h), r.cls);
        if (r.text) {
            EXPECT_EQ(w.view.text(r.control), r.text);
        }
        EXPECT_EQ(GetWindowLongW(h, GWL_STYLE) & r.style, r.style);
        EXPECT_EQ(bool(IsWindowEnabled(h)), r.enabled);
    }
    EXPECT_EQ(w.view.text(C::Window), "Tessik");
    EXPECT_FALSE(IsWindowVisible(w[C::CmdIquire]));
    // Start-up: the grayed quit option, the lists filled, the question asked.
    EXPECT_EQ(SendMessageW(w[C::ChkQuit], BM_GETCHECK, 0, 0), BST_INDETERMINATE);
    EXPECT_GT(SendMessageW(w[C::CmbWJ], CB_GETCOUNT, 0, 0), 40);
    EXPECT_EQ(SendMessageW(w[C::CmbHd], CB_GETCOUNT, 0, 0), 4);
    ASSERT_FALSE(w.desktop.boxes.empty());
    EXPECT_EQ(w.desktop.boxes.front(), "启动AutoCAD | AutoCAD尚未启动，现在启动吗？ | 33");
    // The menu: 工具 with the CAD choice, and no entry the Windows edition lacks.
    HMENU tools = GetSubMenu(GetMenu(w.view.window()), 0);
    ASSERT_TRUE(tools);
    EXPECT_EQ(GetMenuItemCount(tools), 1);
    wchar_t item[64] = {};
    GetMenuStringW(tools, Win32FrmMain::kCommandCadProgram, item, 64, MF_BYCOMMAND);
    EXPECT_EQ(os::narrow(item), "CAD 程序(&P)…");
}

// ---- Places ---------------------------------------------------------------------

// The twips tables converted here on their own: 1440 twips to the inch,
// edges rounded to the nearest pixel.
int px(int twips, int dpi) { return int(std::lround(twips * dpi / 1440.0)); }

struct Place {
    C control;
    int left, top, width, height;  // twips in the client area; width 0: sized to its text
};

std::vector<Place> placesFromTheTables()
{
    const int f1x = 120, f1y = 120, f2x = 3000, f2y = 120, f4x = 3000, f4y = 1080;
    std::vector<Place> p{
        {C::Frame1, 120, 120, 2775, 2775},          {C::Frame2, 3000, 120, 1935, 855},
        {C::Frame3, 5040, 120, 1200, 855},          {C::Frame4, 3000, 1080, 1575, 1815},
        {C::CmbWJ, f1x + 960, f1y + 240, 1215, 300}, {C::CmbHd, f1x + 960, f1y + 600, 1215, 300},
        {C::TxtWJ, f1x + 960, f1y + 975, 1215, 270}, {C::TxtZJS, f1x + 960, f1y + 1320, 1215, 270},
        {C::TxtCZ, f1x + 960, f1y + 1665, 1215, 270}, {C::CmbBH, f1x + 960, f1y + 2025, 1215, 300},
        {C::TxtWeight, f1x + 960, f1y + 2400, 1215, 270}, {C::VScroll1, f1x + 2205, f1y + 1320, 300, 255},
        {C::LblWaJ_1, f1x + 120, f1y + 285, 735, 255}, {C::Label3, f1x + 120, f1y + 2400, 735, 255},
        {C::Label1_3, f1x + 2280, f1y + 1725, 0, 0}, {C::Label4, f1x + 2280, f1y + 2400, 0, 0},
        {C::OptTX_0, f4x + 120, f4y + 240, 1215, 255}, {C::OptTX_5, f4x + 120, f4y + 1440, 1335, 255},
        {C::OptWc, 5040 + 100, 120 + 480, 1020, 255},
        {C::CmdStart, 4680, 1200, 1575, 375},       {C::CmdQuit, 4680, 2520, 1575, 375},
        {C::Label2, 195, 3000, 0, 0},               {C::LblInfo, 195, 3285, 0, 0},
    };
    (void)f2x;
    (void)f2y;
    return p;
}

void expectPlaces(Rig& w, int dpi)
{
    RECT client{};
    GetClientRect(w.view.window(), &client);
    EXPECT_EQ(client.right, px(6450, dpi));
    EXPECT_EQ(client.bottom, px(3510, dpi));
    for (const Place& p : placesFromTheTables()) {
        SCOPED_TRACE(std::string(controlName(p.control)) + " at " + std::to_string(dpi) + " dpi");
        const RECT r = clientRect(w[p.control]);
        EXPECT_EQ(r.left, px(p.left, dpi));
        EXPECT_EQ(r.top, px(p.top, dpi));
        if (p.width == 0) {
            // Sized to its text: all of it shows, inside the window.
            EXPECT_GT(r.right - r.left, 0);
            EXPECT_LE(r.right, client.right);
            continue;
        }
        EXPECT_EQ(r.right, px(p.left + p.width, dpi));
        EXPECT_EQ(r.bottom, px(p.top + p.height, dpi));
    }
    // Inside a frame, between its controls, the window's face shows.
    RedrawWindow(w.view.window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HDC dc = GetDC(w.view.window());
    for (POINT gap : {POINT{px(180, dpi), px(1320, dpi)}, POINT{px(3000 + 900, dpi), px(120 + 650, dpi)}})
        EXPECT_EQ(GetPixel(dc, gap.x, gap.y), GetSysColor(COLOR_BTNFACE)) << gap.x << "," << gap.y;
    ReleaseDC(w.view.window(), dc);
    // The quit option grows about its middle only where its text needs it.
    const RECT chk = clientRect(w[C::ChkQuit]);
    EXPECT_EQ(chk.left, px(3000 + 120, dpi));
    EXPECT_NEAR((chk.top + chk.bottom) / 2.0, (px(120 + 240, dpi) + px(120 + 240 + 180, dpi)) / 2.0, 1.0);
    // The separator: a dark line of one pixel at 96 dpi over a light one of two.
    const RECT dark = clientRect(w[C::Line1_1]);
    const RECT light = clientRect(w[C::Line1_0]);
    EXPECT_EQ(dark.top, px(3225, dpi));
    EXPECT_EQ(light.top, px(3240, dpi));
    EXPECT_EQ(dark.bottom - dark.top, std::max(1, int(std::lround(dpi / 96.0))));
    EXPECT_EQ(light.bottom - light.top, int(std::lround(2 * dpi / 96.0)));
}

TEST(FrmMainWindow, ControlsStandWhereTheTwipsTablesPutThemAt96And144Dpi)
{
    Rig w;
    ASSERT_EQ(w.view.dpi(), 96) << "the test prefix runs at 96 dpi";
    expectPlaces(w, 96);
    // Moved to a monitor at 150 %: Windows suggests a rectangle, the window
    // lays itself out again.
    RECT suggested{40, 30, 40 + 700, 30 + 450};
    SendMessageW(w.view.window(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(w.view.dpi(), 144);
    expectPlaces(w, 144);
    RECT outer{};
    GetWindowRect(w.view.window(), &outer);
    EXPECT_EQ(outer.left, 40);
    EXPECT_EQ(outer.top, 30);
    // The font grew with the scale.
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(w[C::TxtWJ], WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    GetObjectW(font, sizeof lf, &lf);
    NONCLIENTMETRICSW m{};
    m.cbSize = sizeof m;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0);
    EXPECT_EQ(std::abs(lf.lfHeight), std::abs(MulDiv(m.lfMessageFont.lfHeight, 144, 96)));
    EXPECT_EQ(std::wstring(lf.lfFaceName), std::wstring(m.lfMessageFont.lfFaceName));
}

// ---- Keyboard ---------------------------------------------------------------------

TEST(FrmMainWindow, TabFollowsTheKeyboardOrderAndFocusEventsReachTheForm)
{
    Rig w;
    SetFocus(w[C::CmbWJ]);
    pump();
    std::vector<std::string> visited;
    for (int i = 0; i < 14; ++i) {
        key(w.view, WM_KEYDOWN, VK_TAB);
        HWND focus = GetFocus();
        std::string name = "?";
        for (int c = 1; c < kFrmMainControlCount; ++c)
            if (w[C(c)] && (w[C(c)] == focus || GetParent(focus) == w[C(c)])) name = controlName(C(c));
        visited.push_back(name);
    }
    const std::vector<std::string> expected{"CmbHd", "TxtWJ", "TxtZJS", "TxtCZ", "CmbBH", "TxtWeight", "ChkQuit",
                                            "OptTX_0", "CmdStart", "CmdDraw1", "CmdAbout", "CmdQuit", "VScroll1", "CmbWJ"};
    EXPECT_EQ(visited, expected);
    // Entering the segment count replaced its placeholder; the spinner followed.
    EXPECT_EQ(w.view.text(C::TxtZJS), "1");
    EXPECT_EQ(w.view.scrollValue(C::VScroll1), 1);
}

TEST(FrmMainWindow, EscPressesQuitExceptInAnOpenList)
{
    Rig w;
    SetFocus(w[C::CmbHd]);
    SendMessageW(w[C::CmbHd], CB_SHOWDROPDOWN, TRUE, 0);
    pump();
    key(w.view, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ(w.desktop.ends, 0) << "Esc only closes the open list";
    EXPECT_FALSE(SendMessageW(w[C::CmbHd], CB_GETDROPPEDSTATE, 0, 0));

    SetFocus(w[C::TxtWJ]);
    key(w.view, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ(w.desktop.ends, 1);
    // The close box ends the program too.
    SendMessageW(w.view.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(w.desktop.ends, 2);
}

TEST(FrmMainWindow, RefusedKeysBeepAndChangeNothing)
{
    Rig w;
    SetFocus(w[C::TxtCZ]);
    pump();
    SendMessageW(w[C::TxtCZ], WM_CHAR, 'x', 0);
    EXPECT_EQ(w.desktop.beeps, 1);
    EXPECT_EQ(w.view.text(C::TxtCZ), "7850");
    // Enter is a refused character in a typed field, not a press of a button.
    key(w.view, WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ(w.desktop.beeps, 2);
    // A Chinese character comes as a negative code and is refused.
    SendMessageW(w[C::TxtCZ], WM_CHAR, 0x4E2D, 0);
    EXPECT_EQ(w.desktop.beeps, 3);
    EXPECT_EQ(w.view.text(C::TxtCZ), "7850");
    // Admitted characters replace the selection GotFocus made.
    SendMessageW(w[C::TxtCZ], WM_CHAR, '7', 0);
    SendMessageW(w[C::TxtCZ], WM_CHAR, '.', 0);
    EXPECT_EQ(w.view.text(C::TxtCZ), "7.");
    EXPECT_EQ(w.desktop.beeps, 3);

    // The segment count takes digits only: backspace beeps and deletes nothing.
    SetFocus(w[C::TxtZJS]);
    pump();
    SendMessageW(w[C::TxtZJS], WM_CHAR, '4', 0);
    SendMessageW(w[C::TxtZJS], WM_CHAR, VK_BACK, 0);
    EXPECT_EQ(w.view.text(C::TxtZJS), "4");
    EXPECT_EQ(w.desktop.beeps, 4);
    EXPECT_EQ(w.view.scrollValue(C::VScroll1), 4);
    // The spinner's upper arrow raises the count.
    SendMessageW(w.view.window(), WM_VSCROLL, SB_LINEUP, reinterpret_cast<LPARAM>(w[C::VScroll1]));
    EXPECT_EQ(w.view.text(C::TxtZJS), "5");
}

TEST(FrmMainWindow, AccessKeysPressOnlyEnabledControls)
{
    Rig w;
    SetFocus(w[C::CmbWJ]);
    pump();
    altKey(w.view, 'l');
    EXPECT_EQ(SendMessageW(w[C::OptTX_3], BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(w[C::OptTX_0], BM_GETCHECK, 0, 0), BST_UNCHECKED);
    altKey(w.view, 'h');
    EXPECT_EQ(SendMessageW(w[C::ChkQuit], BM_GETCHECK, 0, 0), BST_UNCHECKED) << "a click clears the grayed box";
    w.desktop.boxes.clear();
    // Alt+D draws (not the disabled 下视图): no angle chosen yet, so the
    // inputs are refused.
    altKey(w.view, 'd');
    ASSERT_EQ(w.desktop.boxes.size(), 1u);
    EXPECT_EQ(w.desktop.boxes[0], "提醒 | 参数输入出错。 | 64");
    EXPECT_EQ(SendMessageW(w[C::OptTX_2], BM_GETCHECK, 0, 0), BST_UNCHECKED);
    altKey(w.view, 'u');
    EXPECT_EQ(SendMessageW(w[C::OptTX_3], BM_GETCHECK, 0, 0), BST_CHECKED);
}

// ---- About ------------------------------------------------------------------------

TEST(AboutWindow, OpensInPlaceOfTheMainWindowCountsDownAndCloses)
{
    Rig w;
    SendMessageW(w[C::CmdAbout], BM_CLICK, 0, 0);
    pump();
    EXPECT_FALSE(IsWindowVisible(w.view.window()));
    HWND about = FindWindowW(nullptr, L"关于 Tessik");
    ASSERT_TRUE(about);
    EXPECT_TRUE(IsWindowVisible(about));
    RECT client{};
    GetClientRect(about, &client);
    EXPECT_EQ(client.right, px(6000, 96));
    EXPECT_EQ(client.bottom, px(4110, 96));
    HWND ok = GetDlgItem(about, IDOK);
    ASSERT_TRUE(ok);
    EXPECT_EQ(className(ok), "Button");
    EXPECT_EQ(GetWindowLongW(ok, GWL_STYLE) & BS_DEFPUSHBUTTON, BS_DEFPUSHBUTTON);
    // A second's tick of the countdown, by the window's own timer.
    const DWORD until = GetTickCount() + 1500;
    while (GetTickCount() < until) {
        pump();
        Sleep(20);
    }
    wchar_t caption[64] = {};
    GetWindowTextW(ok, caption, 64);
    EXPECT_EQ(os::narrow(caption), "60秒后自动确定");
    // Esc unloads it and brings the main window back.
    MSG esc{GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1, 0, {}};
    w.view.translateDialogMessage(esc);
    pump();
    EXPECT_FALSE(IsWindow(about));
    EXPECT_TRUE(IsWindowVisible(w.view.window()));
}

TEST(AboutWindow, SystemInformationStartsTheProgramTheRegistryNames)
{
    Rig w;
    const std::wstring key = L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
    const std::wstring path = L"C:\\程序\\msinfo32.exe";
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(k, L"PATH", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()), DWORD((path.size() + 1) * 2));
    RegCloseKey(k);
    w.view.aboutDialog().Show();
    HWND about = FindWindowW(nullptr, L"关于 Tessik");
    HWND button = FindWindowExW(about, nullptr, L"Button", L"系统信息(&S)...");
    ASSERT_TRUE(button);
    SendMessageW(button, BM_CLICK, 0, 0);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
    ASSERT_EQ(w.desktop.started.size(), 1u);
    EXPECT_EQ(w.desktop.started[0], os::narrow(path));
    w.view.aboutDialog().Unload();
}

// ---- The CAD program choice -------------------------------------------------------

std::wstring keptValue()
{
    wchar_t buffer[128] = {};
    DWORD bytes = sizeof buffer;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Tessik", L"CadProgId", RRF_RT_REG_SZ, nullptr, buffer, &bytes) !=
        ERROR_SUCCESS)
        return L"(none)";
    return buffer;
}

TEST(CadProgramChoice, KeptPerUserInTheRegistry)
{
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Tessik", L"CadProgId");
    EXPECT_EQ(loadCadProgram().programId, "AutoCAD.Application");

    ASSERT_TRUE(saveCadProgram(cadProgramFor("ZWCAD.Application")).ok());
    EXPECT_EQ(keptValue(), L"ZWCAD.Application");
    EXPECT_EQ(loadCadProgram().name, "中望CAD");

    // A value set by hand that is no program id is not used.
    const std::wstring bad = L"rm -rf /";
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Tessik", L"CadProgId", REG_SZ, bad.c_str(), DWORD((bad.size() + 1) * 2));
    EXPECT_EQ(loadCadProgram().programId, "AutoCAD.Application");
    EXPECT_FALSE(saveCadProgram({"x", "not an id"}).ok());
    EXPECT_EQ(keptValue(), bad);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Tessik", L"CadProgId");
}

TEST(CadProgramChoice, DialogRefusesAMalformedIdAndKeepsWhatWasTyped)
{
    TestDesktop desktop;
    CadProgramDialog dialog(nullptr, desktop, defaultCadProgram());
    std::vector<std::string> typedAfterRefusal;
    dialog.whileOpen = [&](HWND window) {
        EXPECT_EQ(SendDlgItemMessageW(window, CadProgramDialog::kFirstChoice, BM_GETCHECK, 0, 0), BST_CHECKED);
        SendDlgItemMessageW(window, CadProgramDialog::kOtherChoice, BM_CLICK, 0, 0);
        SetDlgItemTextW(window, CadProgramDialog::kOtherId, L"Gstarsoft CAD");
        SendMessageW(window, WM_COMMAND, IDOK, 0);
        wchar_t typed[64] = {};
        GetDlgItemTextW(window, CadProgramDialog::kOtherId, typed, 64);
        typedAfterRefusal.push_back(os::narrow(typed));
        SetDlgItemTextW(window, CadProgramDialog::kOtherId, L" GCAD.Application ");
        SendMessageW(window, WM_COMMAND, IDOK, 0);
    };
    const std::optional<CadProgram> chosen = dialog.run();
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_NE(desktop.boxes[0].find("Gstarsoft CAD"), std::string::npos);
    EXPECT_EQ(typedAfterRefusal, std::vector<std::string>{"Gstarsoft CAD"});
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->name, "浩辰CAD");
    EXPECT_EQ(chosen->programId, "GCAD.Application");
}

}  // namespace
}  // namespace tessik::win32
