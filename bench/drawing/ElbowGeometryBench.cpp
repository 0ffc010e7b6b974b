// Front view of an elbow with 20 and with 30,000 middle segments.
#include <benchmark/benchmark.h>

#include <string>

#include "DesignRecord.h"
#include "ElbowGeometry.h"

namespace {

void BM_FrontView(benchmark::State& state)
{
    tessik::DesignRecord record;
    const auto err = tessik::InputParameter({"90", std::to_string(state.range(0)), "219.1", "328.65"}, record);
    if (err.pending()) state.SkipWithError("design fields rejected");
    for (auto _ : state) {
        auto entities = tessik::elbowView(record, {10, 20, 0}, tessik::ElbowView::Front);
        benchmark::DoNotOptimize(entities.data());
    }
    state.SetItemsProcessed(state.iterations() * (3 * state.range(0) + 8));
}

BENCHMARK(BM_FrontView)->Arg(20)->Arg(30000)->Unit(benchmark::kMicrosecond);

}  // namespace
