#pragma once
// FrmMainForm: the behaviour of the main window FrmMain over an FrmMainView.
//
// It owns what the window owns for its whole life: the design record, the CAD
// connection objects and the draw command's view of the window. A view hands
// its control events to Click / Change / KeyPress / GotFocus / LostFocus,
// which run the handlers of the wiring table below and ignore every other
// event; start-up is Form_Load, which the program calls right after it has
// built the view. Every handler is public under its own name as well, so the
// program, the views and tests can run one directly.
//
//   CmbWJ    Click, LostFocus        CmbWJ_Click, CmbWJ_LostFocus
//   CmbHd    Click                   CmbHd_Click
//   CmbBH    Click                   CmbBH_Click
//   CmdIquire Click                  CmdIquire_Click
//   TxtWeight GotFocus               TxtWeight_GotFocus
//   TxtWJ    GotFocus, KeyPress      TxtWJ_GotFocus, TxtWJ_KeyPress
//   TxtCZ    GotFocus, KeyPress      TxtCZ_GotFocus, TxtCZ_KeyPress
//   TxtZJS   Change, GotFocus, KeyPress  TxtZJS_Change, TxtZJS_GotFocus, TxtZJS_KeyPress
//   VScroll1 Change                  VScroll1_Change
//   CmdStart, CmdDraw1, CmdAbout, CmdQuit  Click  CmdStart_Click, ...
//
// Data files are read from the working directory by their bare names.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "BasicDesktop.h"
#include "CadConnection.h"
#include "DesignRecord.h"
#include "ElbowDrawCommand.h"
#include "Error.h"
#include "FrmMainView.h"
#include "PendingError.h"

namespace tessik {

class FrmMainForm {
public:
    // `cad` reaches the CAD program (get the running instance, create one).
    FrmMainForm(FrmMainView& view, BasicDesktop& desktop, CadAutomation& cad);
    ~FrmMainForm();
    FrmMainForm(const FrmMainForm&) = delete;
    FrmMainForm& operator=(const FrmMainForm&) = delete;

    // ---- Events from the view ---------------------------------------------
    void Click(FrmMainControl control);
    void Change(FrmMainControl control);
    void KeyPress(FrmMainControl control, std::int16_t& KeyAscii);
    void GotFocus(FrmMainControl control);
    void LostFocus(FrmMainControl control);

    // ---- The window's own ------------------------------------------------
    // Start-up: shows the window, grays ChkQuit, connects to the CAD program
    // and fills the three lists.
    void Form_Load();
    void CmdStart_Click();
    // Hides the window and shows the About dialog, not modal; the dialog
    // shows the window again when it unloads.
    void CmdAbout_Click();
    // Ends the program at once; nothing is said to the CAD program.
    void CmdQuit_Click();

    // Derives the design record from the current texts of CmbHd, TxtZJS,
    // CmbWJ and TxtWJ; the returned error is pending for the caller.
    PendingError InputParameter();

    // Selects entry `index` of `list` from code (-1: none) and runs the list's
    // Click, as the user's choice would; every call runs it. An index outside
    // the list is refused with "Invalid property value" (380) and changes
    // nothing.
    Status selectListEntry(FrmMainControl list, int index);

    // ---- Input fields ------------------------------------------------------
    void TxtWJ_KeyPress(std::int16_t& KeyAscii);
    void TxtCZ_KeyPress(std::int16_t& KeyAscii);
    void TxtZJS_KeyPress(std::int16_t& KeyAscii);
    void TxtWJ_GotFocus();
    void TxtCZ_GotFocus();
    void TxtZJS_GotFocus();
    void TxtZJS_Change();
    void VScroll1_Change();

    // ---- Standard data -------------------------------------------------------
    // The list loaders of start-up; a list file that is missing or unreadable
    // is reported once, by a message naming the file and the folder.
    void LoadDiameterSeries();
    void LoadWallThickness();
    void LoadBendAngles();
    void CmdIquire_Click();
    void CmbWJ_Click();
    void CmbHd_Click();
    void CmbWJ_LostFocus();
    void CmbBH_Click();
    void TxtWeight_GotFocus();

    // ---- CAD link and drawing ------------------------------------------------
    // Start: attach to the running CAD program or offer to launch it, then
    // take AcadApp, AcadDoc, MoSpace, PaSpace and acadUtil.
    void Start();
    // The draw command; returns how the press ended.
    ElbowDrawCommand::Outcome CmdDraw1_Click();
    const CadConnectionObjects& cadObjects() const { return cadConnection_->objects(); }
    // The CAD program Start asks for from now on; AutoCAD unless told otherwise.
    void setCadProgram(CadProgram program) { cadConnection_->setProgram(std::move(program)); }
    const CadProgram& cadProgram() const { return cadConnection_->program(); }

    // The window's design parameters and scratch variables.
    DesignRecord record;

private:
    void decimalFilter(std::int16_t& KeyAscii);
    void refuse(std::int16_t& KeyAscii);
    void selectAllText(FrmMainControl field);
    void loadList(FrmMainControl list, std::string_view fileName);
    void tellDataProblem(const std::string& problem);

    FrmMainView& view_;
    BasicDesktop& desktop_;
    // Each problem of book.ini is told once per run, not at every lookup.
    std::set<std::string> bookProblemsTold_;

    class DrawHost;
    std::unique_ptr<CadConnection> cadConnection_;
    std::unique_ptr<DrawHost> drawHost_;
};

}  // namespace tessik
