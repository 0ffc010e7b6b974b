#include "Dpi.h"

namespace tessik::win32 {

namespace {

template <class F>
F user32Function(const char* name)
{
    static HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

}  // namespace

int systemDpi()
{
    using GetDpiForSystemFn = UINT(WINAPI*)();
    static const auto getDpiForSystem = user32Function<GetDpiForSystemFn>("GetDpiForSystem");
    if (getDpiForSystem) return int(getDpiForSystem());
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int dpiOfWindow(HWND window)
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        if (const UINT dpi = getDpiForWindow(window)) return int(dpi);
    }
    return systemDpi();
}

SIZE windowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, bool hasMenu, int dpi)
{
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = user32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    RECT r{0, 0, clientWidth, clientHeight};
    if (!adjustForDpi || !adjustForDpi(&r, style, hasMenu, exStyle, UINT(dpi))) AdjustWindowRectEx(&r, style, hasMenu, exStyle);
    return {r.right - r.left, r.bottom - r.top};
}

void moveToSuggestedPosition(HWND window, LPARAM suggestedRect)
{
    const RECT* suggested = reinterpret_cast<const RECT*>(suggestedRect);
    if (suggested)
        SetWindowPos(window, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HFONT createUiFont(int dpi, bool underlineItalic)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW font{};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font = metrics.lfMessageFont;
        // The metrics are in pixels at the system's DPI.
        font.lfHeight = MulDiv(font.lfHeight, dpi, systemDpi());
    } else {
        // 9 points, as the desktop's font usually is.
        font.lfHeight = -MulDiv(9, dpi, 72);
        font.lfCharSet = DEFAULT_CHARSET;
        lstrcpyW(font.lfFaceName, L"MS Shell Dlg 2");
    }
    font.lfUnderline = underlineItalic;
    font.lfItalic = underlineItalic;
    return CreateFontIndirectW(&font);
}

}  // namespace tessik::win32
