#include "CadProgramDialog.h"

#include "Controls.h"
#include "Dpi.h"
#include "ToolConstants.h"
#include "WideText.h"

namespace tessik::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"TessikCadProgram";
constexpr DWORD kWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr int kClientWidth = 5400;
constexpr int kRowHeight = 300;
constexpr int kMargin = 180;
constexpr int kPromptTop = 150;
constexpr int kFirstRowTop = 480;
constexpr int kIdLeft = 2400;
constexpr int kButtonWidth = 1200, kButtonHeight = 375;

std::string choiceCaption(const KnownCadProgram& known, int index)
{
    // Access keys 1 to 4.
    return std::string(known.name) + "   " + known.programId + "  (&" + std::to_string(index + 1) + ")";
}

}  // namespace

CadProgramDialog::CadProgramDialog(HWND owner, BasicDesktop& desktop, CadProgram current)
    : owner_(owner), desktop_(desktop), current_(std::move(current))
{
}

std::optional<CadProgram> CadProgramDialog::run()
{
    registerClass(kWindowClass, GetSysColorBrush(COLOR_BTNFACE), nullptr);
    create(kWindowClass, os::widen("CAD 程序 - " + std::string(kProgramTitle)), kWindowStyle, kWindowExStyle, owner_);
    if (!window_) return std::nullopt;
    createControls();

    // Modal to the owner: it takes no input until this window closes.
    const bool ownerWasEnabled = owner_ && !EnableWindow(owner_, FALSE);
    ShowWindow(window_, SW_SHOW);
    if (whileOpen) whileOpen(window_);
    MSG message;
    while (!done_ && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (owner_ && ownerWasEnabled) EnableWindow(owner_, TRUE);
    if (owner_) SetActiveWindow(owner_);
    DestroyWindow(window_);
    window_ = nullptr;
    if (font_) DeleteObject(font_);
    font_ = nullptr;
    return result_;
}

void CadProgramDialog::createControls()
{
    const int dpi = dpiOfWindow(owner_ ? owner_ : window_);
    font_ = createUiFont(dpi);
    const auto add = [&](const wchar_t* cls, const std::string& text, DWORD style, DWORD ex, int id, TwipsRect r) {
        HWND h = createControl(window_, cls, text, style | WS_VISIBLE, ex, id);
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        placeControl(h, twipsToPixels(r, dpi));
        return h;
    };
    const int width = kClientWidth - 2 * kMargin;
    add(kStaticClass, "绘图所用的CAD程序（需提供与AutoCAD相同的自动化接口）：", SS_LEFT | SS_NOPREFIX, 0, -1,
        {kMargin, kPromptTop, width, 255});
    int top = kFirstRowTop;
    bool known = false;
    for (std::size_t i = 0; i < kKnownCadPrograms.size(); ++i) {
        const DWORD group = i == 0 ? (WS_GROUP | WS_TABSTOP) : 0;
        HWND option = add(kButtonClass, choiceCaption(kKnownCadPrograms[i], int(i)), BS_AUTORADIOBUTTON | group, 0,
                          kFirstChoice + int(i), {kMargin, top, width, 255});
        if (cadProgramFor(current_.programId).programId == kKnownCadPrograms[i].programId &&
            cadProgramFor(current_.programId).name == kKnownCadPrograms[i].name) {
            SendMessageW(option, BM_SETCHECK, BST_CHECKED, 0);
            known = true;
        }
        top += kRowHeight;
    }
    HWND other = add(kButtonClass, "其它程序标识(&O)：", BS_AUTORADIOBUTTON, 0, kOtherChoice, {kMargin, top, kIdLeft - kMargin, 255});
    HWND id = add(kEditClass, known ? std::string() : current_.programId, WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL,
                  WS_EX_CLIENTEDGE, kOtherId, {kIdLeft, top - 15, kClientWidth - kMargin - kIdLeft, 285});
    SendMessageW(id, EM_LIMITTEXT, 64, 0);
    if (!known) SendMessageW(other, BM_SETCHECK, BST_CHECKED, 0);
    EnableWindow(id, !known);
    top += kRowHeight + 180;
    const int okLeft = kClientWidth - kMargin - 2 * kButtonWidth - 120;
    add(kButtonClass, "确定", WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 0, IDOK, {okLeft, top, kButtonWidth, kButtonHeight});
    add(kButtonClass, "取消", WS_TABSTOP | BS_PUSHBUTTON, 0, IDCANCEL,
        {okLeft + kButtonWidth + 120, top, kButtonWidth, kButtonHeight});
    const int clientHeight = top + kButtonHeight + kMargin;

    const SIZE outer = windowSizeForClient(twipsToPixels(kClientWidth, dpi), twipsToPixels(clientHeight, dpi),
                                           kWindowStyle, kWindowExStyle, false, dpi);
    RECT ownerRect{0, 0, 0, 0};
    if (owner_) GetWindowRect(owner_, &ownerRect);
    SetWindowPos(window_, nullptr, ownerRect.left + 40, ownerRect.top + 40, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    SetFocus(known ? nullptr : id);
    for (int i = 0; i < int(kKnownCadPrograms.size()); ++i)
        if (SendDlgItemMessageW(window_, kFirstChoice + i, BM_GETCHECK, 0, 0) == BST_CHECKED)
            SetFocus(GetDlgItem(window_, kFirstChoice + i));
}

LRESULT CadProgramDialog::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK) accept();
        else if (id == IDCANCEL) finish();
        else if (HIWORD(wParam) == BN_CLICKED && (id == kOtherChoice || (id >= kFirstChoice && id < kFirstChoice + 4)))
            choose(id);
        return 0;
    }
    case WM_CLOSE: finish(); return 0;
    default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

// The typed id is for the other program only.
void CadProgramDialog::choose(int id)
{
    HWND typed = GetDlgItem(window_, kOtherId);
    EnableWindow(typed, id == kOtherChoice);
    if (id == kOtherChoice) {
        SetFocus(typed);
        SendMessageW(typed, EM_SETSEL, 0, -1);
    }
}

void CadProgramDialog::accept()
{
    for (int i = 0; i < int(kKnownCadPrograms.size()); ++i) {
        if (SendDlgItemMessageW(window_, kFirstChoice + i, BM_GETCHECK, 0, 0) == BST_CHECKED) {
            result_ = CadProgram{kKnownCadPrograms[std::size_t(i)].name, kKnownCadPrograms[std::size_t(i)].programId};
            finish();
            return;
        }
    }
    HWND typed = GetDlgItem(window_, kOtherId);
    std::string id = windowText(typed);
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!id.empty() && blank(id.front())) id.erase(id.begin());
    while (!id.empty() && blank(id.back())) id.pop_back();
    if (!isWellFormedProgramId(id)) {
        desktop_.messageBox(id.empty() ? "请输入CAD程序的程序标识，例如 AutoCAD.Application。"
                                       : "“" + id + "”不是合格的程序标识：程序标识由字母、数字、点和下划线组成，"
                                                    "以字母开头，不超过39个字符，例如 AutoCAD.Application。",
                            msgbox::kOkOnly + msgbox::kExclamation, kProgramTitle);
        SetFocus(typed);
        SendMessageW(typed, EM_SETSEL, 0, -1);
        return;
    }
    result_ = cadProgramFor(id);
    finish();
}

// The loop in run() looks at done_ after its next message.
void CadProgramDialog::finish()
{
    done_ = true;
    PostMessageW(window_, WM_NULL, 0, 0);
}

}  // namespace tessik::win32
