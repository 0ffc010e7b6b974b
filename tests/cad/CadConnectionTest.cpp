#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CadConnection.h"
#include "CadProgram.h"
#include "FakeBasicDesktop.h"
#include "FakeCad.h"

namespace tessik {
namespace {

using Texts = std::vector<std::string>;

const std::string kNotStarted = "AutoCAD尚未启动。";
const std::string kStarting = "AutoCAD正在启动，请稍候...";
const std::string kFailed = "AutoCAD启动失败!";
const std::string kStarted = "AutoCAD已经启动。";

Texts operator+(Texts a, const Texts& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool contains(const Texts& texts, const std::string& text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

struct Rig {
    std::shared_ptr<FakeCad> cad = FakeCad::create();
    FakeBasicDesktop desktop;
    Texts status;
    CadConnection connection{*cad, desktop,
                             {[this](const std::string& s) { status.push_back(s); }, [] { return std::string("Tessik"); }}};
};

struct StartCase {
    const char* name;
    bool running;
    bool launchWorks;
    bool documentOpen;
    int answer;
    Texts status;
    Texts cadCalls;
    Texts boxes;  // "title | text | style"
    bool objectsTaken;
};

const Texts kTakeObjects{"set Visible true", "get activedocument", "get ModelSpace", "get paperspace",
                               "get utility"};
const std::string kQuestion = "启动AutoCAD | AutoCAD尚未启动，现在启动吗？ | 33";

class StartStates : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartStates, FollowsTheConnectionTable)
{
    const StartCase& c = GetParam();
    Rig rig;
    rig.cad->running = c.running;
    rig.cad->launchWorks = c.launchWorks;
    rig.cad->documentOpen = c.documentOpen;
    rig.desktop.messageBoxAnswers = {c.answer};

    rig.connection.Start();

    EXPECT_EQ(rig.status, c.status);
    EXPECT_EQ(rig.cad->calls, c.cadCalls);
    Texts boxes;
    for (const auto& b : rig.desktop.messageBoxes) boxes.push_back(b.title + " | " + b.text + " | " + std::to_string(b.style));
    EXPECT_EQ(boxes, c.boxes);
    const auto& o = rig.connection.objects();
    EXPECT_EQ(bool(o.AcadApp), contains(c.cadCalls, "set Visible true"));
    // After a launch (failed or not) the main window comes back to the front.
    const bool launched = contains(c.cadCalls, "createInstance autocad.application");
    EXPECT_EQ(rig.desktop.activatedTitles, launched ? Texts{"Tessik"} : Texts{});
    for (bool taken : {bool(o.AcadDoc), bool(o.MoSpace), bool(o.PaSpace), bool(o.acadUtil)}) EXPECT_EQ(taken, c.objectsTaken);
}

INSTANTIATE_TEST_SUITE_P(
    Start, StartStates,
    ::testing::Values(
        StartCase{"RunningWithDrawing", true, true, true, 1, {kStarted},
                  Texts{"getRunningInstance autocad.application"} + kTakeObjects, {}, true},
        StartCase{"NotRunningDeclined", false, true, true, 2, {kNotStarted},
                  {"getRunningInstance autocad.application"}, {kQuestion}, false},
        StartCase{"NotRunningLaunched", false, true, true, 1, {kNotStarted, kStarting, kStarted},
                  Texts{"getRunningInstance autocad.application", "createInstance autocad.application"} +
                      kTakeObjects,
                  {kQuestion}, true},
        StartCase{"NotInstalled", false, false, true, 1, {kNotStarted, kStarting, kFailed},
                  {"getRunningInstance autocad.application", "createInstance autocad.application"},
                  {kQuestion, "Tessik | CAD 程序 tessik-cad 未能启动（错误 429）：找不到程序 tessik-cad | 0"}, false},
        StartCase{"RunningWithoutDrawing", true, true, false, 1, {kStarted},
                  {"getRunningInstance autocad.application", "set Visible true", "get activedocument"},
                  {"Tessik | err | 0"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Start, MainWindowThatCannotBeActivatedCountsAsAFailedLaunch)
{
    Rig rig;
    rig.cad->running = false;
    rig.desktop.activatableTitles = {"something else"};
    rig.connection.Start();
    EXPECT_EQ(rig.status.back(), kFailed);
    ASSERT_EQ(rig.desktop.messageBoxes.size(), 2);
    EXPECT_NE(rig.desktop.messageBoxes[1].text.find("Tessik"), std::string::npos);
}

TEST(Start, AgainRefreshesTheObjectsWithoutAsking)
{
    Rig rig;
    rig.connection.Start();
    const auto first = rig.connection.objects();
    rig.connection.Start();
    EXPECT_TRUE(rig.desktop.messageBoxes.empty());
    EXPECT_NE(rig.connection.objects().AcadDoc, first.AcadDoc);
    EXPECT_NE(rig.connection.objects().MoSpace, first.MoSpace);
}

TEST(Start, AFailedStepKeepsTheObjectItHadBefore)
{
    Rig rig;
    rig.connection.Start();
    const auto first = rig.connection.objects();
    rig.cad->failCall("paperspace", 2);
    rig.connection.Start();
    EXPECT_EQ(rig.connection.objects().PaSpace, first.PaSpace);
    EXPECT_NE(rig.connection.objects().acadUtil, first.acadUtil) << "the next steps still run";
    ASSERT_EQ(rig.desktop.messageBoxes.size(), 1);
    EXPECT_EQ(rig.desktop.messageBoxes[0].text, "err");
}

TEST(Start, StaleReferenceStaysUntilANewLaunchSucceeds)
{
    Rig rig;
    rig.connection.Start();
    const auto stale = rig.connection.objects().AcadApp;
    rig.cad->alive = false;  // the user closed the CAD application
    rig.cad->running = false;
    rig.desktop.messageBoxAnswers = {2};
    rig.connection.Start();
    EXPECT_EQ(rig.status.back(), kNotStarted);
    EXPECT_EQ(rig.connection.objects().AcadApp, stale);

    rig.desktop.messageBoxAnswers = {1};
    rig.connection.Start();
    EXPECT_EQ(rig.status.back(), kStarted);
    EXPECT_NE(rig.connection.objects().AcadApp, stale);
}

// Another CAD program: asked for by its own program id, named on the status
// line and in the question, and a typed id stands for itself.
TEST(Start, NamesTheChosenCadProgram)
{
    Rig rig;
    rig.cad->running = false;
    rig.cad->launchWorks = false;
    rig.connection.setProgram(cadProgramFor("zwcad.application"));
    rig.connection.Start();
    EXPECT_EQ(rig.status, (Texts{"中望CAD尚未启动。", "中望CAD正在启动，请稍候...", "中望CAD启动失败!"}));
    ASSERT_FALSE(rig.desktop.messageBoxes.empty());
    EXPECT_EQ(rig.desktop.messageBoxes.front().title, "启动中望CAD");
    EXPECT_EQ(rig.desktop.messageBoxes.front().text, "中望CAD尚未启动，现在启动吗？");
    EXPECT_EQ(rig.cad->calls, (Texts{"getRunningInstance ZWCAD.Application", "createInstance ZWCAD.Application"}));

    rig.cad->running = true;
    rig.connection.setProgram(cadProgramFor("My.Cad_2"));
    rig.connection.Start();
    EXPECT_EQ(rig.status.back(), "My.Cad_2已经启动。");
    EXPECT_TRUE(contains(rig.cad->calls, "getRunningInstance My.Cad_2"));
}

TEST(CadProgramId, WellFormedOnlyInTheShapeWindowsKeeps)
{
    for (const KnownCadProgram& known : kKnownCadPrograms) EXPECT_TRUE(isWellFormedProgramId(known.programId)) << known.programId;
    for (const char* id : {"A", "Acad.Application.24", "My_Cad.App"}) EXPECT_TRUE(isWellFormedProgramId(id)) << id;
    for (const char* id : {"", "1Cad.App", ".Cad", "Cad.", "Cad..App", "Cad App", "Cad/App", "Cad-App", "中望.App",
                           "A234567890123456789012345678901234567890"})
        EXPECT_FALSE(isWellFormedProgramId(id)) << id;
    EXPECT_TRUE(isWellFormedProgramId(std::string(39, 'a')));
}

}  // namespace
}  // namespace tessik
