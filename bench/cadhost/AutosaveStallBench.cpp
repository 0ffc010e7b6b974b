// Run: build/bench/cadhost/cadhost_autosave_bench
//
// How long clients wait while tessik-cad autosaves a large drawing. The
// drawing holds 200,000 lines; each round adds one (so there is a change to
// write) and then asks for Count again and again over two autosave
// intervals. The slowest answer of a round is its stall; the median over
// the rounds is reported as median_stall_ms (time per iteration is that
// round's stall).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "CadHostProcess.h"

namespace {

constexpr int kLines = 200'000;

QJsonArray pt(double x, double y) { return QJsonArray{x, y, 0.0}; }

void AutosaveStall200k(benchmark::State& state)
{
    QTemporaryDir dir;
    CadHostProcess cad(dir.filePath(QStringLiteral("cad.sock")));
    cad.setEnvironmentValue(QStringLiteral("TESSIK_CAD_AUTOSAVE_SECONDS"), QStringLiteral("1"));
    RpcClient client;
    if (!cad.start() || !client.connectTo(cad.socketPath())) {
        state.SkipWithError("tessik-cad did not start");
        return;
    }
    const qint64 doc = client.handle(client.get(0, QStringLiteral("ActiveDocument")));
    const qint64 model = client.handle(client.get(doc, QStringLiteral("ModelSpace")));
    QByteArray burst;
    for (int i = 0; i < kLines; ++i)
        burst += QStringLiteral("{\"jsonrpc\":\"2.0\",\"id\":%1,\"method\":\"call\",\"params\":{\"target\":%2,"
                                "\"member\":\"AddLine\",\"args\":[[%3,0,0],[%3,10,0]]}}\n")
                     .arg(i + 1000)
                     .arg(model)
                     .arg(i % 1000)
                     .toUtf8();
    client.sendRaw(burst);
    for (int i = 0; i < kLines; ++i)
        if (client.next(30000).isEmpty()) {
            state.SkipWithError("the burst was not answered");
            return;
        }
    std::vector<double> stalls;
    for (auto _ : state) {
        client.call(model, QStringLiteral("AddLine"), {pt(0, 1), pt(1, 2)});
        double worst = 0;
        QElapsedTimer round;
        round.start();
        while (round.elapsed() < 2200) {
            QElapsedTimer call;
            call.start();
            client.get(model, QStringLiteral("Count"));
            worst = std::max(worst, double(call.nsecsElapsed()) / 1e6);
        }
        state.SetIterationTime(worst / 1000);
        stalls.push_back(worst);
    }
    std::sort(stalls.begin(), stalls.end());
    state.counters["median_stall_ms"] = stalls[stalls.size() / 2];
}
BENCHMARK(AutosaveStall200k)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
