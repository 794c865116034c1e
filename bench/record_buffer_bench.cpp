// Memory and speed of a large record buffer: ten million rectangles appended to
// one symbol, then walked.  A rectangle takes five words (20 bytes); the buffer
// grows by fixed steps, so the slack stays small and the cost per rectangle
// should stay near that.
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "model/Layout.h"
#include "model/SymbolDescription.h"

namespace {

constexpr std::int64_t kRectangles = 10'000'000;

// Resident set size in bytes, from /proc/self/statm (second field, pages).
std::int64_t ResidentBytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    long long size = 0, resident = 0;
    const int read = std::fscanf(f, "%lld %lld", &size, &resident);
    std::fclose(f);
    return read == 2 ? resident * static_cast<std::int64_t>(sysconf(_SC_PAGESIZE)) : 0;
}

void AppendRectangles(zandor::SymbolDescription& symbol) {
    for (std::int64_t i = 0; i < kRectangles; ++i) {
        const auto x = static_cast<std::int32_t>(i % 10000) * 100;
        const auto y = static_cast<std::int32_t>(i / 10000) * 100;
        benchmark::DoNotOptimize(symbol.AddRectangle(x, y, x + 50, y + 50, 1));
    }
}

void BM_AppendRectangles(benchmark::State& state) {
    double bytesPerRectangle = 0, residentPerRectangle = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto layout = std::make_unique<zandor::Layout>();
        // A fresh symbol records no undo entries.
        zandor::SymbolDescription* symbol = layout->AddSymbol(1, "bench");
        const std::int64_t residentBefore = ResidentBytes();
        state.ResumeTiming();

        AppendRectangles(*symbol);

        state.PauseTiming();
        const std::int64_t residentAfter = ResidentBytes();
        if (symbol->objectCount != kRectangles) {
            state.SkipWithError("not every rectangle was appended");
            break;
        }
        bytesPerRectangle = static_cast<double>(symbol->capacity) * 4.0 / kRectangles;
        residentPerRectangle = static_cast<double>(residentAfter - residentBefore) / kRectangles;
        layout.reset();
        state.ResumeTiming();
    }
    state.counters["bytes_per_rect"] = bytesPerRectangle;
    state.counters["rss_bytes_per_rect"] = residentPerRectangle;
    state.counters["appended"] =
        benchmark::Counter(static_cast<double>(kRectangles), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_WalkRectangles(benchmark::State& state) {
    auto layout = std::make_unique<zandor::Layout>();
    zandor::SymbolDescription* symbol = layout->AddSymbol(1, "bench");
    AppendRectangles(*symbol);
    for (auto _ : state) {
        std::int64_t sum = 0, walked = 0;
        for (const zandor::Word* r = symbol->FirstRecord(); r; r = symbol->NextRecord(r)) {
            sum += r[1];
            ++walked;
        }
        benchmark::DoNotOptimize(sum);
        if (walked != kRectangles) {
            state.SkipWithError("the walk did not see every rectangle");
            break;
        }
    }
    state.counters["walked"] =
        benchmark::Counter(static_cast<double>(kRectangles), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_AppendRectangles)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WalkRectangles)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
