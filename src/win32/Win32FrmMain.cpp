#include "Win32FrmMain.h"

#include <algorithm>
#include <cassert>

#include "Controls.h"
#include "Dpi.h"
#include "FrmMainForm.h"
#include "ToolConstants.h"
#include "Win32frmAbout.h"
#include "WideText.h"
#include "frmAboutForm.h"
#include "resource.h"

namespace tessik::win32 {

namespace {

using C = FrmMainControl;

constexpr wchar_t kWindowClass[] = L"TessikFrmMain";
constexpr int kClientWidth = 6450;
constexpr int kClientHeight = 3510;
// Not WS_CLIPCHILDREN: the group frames are children that paint only their
// border, and the window paints what they leave.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kScrollMin = 1;
constexpr int kScrollMax = 20;
constexpr int kScrollArrowStep = 1;
constexpr int kScrollPageStep = 2;
// A list shows this many entries when it drops down.
constexpr int kDroppedEntries = 12;
constexpr int kFirstControlId = 100;

enum class Kind : std::uint8_t {
    Frame,
    Label,      // fixed rectangle
    TextLabel,  // sizes itself to its text, at left and top
    List,
    Text,
    ReadOnlyText,
    Button,
    Option,
    Check,
    Spinner,
    DarkLine,
    LightLine,
};

enum class Colour : std::uint8_t { Default, Black, Highlight };

struct Design {
    C id;
    Kind kind;
    const char* text;
    TwipsRect rect;  // in the frame's coordinates when `frame` is one
    C frame;         // Window: the client area
    Colour colour = Colour::Default;
    bool disabled = false;
};

constexpr int kCaptionLeft = 120, kCaptionWidth = 735, kCaptionHeight = 255;
constexpr int kFieldLeft = 960, kFieldWidth = 1215;
constexpr int kUnitLeft = 2280;
constexpr int kButtonLeft = 4680, kButtonWidth = 1575, kButtonHeight = 375;
constexpr TwipsRect caption(int top) { return {kCaptionLeft, top, kCaptionWidth, kCaptionHeight}; }
constexpr TwipsRect field(int top, int height) { return {kFieldLeft, top, kFieldWidth, height}; }
constexpr TwipsRect unit(int top) { return {kUnitLeft, top, 0, 0}; }
constexpr TwipsRect button(int top) { return {kButtonLeft, top, kButtonWidth, kButtonHeight}; }
constexpr TwipsRect view(int index, int width = 1215) { return {120, 240 + 240 * index, width, 255}; }

// In the window's keyboard order (its tab indices), which is also the order
// of creation: IsDialogMessageW follows it.
constexpr Design kDesign[] = {
    {C::CmbWJ, Kind::List, "直径", field(240, 300), C::Frame1},
    {C::CmbHd, Kind::List, "弯角", field(600, 300), C::Frame1},
    {C::TxtWJ, Kind::Text, kBlankText, field(975, 270), C::Frame1},
    {C::TxtZJS, Kind::Text, kBlankText, field(1320, 270), C::Frame1},
    {C::TxtCZ, Kind::Text, "7850", field(1665, 270), C::Frame1},
    {C::CmbBH, Kind::List, kBlankText, field(2025, 300), C::Frame1},
    {C::TxtWeight, Kind::ReadOnlyText, kBlankText, field(2400, 270), C::Frame1},
    {C::ChkQuit, Kind::Check, "绘图结束退出(&H)", {120, 240, 1695, 180}, C::Frame2},
    {C::OptTX_0, Kind::Option, "主视图(&B)", view(0), C::Frame4},
    {C::OptTX_3, Kind::Option, "左视图(&L)", view(3), C::Frame4},
    {C::OptTX_4, Kind::Option, "右视图(&R)", view(4), C::Frame4},
    {C::CmdStart, Kind::Button, "启动AutoCAD(&C)", button(1200), C::Window},
    {C::CmdDraw1, Kind::Button, "绘       图(&D)", button(1640), C::Window},
    {C::CmdAbout, Kind::Button, "关       于(&A)", button(2080), C::Window},
    {C::CmdQuit, Kind::Button, "退       出(&Q)", button(2520), C::Window},
    {C::LblInfo, Kind::TextLabel, "Label1", {195, 3285, 0, 0}, C::Window, Colour::Highlight},
    {C::Label2, Kind::TextLabel, "注：外径中加\"*\"者为基本系列，其它为辅助系列。", {195, 3000, 0, 0}, C::Window,
     Colour::Highlight},
    {C::CmdIquire, Kind::Button, "查询(&I)", {8040, 2280, 1335, 375}, C::Window},
    {C::Frame1, Kind::Frame, "输入", {120, 120, 2775, 2775}, C::Window},
    {C::VScroll1, Kind::Spinner, "", {2205, 1320, 300, 255}, C::Frame1},
    {C::LblWaJ_1, Kind::Label, "外    径", caption(285), C::Frame1, Colour::Black},
    {C::Label1_0, Kind::TextLabel, "mm", unit(285), C::Frame1},
    {C::LblWanJ_1, Kind::Label, "角    度", caption(645), C::Frame1, Colour::Black},
    {C::LblWanJ_2, Kind::TextLabel, "度", unit(645), C::Frame1},
    {C::LblWanJ_0, Kind::Label, "曲率半径", caption(1005), C::Frame1, Colour::Black},
    {C::Label1_2, Kind::TextLabel, "mm", unit(1005), C::Frame1},
    {C::LblWanJ_3, Kind::Label, "中 节 数", caption(1365), C::Frame1, Colour::Black},
    {C::LblCZ_1, Kind::Label, "材    质", caption(1725), C::Frame1, Colour::Black},
    {C::Label1_3, Kind::TextLabel, "kg/m", unit(1725), C::Frame1},
    {C::LblBH_1, Kind::Label, "壁    厚", caption(2085), C::Frame1, Colour::Black},
    {C::Label1_1, Kind::TextLabel, "mm", unit(2085), C::Frame1},
    {C::Label3, Kind::Label, "重    量", caption(2400), C::Frame1, Colour::Black},
    {C::Label4, Kind::TextLabel, "kg", unit(2400), C::Frame1},
    {C::Frame2, Kind::Frame, "程序设置", {3000, 120, 1935, 855}, C::Window},
    {C::Frame3, Kind::Frame, "插入点设置", {5040, 120, 1200, 855}, C::Window, Colour::Default, true},
    {C::OptGc, Kind::Option, "管道中心", {120, 240, 1020, 255}, C::Frame3, Colour::Default, true},
    {C::OptWc, Kind::Option, "弯曲中心", {100, 480, 1020, 255}, C::Frame3, Colour::Default, true},
    {C::Frame4, Kind::Frame, "图形设置", {3000, 1080, 1575, 1815}, C::Window},
    {C::OptTX_1, Kind::Option, "上视图(&U)", view(1), C::Frame4, Colour::Default, true},
    {C::OptTX_2, Kind::Option, "下视图(&D)", view(2), C::Frame4, Colour::Default, true},
    {C::OptTX_5, Kind::Option, "所有视图(&A)", view(5, 1335), C::Frame4, Colour::Default, true},
    // The etched separator: a dark line over a light one.
    {C::Line1_1, Kind::DarkLine, "", {45, 3225, 6400 - 45, 0}, C::Window},
    {C::Line1_0, Kind::LightLine, "", {45, 3240, 6400 - 45, 0}, C::Window},
};

const Design& designOf(C id)
{
    for (const Design& d : kDesign)
        if (d.id == id) return d;
    assert(!"every control has a design");
    return kDesign[0];
}

// The rectangle in the window's client area, in twips.
TwipsRect clientTwips(const Design& d)
{
    if (d.frame == C::Window) return d.rect;
    const TwipsRect& frame = designOf(d.frame).rect;
    return {frame.left + d.rect.left, frame.top + d.rect.top, d.rect.width, d.rect.height};
}

int controlId(C id) { return id == C::CmdQuit ? IDCANCEL : kFirstControlId + int(id); }

bool isOption(C id) { return designOf(id).kind == Kind::Option; }
bool isList(C id) { return designOf(id).kind == Kind::List; }
bool isTextBox(C id)
{
    const Kind k = designOf(id).kind;
    return k == Kind::Text || k == Kind::ReadOnlyText;
}
bool isViewOption(C id) { return id >= C::OptTX_0 && id <= C::OptTX_5; }
bool sameOptionGroup(C a, C b) { return isViewOption(a) == isViewOption(b); }

struct ClassAndStyle {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

ClassAndStyle classAndStyle(const Design& d)
{
    const DWORD visible = d.id == C::CmdIquire ? 0 : WS_VISIBLE;
    const DWORD disabled = d.disabled ? WS_DISABLED : 0;
    const DWORD common = visible | disabled;
    switch (d.kind) {
    case Kind::Frame: return {kButtonClass, common | BS_GROUPBOX, 0};
    case Kind::Label:
    case Kind::TextLabel: return {kStaticClass, common | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0};
    case Kind::List: return {kComboClass, common | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0};
    case Kind::Text: return {kEditClass, common | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case Kind::ReadOnlyText: return {kEditClass, common | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY, WS_EX_CLIENTEDGE};
    case Kind::Button: return {kButtonClass, common | WS_TABSTOP | BS_PUSHBUTTON, 0};
    // Options are made in groups; the group's tab stop is set with its selection.
    case Kind::Option: return {kButtonClass, common | BS_AUTORADIOBUTTON, 0};
    case Kind::Check: return {kButtonClass, common | WS_TABSTOP | BS_3STATE, 0};
    case Kind::Spinner: return {kScrollBarClass, common | WS_TABSTOP | SBS_VERT, 0};
    case Kind::DarkLine: return {kStaticClass, common | SS_BLACKRECT, 0};
    case Kind::LightLine: return {kStaticClass, common | SS_WHITERECT, 0};
    }
    return {kStaticClass, common, 0};
}

// The text line of a list, where its keyboard focus and typing go.
HWND textLineOf(HWND list)
{
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    return GetComboBoxInfo(list, &info) ? info.hwndItem : nullptr;
}

}  // namespace

Win32FrmMain::Win32FrmMain(BasicDesktop& desktop) : desktop_(desktop)
{
    createWindow();
}

Win32FrmMain::~Win32FrmMain()
{
    aboutForm_.reset();
    aboutView_.reset();
    if (window_) DestroyWindow(window_);
    if (font_) DeleteObject(font_);
}

void Win32FrmMain::attach(FrmMainForm& form) { form_ = &form; }

HWND Win32FrmMain::control(FrmMainControl c) const { return c == C::Window ? window_ : controls_[std::size_t(c)]; }

bool Win32FrmMain::isControl(FrmMainControl c) const { return c != C::Window && control(c); }

void Win32FrmMain::createWindow()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    registerClass(kWindowClass, GetSysColorBrush(COLOR_BTNFACE), LoadIconW(instance, MAKEINTRESOURCEW(IDI_TESSIK)));
    create(kWindowClass, os::widen(kProgramTitle), kWindowStyle, WS_EX_CONTROLPARENT, nullptr);
    createMenu();
    createControls();
    layOut(dpiOfWindow(window_));
}

void Win32FrmMain::createMenu()
{
    HMENU bar = CreateMenu();
    HMENU tools = CreatePopupMenu();
    AppendMenuW(tools, MF_STRING, kCommandCadProgram, os::widen("CAD 程序(&P)…").c_str());
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(tools), os::widen("工具(&T)").c_str());
    SetMenu(window_, bar);
}

void Win32FrmMain::createControls()
{
    for (const Design& d : kDesign) {
        const ClassAndStyle cs = classAndStyle(d);
        HWND h = createControl(window_, cs.className, d.text, cs.style, cs.exStyle, controlId(d.id));
        controls_[std::size_t(d.id)] = h;
    }
    // Each group of options starts a new group for the dialog manager, and
    // so does the control after it.
    for (C first : {C::OptTX_0, C::CmdStart, C::OptGc, C::Frame4, C::OptTX_1}) {
        HWND h = control(first);
        SetWindowLongPtrW(h, GWL_STYLE, GetWindowLongPtrW(h, GWL_STYLE) | WS_GROUP);
    }
    checkOption(C::OptTX_0, true);
    checkOption(C::OptWc, true);
    SendMessageW(control(C::ChkQuit), BM_SETCHECK, BST_CHECKED, 0);

    SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE, kScrollMin, kScrollMax, 0, 0, 0};
    SetScrollInfo(control(C::VScroll1), SB_CTL, &info, FALSE);
    showScrollValue();

    // Our procedure sees the typing and the focus of every control that takes
    // the keyboard; a list takes it in its text line.
    for (const Design& d : kDesign) {
        HWND h = control(d.id);
        if (d.kind == Kind::List) h = textLineOf(h);
        const bool takesKeyboard = d.kind == Kind::List || d.kind == Kind::Text || d.kind == Kind::ReadOnlyText ||
                                   d.kind == Kind::Button || d.kind == Kind::Option || d.kind == Kind::Check ||
                                   d.kind == Kind::Spinner;
        if (h && takesKeyboard) subclassControl(h, &Win32FrmMain::controlProcedure, this);
    }
}

void Win32FrmMain::layOut(int dpi)
{
    dpi_ = dpi;
    HFONT old = font_;
    font_ = createUiFont(dpi);
    for (HWND h : controls_)
        if (h) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    if (old) DeleteObject(old);

    const int lineHeightAt96[] = {1, 2};
    for (const Design& d : kDesign) {
        HWND h = control(d.id);
        PixelRect r = twipsToPixels(clientTwips(d), dpi);
        switch (d.kind) {
        case Kind::TextLabel: fitToText(d.id); continue;
        case Kind::DarkLine: r.height = scaledPixels(lineHeightAt96[0], dpi); break;
        case Kind::LightLine: r.height = scaledPixels(lineHeightAt96[1], dpi); break;
        case Kind::Check: {
            // Too low for the check mark and its text: it grows about its middle.
            const int needed = std::max(fontHeight(h, font_), GetSystemMetrics(SM_CYMENUCHECK));
            if (r.height < needed) {
                r.top -= (needed - r.height) / 2;
                r.height = needed;
            }
            break;
        }
        case Kind::List: {
            // The closed list stands in its rectangle; the dropped part hangs below.
            const int closed = r.height;
            placeControl(h, {r.left, r.top, r.width, closed + kDroppedEntries * fontHeight(h, font_)});
            // Its height follows the height asked for its text line, by an
            // amount that is the toolkit's own: ask until the two agree.
            LRESULT request = SendMessageW(h, CB_GETITEMHEIGHT, WPARAM(-1), 0);
            for (int attempt = 0; attempt < 4 && request > 0; ++attempt) {
                const int now = controlRect(h).height;
                if (now == closed || request + (closed - now) < 1) break;
                request += closed - now;
                SendMessageW(h, CB_SETITEMHEIGHT, WPARAM(-1), request);
            }
            continue;
        }
        default: break;
        }
        placeControl(h, r);
    }
    const SIZE outer = windowSizeForClient(twipsToPixels(kClientWidth, dpi), twipsToPixels(kClientHeight, dpi),
                                           kWindowStyle, WS_EX_CONTROLPARENT, true, dpi);
    SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The menu bar may wrap or change height with the font: the client area
    // keeps its size in twips.
    RECT client{};
    GetClientRect(window_, &client);
    const int missing = twipsToPixels(kClientHeight, dpi) - (client.bottom - client.top);
    if (missing != 0)
        SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy + missing, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window_, nullptr, TRUE);
}

void Win32FrmMain::fitToText(FrmMainControl label)
{
    const Design& d = designOf(label);
    const PixelRect at = twipsToPixels(clientTwips(d), dpi_);
    HWND h = control(label);
    const SIZE size = textExtent(h, font_, windowText(h));
    placeControl(h, {at.left, at.top, int(size.cx), std::max(int(size.cy), fontHeight(h, font_))});
    InvalidateRect(h, nullptr, TRUE);
}

// ---- Window procedure --------------------------------------------------------

LRESULT Win32FrmMain::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_VSCROLL:
        if (reinterpret_cast<HWND>(lParam) == control(C::VScroll1)) scrolled(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        return staticColours(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DPICHANGED:
        layOut(HIWORD(wParam));
        moveToSuggestedPosition(window_, lParam);
        return 0;
    case WM_ACTIVATE:
        // The keyboard goes back to the control that had it.
        if (LOWORD(wParam) != WA_INACTIVE && isControl(focused_) && IsWindowEnabled(control(focused_)) &&
            IsWindowVisible(control(focused_))) {
            SetFocus(control(focused_));
            return 0;
        }
        break;
    case WM_CLOSE:
        // The close box ends the program; no handler of the window runs.
        desktop_.endProgram();
        return 0;
    case WM_DESTROY:
        window_ = nullptr;
        return 0;
    default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32FrmMain::command(int id, int notification, HWND from)
{
    if (id == kCommandCadProgram && !from) {
        if (chooseCadProgram) chooseCadProgram();
        return;
    }
    if (id == IDOK) {
        // Enter outside the typed fields presses the focused button.
        const C focused = controlOf(GetFocus());
        if (isControl(focused) && designOf(focused).kind == Kind::Button) SendMessageW(control(focused), BM_CLICK, 0, 0);
        return;
    }
    const C c = controlOf(from);
    if (!isControl(c) || !form_) return;
    const Kind kind = designOf(c).kind;
    if (kind == Kind::Button && notification == BN_CLICKED) {
        // Esc arrives as IDCANCEL whatever the state of CmdQuit.
        if (IsWindowEnabled(from) && IsWindowVisible(from)) form_->Click(c);
    } else if (kind == Kind::Check && notification == BN_CLICKED) {
        // The user ticks and clears; the grayed state is set from code only.
        const LRESULT state = SendMessageW(from, BM_GETCHECK, 0, 0);
        SendMessageW(from, BM_SETCHECK, state == BST_UNCHECKED ? BST_CHECKED : BST_UNCHECKED, 0);
        form_->Click(c);
    } else if (kind == Kind::Option && notification == BN_CLICKED) {
        checkOption(c, true);
        form_->Click(c);
    } else if (kind == Kind::List && notification == CBN_SELCHANGE) {
        // The text line still shows the old text while this notification
        // runs; the form reads the new one.
        const LRESULT index = SendMessageW(from, CB_GETCURSEL, 0, 0);
        if (index >= 0) setWindowText(from, listItem(c, int(index)));
        form_->Click(c);
    } else if (kind == Kind::Text && notification == EN_CHANGE) {
        form_->Change(c);
    }
}

void Win32FrmMain::scrolled(int request, int thumb)
{
    int next = scrollValue_;
    switch (request) {
    case SB_LINEUP: next += kScrollArrowStep; break;
    case SB_LINEDOWN: next -= kScrollArrowStep; break;
    case SB_PAGEUP: next += kScrollPageStep; break;
    case SB_PAGEDOWN: next -= kScrollPageStep; break;
    case SB_TOP: next = kScrollMax; break;
    case SB_BOTTOM: next = kScrollMin; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: next = kScrollMin + kScrollMax - thumb; break;
    default: return;
    }
    setScrollValue(C::VScroll1, std::clamp(next, kScrollMin, kScrollMax));
}

// The upper end is 20: the bar's positions run the other way.
void Win32FrmMain::showScrollValue()
{
    SetScrollPos(control(C::VScroll1), SB_CTL, kScrollMin + kScrollMax - scrollValue_, TRUE);
}

LRESULT Win32FrmMain::staticColours(HDC dc, HWND h)
{
    const C c = controlOf(h);
    if (isControl(c) && isTextBox(c)) return DefWindowProcW(window_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(h));
    COLORREF text = GetSysColor(COLOR_BTNTEXT);
    if (isControl(c)) {
        switch (designOf(c).colour) {
        case Colour::Black: text = RGB(0, 0, 0); break;
        case Colour::Highlight: text = GetSysColor(COLOR_HIGHLIGHT); break;
        case Colour::Default: break;
        }
    }
    if (!IsWindowEnabled(h)) text = GetSysColor(COLOR_GRAYTEXT);
    SetTextColor(dc, text);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

// ---- Controls' own messages ------------------------------------------------------

LRESULT CALLBACK Win32FrmMain::controlProcedure(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<Win32FrmMain*>(subclassData(control));
    if (!self) return callOriginal(control, message, wParam, lParam);
    return self->handleControl(control, message, wParam, lParam);
}

LRESULT Win32FrmMain::handleControl(HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    const C c = controlOf(h);
    switch (message) {
    case WM_GETDLGCODE:
        // Enter is a character for the typed fields, which refuse it.
        if ((c == C::TxtWJ || c == C::TxtCZ || c == C::TxtZJS) && lParam) {
            const MSG* m = reinterpret_cast<const MSG*>(lParam);
            if (m->message == WM_KEYDOWN && m->wParam == VK_RETURN)
                return callOriginal(h, message, wParam, lParam) | DLGC_WANTMESSAGE;
        }
        break;
    case WM_CHAR:
        if (form_) {
            auto code = static_cast<std::int16_t>(static_cast<std::uint16_t>(wParam));
            form_->KeyPress(c, code);
            if (code == 0) return 0;
            wParam = static_cast<std::uint16_t>(code);
        }
        break;
    case WM_SETFOCUS: {
        const LRESULT result = callOriginal(h, message, wParam, lParam);
        focusArrived(c);
        return result;
    }
    case WM_LBUTTONDOWN:
        if (GetFocus() != h && isTextBox(c)) {
            const LRESULT result = callOriginal(h, message, wParam, lParam);
            reselectAfterClick_ = h;
            return result;
        }
        break;
    case WM_LBUTTONUP: {
        const LRESULT result = callOriginal(h, message, wParam, lParam);
        if (reselectAfterClick_ == h) {
            reselectAfterClick_ = nullptr;
            // A click, not a drag: the selection GotFocus made comes back.
            DWORD start = 0, end = 0;
            SendMessageW(h, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
            if (start == end && form_) form_->GotFocus(c);
        }
        return result;
    }
    default: break;
    }
    return callOriginal(h, message, wParam, lParam);
}

void Win32FrmMain::focusArrived(FrmMainControl c)
{
    if (c == focused_) return;
    const C left = focused_;
    focused_ = c;
    if (!form_) return;
    if (isControl(left)) form_->LostFocus(left);
    // LostFocus may have moved the focus on already.
    if (focused_ == c) form_->GotFocus(c);
}

FrmMainControl Win32FrmMain::controlOf(HWND h) const
{
    if (!h) return C::Window;
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (!controls_[i]) continue;
        if (controls_[i] == h || (GetParent(h) == controls_[i] && isList(C(i)))) return C(i);
    }
    return C::Window;
}

void Win32FrmMain::checkOption(FrmMainControl option, bool checked)
{
    for (const Design& d : kDesign) {
        if (d.kind != Kind::Option || !sameOptionGroup(d.id, option)) continue;
        const bool on = d.id == option ? checked : (checked ? false : SendMessageW(control(d.id), BM_GETCHECK, 0, 0) == BST_CHECKED);
        SendMessageW(control(d.id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    // The group is one stop for Tab, at its selected option.
    for (const Design& d : kDesign) {
        if (d.kind != Kind::Option || !sameOptionGroup(d.id, option)) continue;
        HWND h = control(d.id);
        const bool stop = SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
        const LONG_PTR style = GetWindowLongPtrW(h, GWL_STYLE);
        SetWindowLongPtrW(h, GWL_STYLE, stop ? (style | WS_TABSTOP) : (style & ~LONG_PTR(WS_TABSTOP)));
    }
}

// ---- FrmMainView ------------------------------------------------------------------

std::string Win32FrmMain::text(FrmMainControl c) const { return windowText(control(c)); }

void Win32FrmMain::setText(FrmMainControl c, const std::string& text)
{
    if (!replaceWindowText(control(c), text)) return;
    if (c != C::Window && designOf(c).kind == Kind::TextLabel) fitToText(c);
}

void Win32FrmMain::setSelection(FrmMainControl c, int SelStart, int SelLength)
{
    if (!isControl(c)) return;
    HWND h = control(c);
    if (isList(c)) {
        SendMessageW(h, CB_SETEDITSEL, 0, MAKELPARAM(SelStart, SelStart + SelLength));
    } else if (isTextBox(c)) {
        SendMessageW(h, EM_SETSEL, WPARAM(SelStart), LPARAM(SelStart + SelLength));
        SendMessageW(h, EM_SCROLLCARET, 0, 0);
    }
}

int Win32FrmMain::listCount(FrmMainControl list) const
{
    return isControl(list) && isList(list) ? int(SendMessageW(control(list), CB_GETCOUNT, 0, 0)) : 0;
}

std::string Win32FrmMain::listItem(FrmMainControl list, int index) const
{
    if (!isControl(list) || !isList(list)) return {};
    HWND h = control(list);
    const LRESULT length = SendMessageW(h, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length == CB_ERR) return {};
    std::wstring item(std::size_t(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(h, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(item.data()));
    item.resize(copied > 0 ? std::size_t(copied) : 0);
    return os::narrow(item);
}

void Win32FrmMain::addItem(FrmMainControl list, int position, const std::string& item)
{
    if (isControl(list) && isList(list))
        SendMessageW(control(list), CB_INSERTSTRING, WPARAM(position), reinterpret_cast<LPARAM>(os::widen(item).c_str()));
}

int Win32FrmMain::listIndex(FrmMainControl list) const
{
    return isControl(list) && isList(list) ? int(SendMessageW(control(list), CB_GETCURSEL, 0, 0)) : -1;
}

void Win32FrmMain::setListIndex(FrmMainControl list, int index)
{
    if (isControl(list) && isList(list)) SendMessageW(control(list), CB_SETCURSEL, WPARAM(index), 0);
}

int Win32FrmMain::value(FrmMainControl c) const
{
    if (!isControl(c)) return 0;
    const Kind kind = designOf(c).kind;
    if (kind != Kind::Check && kind != Kind::Option) return 0;
    switch (SendMessageW(control(c), BM_GETCHECK, 0, 0)) {
    case BST_CHECKED: return check::kTicked;
    case BST_INDETERMINATE: return check::kGrayed;
    default: return check::kClear;
    }
}

void Win32FrmMain::setValue(FrmMainControl c, int value)
{
    if (!isControl(c)) return;
    if (isOption(c)) {
        checkOption(c, value != 0);
    } else if (designOf(c).kind == Kind::Check) {
        const WPARAM state = value == check::kGrayed ? BST_INDETERMINATE : value ? BST_CHECKED : BST_UNCHECKED;
        SendMessageW(control(c), BM_SETCHECK, state, 0);
    }
}

int Win32FrmMain::scrollValue(FrmMainControl bar) const { return bar == C::VScroll1 ? scrollValue_ : 0; }

void Win32FrmMain::setScrollValue(FrmMainControl bar, int value)
{
    if (bar != C::VScroll1 || value == scrollValue_ || value < kScrollMin || value > kScrollMax) return;
    scrollValue_ = value;
    showScrollValue();
    if (form_) form_->Change(C::VScroll1);
}

int Win32FrmMain::scrollMin(FrmMainControl bar) const { return bar == C::VScroll1 ? kScrollMin : 0; }
int Win32FrmMain::scrollMax(FrmMainControl bar) const { return bar == C::VScroll1 ? kScrollMax : 0; }

bool Win32FrmMain::enabled(FrmMainControl c) const
{
    HWND h = control(c);
    return h && IsWindowEnabled(h);
}

void Win32FrmMain::setEnabled(FrmMainControl c, bool enabled)
{
    if (HWND h = control(c)) EnableWindow(h, enabled);
}

bool Win32FrmMain::visible(FrmMainControl c) const
{
    HWND h = control(c);
    return h && (GetWindowLongPtrW(h, GWL_STYLE) & WS_VISIBLE);
}

void Win32FrmMain::setVisible(FrmMainControl c, bool visible)
{
    HWND h = control(c);
    if (!h) return;
    ShowWindow(h, visible ? SW_SHOW : SW_HIDE);
    // On screen now, before a question box of the next step.
    if (visible && c == C::Window) UpdateWindow(h);
}

void Win32FrmMain::setFocus(FrmMainControl c)
{
    if (isControl(c)) SetFocus(control(c));
}

void Win32FrmMain::activate()
{
    if (!IsWindowVisible(window_)) return;
    SetForegroundWindow(window_);
    SetActiveWindow(window_);
    if (isControl(focused_)) SetFocus(control(focused_));
}

frmAboutForm& Win32FrmMain::aboutDialog()
{
    if (!aboutForm_) {
        aboutView_ = std::make_unique<Win32frmAbout>();
        aboutForm_ = std::make_unique<frmAboutForm>(*aboutView_, desktop_, [this] {
            setVisible(C::Window, true);
            activate();
        });
        aboutView_->attach(*aboutForm_);
    }
    return *aboutForm_;
}

bool Win32FrmMain::translateDialogMessage(MSG& message)
{
    if (aboutView_ && aboutView_->window() && IsDialogMessageW(aboutView_->window(), &message)) return true;
    return window_ && IsDialogMessageW(window_, &message);
}

}  // namespace tessik::win32
