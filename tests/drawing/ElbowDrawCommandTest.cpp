#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CadErrors.h"
#include "DesignRecord.h"
#include "ElbowDrawCommand.h"
#include "FakeBasicDesktop.h"
#include "FakeCad.h"

namespace tessik {
namespace {

using Texts = std::vector<std::string>;

Texts operator+(Texts a, const Texts& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool startsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

// How many calls begin with `member`.
long count(const Texts& calls, const std::string& member)
{
    return std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return startsWith(c, member); });
}

// The main window as the draw command sees it, driven by field texts.
struct TestWindow : ElbowDrawHost {
    DesignFieldTexts fields{"90", "2", "100", "150"};
    DesignRecord record;
    ElbowView view = ElbowView::Front;
    int chkQuit = 2;
    int quits = 0;

    PendingError InputParameter() override { return tessik::InputParameter(fields, record); }
    const ElbowParameters& parameters() const override { return record; }
    void setPickedPoint(const Point3& p) override { record.VntPoint = p; }
    bool viewSelected(ElbowView v) const override { return v == view; }
    int ChkQuit() const override { return chkQuit; }
    std::string caption() const override { return "Tessik"; }
    void CmdQuit_Click() override { ++quits; }
};

struct Rig {
    std::shared_ptr<FakeCad> cad = FakeCad::create();
    FakeBasicDesktop desktop;
    TestWindow window;
    CadConnectionObjects objects;

    Rig()
    {
        CadConnection connection(*cad, desktop, {[](const std::string&) {}, [] { return std::string("Tessik"); }});
        connection.Start();
        objects = connection.objects();
        cad->calls.clear();
        desktop.calls.clear();
        desktop.activatedTitles.clear();
    }
    ElbowDrawCommand::Outcome press()
    {
        ElbowDrawCommand command(window, objects, desktop);
        return command.CmdDraw1_Click();
    }
};

// The calls' members only, e.g. "get activedocument", "addline".
Texts members(const Texts& calls)
{
    Texts out;
    for (const std::string& c : calls) {
        const bool property = startsWith(c, "get ") || startsWith(c, "set ");
        out.push_back(c.substr(0, c.find(' ', property ? 4 : 0)));
    }
    return out;
}

FakeCadEntity asRecorded(const ElbowEntity& e)
{
    if (auto* l = std::get_if<LineEntity>(&e))
        return {"line", {l->start[0], l->start[1], l->start[2], l->end[0], l->end[1], l->end[2]}};
    if (auto* a = std::get_if<ArcEntity>(&e))
        return {"arc", {a->center[0], a->center[1], a->center[2], a->radius, a->startAngle, a->endAngle}};
    const auto& el = std::get<EllipseEntity>(e);
    FakeCadEntity r{"ellipse", {el.center[0], el.center[1], el.center[2], el.majorAxis[0], el.majorAxis[1],
                                el.majorAxis[2], el.ratio}};
    if (el.angles) r.values.insert(r.values.end(), {el.angles->start, el.angles->end});
    return r;
}

const Texts kPickPrologue{"get Caption", "bringToFront", "getpoint"};

struct ViewCase {
    const char* name;
    const char* angle;
    const char* segments;
    ElbowView view;
    Texts body;  // members after the pick
};

Texts repeat(const Texts& what, int n)
{
    Texts out;
    for (int i = 0; i < n; ++i) out = out + what;
    return out;
}

const Texts kLine{"get activedocument", "get ModelSpace", "addline"};

class ViewSequence : public ::testing::TestWithParam<ViewCase> {};

TEST_P(ViewSequence, SendsTheViewsEntitiesInOrderThroughTheRightObjects)
{
    const ViewCase& c = GetParam();
    Rig rig;
    rig.window.fields = {c.angle, c.segments, "100", "150"};
    rig.window.view = c.view;
    rig.window.chkQuit = 0;
    rig.cad->pick = Point3{10, 20, 25};

    const auto out = rig.press();

    EXPECT_EQ(out.ending, ElbowDrawCommand::Ending::Drawn);
    // A drawn view is one undo step; nothing drawn leaves no empty one.
    const Texts body = c.body.empty() ? c.body : Texts{"StartUndoMark"} + c.body + Texts{"EndUndoMark"};
    EXPECT_EQ(members(rig.cad->calls), kPickPrologue + body);
    EXPECT_EQ(rig.cad->calls[2], "getpoint 请输入第一点");
    // What the drawing received is the geometry of the view at the picked point.
    const auto expected = elbowView(rig.window.record, Point3{10, 20, 25}, c.view);
    ASSERT_EQ(rig.cad->entities.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(rig.cad->entities[i], asRecorded(expected[i])) << i;
    for (const auto& e : rig.cad->entities) EXPECT_EQ(e.values[2], 0) << "every entity lies in z = 0";
    EXPECT_EQ(rig.window.record.VntPoint, (Point3{10, 20, 25}));
    EXPECT_EQ(rig.desktop.activatedTitles, (Texts{"Drawing1.dwg - Tessik CAD", "Tessik"}));
}

INSTANTIATE_TEST_SUITE_P(
    DrawCommand, ViewSequence,
    ::testing::Values(
        ViewCase{"Front90N2", "90", "2", ElbowView::Front, repeat(kLine, 13) + Texts{"addarc"}},
        ViewCase{"Left90N2", "90", "2", ElbowView::Left,
                 Texts{"AddEllipse", "AddEllipse", "set startAngle", "set endAngle", "AddEllipse",
                             "set startAngle", "set endAngle"} +
                     repeat(kLine, 3)},
        ViewCase{"Right60N1", "60", "1", ElbowView::Right,
                 Texts{"AddEllipse", "set startAngle", "set endAngle", "AddEllipse", "set startAngle",
                             "set endAngle", "AddEllipse"} +
                     repeat(kLine, 2)},
        ViewCase{"TopViewDrawsNothing", "90", "2", ElbowView::Top, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct EndingCase {
    const char* name;
    int chkQuit;
    bool failOneLine;
    bool deferErrors;
    int quits;
    ElbowDrawCommand::Ending ending;
};

class Ending : public ::testing::TestWithParam<EndingCase> {};

TEST_P(Ending, QuitsOnlyAfterACompleteDrawingWithChkQuitSet)
{
    const EndingCase& c = GetParam();
    Rig rig;
    rig.window.chkQuit = c.chkQuit;
    rig.cad->deferErrors = c.deferErrors;
    if (c.failOneLine) rig.cad->failCall("addline", 4);

    const auto out = rig.press();

    EXPECT_EQ(out.ending, c.ending);
    EXPECT_EQ(rig.window.quits, c.quits);
    // The command sends every entity it can, failed or not.
    EXPECT_EQ(count(rig.cad->calls, "addline"), 13);
    EXPECT_EQ(rig.cad->entities.size(), c.failOneLine ? 13u : 14u);
    if (c.failOneLine) {
        ASSERT_EQ(rig.desktop.messageBoxes.size(), 1u);
        EXPECT_EQ(out.failed, 1);
        EXPECT_EQ(rig.desktop.messageBoxes[0].title, "提醒");
        EXPECT_EQ(rig.desktop.messageBoxes[0].style, 48);
        EXPECT_TRUE(startsWith(rig.desktop.messageBoxes[0].text, "共 14 个图元，其中 1 个未能画入图形。"))
            << rig.desktop.messageBoxes[0].text;
    } else {
        EXPECT_TRUE(rig.desktop.messageBoxes.empty());
    }
    // Without a quit the main window comes back to the front.
    EXPECT_EQ(rig.desktop.activatedTitles.back() == "Tessik", c.quits == 0);
}

INSTANTIATE_TEST_SUITE_P(DrawCommand, Ending,
                         ::testing::Values(EndingCase{"ClearStays", 0, false, false, 0, ElbowDrawCommand::Ending::Drawn},
                                           EndingCase{"TickedQuits", 1, false, false, 1, ElbowDrawCommand::Ending::Drawn},
                                           EndingCase{"GrayedQuits", 2, false, false, 1, ElbowDrawCommand::Ending::Drawn},
                                           EndingCase{"FailedLineNoQuit", 2, true, false, 0,
                                                      ElbowDrawCommand::Ending::PartlyDrawn},
                                           EndingCase{"FailedLineSeenAtSettleNoQuit", 1, true, true, 0,
                                                      ElbowDrawCommand::Ending::PartlyDrawn}),
                         [](const auto& info) { return std::string(info.param.name); });

struct NoPointCase {
    const char* name;
    void (*script)(Rig&);
};

class NoPoint : public ::testing::TestWithParam<NoPointCase> {};

TEST_P(NoPoint, DrawsNothingAndBringsTheMainWindowBack)
{
    Rig rig;
    rig.window.chkQuit = 2;
    rig.window.record.VntPoint = {1, 2, 3};
    GetParam().script(rig);

    const auto out = rig.press();

    EXPECT_EQ(out.ending, ElbowDrawCommand::Ending::NoPoint);
    EXPECT_TRUE(rig.cad->entities.empty());
    EXPECT_EQ(count(rig.cad->calls, "addline"), 0);
    EXPECT_EQ(rig.window.quits, 0);
    EXPECT_TRUE(rig.desktop.messageBoxes.empty());
    EXPECT_EQ(rig.desktop.activatedTitles.back(), "Tessik");
    EXPECT_EQ(rig.window.record.VntPoint, (Point3{1, 2, 3})) << "the last good pick is kept";
}

INSTANTIATE_TEST_SUITE_P(
    DrawCommand, NoPoint,
    ::testing::Values(
        NoPointCase{"CancelledPick",
                    [](Rig& r) { r.cad->pick = Error{caderr::kPickCancelled, "用户取消了输入", "getpoint"}; }},
        NoPointCase{"NotConnected", [](Rig& r) { r.objects = {}; }},
        NoPointCase{"CadWentAway", [](Rig& r) { r.cad->alive = false; }},
        NoPointCase{"WindowCannotBeActivated",
                    [](Rig& r) {
                        r.cad->failCall("bringToFront", 1);
                        r.desktop.activatableTitles = {"Tessik"};
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

// The user closed the drawing the held objects belong to and opened another:
// the pick is refused, and the user is told so (and not only after pressing
// Start again); Start takes the new drawing's objects and the next press draws.
TEST(DrawCommand, ADrawingClosedUnderTheHeldObjectsIsToldUntilStartRuns)
{
    Rig rig;
    rig.window.chkQuit = 2;
    rig.cad->closeDrawing();

    const auto out = rig.press();

    EXPECT_EQ(out.ending, ElbowDrawCommand::Ending::NoPoint);
    EXPECT_TRUE(rig.cad->entities.empty());
    EXPECT_EQ(rig.window.quits, 0);
    ASSERT_EQ(rig.desktop.messageBoxes.size(), 1u);
    const auto& box = rig.desktop.messageBoxes[0];
    EXPECT_EQ(box.title, "提醒");
    EXPECT_EQ(box.style, msgbox::kExclamation);
    EXPECT_NE(box.text.find("对象所属的图形已关闭。"), std::string::npos) << box.text;
    EXPECT_EQ(rig.desktop.activatedTitles.back(), "Tessik");

    CadConnection again(*rig.cad, rig.desktop, {[](const std::string&) {}, [] { return std::string("Tessik"); }});
    again.Start();
    rig.objects = again.objects();
    EXPECT_EQ(rig.press().ending, ElbowDrawCommand::Ending::Drawn);
    EXPECT_EQ(rig.window.quits, 1);
    EXPECT_EQ(rig.desktop.messageBoxes.size(), 1u);
}

TEST(DrawCommand, ACadWithoutUndoMarksDrawsTheSameAndSaysNothing)
{
    Rig marked, unmarked;
    unmarked.cad->undoMarks = false;
    for (Rig* rig : {&marked, &unmarked}) {
        rig->window.chkQuit = 0;
        const auto out = rig->press();
        EXPECT_EQ(out.ending, ElbowDrawCommand::Ending::Drawn);
        EXPECT_EQ(out.failed, 0);
    }
    EXPECT_EQ(unmarked.cad->entities, marked.cad->entities);
    EXPECT_EQ(unmarked.cad->calls, marked.cad->calls);
    EXPECT_EQ(unmarked.desktop.calls, marked.desktop.calls);
}

TEST(DrawCommand, ParameterErrorTellsTheUserAndTouchesNothing)
{
    Rig rig;
    rig.window.fields.CmbHd = "弯角";
    const auto out = rig.press();
    EXPECT_EQ(out.ending, ElbowDrawCommand::Ending::ParameterError);
    EXPECT_FALSE(out.error.pending());
    EXPECT_TRUE(rig.cad->calls.empty());
    EXPECT_TRUE(rig.desktop.activatedTitles.empty());
    ASSERT_EQ(rig.desktop.messageBoxes.size(), 1u);
    EXPECT_EQ(rig.desktop.messageBoxes[0].text, "参数输入出错。");
    EXPECT_EQ(rig.desktop.messageBoxes[0].title, "提醒");
    EXPECT_EQ(rig.desktop.messageBoxes[0].style, 64);
    EXPECT_EQ(rig.window.quits, 0);
}

TEST(DrawCommand, AFailedEllipseSkipsItsAngleWrites)
{
    Rig rig;
    rig.window.view = ElbowView::Left;
    rig.window.chkQuit = 1;
    rig.cad->failCall("AddEllipse", 2);
    const auto out = rig.press();
    EXPECT_EQ(out.failed, 1);
    EXPECT_EQ(count(rig.cad->calls, "set startAngle"), 1);
    EXPECT_EQ(rig.window.quits, 0);
}

}  // namespace
}  // namespace tessik
