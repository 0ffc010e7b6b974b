// The COM link against a real local server (fake-com-cad.exe, beside this
// program): Start and the draw command run over COM exactly as they run over
// the recording fake, and what the server received must equal what the
// recording fake received for the same design.

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <numbers>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CadErrors.h"
#include "ComAutomation.h"
#include "DesignRecord.h"
#include "ElbowDrawCommand.h"
#include "FakeBasicDesktop.h"
#include "FakeCad.h"
#include "WideText.h"

namespace tessik {
namespace {

// {6F1D6A52-3C1E-4B8E-9B7A-2E5D0C7A9F31}, the server's class.
const CLSID kFakeClsid = {0x6f1d6a52, 0x3c1e, 0x4b8e, {0x9b, 0x7a, 0x2e, 0x5d, 0x0c, 0x7a, 0x9f, 0x31}};
constexpr char kTestProgramId[] = "Tessik.FakeCad";

std::wstring besideThisProgram(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + name;
}

// Runs a program and waits for it.
DWORD run(const std::wstring& commandLine, DWORD timeoutMs = 60000)
{
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return DWORD(-1);
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

std::vector<std::string> split(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// The server's log: every call it took, one line each.
struct ServerLog {
    std::vector<std::string> lines;

    static ServerLog read(const std::wstring& path)
    {
        ServerLog log;
        std::ifstream in(os::narrow(path), std::ios::binary);
        for (std::string line; std::getline(in, line);) log.lines.push_back(line);
        return log;
    }
    // What the drawing received, in the recording fake's terms.
    std::vector<FakeCadEntity> entities() const
    {
        std::vector<FakeCadEntity> out;
        for (const std::string& line : lines) {
            const std::vector<std::string> w = split(line);
            if (w.empty() || !(w[0].compare(0, 3, "Add") == 0 || w[0] == "StartAngle" || w[0] == "EndAngle")) continue;
            std::vector<double> v;
            for (std::size_t i = 1; i < w.size(); ++i) v.push_back(std::stod(w[i]));
            if (w[0] == "AddLine") out.push_back({"line", v});
            else if (w[0] == "AddArc") out.push_back({"arc", v});
            else if (w[0] == "AddEllipse") out.push_back({"ellipse", v});
            else if ((w[0] == "StartAngle" || w[0] == "EndAngle") && v.size() == 2) {
                std::vector<double>& e = out.at(std::size_t(v[0])).values;
                if (e.size() == 7) e.insert(e.end(), {0.0, 2 * std::numbers::pi});
                e.at(w[0] == "StartAngle" ? 7 : 8) = v[1];
            }
        }
        return out;
    }
    long count(const std::string& start) const
    {
        long n = 0;
        for (const std::string& l : lines) n += l.compare(0, start.size(), start) == 0;
        return n;
    }
    // Index of the first and last line starting with `start`, or -1.
    long first(const std::string& start) const
    {
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].compare(0, start.size(), start) == 0) return long(i);
        return -1;
    }
    long last(const std::string& start) const
    {
        for (std::size_t i = lines.size(); i-- > 0;)
            if (lines[i].compare(0, start.size(), start) == 0) return long(i);
        return -1;
    }
};

bool fakeServerRunning()
{
    IUnknown* unknown = nullptr;
    if (FAILED(GetActiveObject(kFakeClsid, nullptr, &unknown)) || !unknown) return false;
    unknown->Release();
    return true;
}

// One fake CAD process, running until the test ends.
class FakeServer {
public:
    explicit FakeServer(const std::wstring& options)
    {
        static int serial = 0;
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        logPath = std::wstring(temp) + L"tessik-fakecad-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(++serial) + L".log";
        DeleteFileW(logPath.c_str());
        std::wstring line = L"\"" + besideThisProgram(L"fake-com-cad.exe") + L"\" --log \"" + logPath + L"\" " +
                            options;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_)) return;
        for (int i = 0; i < 400 && !fakeServerRunning(); ++i) Sleep(50);
        started = fakeServerRunning();
    }
    ~FakeServer()
    {
        if (!pi_.hProcess) return;
        PostThreadMessageW(pi_.dwThreadId, WM_QUIT, 0, 0);
        if (WaitForSingleObject(pi_.hProcess, 15000) != WAIT_OBJECT_0) TerminateProcess(pi_.hProcess, 9);
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
        DeleteFileW(logPath.c_str());
    }
    ServerLog log() const { return ServerLog::read(logPath); }
    bool exited(DWORD waitMs) const { return pi_.hProcess && WaitForSingleObject(pi_.hProcess, waitMs) == WAIT_OBJECT_0; }

    std::wstring logPath;
    bool started = false;

private:
    PROCESS_INFORMATION pi_{};
};

// Ends the test program when a COM call hangs instead of failing.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread_([this, limit] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                  std::fprintf(stderr, "the COM link hung for %lld s\n", static_cast<long long>(limit.count()));
                  std::fflush(stderr);
                  TerminateProcess(GetCurrentProcess(), 99);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

struct TestWindow : ElbowDrawHost {
    DesignFieldTexts fields{"90", "2", "100", "150"};
    DesignRecord record;
    ElbowView view = ElbowView::Front;
    int quits = 0;

    PendingError InputParameter() override { return tessik::InputParameter(fields, record); }
    const ElbowParameters& parameters() const override { return record; }
    void setPickedPoint(const Point3& p) override { record.VntPoint = p; }
    bool viewSelected(ElbowView v) const override { return v == view; }
    int ChkQuit() const override { return 0; }
    std::string caption() const override { return "Tessik"; }
    void CmdQuit_Click() override { ++quits; }
};

// Start, then one press of the draw button, over one CAD automation; the
// program id is the tool's own.
struct Drawing {
    FakeBasicDesktop desktop;
    TestWindow window;
    std::vector<std::string> status;
    std::unique_ptr<CadConnection> connection;
    ElbowDrawCommand::Outcome outcome;

    void run(CadAutomation& cad)
    {
        connection = std::make_unique<CadConnection>(
            cad, desktop,
            CadConnection::Host{[this](const std::string& s) { status.push_back(s); },
                                [] { return std::string("Tessik"); }});
        connection->Start();
        outcome = press();
    }
    ElbowDrawCommand::Outcome press()
    {
        ElbowDrawCommand command(window, connection->objects(), desktop);
        return command.CmdDraw1_Click();
    }
};

class ComLink : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The apartment the tool's window thread has; the link shares it.
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_EQ(run(L"\"" + besideThisProgram(L"fake-com-cad.exe") + L"\" /regserver"), 0u);
    }
};

// The running fake's active document (it holds its application), or nullptr.
std::shared_ptr<CadDocument> runningDocument(CadAutomation& automation)
{
    Result<std::shared_ptr<CadApplication>> app = automation.getRunningInstance(kTestProgramId);
    if (!app) {
        ADD_FAILURE() << app.error().description;
        return nullptr;
    }
    Result<std::shared_ptr<CadDocument>> doc = app.value()->activedocument();
    if (!doc) {
        ADD_FAILURE() << doc.error().description;
        return nullptr;
    }
    return doc.value();
}

struct ViewCase {
    const char* angle;
    const char* segments;
    ElbowView view;
};

TEST_F(ComLink, DrawsEachViewAsTheRecordingFakeDoesInOneUndoStep)
{
    for (const ViewCase& c : {ViewCase{"90", "2", ElbowView::Front}, ViewCase{"90", "2", ElbowView::Left},
                              ViewCase{"60", "1", ElbowView::Right}}) {
        SCOPED_TRACE(std::string(c.angle) + "/" + c.segments + " view " + std::to_string(int(c.view)));
        FakeServer server(L"--pick 10.25,-20.5,25");
        ASSERT_TRUE(server.started);
        const Watchdog watchdog(std::chrono::seconds(120));

        Drawing com, fake;
        for (Drawing* d : {&com, &fake}) {
            d->window.fields = {c.angle, c.segments, "100", "150"};
            d->window.view = c.view;
        }
        std::unique_ptr<CadAutomation> automation = makeComAutomation();
        com.run(*automation);
        std::shared_ptr<FakeCad> recording = FakeCad::create();
        recording->pick = CadPoint{10.25, -20.5, 25};
        fake.run(*recording);

        EXPECT_EQ(com.outcome.ending, ElbowDrawCommand::Ending::Drawn);
        EXPECT_EQ(com.outcome.failed, 0);
        EXPECT_EQ(com.status.back(), fake.status.back());
        EXPECT_TRUE(com.desktop.messageBoxes.empty());
        EXPECT_EQ(com.window.record.VntPoint, (Point3{10.25, -20.5, 25}));
        const ServerLog log = server.log();
        const std::vector<FakeCadEntity> drawn = log.entities();
        EXPECT_FALSE(drawn.empty());
        EXPECT_EQ(drawn, recording->entities);
        // The pick: no base point, the prompt as the user reads it.
        EXPECT_EQ(log.count("GetPoint nobase 请输入第一点"), 1);
        // One undo step around every entity.
        EXPECT_EQ(log.count("StartUndoMark"), 1);
        EXPECT_EQ(log.count("EndUndoMark"), 1);
        EXPECT_LT(log.first("StartUndoMark"), log.first("Add"));
        EXPECT_GT(log.last("EndUndoMark"), std::max(log.last("Add"), log.last("EndAngle")));
    }
}

TEST_F(ComLink, ACancelledPickDrawsNothingAndSaysNothing)
{
    FakeServer server(L"--cancel-pick");
    ASSERT_TRUE(server.started);
    const Watchdog watchdog(std::chrono::seconds(60));
    std::unique_ptr<CadAutomation> automation = makeComAutomation();

    // The CAD's own number and description come through.
    const std::shared_ptr<CadDocument> doc = runningDocument(*automation);
    ASSERT_TRUE(doc);
    Result<std::shared_ptr<CadUtility>> utility = doc->utility();
    ASSERT_TRUE(utility.ok());
    Result<CadPoint> pick = utility.value()->getpoint("请输入第一点");
    ASSERT_FALSE(pick.ok());
    EXPECT_EQ(pick.error().number, caderr::kPickCancelled);
    EXPECT_EQ(pick.error().description, "*Cancel*");

    Drawing drawing;
    drawing.run(*automation);
    EXPECT_EQ(drawing.outcome.ending, ElbowDrawCommand::Ending::NoPoint);
    EXPECT_TRUE(drawing.desktop.messageBoxes.empty());
    EXPECT_EQ(drawing.desktop.activatedTitles.back(), "Tessik");
    EXPECT_EQ(server.log().count("Add"), 0);
}

TEST_F(ComLink, LayersAreMadeColouredAndTakenOrRefusedWhereTheCadHasNone)
{
    for (bool layered : {true, false}) {
        SCOPED_TRACE(layered ? "with layers" : "without layers");
        FakeServer server(layered ? L"" : L"--no-layers");
        ASSERT_TRUE(server.started);
        const Watchdog watchdog(std::chrono::seconds(60));
        std::unique_ptr<CadAutomation> automation = makeComAutomation();
        const std::shared_ptr<CadDocument> doc = runningDocument(*automation);
        ASSERT_TRUE(doc);
        Result<std::shared_ptr<CadModelSpace>> space = doc->ModelSpace();
        ASSERT_TRUE(space.ok());
        Result<std::shared_ptr<CadLayers>> table = doc->Layers();
        Result<std::shared_ptr<CadLWPolyline>> outline = space.value()->AddLightWeightPolyline({0, 0, 10, 0, 10, 5});
        ASSERT_TRUE(outline.ok());

        if (!layered) {
            ASSERT_FALSE(table.ok());
            EXPECT_EQ(table.error().number, DISP_E_UNKNOWNNAME);
            EXPECT_FALSE(outline.value()->setLayer("切割").ok());
            // Nothing else is lost: the entity stands, on the current layer.
            EXPECT_TRUE(outline.value()->setClosed(true).ok());
            EXPECT_EQ(server.log().count("AddLightWeightPolyline"), 1);
            continue;
        }
        ASSERT_TRUE(table.ok()) << table.error().description;
        Result<std::shared_ptr<CadLayer>> cut = table.value()->Add("切割");
        ASSERT_TRUE(cut.ok()) << cut.error().description;
        EXPECT_TRUE(cut.value()->setcolor(1).ok());
        EXPECT_TRUE(cut.value()->settle().ok());
        EXPECT_FALSE(cut.value()->setcolor(256).ok());
        // Adding a layer the drawing has hands back that layer.
        Result<std::shared_ptr<CadLayer>> again = table.value()->Add("切割");
        ASSERT_TRUE(again.ok());
        EXPECT_TRUE(again.value()->setcolor(3).ok());
        EXPECT_TRUE(outline.value()->setLayer("切割").ok());
        // The CAD's own refusal of a layer the drawing lacks comes through.
        const Status missing = outline.value()->setLayer("标注");
        ASSERT_FALSE(missing.ok());
        EXPECT_EQ(missing.error().number, std::int32_t(0x80200014));
        EXPECT_EQ(missing.error().description, "Key not found");

        const ServerLog log = server.log();
        EXPECT_EQ(log.count("Layers.Add 切割"), 2);
        EXPECT_EQ(log.count("color 切割 "), 2);
        EXPECT_EQ(log.last("color 切割 3"), log.last("color"));
        EXPECT_EQ(log.count("Layer 0 切割"), 1);
        EXPECT_EQ(log.count("Layer "), 1);
    }
}

// The link with its busy notices recorded in `told`.
std::unique_ptr<CadAutomation> recordingBusyNotices(std::vector<bool>& told, int busyTimeoutMs = 30000)
{
    ComAutomationOptions options;
    options.busyTimeoutMs = busyTimeoutMs;
    options.onBusy = [&told](bool waiting) { told.push_back(waiting); };
    return makeComAutomation(options);
}

TEST_F(ComLink, ABusyCadIsWaitedForAndTheWaitingIsTold)
{
    FakeServer server(L"--busy-seconds 3 --pick 1,2,0");
    ASSERT_TRUE(server.started);
    const Watchdog watchdog(std::chrono::seconds(90));
    std::vector<bool> told;
    std::unique_ptr<CadAutomation> automation = recordingBusyNotices(told);

    const auto started = std::chrono::steady_clock::now();
    Drawing drawing;
    drawing.run(*automation);
    const auto waited = std::chrono::steady_clock::now() - started;

    EXPECT_EQ(drawing.outcome.ending, ElbowDrawCommand::Ending::Drawn);
    EXPECT_EQ(drawing.outcome.failed, 0);
    EXPECT_TRUE(drawing.desktop.messageBoxes.empty());
    const ServerLog log = server.log();
    EXPECT_GT(log.count("refused"), 0) << "the server never refused a call";
    EXPECT_EQ(log.entities().size(), std::size_t(drawing.outcome.entities));
    EXPECT_GE(waited, std::chrono::milliseconds(2500));
    EXPECT_EQ(told, (std::vector<bool>{true, false}));
}

TEST_F(ComLink, ACadBusyForLongerThanAllowedFailsWithTheRefusal)
{
    FakeServer server(L"--busy-seconds 30");
    ASSERT_TRUE(server.started);
    const Watchdog watchdog(std::chrono::seconds(60));
    std::vector<bool> told;
    std::unique_ptr<CadAutomation> automation = recordingBusyNotices(told, 1500);

    Result<std::shared_ptr<CadApplication>> app = automation->getRunningInstance(kTestProgramId);
    ASSERT_TRUE(app.ok()) << app.error().description;
    const auto started = std::chrono::steady_clock::now();
    Result<std::string> caption = app.value()->Caption();
    const auto waited = std::chrono::steady_clock::now() - started;
    ASSERT_FALSE(caption.ok());
    EXPECT_TRUE(caption.error().number == RPC_E_SERVERCALL_RETRYLATER || caption.error().number == RPC_E_CALL_REJECTED)
        << caption.error().number;
    EXPECT_FALSE(caption.error().description.empty());
    EXPECT_GE(waited, std::chrono::milliseconds(1400));
    EXPECT_LT(waited, std::chrono::seconds(10));
    EXPECT_EQ(told, (std::vector<bool>{true, false}));
}

TEST_F(ComLink, AProgramIdNobodyRegisteredIsTold)
{
    std::unique_ptr<CadAutomation> automation = makeComAutomation();
    for (bool launch : {false, true}) {
        Result<std::shared_ptr<CadApplication>> app = launch ? automation->createInstance("Tessik.NoSuchCad")
                                                             : automation->getRunningInstance("Tessik.NoSuchCad");
        ASSERT_FALSE(app.ok());
        EXPECT_EQ(app.error().number, caderr::kCannotCreateObject);
        EXPECT_NE(app.error().description.find("Tessik.NoSuchCad"), std::string::npos) << app.error().description;
    }
}

TEST_F(ComLink, ACadNotRunningIsLaunchedThroughItsProgramId)
{
    ASSERT_FALSE(fakeServerRunning());
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring logPath = std::wstring(temp) + L"tessik-fakecad-launched.log";
    DeleteFileW(logPath.c_str());
    SetEnvironmentVariableW(L"TESSIK_FAKECAD_ARGS", (L"--lifetime 60 --pick 5,6,0 --log \"" + logPath + L"\"").c_str());
    const Watchdog watchdog(std::chrono::seconds(120));
    {
        std::unique_ptr<CadAutomation> automation = makeComAutomation();
        Drawing drawing;
        drawing.run(*automation);
        EXPECT_EQ(drawing.outcome.ending, ElbowDrawCommand::Ending::Drawn);
        EXPECT_EQ(drawing.status.back(), "AutoCAD已经启动。");
    }
    SetEnvironmentVariableW(L"TESSIK_FAKECAD_ARGS", nullptr);
    const ServerLog log = ServerLog::read(logPath);
    EXPECT_GT(log.entities().size(), 0u);
    // End the launched server through the id it logged.
    ASSERT_FALSE(log.lines.empty());
    const std::vector<std::string> start = split(log.lines[0]);
    ASSERT_EQ(start.size(), 3u);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, DWORD(std::stoul(start[1])));
    PostThreadMessageW(DWORD(std::stoul(start[2])), WM_QUIT, 0, 0);
    if (process) {
        if (WaitForSingleObject(process, 15000) != WAIT_OBJECT_0) TerminateProcess(process, 9);
        CloseHandle(process);
    }
    DeleteFileW(logPath.c_str());
}

TEST_F(ComLink, ADrawingClosedUnderTheHeldObjectsIsToldWhileTheCadRuns)
{
    // Start takes 5 calls; then the user closes the drawing and opens another.
    FakeServer server(L"--close-drawing-after 5");
    ASSERT_TRUE(server.started);
    const Watchdog watchdog(std::chrono::seconds(60));
    std::unique_ptr<CadAutomation> automation = makeComAutomation();

    Drawing drawing;
    drawing.run(*automation);
    EXPECT_EQ(drawing.outcome.ending, ElbowDrawCommand::Ending::NoPoint);
    ASSERT_EQ(drawing.desktop.messageBoxes.size(), 1u);
    EXPECT_NE(drawing.desktop.messageBoxes[0].text.find("启动AutoCAD"), std::string::npos);
    EXPECT_EQ(server.log().count("Add"), 0);

    // Start again takes the new drawing's objects, and the elbow is drawn there.
    drawing.connection->Start();
    EXPECT_EQ(drawing.press().ending, ElbowDrawCommand::Ending::Drawn);
    EXPECT_GT(server.log().count("AddLine"), 0);
}

// Last: the server that exits may leave its running-object entry behind.
TEST_F(ComLink, ACadThatExitsMidDrawingEndsTheDrawingWithoutHanging)
{
    // Start takes 5 calls; the draw's prologue 4 (caption, visible, pick,
    // undo mark); the server dies at the third line.
    FakeServer server(L"--exit-after 15");
    ASSERT_TRUE(server.started);
    const Watchdog watchdog(std::chrono::seconds(90));
    std::unique_ptr<CadAutomation> automation = makeComAutomation();

    Drawing drawing;
    const auto started = std::chrono::steady_clock::now();
    drawing.run(*automation);
    EXPECT_TRUE(server.exited(5000));
    EXPECT_EQ(drawing.outcome.ending, ElbowDrawCommand::Ending::PartlyDrawn);
    EXPECT_TRUE(drawing.outcome.connectionLost);
    EXPECT_EQ(drawing.outcome.entities, 14);
    EXPECT_EQ(server.log().entities().size(), std::size_t(drawing.outcome.entities - drawing.outcome.failed));
    EXPECT_EQ(drawing.outcome.error.error().number, caderr::kServerUnavailable);
    ASSERT_EQ(drawing.desktop.messageBoxes.size(), 1u);
    EXPECT_NE(drawing.desktop.messageBoxes[0].text.find("连接已中断"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));

    // The next press with the same objects ends quietly: nothing to draw into.
    drawing.desktop.messageBoxes.clear();
    EXPECT_EQ(drawing.press().ending, ElbowDrawCommand::Ending::NoPoint);
    EXPECT_TRUE(drawing.desktop.messageBoxes.empty());
}

}  // namespace
}  // namespace tessik
