#pragma once
// What both windows need of user32: controls made from UTF-8 texts, texts
// read back as UTF-8, the size a text takes in a font. Every text crosses
// through the wide calls.

#include <windows.h>

#include <string>

#include "Twips.h"

namespace tessik::win32 {

// Control classes, by their Windows names.
inline constexpr wchar_t kButtonClass[] = L"Button";
inline constexpr wchar_t kEditClass[] = L"Edit";
inline constexpr wchar_t kComboClass[] = L"ComboBox";
inline constexpr wchar_t kStaticClass[] = L"Static";
inline constexpr wchar_t kScrollBarClass[] = L"ScrollBar";

HWND createControl(HWND parent, const wchar_t* className, const std::string& text, DWORD style, DWORD exStyle, int id);

// "" for no window.
std::string windowText(HWND window);
void setWindowText(HWND window, const std::string& text);
// Writes `text` unless the window shows it already (a text box raises its
// change notification inside); true when it wrote.
bool replaceWindowText(HWND window, const std::string& text);

// The pixels `text` covers on one line in `font`; & marks no access key.
SIZE textExtent(HWND window, HFONT font, const std::string& text);

// Line height of `font` (TEXTMETRIC tmHeight).
int fontHeight(HWND window, HFONT font);

void placeControl(HWND control, const PixelRect& r);
PixelRect controlRect(HWND control);  // in its parent's client coordinates

// Lets one procedure of ours see a control's messages before the control's
// own procedure; `view` is handed back to the procedure by subclassData().
void subclassControl(HWND control, WNDPROC procedure, void* view);
void* subclassData(HWND control);
LRESULT callOriginal(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tessik::win32

namespace tessik::win32 {

// A top-level window whose messages go to a member function: the class is
// registered with procedure(), and create() hands `this` to the window.
class WindowOwner {
public:
    virtual ~WindowOwner() = default;

protected:
    static void registerClass(const wchar_t* className, HBRUSH background, HICON icon);
    HWND create(const wchar_t* className, const std::wstring& title, DWORD style, DWORD exStyle, HWND owner);
    virtual LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    HWND window_ = nullptr;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace tessik::win32
