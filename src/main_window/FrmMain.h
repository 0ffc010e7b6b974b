#pragma once
// FrmMain: the program's one working window, the Qt view of FrmMainForm.
//
// The window is a set of controls placed at fixed positions (laid out in
// twips, 1/1440 inch, and scaled to the screen's logical dpi). What it does
// lives in FrmMainForm (form/): the design record, the CAD link and one
// handler per control event, named after control and event (TxtZJS_Change,
// CmdQuit_Click). This class builds the widgets, shows FrmMainForm their
// state through FrmMainView, and hands Qt's events to it; its handler members
// run the form's handler of the same name.
//
// Naming: each control is a public member named as in the design and carries
// that name as its objectName, so tests and screenshots find it. Members of a
// control array are std::arrays indexed as in the design, with objectNames
// "OptTX_3", "LblWanJ_0", "Label1_2", "Line1_1"; an array of which only one
// index exists is a single member with the index in its name (LblWaJ_1).
//
// Event mapping, from the toolkit's events to the window's events:
// - Click of a button or option: QAbstractButton::clicked (mouse, Space, the
//   access key). Disabled and hidden controls do not answer their access key.
// - Click of a drop-down list: QComboBox::activated, which the user raises by
//   choosing an entry with the mouse or the arrow keys. Code selects an entry
//   with selectListEntry(), which raises activated as well, so a list's click
//   handling runs however the entry was chosen.
// - Change of a text box: QLineEdit::textChanged. Qt raises it for the user's
//   edits and for setText() from code alike; setText() with an unchanged text
//   raises none.
// - Change of the scroll bar: QScrollBar::valueChanged, raised for arrow
//   clicks and setValue() alike, and not for an unchanged value. setValue()
//   clamps a value outside the range where the classic bar refuses it, so
//   handlers test the range before they assign.
// - KeyPress: onKeyPress() (ControlEvents.h) turns each key press that types a
//   character into a 16-bit character code before the field sees it; the
//   handler discards the character by setting the code to 0.
// - GotFocus / LostFocus: onGotFocus() / onLostFocus() (ControlEvents.h);
//   opening a drop-down list or switching to another window is neither.
// - Design-time values are set before any handler is connected, so they raise
//   no event.
// - Esc presses CmdQuit (the window's cancel button) unless a drop-down list
//   is open: the open list takes the key and only closes.
// - The close box closes the window; with no other window open the program
//   ends, and no handler of the window runs.
//
// Start-up is Form_Load(), which main() calls right after construction.

#include <QWidget>
#include <array>
#include <cstdint>
#include <string>
#include <memory>

#include "CadConnection.h"
#include "DesignRecord.h"
#include "ElbowDrawCommand.h"
#include "Error.h"
#include "FrmMainForm.h"
#include "PendingError.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace tessik {

class Desktop;
class frmAbout;

class FrmMain : public QWidget {
    Q_OBJECT
public:
    // `cad` reaches the CAD program (get the running instance, create one).
    FrmMain(Desktop& desktop, CadAutomation& cad, QWidget* parent = nullptr);
    ~FrmMain() override;

    // Start-up: shows the window, grays ChkQuit, connects to the CAD program
    // and fills the three lists.
    void Form_Load();

    // Derives the design record from the current texts of CmbHd, TxtZJS,
    // CmbWJ and TxtWJ; the returned error is pending for the caller.
    PendingError InputParameter();

    // Ends the program at once; nothing is said to the CAD program.
    void CmdQuit_Click();

    // Hides the window and shows the About dialog, not modal; the dialog
    // shows the window again when it unloads.
    void CmdAbout_Click();

    // Selects entry `index` of `list` from code (-1: none) and raises the
    // list's click handling, as the user's choice would; every call raises it.
    // An index outside the list is refused with "Invalid property value" (380)
    // and changes nothing.
    static Status selectListEntry(QComboBox* list, int index);

    // ChkQuit's value: 0 clear, 1 ticked, 2 grayed.
    int chkQuitValue() const;

    // Input field behaviour.
    void TxtWJ_KeyPress(std::int16_t& KeyAscii);
    void TxtCZ_KeyPress(std::int16_t& KeyAscii);
    void TxtZJS_KeyPress(std::int16_t& KeyAscii);
    void TxtWJ_GotFocus();
    void TxtCZ_GotFocus();
    void TxtZJS_GotFocus();
    void TxtZJS_Change();
    void VScroll1_Change();

    // Standard data: the list loaders of start-up steps 4-6, the standard
    // lookup and the weight. Data files are read from the working directory
    // by their bare names; a list file that is missing or unreadable is
    // reported once, by a message naming the file and the folder
    // (FrmMainStandards.cpp).
    void LoadDiameterSeries();
    void LoadWallThickness();
    void LoadBendAngles();
    void CmdIquire_Click();
    void CmbWJ_Click();
    void CmbHd_Click();
    void CmbWJ_LostFocus();
    void CmbBH_Click();
    void TxtWeight_GotFocus();

    // ---- CAD link and drawing -------------------------------------------
    // Start: attach to the running CAD program or offer to launch it, then
    // take AcadApp, AcadDoc, MoSpace, PaSpace and acadUtil.
    void Start();
    void CmdStart_Click();
    // The draw command; returns how the press ended (for tests).
    ElbowDrawCommand::Outcome CmdDraw1_Click();
    const CadConnectionObjects& cadObjects() const { return form_->cadObjects(); }
    FrmMainForm& form() { return *form_; }
    // ---------------------------------------------------------------------

    // ---- Tools menu -------------------------------------------------------
    // Above the client area: "工具(&T)" with "下料展开图(&F)..." (Ctrl+T). The
    // window itself does not know the fabrication window; whoever builds the
    // program connects fabricationRequested to it (FrmMainTools.cpp).
    QMenuBar* MenuBar = nullptr;
    QMenu* MnuTools = nullptr;
    QAction* MnuFabrication = nullptr;
    // Holds every control at its place; the window is this plus the menu bar.
    QWidget* ClientArea = nullptr;
signals:
    void fabricationRequested();

private:
    class View;
    std::unique_ptr<View> view_;
    std::unique_ptr<FrmMainForm> form_;

public:
    // ---------------------------------------------------------------------

    // The window's design parameters and scratch variables (the form's).
    DesignRecord& record;

    // Frames
    QGroupBox* Frame1;
    QGroupBox* Frame2;
    QGroupBox* Frame3;
    QGroupBox* Frame4;

    // Input rows (in Frame1)
    QLabel* LblWaJ_1;
    QComboBox* CmbWJ;
    std::array<QLabel*, 4> LblWanJ;
    QComboBox* CmbHd;
    QLineEdit* TxtWJ;
    QLineEdit* TxtZJS;
    QScrollBar* VScroll1;
    QLabel* LblCZ_1;
    QLineEdit* TxtCZ;
    QLabel* LblBH_1;
    QComboBox* CmbBH;
    QLabel* Label3;
    QLineEdit* TxtWeight;
    QLabel* Label4;
    std::array<QLabel*, 4> Label1;

    // Options
    QCheckBox* ChkQuit;
    QRadioButton* OptGc;
    QRadioButton* OptWc;
    std::array<QRadioButton*, 6> OptTX;

    // Commands
    QPushButton* CmdStart;
    QPushButton* CmdDraw1;
    QPushButton* CmdAbout;
    QPushButton* CmdQuit;
    QPushButton* CmdIquire;

    // Note, separator, status line
    QLabel* Label2;
    std::array<QFrame*, 2> Line1;
    QLabel* LblInfo;

private:
    void createControls();
    void createInputRows();
    void createOptions();
    void createCommands();
    void placeControls();
    void setKeyboardOrder();
    void connectHandlers();
    void createToolsMenu();
    // The widget of each control the form addresses.
    QWidget* control(FrmMainControl id) const;
    // The About dialog, made at the first call.
    frmAboutForm& aboutDialog();

    // A drop-down list closed in the current pass of the event loop.
    bool listClosedThisPass_ = false;

    Desktop& desktop_;
    // Made at the first About; a window of its own, deleted with this one.
    frmAbout* frmAbout_ = nullptr;
};

}  // namespace tessik
