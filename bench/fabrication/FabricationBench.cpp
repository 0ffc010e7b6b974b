// The fabrication data and template outline at 720 divisions, and the PDF of
// a 4,400 mm elbow tiled on A4, each beside its floor: the bare cosines of
// the ordinate table, and a PDF of as many pages carrying one line each.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "ElbowFabrication.h"
#include "FileAccess.h"
#include "PdfDocument.h"
#include "PieceTemplate.h"
#include "TemplatePdf.h"

namespace {

tessik::FabricationInput large(int divisions)
{
    tessik::FabricationInput in;
    in.cutAngle = 90.0 / 4 / 2;
    in.middlePieces = 3;
    in.outerDiameter = 4400;
    in.bendRadius = 6600;
    in.wall = 25;
    in.divisions = divisions;
    return in;
}

void BM_FabricationData(benchmark::State& state)
{
    const auto in = large(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto f = tessik::developElbow(in);
        benchmark::DoNotOptimize(f.ok());
    }
}

void BM_FloorOrdinateCosines(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<double> end(n + 1);
        for (int k = 0; k <= n; ++k) end[k] = (6600 + 2200 * std::cos(2 * std::numbers::pi * k / n)) * 0.2;
        benchmark::DoNotOptimize(end.data());
    }
}

void BM_TemplateSheet(benchmark::State& state)
{
    const auto f = tessik::developElbow(large(static_cast<int>(state.range(0)))).value();
    std::size_t vertices = 0;
    for (auto _ : state) {
        auto sheet = tessik::templateSheet(f);
        vertices = sheet->pieces[0].outline.size() + sheet->pieces[1].outline.size();
        benchmark::DoNotOptimize(sheet.ok());
    }
    state.counters["vertices"] = static_cast<double>(vertices);
}

const std::string kPdf = "/tmp/tessik_bench_template.pdf";

void BM_TemplatePdfA4(benchmark::State& state)
{
    const auto f = tessik::developElbow(large(tessik::kDefaultDivisions)).value();
    const auto sheet = tessik::templateSheet(f).value();
    const auto paper = *tessik::paperSize("A4");
    for (auto _ : state) {
        if (!tessik::writeTemplatePdf(kPdf, f, sheet, paper).ok()) state.SkipWithError("PDF not written");
    }
    const auto layout = tessik::tileLayout(sheet, paper);
    state.counters["pages"] = layout.columns * layout.rows + 1;
    std::remove(kPdf.c_str());
}

void BM_FloorPdfPages(benchmark::State& state)
{
    const auto f = tessik::developElbow(large(tessik::kDefaultDivisions)).value();
    const auto layout = tessik::tileLayout(tessik::templateSheet(f).value(), *tessik::paperSize("A4"));
    const int pages = layout.columns * layout.rows + 1;
    for (auto _ : state) {
        tessik::pdf::Document doc("floor", "bench");
        for (int i = 0; i < pages; ++i) doc.newPage(210, 297).line(0, 0, 100, 100);
        if (!tessik::dxf::replaceFile(kPdf, doc.finish()).ok()) state.SkipWithError("PDF not written");
    }
    state.counters["pages"] = pages;
    std::remove(kPdf.c_str());
}

BENCHMARK(BM_FabricationData)->Arg(720)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloorOrdinateCosines)->Arg(720)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TemplateSheet)->Arg(720)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TemplatePdfA4)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_FloorPdfPages)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
