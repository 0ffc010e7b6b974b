#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "FakeBasicDesktop.h"
#include "FakeCad.h"
#include "FakeFormViews.h"
#include "FrmMainForm.h"
#include "ToolConstants.h"

namespace tessik {
namespace {

namespace fs = std::filesystem;
using C = FrmMainControl;

// A working folder of its own, holding the named data files of the shipped
// set, for the length of one test.
class WorkingFolder {
public:
    explicit WorkingFolder(std::initializer_list<const char*> dataFiles) : previous_(fs::current_path())
    {
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("tessik-form-" + std::to_string(random()));
        fs::create_directories(folder_);
        for (const char* name : dataFiles) fs::copy_file(fs::path(TESSIK_DATA_DIR) / name, folder_ / name);
        fs::current_path(folder_);
    }
    ~WorkingFolder()
    {
        fs::current_path(previous_);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    const fs::path& path() const { return folder_; }

private:
    fs::path previous_;
    fs::path folder_;
};

struct Rig {
    std::shared_ptr<FakeCad> cad = FakeCad::create();
    FakeBasicDesktop desktop;
    FakeFrmMainView view{desktop};
    FrmMainForm form{view, desktop, *cad};
    Rig() { view.form = &form; }
};

// ---- Key filters -----------------------------------------------------------------

struct KeyCase {
    const char* name;
    char16_t key;
    bool decimalAdmits;  // TxtWJ, TxtCZ
    bool digitAdmits;    // TxtZJS
};

class KeyFilters : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyFilters, AdmitOrRefuseWithOneBeep)
{
    const KeyCase& k = GetParam();
    Rig rig;
    for (C field : {C::TxtWJ, C::TxtCZ, C::TxtZJS}) {
        const bool admits = field == C::TxtZJS ? k.digitAdmits : k.decimalAdmits;
        const int beepsBefore = rig.desktop.beeps;
        std::int16_t KeyAscii = static_cast<std::int16_t>(k.key);
        rig.form.KeyPress(field, KeyAscii);
        EXPECT_EQ(KeyAscii, admits ? static_cast<std::int16_t>(k.key) : 0) << controlName(field);
        EXPECT_EQ(rig.desktop.beeps - beepsBefore, admits ? 0 : 1) << controlName(field);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Form, KeyFilters,
    ::testing::Values(KeyCase{"Zero", u'0', true, true}, KeyCase{"Nine", u'9', true, true},
                      KeyCase{"Point", u'.', true, false}, KeyCase{"Backspace", 8, true, false},
                      KeyCase{"Letter", u'a', false, false}, KeyCase{"Minus", u'-', false, false},
                      KeyCase{"Space", u' ', false, false}, KeyCase{"Enter", 13, false, false},
                      KeyCase{"CtrlV", 22, false, false}, KeyCase{"FullWidthDigit", u'１', false, false},
                      KeyCase{"Slash", u'/', false, false}, KeyCase{"Colon", u':', false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrmMainForm, KeysOfOtherControlsAreLeftAlone)
{
    Rig rig;
    std::int16_t KeyAscii = 'x';
    rig.form.KeyPress(C::CmbWJ, KeyAscii);
    EXPECT_EQ(KeyAscii, 'x');
    EXPECT_EQ(rig.desktop.beeps, 0);
}

// ---- Segment count and spinner ----------------------------------------------------

TEST(FrmMainForm, FocusOnBlankSegmentCountWritesOneAndMovesTheSpinner)
{
    Rig rig;
    rig.form.GotFocus(C::TxtZJS);
    EXPECT_EQ(rig.view.text(C::TxtZJS), "1");
    EXPECT_EQ(rig.view.scrollValue(C::VScroll1), 1);
    EXPECT_EQ(rig.view.at(C::TxtZJS).selStart, 0);
    EXPECT_EQ(rig.view.at(C::TxtZJS).selLength, 1);
    // A typed digit replaces the selected text.
    rig.view.type(C::TxtZJS, u"7");
    EXPECT_EQ(rig.view.text(C::TxtZJS), "7");
    EXPECT_EQ(rig.view.scrollValue(C::VScroll1), 7);
}

TEST(FrmMainForm, SelectAllCountsCharactersNotBytes)
{
    Rig rig;
    rig.form.GotFocus(C::TxtWJ);  // "(空白)": four characters, eight bytes
    EXPECT_EQ(rig.view.at(C::TxtWJ).selStart, 0);
    EXPECT_EQ(rig.view.at(C::TxtWJ).selLength, 4);
}

TEST(FrmMainForm, SpinnerFollowsOnlyWholeNumbersInItsRange)
{
    Rig rig;
    rig.view.setScrollValue(C::VScroll1, 9);
    EXPECT_EQ(rig.view.text(C::TxtZJS), "9");
    for (const char* text : {"25", "0", "-3", "abc", "", "(空白)", "99999"}) {
        rig.view.setText(C::TxtZJS, text);
        EXPECT_EQ(rig.view.scrollValue(C::VScroll1), 9) << text;
        EXPECT_EQ(rig.view.text(C::TxtZJS), text) << "the text stays as written";
    }
    // A leading zero is read as the number, and the bar writes it back plainly.
    rig.view.setText(C::TxtZJS, "05");
    EXPECT_EQ(rig.view.scrollValue(C::VScroll1), 5);
    EXPECT_EQ(rig.view.text(C::TxtZJS), "5");
    // At an end of the range a further step changes nothing and writes nothing.
    rig.view.setScrollValue(C::VScroll1, 20);
    const auto changes = rig.view.changes.size();
    rig.view.setScrollValue(C::VScroll1, 21);
    EXPECT_EQ(rig.view.changes.size(), changes);
    EXPECT_EQ(rig.view.text(C::TxtZJS), "20");
}

// ---- Start-up ------------------------------------------------------------------

TEST(FrmMainForm, StartUpWithoutDataFilesTellsEachMissingFileOnce)
{
    WorkingFolder folder({});
    Rig rig;
    rig.cad->running = false;
    rig.desktop.messageBoxAnswers = {msgbox::kAnswerCancel};  // no launch
    rig.form.Form_Load();

    EXPECT_TRUE(rig.view.visible(C::Window));
    EXPECT_EQ(rig.view.value(C::ChkQuit), check::kGrayed);
    std::vector<std::string> told;
    for (const auto& box : rig.desktop.messageBoxes)
        if (box.title == kProgramTitle) told.push_back(box.text);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(told[0].find("zjxl.ini"), std::string::npos) << told[0];
    EXPECT_NE(told[1].find("gbhd.ini"), std::string::npos) << told[1];
    EXPECT_EQ(rig.view.listCount(C::CmbWJ), 0);
    EXPECT_EQ(rig.view.listCount(C::CmbBH), 0);
    EXPECT_EQ(rig.view.at(C::CmbHd).items, (std::vector<std::string>{"30", "45", "60", "90"}));
    // Nothing was chosen: the fields keep their design-time texts.
    EXPECT_EQ(rig.view.text(C::CmbWJ), "直径");
    EXPECT_EQ(rig.view.text(C::TxtWeight), kBlankText);
    // No CAD program came up in front, so the window takes the keyboard.
    EXPECT_EQ(rig.view.activations, 1);
}

TEST(FrmMainForm, StartUpFillsTheListsFromTheDataFiles)
{
    WorkingFolder folder({"zjxl.ini", "gbhd.ini", "book.ini"});
    Rig rig;
    rig.form.Form_Load();

    // Every line of a list file is one entry.
    const auto lines = [&](const char* name) {
        std::ifstream in(folder.path() / name);
        int n = 0;
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && line != "\r") ++n;
        return n;
    };
    EXPECT_EQ(rig.view.listCount(C::CmbWJ), lines("zjxl.ini"));
    EXPECT_EQ(rig.view.listCount(C::CmbBH), lines("gbhd.ini"));
    EXPECT_TRUE(rig.desktop.messageBoxes.empty());
    EXPECT_TRUE(rig.form.cadObjects().AcadApp);
    EXPECT_EQ(rig.view.activations, 0);
}

// ---- Standard lookup and weight ---------------------------------------------------

TEST(FrmMainForm, ChoosingDiameterAndAngleProposesRadiusAndSegmentsFromTheBook)
{
    WorkingFolder folder({"zjxl.ini", "gbhd.ini", "book.ini"});
    Rig rig;
    rig.form.Form_Load();
    // The book's first column (80 to 220 mm): radius factor 1.5; 90° two
    // middle segments, 30° none.
    const auto entry = [&](C list, const std::string& text) {
        for (int i = 0; i < rig.view.listCount(list); ++i)
            if (rig.view.listItem(list, i) == text) return i;
        return -1;
    };
    ASSERT_TRUE(rig.form.selectListEntry(C::CmbWJ, entry(C::CmbWJ, "108")).ok());
    ASSERT_TRUE(rig.form.selectListEntry(C::CmbHd, entry(C::CmbHd, "90")).ok());
    EXPECT_EQ(rig.view.text(C::TxtWJ), "162");
    EXPECT_EQ(rig.view.text(C::TxtZJS), "2");
    EXPECT_EQ(rig.view.scrollValue(C::VScroll1), 2);

    ASSERT_GE(entry(C::CmbBH, "4"), 0);
    ASSERT_TRUE(rig.form.selectListEntry(C::CmbBH, entry(C::CmbBH, "4")).ok());
    const double weight = std::stod(rig.view.text(C::TxtWeight));
    // Bounds from the pipe's own volume: the elbow's centre line is a quarter
    // circle of radius 162 mm, and a mitred elbow's shell lies between the
    // pipe along its centre line less and more one diameter.
    const double pi = 3.141592653589793, d = 108, t = 4, density = 7850;
    const double section = pi * (d - t) * t * 1e-6;  // m²
    const double arc = pi / 2 * 0.162;              // m
    EXPECT_GT(weight, section * (arc - d / 1000) * density);
    EXPECT_LT(weight, section * (arc + d / 1000) * density);

    rig.form.selectListEntry(C::CmbHd, entry(C::CmbHd, "30"));
    EXPECT_EQ(rig.view.text(C::TxtZJS), "0");
    EXPECT_EQ(rig.view.scrollValue(C::VScroll1), 2) << "0 lies outside the spinner's range";
}

TEST(FrmMainForm, ListEntryOutsideTheListIsRefusedAndChangesNothing)
{
    Rig rig;
    rig.form.LoadBendAngles();
    const Status refused = rig.form.selectListEntry(C::CmbHd, 4);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().number, 380);
    EXPECT_EQ(rig.view.text(C::CmbHd), "弯角");
    EXPECT_EQ(rig.view.listIndex(C::CmbHd), -1);
}

// Started up, with a drawable design in the four fields.
void loadWithDesign(Rig& rig)
{
    rig.form.Form_Load();
    rig.view.setText(C::CmbWJ, "219");
    rig.view.setText(C::CmbHd, "90");
    rig.view.setText(C::TxtWJ, "300");
    rig.view.setText(C::TxtZJS, "2");
}

// ---- Commands --------------------------------------------------------------------

TEST(FrmMainForm, DrawingWithGrayedQuitDrawsTheFrontViewAndEndsTheProgram)
{
    WorkingFolder folder({"zjxl.ini", "gbhd.ini", "book.ini"});
    Rig rig;
    loadWithDesign(rig);
    rig.cad->pick = CadPoint{10, 20, 0};

    rig.form.Click(C::CmdDraw1);

    ASSERT_FALSE(rig.cad->entities.empty());
    int arcs = 0;
    for (const auto& e : rig.cad->entities) arcs += e.kind == "arc";
    EXPECT_EQ(arcs, 1) << "the front view has one arc";
    EXPECT_EQ(rig.desktop.endProgramCalls, 1);
}

TEST(FrmMainForm, DrawingIntoAClosedDrawingIsTold)
{
    WorkingFolder folder({"zjxl.ini", "gbhd.ini", "book.ini"});
    Rig rig;
    loadWithDesign(rig);
    rig.cad->closeDrawing();
    const auto boxes = rig.desktop.messageBoxes.size();

    const auto outcome = rig.form.CmdDraw1_Click();

    EXPECT_EQ(outcome.ending, ElbowDrawCommand::Ending::NoPoint);
    EXPECT_TRUE(rig.cad->entities.empty());
    EXPECT_EQ(rig.desktop.messageBoxes.size(), boxes + 1) << "the failed pick is reported, not swallowed";
    EXPECT_EQ(rig.desktop.endProgramCalls, 0);
}

TEST(FrmMainForm, AboutHidesTheWindowUntilTheDialogUnloads)
{
    Rig rig;
    rig.view.setVisible(C::Window, true);
    rig.form.Click(C::CmdAbout);
    EXPECT_FALSE(rig.view.visible(C::Window));
    EXPECT_TRUE(rig.view.about.visible(frmAboutControl::Window));
    rig.view.aboutDialog().cmdOK_Click();
    EXPECT_TRUE(rig.view.visible(C::Window));
    EXPECT_FALSE(rig.view.about.visible(frmAboutControl::Window));
}

TEST(FrmMainForm, QuitEndsTheProgramAndTellsTheCadNothing)
{
    Rig rig;
    rig.form.Form_Load();
    const auto cadCalls = rig.cad->calls.size();
    rig.form.Click(C::CmdQuit);
    EXPECT_EQ(rig.desktop.endProgramCalls, 1);
    EXPECT_EQ(rig.cad->calls.size(), cadCalls);
}

}  // namespace
}  // namespace tessik
