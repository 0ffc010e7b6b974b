#include "FormControls.h"

#include <array>

namespace tessik {

namespace {

// In the order of the enumerations.
constexpr std::array<const char*, kFrmMainControlCount> kFrmMainNames{
    "FrmMain", "Frame1", "Frame2", "Frame3", "Frame4", "LblWaJ_1", "CmbWJ", "Label1_0", "LblWanJ_1", "CmbHd",
    "LblWanJ_2", "LblWanJ_0", "TxtWJ", "Label1_2", "LblWanJ_3", "TxtZJS", "VScroll1", "LblCZ_1", "TxtCZ",
    "Label1_3", "LblBH_1", "CmbBH", "Label1_1", "Label3", "TxtWeight", "Label4", "ChkQuit", "OptGc", "OptWc",
    "OptTX_0", "OptTX_1", "OptTX_2", "OptTX_3", "OptTX_4", "OptTX_5", "CmdStart", "CmdDraw1", "CmdAbout",
    "CmdQuit", "CmdIquire", "Label2", "Line1_0", "Line1_1", "LblInfo",
};
constexpr std::array<const char*, kfrmAboutControlCount> kfrmAboutNames{
    "frmAbout", "picIcon_0", "picIcon_1", "picIcon_2", "picIcon_3", "picIcon_4", "lblTitle", "lblVersion",
    "Label1", "lblDescription", "Label9", "Label5", "Label4", "Label3", "Label2", "Label6", "Label7",
    "Label10", "Label8", "Image1", "cmdOK", "cmdSysInfo", "lblDisclaimer", "Timer1", "Timer2", "Timer3",
};

}  // namespace

const char* controlName(FrmMainControl control) { return kFrmMainNames.at(std::size_t(control)); }
const char* controlName(frmAboutControl control) { return kfrmAboutNames.at(std::size_t(control)); }

}  // namespace tessik
