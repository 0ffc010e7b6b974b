// Throughput of the data-file field reader and of the book table reader on
// large inputs (a list file of short numeric lines; random bytes).

#include <benchmark/benchmark.h>

#include <random>
#include <sstream>
#include <string>

#include "BookTable.h"
#include "FieldReader.h"

namespace {

std::string numericLines(std::size_t bytes)
{
    std::string s;
    for (int i = 0; s.size() < bytes; ++i) s += "*" + std::to_string(80 + i % 4320) + ".5\r\n";
    return s;
}

std::string randomBytes(std::size_t bytes)
{
    std::mt19937 rng(42);
    std::string s(bytes, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

void readAllFields(benchmark::State& state, const std::string& data)
{
    for (auto _ : state) {
        std::istringstream in(data);
        tessik::FieldReader reader(in);
        std::size_t fields = 0;
        while (!reader.atEnd())
            if (reader.next().ok()) ++fields;
        benchmark::DoNotOptimize(fields);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}

void BM_FieldReaderNumericLines(benchmark::State& state) { readAllFields(state, numericLines(10'000'000)); }
void BM_FieldReaderRandomBytes(benchmark::State& state) { readAllFields(state, randomBytes(10'000'000)); }

// A book.ini without numbers is read to its end: the worst case of a lookup.
void BM_BookTableNoNumbers(benchmark::State& state)
{
    const std::string data(10'000'000, 'x');
    for (auto _ : state) {
        std::istringstream in(data);
        tessik::BookTable table;
        int j = 0;
        std::int16_t k = 0;
        std::string temp;
        benchmark::DoNotOptimize(tessik::readBookTable(in, table, {j, k, temp}, "book.ini", "."));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}

BENCHMARK(BM_FieldReaderNumericLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FieldReaderRandomBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BookTableNoNumbers)->Unit(benchmark::kMillisecond);

}  // namespace
