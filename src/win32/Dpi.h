#pragma once
// Dots per inch of a window's monitor and the desktop's UI font at that
// scale. The program declares per-monitor DPI awareness in its manifest, so
// each window lays itself out for its monitor and again on WM_DPICHANGED.
// The calls that know about monitors came with Windows 10 and are looked up
// at run time; before them every window has the system's DPI.

#include <windows.h>

namespace tessik::win32 {

int dpiOfWindow(HWND window);
int systemDpi();

// The window frame around a client area of the given size, at `dpi`.
SIZE windowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, bool hasMenu, int dpi);

// After WM_DPICHANGED, once the window is laid out for the new DPI: it
// moves to where Windows suggests (lParam), keeping the size it gave itself.
void moveToSuggestedPosition(HWND window, LPARAM suggestedRect);

// The desktop's message font (SPI_GETNONCLIENTMETRICS lfMessageFont) scaled
// to `dpi`, with optional underline and italic; the caller deletes it.
HFONT createUiFont(int dpi, bool underlineItalic = false);

}  // namespace tessik::win32
