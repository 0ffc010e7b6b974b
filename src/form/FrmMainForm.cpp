#include "FrmMainForm.h"

#include "ListFile.h"
#include "NumberText.h"
#include "StandardLookup.h"
#include "ToolConstants.h"
#include "Weight.h"
#include "frmAboutForm.h"

namespace tessik {

namespace {

using C = FrmMainControl;

constexpr std::int32_t kInvalidPropertyValue = 380;
constexpr std::int16_t kBackspace = 8;
constexpr std::int16_t kDecimalPoint = 46;

bool isDigitCode(std::int16_t c) { return c >= 48 && c <= 57; }

// The length of a UTF-8 text in UTF-16 units, as a selection counts it.
int utf16Length(const std::string& text)
{
    int units = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
        units += byte >= 0xF0 ? 2 : 1;         // beyond the basic plane: a surrogate pair
    }
    return units;
}

}  // namespace

// The window as the draw command sees it.
class FrmMainForm::DrawHost : public ElbowDrawHost {
public:
    explicit DrawHost(FrmMainForm& form) : form_(form) {}
    PendingError InputParameter() override { return form_.InputParameter(); }
    const ElbowParameters& parameters() const override { return form_.record; }
    void setPickedPoint(const Point3& p) override
    {
        form_.record.VntPoint = p;
        form_.record.hasPoint = true;
    }
    bool viewSelected(ElbowView view) const override
    {
        return form_.view_.value(OptTX(int(optionIndex(view)))) != 0;
    }
    int ChkQuit() const override { return form_.view_.value(C::ChkQuit); }
    std::string caption() const override { return form_.view_.text(C::Window); }
    void CmdQuit_Click() override { form_.CmdQuit_Click(); }

private:
    FrmMainForm& form_;
};

FrmMainForm::FrmMainForm(FrmMainView& view, BasicDesktop& desktop, CadAutomation& cad)
    : view_(view),
      desktop_(desktop),
      cadConnection_(std::make_unique<CadConnection>(
          cad, desktop,
          CadConnection::Host{[this](const std::string& text) { view_.setText(C::LblInfo, text); },
                              [this] { return view_.text(C::Window); }})),
      drawHost_(std::make_unique<DrawHost>(*this))
{
}

FrmMainForm::~FrmMainForm() = default;

// ---- Events ------------------------------------------------------------------

void FrmMainForm::Click(FrmMainControl control)
{
    switch (control) {
    case C::CmbWJ: CmbWJ_Click(); break;
    case C::CmbHd: CmbHd_Click(); break;
    case C::CmbBH: CmbBH_Click(); break;
    case C::CmdIquire: CmdIquire_Click(); break;
    case C::CmdStart: CmdStart_Click(); break;
    case C::CmdDraw1: CmdDraw1_Click(); break;
    case C::CmdAbout: CmdAbout_Click(); break;
    case C::CmdQuit: CmdQuit_Click(); break;
    default: break;
    }
}

void FrmMainForm::Change(FrmMainControl control)
{
    if (control == C::TxtZJS) TxtZJS_Change();
    else if (control == C::VScroll1) VScroll1_Change();
}

void FrmMainForm::KeyPress(FrmMainControl control, std::int16_t& KeyAscii)
{
    switch (control) {
    case C::TxtWJ: TxtWJ_KeyPress(KeyAscii); break;
    case C::TxtCZ: TxtCZ_KeyPress(KeyAscii); break;
    case C::TxtZJS: TxtZJS_KeyPress(KeyAscii); break;
    default: break;
    }
}

void FrmMainForm::GotFocus(FrmMainControl control)
{
    switch (control) {
    case C::TxtWJ: TxtWJ_GotFocus(); break;
    case C::TxtCZ: TxtCZ_GotFocus(); break;
    case C::TxtZJS: TxtZJS_GotFocus(); break;
    case C::TxtWeight: TxtWeight_GotFocus(); break;
    default: break;
    }
}

void FrmMainForm::LostFocus(FrmMainControl control)
{
    if (control == C::CmbWJ) CmbWJ_LostFocus();
}

// ---- The window's own --------------------------------------------------------

void FrmMainForm::Form_Load()
{
    // 1. On screen during the following steps.
    view_.setVisible(C::Window, true);
    // 2. Grayed counts as set for the quit after drawing.
    view_.setValue(C::ChkQuit, check::kGrayed);
    // 3. The connection to the CAD program.
    Start();
    // 4.-6. The list loaders, in this order.
    LoadDiameterSeries();
    LoadWallThickness();
    LoadBendAngles();
    // With no CAD program come up in front (none running and the launch
    // declined or failed), this window takes the keyboard. A window manager
    // gives it back when the question closes; a bare X server leaves it with
    // nobody.
    if (!cadConnection_->objects().AcadApp) view_.activate();
}

void FrmMainForm::CmdStart_Click() { Start(); }

void FrmMainForm::CmdAbout_Click()
{
    view_.setVisible(C::Window, false);
    view_.aboutDialog().Show();
}

void FrmMainForm::CmdQuit_Click() { desktop_.endProgram(); }

PendingError FrmMainForm::InputParameter()
{
    const DesignFieldTexts fields{view_.text(C::CmbHd), view_.text(C::TxtZJS), view_.text(C::CmbWJ),
                                  view_.text(C::TxtWJ)};
    return tessik::InputParameter(fields, record);
}

Status FrmMainForm::selectListEntry(FrmMainControl list, int index)
{
    if (index < -1 || index >= view_.listCount(list))
        return Error{kInvalidPropertyValue, "Invalid property value", controlName(list)};
    view_.setListIndex(list, index);
    Click(list);
    return success();
}

// ---- Input fields --------------------------------------------------------------

// Digits, backspace and one kind of decimal point; the text already in the
// field is not looked at.
void FrmMainForm::TxtWJ_KeyPress(std::int16_t& KeyAscii) { decimalFilter(KeyAscii); }
void FrmMainForm::TxtCZ_KeyPress(std::int16_t& KeyAscii) { decimalFilter(KeyAscii); }

void FrmMainForm::decimalFilter(std::int16_t& KeyAscii)
{
    if (!isDigitCode(KeyAscii) && KeyAscii != kBackspace && KeyAscii != kDecimalPoint) refuse(KeyAscii);
}

// Digits only: backspace deletes nothing here.
void FrmMainForm::TxtZJS_KeyPress(std::int16_t& KeyAscii)
{
    if (!isDigitCode(KeyAscii)) refuse(KeyAscii);
}

void FrmMainForm::refuse(std::int16_t& KeyAscii)
{
    desktop_.beep();
    KeyAscii = 0;
}

void FrmMainForm::TxtWJ_GotFocus() { selectAllText(C::TxtWJ); }
void FrmMainForm::TxtCZ_GotFocus() { selectAllText(C::TxtCZ); }

void FrmMainForm::TxtZJS_GotFocus()
{
    if (view_.text(C::TxtZJS) == kBlankText) view_.setText(C::TxtZJS, "1");
    selectAllText(C::TxtZJS);
}

void FrmMainForm::selectAllText(FrmMainControl field)
{
    view_.setSelection(field, 0, utf16Length(view_.text(field)));
}

// The bar follows a text that is a whole number in its range; any other text
// leaves it where it is, and no error stays behind.
void FrmMainForm::TxtZJS_Change()
{
    const Result<std::int16_t> value = textToInt16(view_.text(C::TxtZJS));
    if (value.ok() && *value >= view_.scrollMin(C::VScroll1) && *value <= view_.scrollMax(C::VScroll1))
        view_.setScrollValue(C::VScroll1, *value);
}

// An equal text is not written again, so the caret stays where the user is
// typing.
void FrmMainForm::VScroll1_Change()
{
    const std::string text = std::to_string(view_.scrollValue(C::VScroll1));
    if (view_.text(C::TxtZJS) != text) view_.setText(C::TxtZJS, text);
}

// ---- Standard data ---------------------------------------------------------------

void FrmMainForm::LoadDiameterSeries() { loadList(C::CmbWJ, kDiameterSeriesFile); }

void FrmMainForm::LoadWallThickness() { loadList(C::CmbBH, kWallThicknessFile); }

void FrmMainForm::LoadBendAngles()
{
    int position = 0;
    for (const char* angle : {"30", "45", "60", "90"}) view_.addItem(C::CmbHd, position++, angle);
}

// The list gets exactly the entries the file has, then entry 40 is selected,
// which runs the list's click handling; with 40 entries or fewer the
// selection fails quietly and the field keeps its design-time text.
void FrmMainForm::loadList(FrmMainControl list, std::string_view fileName)
{
    const ListFile file = loadListFile(".", fileName);
    record.IntJ = 0;
    for (const std::string& entry : file.entries) view_.addItem(list, record.IntJ++, entry);
    if (!file.entries.empty()) record.StrTemp = file.entries.back();
    tellDataProblem(file.problem);
    (void)selectListEntry(list, kPreselectedEntry);
}

void FrmMainForm::tellDataProblem(const std::string& problem)
{
    if (!problem.empty()) desktop_.messageBox(problem, msgbox::kInformation, kProgramTitle);
}

void FrmMainForm::CmdIquire_Click()
{
    const auto proposal = standardLookup(view_.text(C::CmbWJ), view_.text(C::CmbHd), record.lookupVariables(),
                                         kBookFile, [this] {
                                             desktop_.messageBox(kOutOfRangeMessage, msgbox::kInformation,
                                                                 kOutOfRangeTitle);
                                         });
    if (!proposal) return;
    std::vector<std::string> untold;
    for (const std::string& problem : proposal->book.problems)
        if (bookProblemsTold_.insert(problem).second) untold.push_back(problem);
    tellDataProblem(bookProblemMessage(proposal->book, untold));
    view_.setText(C::TxtWJ, proposal->TxtWJ);
    view_.setText(C::TxtZJS, proposal->TxtZJS);
    TxtWeight_GotFocus();
}

void FrmMainForm::CmbWJ_Click()
{
    CmdIquire_Click();
    TxtWeight_GotFocus();
}

void FrmMainForm::CmbHd_Click()
{
    CmdIquire_Click();
    TxtWeight_GotFocus();
}

void FrmMainForm::CmbWJ_LostFocus() { CmdIquire_Click(); }

void FrmMainForm::CmbBH_Click() { TxtWeight_GotFocus(); }

void FrmMainForm::TxtWeight_GotFocus()
{
    const PendingError pending = InputParameter();
    const std::string text = CalculateWeight(pending, record.weightInputs(), view_.text(C::TxtCZ),
                                             view_.text(C::CmbBH), record.weightVariables());
    view_.setText(C::TxtWeight, text);
}

// ---- CAD link and drawing ----------------------------------------------------------

void FrmMainForm::Start() { cadConnection_->Start(); }

ElbowDrawCommand::Outcome FrmMainForm::CmdDraw1_Click()
{
    ElbowDrawCommand command(*drawHost_, cadConnection_->objects(), desktop_);
    return command.CmdDraw1_Click();
}

}  // namespace tessik
