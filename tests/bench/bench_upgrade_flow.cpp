#include <benchmark/benchmark.h>

#include "tests/support/FlowHarness.h"

namespace {

// A complete three-chip update against a dock that answers at once: every
// microsecond here is the tool's own time (plus the simulator's), against a
// device-bound floor of one round trip per 1 ms USB frame, about 7.6 s.
void BM_CompleteThreeChipRun(benchmark::State& state) {
    std::size_t reports = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto harness = std::make_unique<FlowHarness>();
        harness->Scan();
        const std::size_t before = harness->dock.Received().size();
        state.ResumeTiming();

        harness->flow.OnStartUpgrade();
        harness->Pump();
        harness->Advance(200);

        state.PauseTiming();
        if (harness->surface.looks.back() != ResultLook::Pass) {
            state.SkipWithError("the run did not pass");
        }
        reports = harness->dock.Received().size() - before;
        harness.reset();
        state.ResumeTiming();
    }
    state.counters["reports"] = static_cast<double>(reports);
    state.counters["per_report"] =
        benchmark::Counter(static_cast<double>(reports) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CompleteThreeChipRun)->Unit(benchmark::kMillisecond);

}  // namespace
