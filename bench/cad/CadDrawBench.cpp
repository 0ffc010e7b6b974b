// The draw command against a live tessik-cad (started offscreen on a private
// socket): the time of one press after the user's pick, for a 20-segment and
// a 30,000-segment front view.
//
//   build/bench/cad/bench_cad_draw --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QThread>

#include "CadHostProcess.h"
#include "DesignRecord.h"
#include "ElbowDrawCommand.h"
#include "FakeDesktop.h"
#include "TessikCadClient.h"

using namespace tessik;

namespace {

// tessik-cad on a socket of its own.
class LiveCad {
public:
    // windowShown false: tessik-cad's window stays hidden, so the figure
    // leaves out its repainting.
    explicit LiveCad(bool windowShown)
    {
        if (!cad_.start()) return;
        TessikCadAutomation automation(cad_.socketPath());
        for (int i = 0; i < 200 && !app_; ++i) {
            auto app = automation.getRunningInstance(kCadProgramId);
            if (app) app_ = app.value();
            else QThread::msleep(25);
        }
        if (!app_) return;
        auto doc = app_->activedocument();
        objects_.AcadApp = windowShown ? app_ : std::make_shared<KeptHidden>(app_);
        objects_.AcadDoc = doc.value();
        objects_.MoSpace = doc.value()->ModelSpace().value();
        objects_.acadUtil = std::make_shared<PickedAlready>();
        ok_ = objects_.MoSpace->settle().ok();
    }
    ~LiveCad()
    {
        objects_ = {};
        app_.reset();
    }
    bool ok() const { return ok_; }
    const CadConnectionObjects& objects() const { return objects_; }

private:
    // The user has picked: the timed part starts after the pick.
    struct PickedAlready : CadUtility {
        Status settle() override { return success(); }
        Result<CadPoint> getpoint(const std::string&) override { return CadPoint{12.5, -3, 0}; }
    };

    struct KeptHidden : CadApplication {
        explicit KeptHidden(std::shared_ptr<CadApplication> app) : app(std::move(app)) {}
        Status settle() override { return app->settle(); }
        Status setVisible(bool v) override { return app->setVisible(v); }
        Result<std::string> Caption() override { return app->Caption(); }
        Result<std::shared_ptr<CadDocument>> activedocument() override { return app->activedocument(); }
        Status bringToFront() override { return success(); }
        std::shared_ptr<CadApplication> app;
    };

    CadHostProcess cad_;
    std::shared_ptr<CadApplication> app_;
    CadConnectionObjects objects_;
    bool ok_ = false;
};

struct BenchWindow : ElbowDrawHost {
    DesignFieldTexts fields;
    DesignRecord record;
    PendingError InputParameter() override { return tessik::InputParameter(fields, record); }
    const ElbowParameters& parameters() const override { return record; }
    void setPickedPoint(const Point3& p) override { record.VntPoint = p; }
    bool viewSelected(ElbowView view) const override { return view == ElbowView::Front; }
    int ChkQuit() const override { return 0; }
    std::string caption() const override { return "Tessik"; }
    void CmdQuit_Click() override {}
};

void press(benchmark::State& state, const char* segments, bool freshDrawing, bool windowShown)
{
    BenchWindow window;
    window.fields = {"90", segments, "100", "150"};
    FakeDesktop desktop;
    std::unique_ptr<LiveCad> cad;
    int entities = 0;
    for (auto _ : state) {
        if (!cad || freshDrawing) {
            state.PauseTiming();
            cad.reset();
            cad = std::make_unique<LiveCad>(windowShown);
            state.ResumeTiming();
            if (!cad->ok()) {
                state.SkipWithError("tessik-cad did not start");
                return;
            }
        }
        ElbowDrawCommand command(window, cad->objects(), desktop);
        const auto outcome = command.CmdDraw1_Click();
        if (outcome.ending != ElbowDrawCommand::Ending::Drawn) {
            state.SkipWithError(("the drawing failed: " + outcome.error.error().description + " ending " + std::to_string(int(outcome.ending))).c_str());
            return;
        }
        entities = outcome.entities;
    }
    state.counters["entities"] = entities;
}

void BM_FrontView20Segments(benchmark::State& state) { press(state, "20", false, state.range(0) != 0); }
void BM_FrontView30000Segments(benchmark::State& state) { press(state, "30000", true, state.range(0) != 0); }

}  // namespace

// Argument: 1 tessik-cad's window shown (as in use), 0 hidden.
BENCHMARK(BM_FrontView20Segments)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(BM_FrontView30000Segments)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
