#include "Controls.h"

#include "WideText.h"

namespace tessik::win32 {

namespace {

constexpr wchar_t kViewProperty[] = L"TessikView";
constexpr wchar_t kOriginalProperty[] = L"TessikOriginalProc";

}  // namespace

HWND createControl(HWND parent, const wchar_t* className, const std::string& text, DWORD style, DWORD exStyle, int id)
{
    return CreateWindowExW(exStyle, className, os::widen(text).c_str(), style | WS_CHILD, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

std::string windowText(HWND window)
{
    if (!window) return {};
    const int length = GetWindowTextLengthW(window);
    std::wstring text(std::size_t(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(std::size_t(copied > 0 ? copied : 0));
    return os::narrow(text);
}

void setWindowText(HWND window, const std::string& text) { SetWindowTextW(window, os::widen(text).c_str()); }

bool replaceWindowText(HWND window, const std::string& text)
{
    if (!window || windowText(window) == text) return false;
    setWindowText(window, text);
    return true;
}

SIZE textExtent(HWND window, HFONT font, const std::string& text)
{
    const std::wstring wide = os::widen(text);
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, wide.c_str(), int(wide.size()), &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return {r.right - r.left, r.bottom - r.top};
}

int fontHeight(HWND window, HFONT font)
{
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return metrics.tmHeight;
}

void placeControl(HWND control, const PixelRect& r)
{
    SetWindowPos(control, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

PixelRect controlRect(HWND control)
{
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void subclassControl(HWND control, WNDPROC procedure, void* view)
{
    SetPropW(control, kViewProperty, view);
    const LONG_PTR original = SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
    SetPropW(control, kOriginalProperty, reinterpret_cast<HANDLE>(original));
}

void* subclassData(HWND control) { return GetPropW(control, kViewProperty); }

LRESULT callOriginal(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto original = reinterpret_cast<WNDPROC>(GetPropW(control, kOriginalProperty));
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropW(control, kViewProperty);
        RemovePropW(control, kOriginalProperty);
    }
    return original ? CallWindowProcW(original, control, message, wParam, lParam)
                    : DefWindowProcW(control, message, wParam, lParam);
}

}  // namespace tessik::win32

namespace tessik::win32 {

void WindowOwner::registerClass(const wchar_t* className, HBRUSH background, HICON icon)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW known{};
    known.cbSize = sizeof known;
    if (GetClassInfoExW(instance, className, &known)) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &WindowOwner::procedure;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    RegisterClassExW(&wc);
}

HWND WindowOwner::create(const wchar_t* className, const std::wstring& title, DWORD style, DWORD exStyle, HWND owner)
{
    return CreateWindowExW(exStyle, className, title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, owner,
                           nullptr, GetModuleHandleW(nullptr), this);
}

LRESULT CALLBACK WindowOwner::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<WindowOwner*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
    }
    auto* self = reinterpret_cast<WindowOwner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    // Messages before WM_NCCREATE, and after the owner let go of its window.
    if (!self || self->window_ != window) return DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

}  // namespace tessik::win32
