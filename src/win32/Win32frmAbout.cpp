#include "Win32frmAbout.h"

#include <algorithm>

#include "Controls.h"
#include "Dpi.h"
#include "WideText.h"
#include "frmAboutDesign.h"
#include "frmAboutForm.h"
#include "resource.h"

namespace tessik::win32 {

namespace {

using C = frmAboutControl;

constexpr wchar_t kWindowClass[] = L"TessikfrmAbout";
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr int kClientWidth = 6000;
constexpr int kClientHeight = 4110;
constexpr int kFirstControlId = 100;
constexpr int kPictures = 5;
constexpr TextColour kLightRed{255, 128, 128};
constexpr TextColour kLightBlue{128, 128, 255};
constexpr TextColour kBlack{0, 0, 0};

enum class AboutKind : std::uint8_t { Picture, Label, WrappedLabel, Link, Banner, Button, DefaultButton };

struct AboutDesign {
    C id;
    AboutKind kind;
    TwipsRect rect;
};

// In keyboard order: OK, then system information; the rest takes no focus.
constexpr AboutDesign kDesign[] = {
    {C::cmdOK, AboutKind::DefaultButton, {4200, 3120, 1500, 345}},
    {C::cmdSysInfo, AboutKind::Button, {4200, 3600, 1485, 345}},
    {C::picIcon_0, AboutKind::Picture, {120, 240, 1500, 1500}},
    {C::picIcon_1, AboutKind::Picture, {120, 240, 1500, 1500}},
    {C::picIcon_2, AboutKind::Picture, {120, 240, 1500, 1500}},
    {C::picIcon_3, AboutKind::Picture, {120, 240, 1500, 1500}},
    {C::picIcon_4, AboutKind::Picture, {120, 240, 1500, 1500}},
    {C::lblTitle, AboutKind::Label, {1800, 240, 3645, 240}},
    {C::lblVersion, AboutKind::Label, {1800, 480, 360, 180}},
    {C::Label1, AboutKind::Label, {3000, 480, 2700, 180}},
    {C::lblDescription, AboutKind::WrappedLabel, {1800, 720, 4095, 885}},
    {C::Label9, AboutKind::Label, {2040, 1680, 3330, 180}},
    {C::Label5, AboutKind::Label, {360, 1920, 990, 180}},
    {C::Label4, AboutKind::Label, {2040, 1920, 2340, 180}},
    {C::Label3, AboutKind::Label, {4680, 1920, 1170, 180}},
    {C::Label2, AboutKind::Link, {2040, 2160, 2250, 180}},
    {C::Label6, AboutKind::Label, {360, 2220, 1170, 180}},
    {C::Label7, AboutKind::Link, {2040, 2400, 2520, 180}},
    {C::Label10, AboutKind::Label, {360, 2520, 630, 180}},
    {C::Label8, AboutKind::Link, {2040, 2640, 2160, 180}},
    {C::Image1, AboutKind::Banner, {120, 3120, 3945, 285}},
    {C::lblDisclaimer, AboutKind::WrappedLabel, {480, 3480, 3135, 345}},
};

const AboutDesign* designOf(C id)
{
    for (const AboutDesign& d : kDesign)
        if (d.id == id) return &d;
    return nullptr;
}

int controlId(C id)
{
    if (id == C::cmdOK) return IDOK;
    return kFirstControlId + int(id);
}

int timerIndex(C timer)
{
    switch (timer) {
    case C::Timer1: return 0;
    case C::Timer2: return 1;
    case C::Timer3: return 2;
    default: return -1;
    }
}

COLORREF toColorRef(TextColour c) { return RGB(c.red, c.green, c.blue); }

// The etched separator, in twips: a grey line over a white one.
constexpr TwipsRect kGreyLine{120, 2925, 5880 - 120, 0};
constexpr TwipsRect kWhiteLine{225, 2940, 5774 - 225, 0};

}  // namespace

Win32frmAbout::Win32frmAbout()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    hand_ = static_cast<HCURSOR>(LoadImageW(instance, MAKEINTRESOURCEW(IDC_HAND_LINK), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE));
    if (!hand_) hand_ = LoadCursorW(nullptr, IDC_HAND);
    for (int i = 0; i < kPictures; ++i)
        pictures_[std::size_t(i)] = static_cast<HBITMAP>(
            LoadImageW(instance, MAKEINTRESOURCEW(IDB_PICTURE0 + i), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    // The first pixel's colour becomes the window's background colour.
    banner_ = static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(IDB_BANNER), IMAGE_BITMAP, 0, 0, LR_LOADTRANSPARENT));
}

Win32frmAbout::~Win32frmAbout()
{
    if (window_) {
        form_ = nullptr;
        DestroyWindow(window_);
    }
    releaseFonts();
    for (HBITMAP b : pictures_)
        if (b) DeleteObject(b);
    if (banner_) DeleteObject(banner_);
}

void Win32frmAbout::releaseFonts()
{
    if (font_) DeleteObject(font_);
    if (linkFont_) DeleteObject(linkFont_);
    font_ = linkFont_ = nullptr;
}

HWND Win32frmAbout::control(frmAboutControl c) const { return c == C::Window ? window_ : controls_[std::size_t(c)]; }

bool Win32frmAbout::linkStyled(frmAboutControl label) const { return looks_[std::size_t(label)].underlineItalic; }

void Win32frmAbout::load()
{
    if (window_) unload();
    registerClass(kWindowClass, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
                  LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TESSIK)));
    looks_ = {};
    running_ = {};
    create(kWindowClass, L"", kWindowStyle, kWindowExStyle, nullptr);
    for (const AboutDesign& d : kDesign) {
        DWORD style = WS_VISIBLE;
        const wchar_t* className = kStaticClass;
        switch (d.kind) {
        case AboutKind::Picture:
        case AboutKind::Banner: style |= SS_OWNERDRAW | SS_NOTIFY; break;
        // Every label answers hit tests, so the pointer over one is not over
        // the background.
        case AboutKind::Label:
        case AboutKind::Link: style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_NOTIFY; break;
        case AboutKind::WrappedLabel: style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY; break;
        case AboutKind::Button: style |= WS_TABSTOP | BS_PUSHBUTTON, className = kButtonClass; break;
        case AboutKind::DefaultButton: style |= WS_TABSTOP | BS_DEFPUSHBUTTON, className = kButtonClass; break;
        }
        controls_[std::size_t(d.id)] = createControl(window_, className, designText(d.id), style, 0, controlId(d.id));
    }
    looks_[std::size_t(C::lblTitle)] = {kBlack, false, false};
    looks_[std::size_t(C::lblDescription)] = {kBlack, false, false};
    looks_[std::size_t(C::Label9)] = {kLightRed, false, false};
    looks_[std::size_t(C::lblDisclaimer)] = {kLightBlue, false, false};
    for (C link : {C::Label2, C::Label7, C::Label8}) looks_[std::size_t(link)] = {kBlack, false, false};
    layOut(dpiOfWindow(window_));
    // In the middle of the screen the window is on.
    RECT r{};
    GetWindowRect(window_, &r);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    SetWindowPos(window_, nullptr, work.left + ((work.right - work.left) - (r.right - r.left)) / 2,
                 work.top + ((work.bottom - work.top) - (r.bottom - r.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32frmAbout::unload()
{
    HWND w = window_;
    window_ = nullptr;
    controls_ = {};
    running_ = {};
    if (w) DestroyWindow(w);
}

void Win32frmAbout::layOut(int dpi)
{
    dpi_ = dpi;
    releaseFonts();
    font_ = createUiFont(dpi);
    linkFont_ = createUiFont(dpi, true);
    for (const AboutDesign& d : kDesign) {
        HWND h = control(d.id);
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(looks_[std::size_t(d.id)].underlineItalic ? linkFont_ : font_), FALSE);
        placeControl(h, twipsToPixels(d.rect, dpi));
        if (d.kind == AboutKind::Label || d.kind == AboutKind::Link) fitToText(d.id);
    }
    const SIZE outer = windowSizeForClient(twipsToPixels(kClientWidth, dpi), twipsToPixels(kClientHeight, dpi),
                                           kWindowStyle, kWindowExStyle, false, dpi);
    SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window_, nullptr, TRUE);
}

// A one-line label keeps its place and grows to the right and downwards
// when its text, in the wider hovered style too, would not fit.
void Win32frmAbout::fitToText(frmAboutControl label)
{
    const AboutDesign* d = designOf(label);
    HWND h = control(label);
    if (!d || !h) return;
    const PixelRect place = twipsToPixels(d->rect, dpi_);
    const std::string text = windowText(h);
    const SIZE plain = textExtent(h, font_, text);
    const SIZE slanted = textExtent(h, linkFont_, text);
    const PixelRect now = controlRect(h);
    placeControl(h, {now.left, now.top, std::max<int>(place.width, std::max(plain.cx, slanted.cx) + 2),
                     std::max<int>(place.height, std::max(plain.cy, slanted.cy))});
}

LRESULT Win32frmAbout::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        if (!form_) return 0;
        const int id = LOWORD(wParam);
        const int notification = HIWORD(wParam);
        // Enter presses the focused button, else OK, the default.
        if (id == IDOK && GetFocus() == control(C::cmdSysInfo)) form_->cmdSysInfo_Click();
        else if (id == IDOK) form_->cmdOK_Click();
        else if (id == IDCANCEL) form_->Unload();
        else if (id == controlId(C::cmdSysInfo) && notification == BN_CLICKED) form_->cmdSysInfo_Click();
        else if (id == controlId(C::Label2) && notification == STN_CLICKED) form_->Label2_Click();
        else if (id == controlId(C::Label7) && notification == STN_CLICKED) form_->Label7_Click();
        else if (id == controlId(C::Label8) && notification == STN_CLICKED) form_->Label8_Click();
        return 0;
    }
    case WM_SETCURSOR: {
        HWND over = reinterpret_cast<HWND>(wParam);
        if (HIWORD(lParam) == WM_MOUSEMOVE) pointerOver(over);
        if (!window_) return TRUE;
        if (over == control(C::Label2) || over == control(C::Label7) || over == control(C::Label8)) {
            SetCursor(hand_);
            return TRUE;
        }
        break;
    }
    case WM_TIMER:
        if (form_) {
            switch (wParam) {
            case 1: form_->Timer1_Timer(); break;
            case 2: form_->Timer2_Timer(); break;
            case 3: form_->Timer3_Timer(); break;
            default: break;
            }
        }
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        HWND h = reinterpret_cast<HWND>(lParam);
        COLORREF colour = GetSysColor(COLOR_WINDOWTEXT);
        for (std::size_t i = 0; i < controls_.size(); ++i)
            if (controls_[i] == h && !looks_[i].defaultColour) colour = toColorRef(looks_[i].colour);
        SetTextColor(dc, colour);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_DRAWITEM:
        drawPicture(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window_, &paint);
        const PixelRect grey = twipsToPixels(kGreyLine, dpi_);
        const PixelRect white = twipsToPixels(kWhiteLine, dpi_);
        const int thickness = scaledPixels(2, dpi_);
        RECT g{grey.left, grey.top, grey.left + grey.width, grey.top + scaledPixels(1, dpi_)};
        RECT w{white.left, white.top, white.left + white.width, white.top + thickness};
        HBRUSH greyBrush = CreateSolidBrush(RGB(128, 128, 128));
        FillRect(dc, &g, greyBrush);
        DeleteObject(greyBrush);
        FillRect(dc, &w, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        EndPaint(window_, &paint);
        return 0;
    }
    case WM_DPICHANGED:
        // The form may have moved the pictures: they keep their place in twips.
        layOut(HIWORD(wParam));
        moveToSuggestedPosition(window_, lParam);
        return 0;
    case WM_CLOSE:
        if (form_) form_->Unload();
        return 0;
    default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32frmAbout::pointerOver(HWND over)
{
    if (!form_ || !window_) return;
    if (over == window_) {
        form_->Form_MouseMove();
        return;
    }
    if (over == control(C::Label2)) form_->Label2_MouseMove();
    else if (over == control(C::Label7)) form_->Label7_MouseMove();
    else if (over == control(C::Label8)) form_->Label8_MouseMove();
    else
        for (int i = 0; i < kPictures; ++i)
            if (over == control(picIcon(i))) form_->picIcon_MouseMove(i);
}

void Win32frmAbout::drawPicture(const DRAWITEMSTRUCT& item)
{
    HBITMAP bitmap = nullptr;
    for (int i = 0; i < kPictures; ++i)
        if (item.hwndItem == control(picIcon(i))) bitmap = pictures_[std::size_t(i)];
    if (item.hwndItem == control(C::Image1)) bitmap = banner_;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_WINDOW));
    if (!bitmap) return;
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    HDC source = CreateCompatibleDC(item.hDC);
    HGDIOBJ old = SelectObject(source, bitmap);
    // The pictures keep their size in twips: 100 pixels at 96 dpi.
    const int width = MulDiv(info.bmWidth, dpi_, kStandardDpi);
    const int height = MulDiv(info.bmHeight, dpi_, kStandardDpi);
    SetStretchBltMode(item.hDC, HALFTONE);
    SetBrushOrgEx(item.hDC, 0, 0, nullptr);
    StretchBlt(item.hDC, item.rcItem.left, item.rcItem.top, width, height, source, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
}

std::string Win32frmAbout::text(frmAboutControl c) const { return windowText(control(c)); }

void Win32frmAbout::setText(frmAboutControl c, const std::string& text)
{
    HWND h = control(c);
    if (!replaceWindowText(h, text)) return;
    const AboutDesign* d = designOf(c);
    if (d && (d->kind == AboutKind::Label || d->kind == AboutKind::Link)) fitToText(c);
    InvalidateRect(h, nullptr, TRUE);
}

void Win32frmAbout::setTextColour(frmAboutControl label, TextColour colour)
{
    Look& look = looks_[std::size_t(label)];
    if (!look.defaultColour && look.colour == colour) return;
    look.colour = colour;
    look.defaultColour = false;
    if (HWND h = control(label)) InvalidateRect(h, nullptr, TRUE);
}

TextColour Win32frmAbout::textColour(frmAboutControl label) const
{
    const Look& look = looks_[std::size_t(label)];
    if (!look.defaultColour) return look.colour;
    const COLORREF c = GetSysColor(COLOR_WINDOWTEXT);
    return {GetRValue(c), GetGValue(c), GetBValue(c)};
}

void Win32frmAbout::setLinkStyle(frmAboutControl label, bool underlineItalic, TextColour colour)
{
    Look& look = looks_[std::size_t(label)];
    // Every mouse move repeats the style: only a change repaints.
    if (look.underlineItalic == underlineItalic && !look.defaultColour && look.colour == colour) return;
    look = {colour, underlineItalic, false};
    if (HWND h = control(label)) {
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(underlineItalic ? linkFont_ : font_), TRUE);
        InvalidateRect(h, nullptr, TRUE);
    }
}

bool Win32frmAbout::visible(frmAboutControl c) const
{
    HWND h = control(c);
    return h && (GetWindowLongPtrW(h, GWL_STYLE) & WS_VISIBLE);
}

void Win32frmAbout::setVisible(frmAboutControl c, bool visible)
{
    if (c == C::Window && !visible) {
        unload();
        return;
    }
    if (HWND h = control(c)) ShowWindow(h, visible ? SW_SHOW : SW_HIDE);
}

int Win32frmAbout::left(frmAboutControl c) const { return control(c) ? controlRect(control(c)).left : 0; }
int Win32frmAbout::top(frmAboutControl c) const { return control(c) ? controlRect(control(c)).top : 0; }

void Win32frmAbout::move(frmAboutControl c, int left, int top)
{
    if (HWND h = control(c)) SetWindowPos(h, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32frmAbout::setFocus(frmAboutControl c)
{
    if (HWND h = control(c)) SetFocus(h);
}

void Win32frmAbout::activate()
{
    if (!window_) return;
    SetForegroundWindow(window_);
    SetActiveWindow(window_);
}

void Win32frmAbout::setTimerInterval(frmAboutControl timer, int milliseconds)
{
    const int i = timerIndex(timer);
    if (i < 0) return;
    intervals_[std::size_t(i)] = milliseconds;
    if (running_[std::size_t(i)] && window_) SetTimer(window_, UINT_PTR(i + 1), UINT(milliseconds), nullptr);
}

void Win32frmAbout::setTimerEnabled(frmAboutControl timer, bool enabled)
{
    const int i = timerIndex(timer);
    if (i < 0 || !window_ || running_[std::size_t(i)] == enabled) return;
    running_[std::size_t(i)] = enabled;
    if (enabled) SetTimer(window_, UINT_PTR(i + 1), UINT(std::max(1, intervals_[std::size_t(i)])), nullptr);
    else KillTimer(window_, UINT_PTR(i + 1));
}

bool Win32frmAbout::timerEnabled(frmAboutControl timer) const
{
    const int i = timerIndex(timer);
    return i >= 0 && running_[std::size_t(i)];
}

}  // namespace tessik::win32
