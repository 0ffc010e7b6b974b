// tessik.exe: the elbow design tool on Windows. Run it from a folder that
// holds book.ini, gbhd.ini and zjxl.ini.

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "CadProgramDialog.h"
#include "CadProgramSetting.h"
#include "ComAutomation.h"
#include "FrmMainForm.h"
#include "ToolConstants.h"
#include "Win32Desktop.h"
#include "Win32FrmMain.h"

namespace {

using namespace tessik;

// 工具 -> CAD 程序…: a new choice is kept for the user and the link goes to
// the chosen CAD at once, as 启动AutoCAD would.
void chooseCadProgram(win32::Win32FrmMain& view, FrmMainForm& form, BasicDesktop& desktop)
{
    win32::CadProgramDialog dialog(view.window(), desktop, form.cadProgram());
    const std::optional<CadProgram> chosen = dialog.run();
    if (!chosen || chosen->programId == form.cadProgram().programId) return;
    if (const Status kept = win32::saveCadProgram(*chosen); !kept)
        desktop.messageBox("CAD程序的选择无法保存：" + kept.error().description + "\n本次运行仍使用" + chosen->name + "。",
                           msgbox::kOkOnly + msgbox::kExclamation, kProgramTitle);
    form.setCadProgram(*chosen);
    form.Start();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    win32::Win32Desktop desktop;
    win32::Win32FrmMain view(desktop);
    std::unique_ptr<FrmMainForm> form;

    // While a busy CAD is being waited for, the status line says so.
    std::string statusBefore;
    ComAutomationOptions options;
    options.onBusy = [&](bool waiting) {
        if (!form) return;
        if (waiting) {
            statusBefore = view.text(FrmMainControl::LblInfo);
            view.setText(FrmMainControl::LblInfo, form->cadProgram().name + "正忙，正在等待它接受命令...");
        } else {
            view.setText(FrmMainControl::LblInfo, statusBefore);
        }
        UpdateWindow(view.control(FrmMainControl::LblInfo));
    };
    const std::unique_ptr<CadAutomation> cad = makeComAutomation(options);

    form = std::make_unique<FrmMainForm>(view, desktop, *cad);
    form->setCadProgram(win32::loadCadProgram());
    view.attach(*form);
    view.chooseCadProgram = [&] { chooseCadProgram(view, *form, desktop); };
    form->Form_Load();

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (view.translateDialogMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
