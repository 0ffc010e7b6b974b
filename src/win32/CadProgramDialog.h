#pragma once
// 工具 -> CAD 程序…: a small modal window in which the user picks the CAD
// program the link drives: AutoCAD, 中望CAD, 浩辰CAD, BricsCAD, or another
// program by a typed program id. A typed id that is not well-formed is
// refused with a message and the window stays open with what was typed.

#include <windows.h>

#include <functional>
#include <optional>

#include "BasicDesktop.h"
#include "CadProgram.h"
#include "Controls.h"

namespace tessik::win32 {

class CadProgramDialog : private WindowOwner {
public:
    CadProgramDialog(HWND owner, BasicDesktop& desktop, CadProgram current);

    // Runs until OK (the chosen program) or Cancel, Esc, the close box (nothing).
    std::optional<CadProgram> run();

    // Tests drive the window while it runs: `whileOpen` is called once the
    // window is shown, from inside run().
    std::function<void(HWND window)> whileOpen;

    // Control ids inside the window.
    static constexpr int kFirstChoice = 200;  // one option per known program, in order
    static constexpr int kOtherChoice = 210;
    static constexpr int kOtherId = 211;

private:
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    void createControls();
    void accept();
    void choose(int id);
    void finish();

    HWND owner_;
    BasicDesktop& desktop_;
    CadProgram current_;
    HFONT font_ = nullptr;
    bool done_ = false;
    std::optional<CadProgram> result_;
};

}  // namespace tessik::win32
